#pragma once

#include <QString>

// What the program uses of the browser pane. WebView is the real one; tests may put a
// light fake in its place. The pane raises its notices as Qt signals of the implementing
// widget, which the main window connects: navigationFinished() for each completed top-level
// navigation, historyChanged() when canGoBack() or canGoForward() may have changed, and
// fullScreenRequested(bool on) when the page asks to show itself (a video) on the whole screen
// or to end that.
class IBrowserPane {
public:
    virtual ~IBrowserPane() = default;
    // Starts loading the address and returns at once.
    virtual void navigate(const QString& url) = 0;
    // The address of the document shown at the top level; empty before anything was shown.
    virtual QString locationUrl() const = 0;
    // A text the pane keeps and never displays (the title of the result opened last).
    virtual QString resultTitle() const = 0;
    virtual void setResultTitle(const QString& hint) = 0;

    // The pane's history and the shown page, each started at once like navigate().
    virtual void goBack() = 0;
    virtual void goForward() = 0;
    virtual void reloadPage() = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    // Ends the page's own full-screen display, if it has one.
    virtual void exitPageFullScreen() = 0;
};
