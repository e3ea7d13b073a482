#include "AppTestUtil.h"
#include "ScriptedHttpServer.h"

#include "controls/HistoryComboBox.h"
#include "platform/Exception.h"
#include "platform/MessageService.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <csignal>

#include <sys/stat.h>
#include <sys/types.h>

namespace {

MainWindowOptions testOptions(const QTemporaryDir& dir, const QString& serviceHost) {
    MainWindowOptions options;
    options.serviceHost = serviceHost;
    options.settingsFilePath = dir.filePath(QStringLiteral("Sorvel.ini"));
    options.historyFileName = dir.filePath(QStringLiteral("log_search.ini"));
    options.createBrowserPane = browserPaneOf<FakeBrowserPane>();
    return options;
}

MainWindow* shownMainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<MainWindow*>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

} // namespace

TEST(ApplicationErrorBoxTest, FullStopRule) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"abc", "abc."},   {"abc.", "abc."},      {"abc)", "abc)"},
        {"abc!", "abc!"},  {"abc,", "abc,"},      {"abc-", "abc-"},
        {"abc/", "abc/."}, {"エラー", "エラー."}, {"書き込めません", "書き込めません."},
        {"", ""},
    };
    RecordedMessages messages;
    for (const auto& c : cases)
        runCommand([&] { throw Exception(QString::fromUtf8(c.message)); });
    runCommand([] { throw 42; });
    ASSERT_EQ(messages.errors.size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(messages.errors[i], QString::fromUtf8(cases[i].shown)) << cases[i].message;
    EXPECT_EQ(messages.errors.back(), QString());
}

// Runs once in the event loop of the run, while the object lives (unlike QTimer::singleShot, no
// call is left behind for a later test when the run never reaches its loop).
class InTheLoop final {
public:
    explicit InTheLoop(std::function<void()> action) {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, qApp, std::move(action));
        m_timer.start(0);
    }

private:
    QTimer m_timer;
};

// The shown main window once its first activation has loaded the settings; nullptr (and the
// run ended) when there is none.
MainWindow* activatedMainWindow() {
    MainWindow* window = shownMainWindow();
    if (!window || !waitUntil([&] { return window->settingsLoaded(); })) {
        ADD_FAILURE() << "the main window was not shown and activated";
        QApplication::closeAllWindows();
        return nullptr;
    }
    return window;
}

TEST(StartupTest, ADamagedHistoryCountNeverStopsTheStart) {
    QTemporaryDir dir;
    RecordedMessages messages;
    const QString historyPath = dir.filePath(QStringLiteral("log_search.ini"));
    writeFileBytes(historyPath, "[HistoryComboBox1]\r\nHistoryCount=abc\r\nHistory0=\x94\x4c\r\n");
    QStringList shownEntries;
    const InTheLoop run([&] {
        if (MainWindow* window = activatedMainWindow()) {
            for (int i = 0; i < findIn<HistoryComboBox>(*window, "keywordBox")->count(); ++i)
                shownEntries << findIn<HistoryComboBox>(*window, "keywordBox")->itemText(i);
            window->close();
        }
    });
    EXPECT_EQ(runApplication(*qApp, testOptions(dir, QStringLiteral("127.0.0.1:9"))), 0);
    EXPECT_TRUE(messages.errors.isEmpty()) << messages.errors.join(u'\n').toStdString();
    EXPECT_EQ(shownEntries, QStringList{QStringLiteral("猫")});
    // Written back as read, and as a sound file.
    EXPECT_EQ(readFileBytes(historyPath),
              "[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=\x94\x4c\r\n");
}

