#pragma once

#include <QString>

// What the program uses of the browser pane. WebView is the real one; tests may put a
// light fake in its place. The pane raises its completed-navigation notice as a Qt signal of
// the implementing widget, which the main window connects.
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
};
