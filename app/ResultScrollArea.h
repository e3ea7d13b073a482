#pragma once

#include <QScrollArea>

#include <functional>

// A scroll box whose vertical scroll range is set by its owner, never computed from its
// children: the content widget is as wide as the viewport and as high as the range (at least
// the viewport's height), so that the column cannot be scrolled while the range is 0. There is
// no horizontal scrolling.
class TScrollBox final : public QScrollArea {
    Q_OBJECT
public:
    explicit TScrollBox(QWidget* parent = nullptr);

    // The widget that holds the box's children; it moves as the box scrolls.
    QWidget* Content() const { return m_content; }

    int Range() const { return m_range; }
    void SetRange(int pixels);

    // Called after the content widget got a new size, to lay out its children.
    std::function<void()> OnContentResize;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FitContent();

    QWidget* m_content;
    int m_range = 0;
};