// The main window is closed while a page load waits for a server that holds its answer or a
// thumbnail: the close saves, ends the transfer and the load at once, and the run ends without
// waiting for the server and without asking for a further thumbnail.
TEST(StartupTest, CloseDuringAPageLoadEndsTheLoadAndTheRun) {
    const struct {
        const char* name;
        int stalledRequest; // 1: the answer, 2: the first thumbnail
        QByteArray history;
    } cases[] = {
        {"waiting for the answer", 1, "[HistoryComboBox1]\r\nHistoryCount=0\r\n"},
        // The answer was shown: its keyword is in the history.
        {"waiting for a thumbnail", 2,
         "[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=\x94\x4c\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        RecordedMessages messages;
        std::atomic<int> served{0};
        std::atomic<bool> stallEnded{false};
        QByteArray answer;
        ScriptedHttpServer server([&](ScriptedHttpServer::Connection& connection) {
            connection.readRequest();
            if (++served == c.stalledRequest) {
                connection.stall(std::chrono::seconds(10));
                stallEnded = true;
            } else if (served == 1) {
                connection.send(ScriptedHttpServer::response(200, answer));
            } else {
                connection.send(ScriptedHttpServer::response(404, "none"));
            }
        });
        answer = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                 R"(<ResultSet totalResultsAvailable="3" totalResultsReturned="3">)";
        for (const char* thumbnail : {"/1.jpg", "/2.jpg", "/3.jpg"})
            answer += "<Result><Title>t</Title><Duration>5</Duration><Url>" +
                      server.url(thumbnail) + "</Url></Result>";
        answer += "</ResultSet>";

        bool closeAccepted = false;
        bool searchReturned = false;
        QTimer closer;
        const InTheLoop run([&] {
            MainWindow* window = activatedMainWindow();
            if (!window)
                return;
            // Closes the window as soon as the stalled request has reached the server.
            QObject::connect(&closer, &QTimer::timeout, window, [&, window] {
                if (server.requests().size() < c.stalledRequest)
                    return;
                closer.stop();
                closeAccepted = window->close();
            });
            closer.start(5);
            findIn<HistoryComboBox>(*window, "keywordBox")->setEditText(QStringLiteral("猫"));
            findIn<QToolButton>(*window, "searchButton")->click();
            searchReturned = true;
        });
        EXPECT_EQ(
            runApplication(*qApp, testOptions(dir, QString::fromLatin1(server.hostAndPort()))), 0);

        EXPECT_FALSE(stallEnded) << "the run waited for the server";
        EXPECT_EQ(server.requests().size(), c.stalledRequest);
        EXPECT_TRUE(closeAccepted);
        EXPECT_TRUE(searchReturned);
        // No offline message for a transfer that the close ended.
        EXPECT_TRUE(messages.information.isEmpty());
        EXPECT_TRUE(messages.errors.isEmpty());
        EXPECT_TRUE(readFileBytes(dir.filePath(QStringLiteral("Sorvel.ini"))).contains("S1_C4="));
        EXPECT_EQ(readFileBytes(dir.filePath(QStringLiteral("log_search.ini"))), c.history);
        EXPECT_EQ(shownMainWindow(), nullptr);
    }
}

namespace {

// Whether some process holds the flock of the lock file, and which: read from /proc/locks, so
// that looking never takes the lock itself.
qint64 lockHolder(const QString& lockPath) {
    struct stat info {};
    if (::stat(QFile::encodeName(lockPath).constData(), &info) != 0)
        return 0;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray inode = ':' + QByteArray::number(qulonglong(info.st_ino));
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // "1: FLOCK  ADVISORY  WRITE 4321 08:01:123456 0 EOF"
        if (fields.size() >= 6 && fields[1] == "FLOCK" && fields[5].endsWith(inode))
            return fields[4].toLongLong();
    }
    return 0;
}

// The signals that a process ignores, from /proc (bit n - 1 for signal n).
quint64 ignoredSignals(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigIgn:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16);
    }
    return 0;
}

// Runs the program as its own process: a copy of the executable in a temporary folder, so that
// the files it keeps beside itself stay there, and its own runtime directory for the
// single-instance lock.
class ProgramProcesses : public ::testing::Test {
protected:
    ProgramProcesses() {
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        copied = QFile::copy(QStringLiteral(SORVEL_EXECUTABLE), program());
    }

