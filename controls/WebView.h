#pragma once

#include "controls/BrowserPane.h"

#include <QWebEngineView>

// The browser pane: a web engine view with the members the program uses. NavigateComplete2 is
// raised on the window's thread for each completed top-level navigation, the first one included.
class TCppWebBrowser final : public QWebEngineView, public IBrowserPane {
    Q_OBJECT
public:
    explicit TCppWebBrowser(QWidget* parent = nullptr);

    void Navigate(const QString& url) override;
    QString LocationURL() const override;
    QString Hint() const override { return m_hint; }
    void SetHint(const QString& hint) override { m_hint = hint; }

signals:
    void NavigateComplete2();

private:
    QString m_hint;
};
