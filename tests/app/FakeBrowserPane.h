#pragma once

#include "controls/BrowserPane.h"

#include <QMetaMethod>
#include <QStringList>
#include <QWidget>

// A browser pane without the web engine: it records the addresses it is sent to, and the test
// says what it shows and when a navigation completes.
class FakeBrowserPane final : public QWidget, public IBrowserPane {
    Q_OBJECT
public:
    explicit FakeBrowserPane(QWidget* parent = nullptr)
        : QWidget(parent) {}
    ~FakeBrowserPane() override {
        if (connectedAtDestruction)
            *connectedAtDestruction =
                isSignalConnected(QMetaMethod::fromSignal(&FakeBrowserPane::navigationFinished));
    }

    void navigate(const QString& url) override { navigations << url; }
    QString locationUrl() const override { return location; }
    QString resultTitle() const override { return m_resultTitle; }
    void setResultTitle(const QString& text) override { m_resultTitle = text; }
    void goBack() override { commands << QStringLiteral("back"); }
    void goForward() override { commands << QStringLiteral("forward"); }
    void reloadPage() override { commands << QStringLiteral("reload"); }
    bool canGoBack() const override { return backPossible; }
    bool canGoForward() const override { return forwardPossible; }
    void exitPageFullScreen() override { commands << QStringLiteral("exitFullScreen"); }

    // Shows the address and reports the completed navigation, as the engine would.
    void completeNavigation(const QString& url) {
        location = url;
        emit navigationFinished();
    }

    // Sets what the history allows and reports the change, as the engine would.
    void setHistory(bool back, bool forward) {
        backPossible = back;
        forwardPossible = forward;
        emit historyChanged();
    }

    // Set by a test: receives whether anything still listened to the pane when it went.
    bool* connectedAtDestruction = nullptr;

    QStringList navigations;
    // The history and full-screen commands, in order: "back", "forward", "reload",
    // "exitFullScreen".
    QStringList commands;
    QString location;
    bool backPossible = false;
    bool forwardPossible = false;

signals:
    void navigationFinished();
    void historyChanged();
    void fullScreenRequested(bool on);

private:
    QString m_resultTitle;
};
