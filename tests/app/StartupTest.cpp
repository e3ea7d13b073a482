#include "AppTestUtil.h"
#include "ScriptedHttpServer.h"
#include "SearchAnswer.h"

#include "controls/HistoryComboBox.h"
#include "platform/Exception.h"
#include "platform/InstanceChannel.h"
#include "platform/Jpeg.h"
#include "platform/MessageService.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QProcess>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// An answer with no results.
QByteArray emptyAnswer() {
    return ScriptedHttpServer::response(200, answerOf(0));
}

// An answer with one result, without a thumbnail.
QByteArray oneResultAnswer() {
    return ScriptedHttpServer::response(
        200, answerOf(1, "<Result><Title>t</Title><Duration>5</Duration><Url></Url></Result>"));
}

// The search requests among a server's requests.
QList<QByteArray> searchRequests(const ScriptedHttpServer& server) {
    QList<QByteArray> found;
    for (const QByteArray& request : server.requests()) {
        if (request.startsWith("GET /files/sorvel/api_yahoo.php?"))
            found << request;
    }
    return found;
}

// Leaves the socket file of a run that crashed at the path: bound, never listened on, not removed.
void leaveStaleSocket(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
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
        QByteArray blocks;
        ScriptedHttpServer server([&](ScriptedHttpServer::Connection& connection) {
            connection.readRequest();
            if (++served == c.stalledRequest) {
                connection.stall(std::chrono::seconds(10));
                stallEnded = true;
            } else if (served == 1) {
                connection.send(ScriptedHttpServer::response(200, answerOf(3, blocks)));
            } else {
                connection.send(ScriptedHttpServer::response(404, "none"));
            }
        });
        for (const char* thumbnail : {"/1.jpg", "/2.jpg", "/3.jpg"})
            blocks += "<Result><Title>t</Title><Duration>5</Duration><Url>" +
                      server.url(thumbnail) + "</Url></Result>";

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

// The pictures the program carries in itself: the window icon in every size, drawn as its
// size, and the stand-in for a thumbnail, which the window uses.
TEST(StartupTest, IconAndStandInPictureAreCompiledIn) {
    const QIcon icon = programIcon();
    ASSERT_EQ(icon.availableSizes().size(), 7);
    for (const QSize& size : icon.availableSizes()) {
        const QImage drawn = icon.pixmap(size).toImage();
        EXPECT_EQ(drawn.size(), size);
        // Drawn, not empty: the centre is not transparent.
        EXPECT_GT(qAlpha(drawn.pixel(size.width() / 2, size.height() / 2)), 0) << size.width();
    }
    QTemporaryDir dir;
    const ProgramWindows windows(testOptions(dir, QStringLiteral("127.0.0.1:9")));
    const QString standIn = windows.mainWindow->searchController().noImageFile;
    EXPECT_TRUE(standIn.startsWith(QStringLiteral(":/")));
    EXPECT_EQ(loadJpegFile(standIn).size(), QSize(120, 90));
}

// The keyword of the command line is searched for with the stored settings applied.
TEST(StartupTest, TheCommandLineSearchRunsOnceTheSettingsAreApplied) {
    QTemporaryDir dir;
    RecordedMessages messages;
    writeFileBytes(dir.filePath(QStringLiteral("Sorvel.ini")), "[SET]\r\nS1_C0=1\r\n");
    ScriptedHttpServer server(ScriptedHttpServer::reply(emptyAnswer()));
    QString keywordShown;
    const InTheLoop run([&] {
        if (MainWindow* window = activatedMainWindow()) {
            waitUntil([&] { return !searchRequests(server).isEmpty(); });
            keywordShown = findIn<HistoryComboBox>(*window, "keywordBox")->currentText();
            window->close();
        }
    });
    EXPECT_EQ(runApplication(*qApp, testOptions(dir, QString::fromLatin1(server.hostAndPort())),
                             StartOptions{QStringLiteral("猫"), nullptr}),
              0);
    const QList<QByteArray> requests = searchRequests(server);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_TRUE(requests.front().startsWith(
        "GET /files/sorvel/api_yahoo.php?&query=%E7%8C%AB&results=10&start=1&"))
        << requests.front().toStdString();
    EXPECT_EQ(keywordShown, QStringLiteral("猫"));
    EXPECT_TRUE(messages.errors.isEmpty());
    EXPECT_TRUE(messages.information.isEmpty());
}

// A second start comes while a page load waits for the server: the window comes forward at once,
// its search runs when the load has ended, not inside it.
TEST(StartupTest, ASecondStartBringsTheWindowForwardAndSearchesAfterTheRunningLoad) {
    QTemporaryDir dir;
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const ScopedVariable runtimeVariable("XDG_RUNTIME_DIR", runtime.path());
    RecordedMessages messages;
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& connection) {
        if (connection.readRequest().contains("%E7%8C%AB"))
            connection.stall(1500ms);
        connection.send(oneResultAnswer());
    });
    InstanceChannel channel;
    ASSERT_TRUE(channel.listen(InstanceMarkerName));

    bool broughtForward = false;
    QString caption;
    QStringList history;
    const InTheLoop run([&] {
        MainWindow* window = activatedMainWindow();
        if (!window)
            return;
        QWidget other;
        other.show();
        other.activateWindow();
        waitUntil([&] { return QApplication::activeWindow() == &other; });
        std::thread second([&] {
            while (searchRequests(server).isEmpty())
                std::this_thread::sleep_for(10ms);
            StartRequest request;
            request.arguments = QStringList{QStringLiteral("犬")};
            InstanceChannel::send(InstanceMarkerName, request, 5s);
        });
        auto* box = findIn<HistoryComboBox>(*window, "keywordBox");
        box->setEditText(QStringLiteral("猫"));
        findIn<QToolButton>(*window, "searchButton")->click();
        second.join();
        broughtForward = QApplication::activeWindow() == window;
        waitUntil([&] { return searchRequests(server).size() == 2 && window->isSearchEnabled(); });
        caption = window->windowTitle();
        for (int i = 0; i < box->count(); ++i)
            history << box->itemText(i);
        window->close();
    });
    EXPECT_EQ(runApplication(*qApp, testOptions(dir, QString::fromLatin1(server.hostAndPort())),
                             StartOptions{QString(), &channel}),
              0);

    EXPECT_TRUE(broughtForward);
    const QList<QByteArray> requests = searchRequests(server);
    ASSERT_EQ(requests.size(), 2);
    EXPECT_TRUE(requests[1].contains("query=%E7%8A%AC&")) << requests[1].toStdString();
    // Both loads ran to their end, one after the other.
    EXPECT_EQ(history, (QStringList{QStringLiteral("犬"), QStringLiteral("猫")}));
    EXPECT_EQ(caption, QStringLiteral("ORVENA - Sorvel Browser -「犬」の動画検索結果 1件"));
    EXPECT_TRUE(messages.information.isEmpty()) << messages.information.join(u'\n').toStdString();
    EXPECT_TRUE(messages.errors.isEmpty());
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

