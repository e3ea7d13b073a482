#include "ScriptedHttpServer.h"
#include "TestUtil.h"

#include "app/BundledService.h"
#include "platform/Exception.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace std::chrono_literals;

namespace {

QString loopbackHost(quint16 port) {
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

// A shell script standing in for sorvel-service.
QString writeScript(const QTemporaryDir& dir, const char* name, const QByteArray& body) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// The process id a stand-in script wrote into its file (it writes before it waits).
qint64 scriptPid(const QString& path) {
    return readFileBytes(path).trimmed().toLongLong();
}

QString raisedBy(const std::function<void()>& action) {
    return raisedMessage<Exception>(action);
}

} // namespace

TEST(BundledServiceTest, LoopbackHosts) {
    for (const char* host :
         {"127.0.0.1:8780", "127.1.2.3", "localhost", "LOCALHOST:81", "http://127.0.0.1:8780"})
        EXPECT_TRUE(BundledService::isLoopbackHost(QString::fromLatin1(host))) << host;
    for (const char* host :
         {"192.0.2.1:8780", "videos.example.org", "localhost.example", "0.0.0.0:8780",
          "127.0.0.1:0", "127.0.0.1:x", "https://127.0.0.1:8780"})
        EXPECT_FALSE(BundledService::isLoopbackHost(QString::fromLatin1(host))) << host;
}

// The real service at a free port where nothing answers: started, answering, ended with the
// object.
TEST(BundledServiceTest, StartsTheServiceWhereNothingAnswersAndEndsItAtTheEnd) {
    for (const char* hostName : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(hostName);
        const QString host = QStringLiteral("%1:%2")
                                 .arg(QLatin1String(hostName))
                                 .arg(ScriptedHttpServer::closedPort());
        ASSERT_FALSE(BundledService::answers(host));
        {
            BundledService service;
            ASSERT_EQ(raisedBy([&] {
                          service.ensureRunning(host, QStringLiteral(SORVEL_SERVICE_EXECUTABLE));
                      }),
                      QStringLiteral("<nothing raised>"));
            EXPECT_TRUE(service.isRunning());
            EXPECT_TRUE(BundledService::answers(host));
            // Asked again, it starts no second one.
            service.ensureRunning(host, QStringLiteral("/nonexistent/sorvel-service"));
            EXPECT_TRUE(service.isRunning());
        }
        EXPECT_FALSE(BundledService::answers(host));
    }
}

// Whatever answers there is used: a service a developer started, another user's, another program.
TEST(BundledServiceTest, AServiceThatAnswersOrAHostElsewhereIsUsedAsItIs) {
    ScriptedHttpServer server(ScriptedHttpServer::reply(ScriptedHttpServer::response(200, "ok")));
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("started"));
    const QString script = writeScript(dir, "sorvel-service", "touch '" + marker.toUtf8() + "'");
    for (const QString& host :
         {QString::fromLatin1(server.hostAndPort()), QStringLiteral("192.0.2.1:8780"),
          QStringLiteral("videos.example.org")}) {
        BundledService service;
        EXPECT_EQ(raisedBy([&] { service.ensureRunning(host, script); }),
                  QStringLiteral("<nothing raised>"))
            << host.toStdString();
        EXPECT_FALSE(service.isRunning());
    }
    EXPECT_FALSE(QFile::exists(marker));
}

TEST(BundledServiceTest, SaysWhyItCannotStart) {
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    const QString host = loopbackHost(ScriptedHttpServer::closedPort());
    const QString failing =
        writeScript(dir, "failing",
                    "echo 'sorvel-service: 420 entries' >&2\n"
                    "echo 'sorvel-service: cannot listen on 127.0.0.1 port 1' >&2\nexit 1");
    const QString silent =
        writeScript(dir, "silent", "echo $$ > '" + pidFile.toUtf8() + "'\nexec sleep 30");
    const QString dying = writeScript(dir, "dying", "exit 3");
    const struct {
        const char* name;
        QString executable;
        QString message;
    } cases[] = {
        {"fails", failing,
         QStringLiteral("検索サービス %1 を起動できません: sorvel-service: cannot listen on "
                        "127.0.0.1 port 1")
             .arg(failing)},
        {"ends without a word", dying,
         QStringLiteral("検索サービス %1 を起動できません: 終了コード 3").arg(dying)},
        {"never listens", silent,
         QStringLiteral("検索サービス %1 が 0.5 秒のうちに動き始めませんでした").arg(silent)},
        {"no such file", dir.filePath(QStringLiteral("missing")),
         QStringLiteral("検索サービス %1 を起動できません: ")
             .arg(dir.filePath(QStringLiteral("missing")))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BundledService service;
        const QString message = raisedBy([&] { service.ensureRunning(host, c.executable, 500ms); });
        EXPECT_TRUE(message.startsWith(c.message)) << message.toStdString();
        EXPECT_FALSE(service.isRunning());
    }
    // The one that never listened was ended.
    const qint64 pid = scriptPid(pidFile);
    ASSERT_GT(pid, 0);
    EXPECT_NE(::kill(pid_t(pid), 0), 0);
}

TEST(BundledServiceTest, NoServiceToBeFound) {
    QTemporaryDir empty;
    const ScopedVariable path("PATH", empty.path());
    BundledService service;
    const QString message =
        raisedBy([&] { service.ensureRunning(loopbackHost(ScriptedHttpServer::closedPort())); });
    EXPECT_EQ(message, QStringLiteral("検索サービス sorvel-service が見つかりません"));
}

// A program asked to end while its service starts ends the wait at once, and the service with it.
TEST(BundledServiceTest, AnAbandonedWaitEndsAtOnce) {
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    const QString silent =
        writeScript(dir, "silent", "echo $$ > '" + pidFile.toUtf8() + "'\nexec sleep 30");
    QElapsedTimer clock;
    {
        BundledService service;
        QTimer::singleShot(300, &service, [&] { service.abandonWait(); });
        clock.start();
        EXPECT_EQ(raisedBy([&] {
                      service.ensureRunning(loopbackHost(ScriptedHttpServer::closedPort()), silent,
                                            20s);
                  }),
                  QStringLiteral("<nothing raised>"));
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_TRUE(service.isRunning());
    }
    const qint64 pid = scriptPid(pidFile);
    ASSERT_GT(pid, 0);
    EXPECT_NE(::kill(pid_t(pid), 0), 0);
}
