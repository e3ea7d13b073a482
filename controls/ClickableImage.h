#pragma once

#include <QImage>
#include <QWidget>

// A picture stretched to the widget's box (a result slot's thumbnail). Without a picture it
// paints nothing and the parent shows through. A left-button press and release inside it
// emits clicked().
class ClickableImage final : public QWidget {
    Q_OBJECT
public:
    explicit ClickableImage(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }
    void clear();

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage m_picture;
    bool m_pressed = false;
};