// Runs the program as its own process: a copy of the executable in a temporary folder, its own
// home folder for the user's files, its own runtime directory for the single-instance lock and
// its socket, and a bundled service of its own as service host.
class ProgramProcesses : public ::testing::Test {
protected:
    ProgramProcesses() {
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("HOME"), home.path());
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
                                 "DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("SORVEL_SERVICE_HOST"), service.host());
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

    // The standard error is kept for the test to read, the standard output too when asked.
    void launch(QProcess& process, const QStringList& arguments = {},
                QProcess::ProcessChannelMode channels = QProcess::ForwardedOutputChannel) {
        ASSERT_TRUE(copied);
        process.setProcessEnvironment(environment);
        process.setProgram(program());
        process.setArguments(arguments);
        process.setProcessChannelMode(channels);
        process.start();
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    QString lockPath() const { return runtime.filePath(QStringLiteral("sorvel.lock")); }
    QString userFile(const char* name) const {
        return home.filePath(QStringLiteral(".config/sorvel/") + QLatin1String(name));
    }

    QTemporaryDir runtime;
    QTemporaryDir home;
    QTemporaryDir programDir;
    ServiceProcess service;
    bool copied = false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess first;
    QProcess second;
    QProcess third;
};

using TwoProcessesTest = ProgramProcesses;
using ProgramSignalsTest = ProgramProcesses;
using CommandLineProcessTest = ProgramProcesses;

} // namespace