    ~ProgramProcesses() override {
        for (QProcess* process : {&first, &second, &third}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(10000);
            }
        }
    }

    QString program() const { return programDir.filePath(QStringLiteral("sorvel")); }
    QString programFile(const char* name) const {
        return programDir.filePath(QString::fromLatin1(name));
    }

    void launch(QProcess& process) {
        ASSERT_TRUE(copied);
        process.setProcessEnvironment(environment);
        process.setProgram(program());
        // The standard error is kept for the test to read.
        process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        process.start();
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    QString lockPath() const { return runtime.filePath(QStringLiteral("sorvel.lock")); }

    QTemporaryDir runtime;
    QTemporaryDir programDir;
    bool copied = false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess first;
    QProcess second;
    QProcess third;
};

using TwoProcessesTest = ProgramProcesses;
using ProgramSignalsTest = ProgramProcesses;

} // namespace

TEST_F(TwoProcessesTest, TheSecondEndsAtOnceAndAStartAfterTheFirstSucceeds) {
    launch(first);
    ASSERT_TRUE(waitUntil([&] { return lockHolder(lockPath()) == first.processId(); }, 30000));

    launch(second);
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(lockHolder(lockPath()), first.processId());

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(30000));

    launch(third);
    ASSERT_TRUE(waitUntil([&] { return lockHolder(lockPath()) == third.processId(); }, 30000));
    EXPECT_EQ(third.state(), QProcess::Running);
    third.terminate();
    ASSERT_TRUE(third.waitForFinished(30000));
}

// SIGTERM, SIGINT and SIGHUP close the window the normal way: the process ends by itself with 0
// after saving the settings file (read first: the stored identifier is kept) and the history
// (rewritten from what it read). SIGXFSZ is ignored, so that a write past a file size limit fails
// like any other write. A settings file that cannot be written holds nothing up: no box waits
// for an answer, the message goes to the standard error.
TEST_F(ProgramSignalsTest, TermIntAndHupCloseTheWindowAndSaveBothFiles) {
    const QByteArray storedSettings = "[SET]\r\nID= 1234-5678-9012-3456 \r\n";
    const struct {
        const char* name;
        QList<int> signalNumbers;
        bool readOnlySettings;
    } cases[] = {
        {"SIGTERM", {SIGTERM}, false},
        {"SIGINT", {SIGINT}, false},
        {"SIGHUP", {SIGHUP}, false},
        {"SIGXFSZ, then SIGTERM", {SIGXFSZ, SIGTERM}, false},
        {"SIGTERM, the settings file read-only", {SIGTERM}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString settingsPath = programFile("Sorvel.ini");
        QFile::remove(settingsPath);
        writeFileBytes(settingsPath, storedSettings);
        if (c.readOnlySettings) {
            ASSERT_TRUE(QFile::setPermissions(settingsPath, QFile::ReadOwner));
        }
        writeFileBytes(programFile("log_search.ini"),
                       "[HistoryComboBox1]\r\nhistorycount=1\r\nhistory0=cat\r\n");
        QProcess process;
        launch(process);
        ASSERT_TRUE(
            waitUntil([&] { return lockHolder(lockPath()) == process.processId(); }, 30000));
        EXPECT_TRUE(ignoredSignals(process.processId()) & (quint64(1) << (SIGXFSZ - 1)));
        for (const int signalNumber : c.signalNumbers)
            ASSERT_EQ(::kill(pid_t(process.processId()), signalNumber), 0);
        if (!process.waitForFinished(30000)) {
            ADD_FAILURE() << "still running";
            process.kill();
            process.waitForFinished(10000);
            continue;
        }
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        const QByteArray settings = readFileBytes(settingsPath);
        const bool reported = process.readAllStandardError().contains(
            (QStringLiteral("Sorvel Browser: ") + QFileInfo(settingsPath).absoluteFilePath() +
             QStringLiteral(" に書き込めません."))
                .toLocal8Bit());
        if (c.readOnlySettings) {
            EXPECT_EQ(settings, storedSettings);
            EXPECT_TRUE(reported);
        } else {
            EXPECT_TRUE(settings.startsWith("[SET]\r\nID=1234-5678-9012-3456\r\nM_LEFT="));
            EXPECT_TRUE(settings.contains("\r\nS1_C4=\r\n"));
            EXPECT_FALSE(reported);
        }
        EXPECT_EQ(readFileBytes(programFile("log_search.ini")),
                  "[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=cat\r\n");
    }
}
