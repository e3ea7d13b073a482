#include "app/ResultSlotPanel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPainter>

namespace {

constexpr int FocusFrameWidth = 2;

// The focus frame: a line in the highlight colour along the slot's edges, above everything the
// slot holds and letting every click through.
class FocusFrame final : public QWidget {
public:
    explicit FocusFrame(QWidget* parent)
        : QWidget(parent) {
        setObjectName(QStringLiteral("focusFrame"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Active, QPalette::Highlight));
        for (int i = 0; i < FocusFrameWidth; ++i)
            painter.drawRect(rect().adjusted(i, i, -1 - i, -1 - i));
    }
};

// A slot is an item of the result list to a screen reader; its name is the result's.
QAccessibleInterface* accessibleResultSlot(const QString& className, QObject* object) {
    if (className == QLatin1String("ResultSlotPanel") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::ListItem);
    return nullptr;
}

} // namespace

ResultSlotPanel::ResultSlotPanel(QWidget* parent)
    : QFrame(parent)
    , m_focusFrame(new FocusFrame(this)) {
    setFocusPolicy(Qt::ClickFocus);
    setContextMenuPolicy(Qt::CustomContextMenu);
    static const bool accessible = (QAccessible::installFactory(accessibleResultSlot), true);
    Q_UNUSED(accessible);
}

void ResultSlotPanel::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const auto move = [this, event](Move where) {
        event->accept();
        emit moveRequested(where);
    };
    if (event->key() == Qt::Key_Menu ||
        (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        event->accept();
        // As the desktop's own Menu key does: a keyboard context menu event at the slot.
        const QPoint at(width() / 4, height() / 2);
        QContextMenuEvent request(QContextMenuEvent::Keyboard, at, mapToGlobal(at));
        QCoreApplication::sendEvent(this, &request);
        return;
    }
    if (modifiers != Qt::NoModifier) {
        QFrame::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        event->accept();
        emit activated();
        return;
    case Qt::Key_Up:
        return move(Move::Previous);
    case Qt::Key_Down:
        return move(Move::Next);
    case Qt::Key_Home:
        return move(Move::First);
    case Qt::Key_End:
        return move(Move::Last);
    default:
        QFrame::keyPressEvent(event);
    }
}

void ResultSlotPanel::focusInEvent(QFocusEvent* event) {
    QFrame::focusInEvent(event);
    m_focusFrame->raise();
    m_focusFrame->show();
    emit focused();
}

void ResultSlotPanel::focusOutEvent(QFocusEvent* event) {
    QFrame::focusOutEvent(event);
    m_focusFrame->hide();
}

void ResultSlotPanel::showEvent(QShowEvent* event) {
    QFrame::showEvent(event);
    const QWidget* focus = QApplication::focusWidget();
    if (focus && focus->isAncestorOf(this))
        setFocus(Qt::OtherFocusReason);
}

void ResultSlotPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    m_focusFrame->setGeometry(rect());
}
