#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

class IBrowserPane;
class QTabWidget;

// Shows the browser pane alone on the whole screen, for a video: the window goes full screen and
// every other part of it is hidden; leaving brings the window and those parts back as they were.
// Full screen starts from the user's command (toggle()) or from the page itself, a video's
// full-screen button (handlePageRequest()). While it is on, Escape leaves it before any shortcut
// or widget sees the key; outside full screen Escape is not touched. Leaving also ends the page's
// own full-screen display.
class PaneFullScreen final : public QObject {
    Q_OBJECT
public:
    // window holds paneWidget, the widget of pane.
    PaneFullScreen(QWidget& window, QWidget& paneWidget, IBrowserPane& pane);
    ~PaneFullScreen() override;
    Q_DISABLE_COPY_MOVE(PaneFullScreen)

    // The user's command: on when off, off when on.
    void toggle();
    // The page asks to show itself on the whole screen (on) or to end that. Ending it leaves full
    // screen unless the user's command had turned it on.
    void handlePageRequest(bool on);
    void leave();
    // Leaves full screen and waits, a second at most, until the window stands framed where it
    // stood before: the window manager frames it again only after it has left.
    void leaveAndSettle();

signals:
    void switched(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void enter();

    QWidget& m_window;
    QWidget& m_paneWidget;
    IBrowserPane& m_pane;
    bool m_on = false;
    bool m_byCommand = false;
    bool m_byPage = false;
    // What enter() changed, for leave() to put back.
    Qt::WindowStates m_windowStates;
    QRect m_geometry;
    QRect m_frame;
    QList<QPointer<QWidget>> m_hidden;
    QList<QPointer<QTabWidget>> m_framedTabs;
    QPointer<QWidget> m_focus;
};
