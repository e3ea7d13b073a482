#include "controls/WebView.h"

#include <QAction>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineSettings>

#include <utility>

namespace {

// A stopped load reports its end within moments; this only keeps a navigation from waiting for
// ever should the engine never report it.
constexpr int StopGraceMs = 3000;

} // namespace

WebView::WebView(QWidget* parent)
    : QWebEngineView(parent) {
    connect(this, &QWebEngineView::loadStarted, this, [this] { m_loading = true; });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool) { handleLoadFinished(); });

    m_stopGrace.setSingleShot(true);
    m_stopGrace.setInterval(StopGraceMs);
    connect(&m_stopGrace, &QTimer::timeout, this, [this] {
        m_loading = false;
        if (const std::optional<Navigation> waiting = std::exchange(m_waiting, std::nullopt))
            run(*waiting);
    });

    for (const QWebEnginePage::WebAction action : {QWebEnginePage::Back, QWebEnginePage::Forward})
        connect(pageAction(action), &QAction::changed, this, &WebView::historyChanged);
    connect(this, &QWebEngineView::urlChanged, this, &WebView::historyChanged);

    settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    connect(page(), &QWebEnginePage::fullScreenRequested, this,
            [this](QWebEngineFullScreenRequest request) {
                request.accept();
                m_pageFullScreen = request.toggleOn();
                emit fullScreenRequested(request.toggleOn());
            });
}

void WebView::navigate(const QString& url) {
    start({QWebEnginePage::NoWebAction, QUrl(url)});
}

QString WebView::locationUrl() const {
    return url().toString();
}

void WebView::goBack() {
    start({QWebEnginePage::Back, {}});
}

void WebView::goForward() {
    start({QWebEnginePage::Forward, {}});
}

void WebView::reloadPage() {
    start({QWebEnginePage::Reload, {}});
}

bool WebView::canGoBack() const {
    return history()->canGoBack();
}

bool WebView::canGoForward() const {
    return history()->canGoForward();
}

void WebView::exitPageFullScreen() {
    if (m_pageFullScreen)
        triggerPageAction(QWebEnginePage::ExitFullScreen);
}

// The engine reports one start and one finish for loads that overlap, and when the earlier one
// ends while the later is under way, the later one's finish is never reported. So a navigation
// asked for during a load stops that load first and starts once its end has been reported.
void WebView::start(const Navigation& navigation) {
    if (!m_loading) {
        run(navigation);
        return;
    }
    const bool stopping = m_waiting.has_value();
    m_waiting = navigation;
    if (!stopping) {
        triggerPageAction(QWebEnginePage::Stop);
        m_stopGrace.start();
    }
}

void WebView::run(const Navigation& navigation) {
    if (navigation.action == QWebEnginePage::NoWebAction)
        load(navigation.url);
    else
        triggerPageAction(navigation.action);
}

// A finished load counts as a completed navigation whether the page loaded or the engine shows
// its error page in its place: either way the location has changed. A load stopped to make room
// for a waiting navigation completed nothing: the waiting one starts instead.
void WebView::handleLoadFinished() {
    m_loading = false;
    if (const std::optional<Navigation> waiting = std::exchange(m_waiting, std::nullopt)) {
        m_stopGrace.stop();
        run(*waiting);
        return;
    }
    emit navigationFinished();
}
