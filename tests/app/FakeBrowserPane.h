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
    QString resultTitle() const override { return hint; }
    void setResultTitle(const QString& text) override { hint = text; }

    // Shows the address and reports the completed navigation, as the engine would.
    void completeNavigation(const QString& url) {
        location = url;
        emit navigationFinished();
    }

    // Set by a test: receives whether anything still listened to the pane when it went.
    bool* connectedAtDestruction = nullptr;

    QStringList navigations;
    QString location;
    QString hint;

signals:
    void navigationFinished();
};
