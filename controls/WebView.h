#pragma once

#include "controls/BrowserPane.h"

#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <optional>

// The browser pane: a web engine view with the members the program uses. navigationFinished() is
// emitted on the window's thread for each completed top-level navigation, the first one included.
// A page may show itself on the whole screen (a video's full-screen button): the request is
// granted and passed on as fullScreenRequested(), for the window to make room.
class WebView final : public QWebEngineView, public IBrowserPane {
    Q_OBJECT
public:
    explicit WebView(QWidget* parent = nullptr);

    void navigate(const QString& url) override;
    QString locationUrl() const override;
    QString resultTitle() const override { return m_resultTitle; }
    void setResultTitle(const QString& title) override { m_resultTitle = title; }
    void goBack() override;
    void goForward() override;
    void reloadPage() override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    void exitPageFullScreen() override;

signals:
    void navigationFinished();
    void historyChanged();
    void fullScreenRequested(bool on);

private:
    // A navigation of ours: an address to load, or a page action (back, forward, reload).
    struct Navigation {
        QWebEnginePage::WebAction action = QWebEnginePage::NoWebAction;
        QUrl url;
    };

    void start(const Navigation& navigation);
    void run(const Navigation& navigation);
    void handleLoadFinished();

    QString m_resultTitle;
    // Between the engine's loadStarted() and its loadFinished().
    bool m_loading = false;
    // Asked for while a load ran; it starts when that load has stopped.
    std::optional<Navigation> m_waiting;
    // How long a stopped load may take to report its end before the waiting navigation starts
    // anyway.
    QTimer m_stopGrace;
    bool m_pageFullScreen = false;
};
