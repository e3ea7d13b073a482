#pragma once

#include <QFrame>

// The container of one result slot, and the way the keyboard reaches its result: the slot takes
// the focus and shows it with a frame drawn over it; Enter and Space open the result
// (activated()); Up, Down, Home and End ask to move through the column (moveRequested()); the
// Menu key and Shift+F10 ask for the slot's context menu as a right click does (a context menu
// event, which customContextMenuRequested() reports under Qt::CustomContextMenu). Keys its
// children leave alone (the check box's Enter) come here as well.
//
// A slot that is shown while the keyboard focus rests on a widget that holds it (the column keeps
// the focus while a new page replaces its slots) takes the focus.
class ResultSlotPanel final : public QFrame {
    Q_OBJECT
public:
    enum class Move { Previous, Next, First, Last };

    explicit ResultSlotPanel(QWidget* parent = nullptr);

signals:
    void activated();
    void moveRequested(ResultSlotPanel::Move move);
    // The slot got the keyboard focus, whatever gave it.
    void focused();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* m_focusFrame;
};
