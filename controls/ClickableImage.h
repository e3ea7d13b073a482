#pragma once

#include <QImage>
#include <QWidget>

// A picture stretched to the widget's box (a result slot's thumbnail). Without a picture it
// paints nothing and the parent shows through. A left-button press and release inside it
// emits Click; its hint is the widget's tool tip.
class TImage final : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return m_picture; }
    void clear();

    QString Hint() const { return toolTip(); }
    void SetHint(const QString& hint) { setToolTip(hint); }

signals:
    void Click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage m_picture;
    bool m_pressed = false;
};
