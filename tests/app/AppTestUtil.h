#pragma once

#include "FakeBrowserPane.h"
#include "TestUtil.h"

#include "app/MainWindow.h"
#include "app/SearchSettingsDialog.h"
#include "app/Startup.h"
#include "platform/DesktopServices.h"
#include "search/SearchController.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
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

// The widget or action of that type and object name below root; a test that asks for one that is
// not there ends with an exception naming it.
template <class T> T* findIn(const QObject& root, const QString& name) {
    T* found = root.findChild<T*>(name);
    if (!found)
        throw std::runtime_error("no " + name.toStdString() + " of the expected type");
    return found;
}

// Types text into the widget key by key; a character beyond ASCII comes as the text of a key
// event, as an input method hands it on.
inline void typeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

inline void writeFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The bundled search service, started on a free loopback port for one test. Its log (one line
// per request on its standard error) is kept.
class ServiceProcess {
public:
    ServiceProcess() {
        m_process.setProgram(QStringLiteral(SORVEL_SERVICE_EXECUTABLE));
        m_process.setArguments({QStringLiteral("--port"), QStringLiteral("0")});
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        const QRegularExpression listening(QStringLiteral("listening on http://([0-9.]+:[0-9]+)/"));
        waitUntil([&] {
            m_output += m_process.readAllStandardOutput();
            const auto match = listening.match(QString::fromLatin1(m_output));
            if (match.hasMatch())
                m_host = match.captured(1);
            return !m_host.isEmpty() || m_process.state() == QProcess::NotRunning;
        });
    }
    ~ServiceProcess() {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    QString host() const { return m_host; }

    // Whether a line of the log so far holds the text.
    bool logged(const QByteArray& text) {
        m_log += m_process.readAllStandardError();
        return m_log.contains(text);
    }

private:
    QProcess m_process;
    QByteArray m_output;
    QByteArray m_log;
    QString m_host;
};

// The main window's options for a test run: the settings and history files in dir, the fake
// browser pane.
inline MainWindowOptions testOptions(const QTemporaryDir& dir, const QString& serviceHost) {
    MainWindowOptions options;
    options.serviceHost = serviceHost;
    options.settingsFilePath = dir.filePath(QStringLiteral("Sorvel.ini"));
    options.historyFileName = dir.filePath(QStringLiteral("log_search.ini"));
    options.createBrowserPane = browserPaneOf<FakeBrowserPane>();
    return options;
}

// The program's two windows against a temporary directory (settings and history file) and a
// fake browser pane; each start() is one run of the program.
class ProgramFixture : public ::testing::Test {
protected:
    ~ProgramFixture() override { windows.reset(); }

    // As testOptions() names them.
    QString settingsPath() const { return dir.filePath(QStringLiteral("Sorvel.ini")); }
    QString historyPath() const { return dir.filePath(QStringLiteral("log_search.ini")); }

    MainWindowOptions options() const { return testOptions(dir, serviceHost); }

    // Builds the windows without showing them.
    void create() {
        windows.reset();
        windows = std::make_unique<ProgramWindows>(options());
    }

    // Builds, shows and activates the main window; the first activation loads the settings.
    void start() {
        create();
        mainWindow().show();
        mainWindow().activateWindow();
        ASSERT_TRUE(waitUntil([this] { return mainWindow().settingsLoaded(); }));
    }

    // Closes the main window as the user would and ends the run.
    void stop() {
        ASSERT_TRUE(mainWindow().close());
        windows.reset();
    }

    MainWindow& mainWindow() { return *windows->mainWindow; }
    SearchSettingsDialog& dialog() { return *windows->settingsDialog; }
    FakeBrowserPane& pane() { return *find<FakeBrowserPane>("browserPane"); }
    SearchSettings& settings() { return mainWindow().searchController().settings; }

    // A key as the user presses it: to the open menu, else to the widget with the focus.
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::activePopupWidget();
        if (!target)
            target = QApplication::focusWidget();
        if (!target)
            target = &mainWindow();
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    }

    // A widget or action of the program's windows (the main window holds the dialog).
    template <class T> T* find(const QString& name) { return findIn<T>(mainWindow(), name); }
    QToolButton* button(const QString& name) { return find<QToolButton>(name); }
    QAction* action(const QString& name) { return find<QAction>(name); }
    QLabel* label(const QString& name) { return find<QLabel>(name); }
    QLabel* statusPanel(int index) { return label(QStringLiteral("statusPanel%1").arg(index)); }

    QTemporaryDir dir;
    // Nothing listens there: a request that goes out fails at once.
    QString serviceHost = QStringLiteral("127.0.0.1:9");
    RecordedMessages messages;
    RecordedDesktop desktop;
    std::unique_ptr<ProgramWindows> windows;
};
