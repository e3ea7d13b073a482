#include "controls/WebView.h"

WebView::WebView(QWidget* parent)
    : QWebEngineView(parent) {
    // A finished load counts as a completed navigation whether the page loaded or the engine
    // shows its error page in its place: either way the location has changed.
    connect(this, &QWebEngineView::loadFinished, this, [this](bool) { emit navigationFinished(); });
}

void WebView::navigate(const QString& url) {
    load(QUrl(url));
}

QString WebView::locationUrl() const {
    return url().toString();
}