// The second start hands its keyword to the first, which searches for it, and ends; the socket
// of a run that crashed before does not stand in the way. Without a Sorvel.ini beside the
// program, the files go to the user's settings folder.
TEST_F(TwoProcessesTest, TheSecondHandsItsKeywordToTheFirstAndEnds) {
    leaveStaleSocket(runtime.filePath(QStringLiteral("sorvel.socket")));
    launch(first);
    ASSERT_TRUE(waitUntil([&] { return lockHolder(lockPath()) == first.processId(); }, 30000));

    environment.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QStringLiteral("test_TIME1"));
    launch(second, {QStringLiteral("猫")});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(lockHolder(lockPath()), first.processId());
    EXPECT_TRUE(waitUntil(
        [&] { return service.logged("GET /files/sorvel/api_yahoo.php?&query=%E7%8C%AB&"); },
        30000));
    // The answer is shown once its thumbnails are asked for: the keyword is then kept.
    EXPECT_TRUE(waitUntil([&] { return service.logged("GET /thumbs/"); }, 30000));

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_TRUE(readFileBytes(userFile("Sorvel.ini")).startsWith("[SET]\r\nID="));
    EXPECT_EQ(readFileBytes(userFile("log_search.ini")),
              "[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=\x94\x4c\r\n");
    EXPECT_FALSE(QFile::exists(programFile("Sorvel.ini")));
    EXPECT_FALSE(QFile::exists(programFile("log_search.ini")));

    launch(third);
    ASSERT_TRUE(waitUntil([&] { return lockHolder(lockPath()) == third.processId(); }, 30000));
    EXPECT_EQ(third.state(), QProcess::Running);
    third.terminate();
    ASSERT_TRUE(third.waitForFinished(30000));
}

namespace {

// A property of the main window on an X server, as xprop shows it; empty while there is none.
QByteArray windowProperty(const QString& display, const char* property) {
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-display"), display, QStringLiteral("-name"),
                 QStringLiteral("ORVENA - Sorvel Browser"), QString::fromLatin1(property)});
    xprop.waitForFinished(10000);
    return xprop.exitCode() == 0 ? xprop.readAllStandardOutput() : QByteArray();
}

} // namespace

// On X11 the startup notification id of the launcher of a second start goes to the window, where
// the window manager reads it (and its time) to let the window come forward. An X server of the
// test's own (Xvfb), without a window manager.
TEST_F(TwoProcessesTest, OnX11TheSecondStartsStartupIdReachesTheWindow) {
    QProcess xvfb;
    // Without -noreset the server starts afresh whenever its last client leaves (each xprop
    // below), and a program connecting just then finds no server and gives up.
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp"), QStringLiteral("-noreset")});
    ASSERT_TRUE(xvfb.waitForStarted(10000)) << "Xvfb (package xvfb) is needed";
    QByteArray number;
    ASSERT_TRUE(waitUntil(
        [&] {
            number += xvfb.readAllStandardOutput();
            return number.endsWith('\n');
        },
        30000));
    const QString display = u':' + QString::fromLatin1(number.trimmed());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), display);

    launch(first);
    ASSERT_TRUE(waitUntil([&] { return !windowProperty(display, "WM_CLASS").isEmpty(); }, 30000))
        << "xprop (package x11-utils) is needed; the program said: "
        << first.readAllStandardError().toStdString();
    EXPECT_EQ(windowProperty(display, "_NET_STARTUP_ID"), "_NET_STARTUP_ID:  not found.\n");
    environment.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QStringLiteral("launcher-7_TIME4242"));
    launch(second);
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitUntil(
        [&] {
            return windowProperty(display, "_NET_STARTUP_ID") ==
                   "_NET_STARTUP_ID(UTF8_STRING) = \"launcher-7_TIME4242\"\n";
        },
        10000))
        << windowProperty(display, "_NET_STARTUP_ID").toStdString();
    first.terminate();
    EXPECT_TRUE(first.waitForFinished(30000));
    xvfb.terminate();
    xvfb.waitForFinished(10000);
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
    // A portable copy: nothing went to the user's folders.
    EXPECT_FALSE(QFile::exists(home.filePath(QStringLiteral(".config/sorvel"))));
}

