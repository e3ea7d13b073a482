#pragma once

#include "controls/BrowserPane.h"

#include <QWebEngineView>

// The browser pane: a web engine view with the members the program uses. navigationFinished() is
// emitted on the window's thread for each completed top-level navigation, the first one included.
class WebView final : public QWebEngineView, public IBrowserPane {
    Q_OBJECT
public:
    explicit WebView(QWidget* parent = nullptr);

    void navigate(const QString& url) override;
    QString locationUrl() const override;
    QString resultTitle() const override { return m_hint; }
    void setResultTitle(const QString& hint) override { m_hint = hint; }

signals:
    void navigationFinished();

private:
    QString m_hint;
};
