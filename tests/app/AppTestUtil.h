#pragma once

#include "FakeBrowserPane.h"
#include "TestUtil.h"

#include "app/MainWindow.h"
#include "app/SearchSettingsDialog.h"
#include "app/Startup.h"
#include "platform/DesktopServices.h"
#include "search/SearchController.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

// Records what would have been handed to the desktop's browser and mail program.
class RecordedDesktop final : public DesktopServices {
public:
    RecordedDesktop() { setDesktopServices(this); }
    ~RecordedDesktop() override { setDesktopServices(nullptr); }
    Q_DISABLE_COPY_MOVE(RecordedDesktop)

    void openUrl(const QString& url) override { opened << url; }
    int composeMail(const QString& subject, const QString& body) override {
        mails.append({subject, body});
        return mailResult;
    }

    QStringList opened;
    QList<std::pair<QString, QString>> mails;
    int mailResult = 0;
};

inline void WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The program's two windows against a temporary directory (settings and history file) and a
// fake browser pane; each Start() is one run of the program.
class ProgramFixture : public ::testing::Test {
protected:
    ~ProgramFixture() override { windows.reset(); }

    QString SettingsPath() const { return dir.filePath(QStringLiteral("Sorvel.ini")); }
    QString HistoryPath() const { return dir.filePath(QStringLiteral("log_search.ini")); }

    TMainFormOptions options() const {
        TMainFormOptions options;
        options.ServiceHost = serviceHost;
        options.SettingsFilePath = SettingsPath();
        options.HistoryFileName = HistoryPath();
        options.CreateBrowserPane = BrowserPaneOf<FakeBrowserPane>();
        return options;
    }

    // Builds the windows without showing them.
    void Create() {
        windows.reset();
        windows = std::make_unique<TProgramWindows>(options());
    }

    // Builds, shows and activates the main window; the first activation loads the settings.
    void Start() {
        Create();
        Main().show();
        Main().activateWindow();
        ASSERT_TRUE(WaitUntil([this] { return Main().Tag == 1; }));
    }

    // Closes the main window as the user would and ends the run.
    void Stop() {
        ASSERT_TRUE(Main().close());
        windows.reset();
    }

    TMainForm1& Main() { return *windows->MainForm1; }
    TSettingForm1& Dialog() { return *windows->SettingForm1; }
    FakeBrowserPane& Pane() { return static_cast<FakeBrowserPane&>(*Main().WebBrowser1); }
    SearchSettings& Settings() { return Main().SearchClient().settings; }

    QTemporaryDir dir;
    // Nothing listens there: a request that goes out fails at once.
    QString serviceHost = QStringLiteral("127.0.0.1:9");
    RecordedMessages messages;
    RecordedDesktop desktop;
    std::unique_ptr<TProgramWindows> windows;
};