// The request goes to the host the run names: --service-host, else SORVEL_SERVICE_HOST. The
// options of X11's, which a platform other than X11 leaves alone, are no options of the program.
TEST_F(CommandLineProcessTest, TheSearchGoesToTheServiceHostOfTheRun) {
    ServiceProcess optionService;
    ServiceProcess variableService;
    const struct {
        const char* name;
        ServiceProcess* option;
        ServiceProcess* variable;
        ServiceProcess* asked;
        bool x11Options;
    } cases[] = {
        {"the option", &optionService, nullptr, &optionService, false},
        {"the variable", nullptr, &variableService, &variableService, false},
        {"both: the option wins", &optionService, &variableService, &optionService, false},
        {"the option among X11's", &optionService, nullptr, &optionService, true},
    };
    int run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A keyword of each run's own, so that each run's request is known by it.
        const QString keyword = QStringLiteral("run%1").arg(++run);
        const QByteArray request = "api_yahoo.php?&query=" + keyword.toLatin1() + '&';
        QStringList arguments;
        if (c.x11Options)
            arguments << QStringLiteral("-display") << QStringLiteral(":1")
                      << QStringLiteral("-sync");
        if (c.option)
            arguments << QStringLiteral("--service-host") << c.option->host();
        arguments << keyword;
        environment.remove(QStringLiteral("SORVEL_SERVICE_HOST"));
        if (c.variable)
            environment.insert(QStringLiteral("SORVEL_SERVICE_HOST"), c.variable->host());
        QProcess process;
        launch(process, arguments);
        EXPECT_TRUE(waitUntil([&] { return c.asked->logged(request); }, 30000));
        process.terminate();
        ASSERT_TRUE(process.waitForFinished(30000));
        for (ServiceProcess* other : {&optionService, &variableService, &service}) {
            if (other != c.asked) {
                EXPECT_FALSE(other->logged(request));
            }
        }
    }
}

// --help and --version print and end without a display; what cannot be used ends with 2.
TEST_F(CommandLineProcessTest, HelpVersionAndErrorsNeedNoDisplay) {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    const struct {
        QStringList arguments;
        const char* variable;
        int exitCode;
        const char* output;
        const char* error;
    } cases[] = {
        {{QStringLiteral("--help")}, "", 0, "Usage: ", ""},
        {{QStringLiteral("-h"), QStringLiteral("--bogus")}, "", 0, "Usage: ", ""},
        {{QStringLiteral("--version")}, "", 0, "Sorvel Browser 3.2\n", ""},
        {{QStringLiteral("--bogus")}, "", 2, "", "sorvel: Unknown option 'bogus'.\n"},
        {{QStringLiteral("--service-host"), QStringLiteral("a b")},
         "",
         2,
         "",
         "sorvel: --service-host: 'a b' is no HOST[:PORT]\n"},
        {{}, "a b", 2, "", "sorvel: SORVEL_SERVICE_HOST: 'a b' is no HOST[:PORT]\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        environment.insert(QStringLiteral("SORVEL_SERVICE_HOST"), QString::fromLatin1(c.variable));
        if (!*c.variable)
            environment.remove(QStringLiteral("SORVEL_SERVICE_HOST"));
        QProcess process;
        launch(process, c.arguments, QProcess::SeparateChannels);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), c.exitCode);
        EXPECT_TRUE(process.readAllStandardOutput().startsWith(c.output));
        EXPECT_TRUE(process.readAllStandardError().startsWith(c.error));
    }
    EXPECT_FALSE(QFile::exists(lockPath()));
}
