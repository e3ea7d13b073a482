#include "app/PaneFullScreen.h"

#include "controls/BrowserPane.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTabWidget>
#include <QTimer>

#include <utility>

namespace {

// How long leaveAndSettle() waits for the window manager at most.
constexpr int SettleMs = 1000;

} // namespace

PaneFullScreen::PaneFullScreen(QWidget& window, QWidget& paneWidget, IBrowserPane& pane)
    : QObject(&window)
    , m_window(window)
    , m_paneWidget(paneWidget)
    , m_pane(pane) {}

PaneFullScreen::~PaneFullScreen() {
    if (m_on)
        qApp->removeEventFilter(this);
}

void PaneFullScreen::toggle() {
    if (m_on) {
        leave();
        return;
    }
    m_byCommand = true;
    enter();
}

void PaneFullScreen::handlePageRequest(bool on) {
    if (on) {
        m_byPage = true;
        enter();
    } else if (std::exchange(m_byPage, false) && !m_byCommand) {
        leave();
    }
}

void PaneFullScreen::enter() {
    if (m_on)
        return;
    m_on = true;
    m_windowStates = m_window.windowState();
    m_geometry = m_window.geometry();
    m_frame = m_window.frameGeometry();
    m_focus = QApplication::focusWidget();
    // Every part of the window but the pane: at each level from the pane up to the window, what
    // stands beside the way there (menu bar, tool bar, status bar, tab bar, result column). A tab
    // widget on the way loses its frame.
    for (QWidget* node = &m_paneWidget; node != &m_window && node->parentWidget();
         node = node->parentWidget()) {
        QWidget* parent = node->parentWidget();
        for (QObject* child : parent->children()) {
            auto* sibling = qobject_cast<QWidget*>(child);
            if (!sibling || sibling == node || sibling->isWindow() || sibling->isHidden())
                continue;
            sibling->hide();
            m_hidden.append(sibling);
        }
        if (auto* tabs = qobject_cast<QTabWidget*>(parent); tabs && !tabs->documentMode()) {
            tabs->setDocumentMode(true);
            m_framedTabs.append(tabs);
        }
    }
    m_window.showFullScreen();
    m_paneWidget.setFocus(Qt::OtherFocusReason);
    qApp->installEventFilter(this);
    emit switched(true);
}

void PaneFullScreen::leave() {
    if (!m_on)
        return;
    m_on = false;
    m_byCommand = false;
    const bool byPage = std::exchange(m_byPage, false);
    qApp->removeEventFilter(this);
    for (const QPointer<QTabWidget>& tabs : std::as_const(m_framedTabs)) {
        if (tabs)
            tabs->setDocumentMode(false);
    }
    m_framedTabs.clear();
    for (const QPointer<QWidget>& widget : std::as_const(m_hidden)) {
        if (widget)
            widget->show();
    }
    m_hidden.clear();
    m_window.setWindowState(m_windowStates);
    // The frame the window had, at once: what reads the window's place next (the settings saved
    // at close) must not see the screen's.
    if (!(m_windowStates & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        m_window.setGeometry(m_geometry);
    if (m_focus && m_focus->isVisible())
        m_focus->setFocus(Qt::OtherFocusReason);
    if (byPage)
        m_pane.exitPageFullScreen();
    emit switched(false);
}

void PaneFullScreen::leaveAndSettle() {
    if (!m_on)
        return;
    leave();
    QDeadlineTimer deadline(SettleMs);
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (m_window.frameGeometry() == m_frame || deadline.hasExpired())
            loop.quit();
    });
    poll.start(10);
    loop.exec();
}

bool PaneFullScreen::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const auto* widget = qobject_cast<QWidget*>(watched);
    // A menu or a dialog open over the window takes its Escape itself.
    if (key->key() != Qt::Key_Escape || (key->modifiers() & ~Qt::KeypadModifier) || !widget ||
        widget->window() != &m_window || QApplication::activePopupWidget() ||
        QApplication::activeModalWidget())
        return false;
    // Claimed before the shortcuts are looked at, then acted on as the key arrives.
    event->accept();
    if (event->type() == QEvent::KeyPress)
        leave();
    return true;
}
