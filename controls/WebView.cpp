#include "controls/WebView.h"

TCppWebBrowser::TCppWebBrowser(QWidget* parent)
    : QWebEngineView(parent) {
    // A finished load counts as a completed navigation whether the page loaded or the engine
    // shows its error page in its place: either way the location has changed.
    connect(this, &QWebEngineView::loadFinished, this, [this](bool) { emit NavigateComplete2(); });
}

void TCppWebBrowser::Navigate(const QString& url) {
    load(QUrl(url));
}

QString TCppWebBrowser::LocationURL() const {
    return url().toString();
}
