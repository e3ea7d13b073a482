// The installed program as a user who may not write its folder: the build installed into a fresh
// prefix, the program run as "nobody" with a home and a runtime folder of its own, its service
// host a free loopback port where nothing answers, as the bundled default is on a machine where
// no service runs yet.
#include "ScriptedHttpServer.h"
#include "TestUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int Patience = 60000;

bool answers(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return socket.waitForConnected(2000);
}

// One run of the installed program as the unprivileged user; its standard error is gathered.
class UserRun {
public:
    UserRun(const QString& program, const QProcessEnvironment& environment,
            const QStringList& arguments) {
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(QStringLiteral("/usr/bin/setpriv"));
        m_process.setArguments(QStringList{QStringLiteral("--reuid=nobody"),
                                           QStringLiteral("--regid=nogroup"),
                                           QStringLiteral("--clear-groups"), program} +
                               arguments);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start();
    }
    ~UserRun() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    bool waitForError(const QByteArray& text) {
        return waitUntil(
                   [&] {
                       m_error += m_process.readAllStandardError();
                       return m_error.contains(text) || m_process.state() == QProcess::NotRunning;
                   },
                   Patience) &&
               m_error.contains(text);
    }
    // SIGTERM, as at a logout; the exit code, -1 for none.
    int terminate() {
        m_process.terminate();
        if (!m_process.waitForFinished(Patience))
            return -1;
        m_error += m_process.readAllStandardError();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QByteArray error() const { return m_error; }

private:
    QProcess m_process;
    QByteArray m_error;
};

} // namespace

TEST(InstalledProgramTest, AUserWhoCannotWriteItsFolderSearchesTheServiceItStartsAndKeepsHisFiles) {
    const passwd* nobody = ::getpwnam("nobody");
    const group* nogroup = ::getgrnam("nogroup");
    if (::geteuid() != 0 || !nobody || !nogroup)
        GTEST_SKIP() << "runs as root, to start the program as the user nobody";

    QTemporaryDir root;
    ASSERT_EQ(::chmod(QFile::encodeName(root.path()).constData(), 0755), 0);
    const QString prefix = root.filePath(QStringLiteral("prefix"));
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(CMAKE_COMMAND),
                  {QStringLiteral("--install"), QStringLiteral(BUILD_DIR),
                   QStringLiteral("--prefix"), prefix, QStringLiteral("--config"),
                   QStringLiteral(BUILD_CONFIG)});
    ASSERT_TRUE(install.waitForFinished(Patience));
    ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
    const QStringList installedPrograms =
        QDir(prefix + QStringLiteral("/bin")).entryList(QDir::Files);

    const QString home = root.filePath(QStringLiteral("home"));
    const QString runtime = root.filePath(QStringLiteral("runtime"));
    for (const QString& folder : {home, runtime}) {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), nobody->pw_uid, nogroup->gr_gid),
                  0);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);

    const quint16 port = ScriptedHttpServer::closedPort();
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    environment.insert(QStringLiteral("SORVEL_SERVICE_HOST"),
                       QStringLiteral("127.0.0.1:%1").arg(port));
    const QString program = prefix + QStringLiteral("/bin/sorvel");
    const QString settings = home + QStringLiteral("/.config/sorvel/Sorvel.ini");
    const QString history = home + QStringLiteral("/.config/sorvel/log_search.ini");
    ASSERT_FALSE(answers(port));

    QByteArray id;
    {
        SCOPED_TRACE("first run");
        UserRun run(program, environment, {QStringLiteral("猫")});
        // The service the program started logs the search, then the thumbnails of the answer
        // the program shows.
        ASSERT_TRUE(run.waitForError("\"GET /files/sorvel/api_yahoo.php?&query=%E7%8C%AB&"))
            << run.error().toStdString();
        ASSERT_TRUE(run.waitForError("\"GET /thumbs/")) << run.error().toStdString();
        EXPECT_TRUE(answers(port));
        EXPECT_EQ(run.terminate(), 0) << run.error().toStdString();
        // The service went with the program.
        EXPECT_FALSE(answers(port));

        EXPECT_EQ(QFileInfo(settings).ownerId(), nobody->pw_uid);
        const QByteArray stored = readFileBytes(settings);
        ASSERT_TRUE(stored.startsWith("[SET]\r\nID=")) << stored.toStdString();
        id = stored.mid(10, 19);
        EXPECT_EQ(readFileBytes(history),
                  "[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=\x94\x4c\r\n");
    }
    {
        SCOPED_TRACE("second run");
        UserRun run(program, environment, {QStringLiteral("京都")});
        ASSERT_TRUE(
            run.waitForError("\"GET /files/sorvel/api_yahoo.php?&query=%E4%BA%AC%E9%83%BD&"))
            << run.error().toStdString();
        ASSERT_TRUE(run.waitForError("\"GET /thumbs/")) << run.error().toStdString();
        EXPECT_EQ(run.terminate(), 0) << run.error().toStdString();
        // The stored history came back: the new keyword went on top of it; the id stayed.
        EXPECT_EQ(readFileBytes(history), "[HistoryComboBox1]\r\nHistoryCount=2\r\n"
                                          "History0=\x8b\x9e\x93\x73\r\nHistory1=\x94\x4c\r\n");
        EXPECT_EQ(readFileBytes(settings).mid(10, 19), id);
    }
    // Nothing was written beside the program.
    EXPECT_EQ(QDir(prefix + QStringLiteral("/bin")).entryList(QDir::Files), installedPrograms);
}
