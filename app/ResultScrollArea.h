#pragma once

#include <QScrollArea>

// A scroll area whose vertical scroll range is set by its owner, never computed from its
// children: the content widget is as wide as the viewport and as high as the range (at least
// the viewport's height), so that the column cannot be scrolled while the range is 0. There is
// no horizontal scrolling.
class ResultScrollArea final : public QScrollArea {
    Q_OBJECT
public:
    explicit ResultScrollArea(QWidget* parent = nullptr);

    // The widget that holds the area's children; it moves as the area scrolls.
    QWidget* content() const { return m_content; }

    int range() const { return m_range; }
    void setRange(int pixels);

signals:
    // Emitted after the content widget got a new size, for its owner to lay out its children.
    void contentResized();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitContent();

    QWidget* m_content;
    int m_range = 0;
};
