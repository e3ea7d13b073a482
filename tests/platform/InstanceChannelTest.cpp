#include "TestUtil.h"

#include "platform/InstanceChannel.h"
#include "platform/SingleInstance.h"

#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A runtime folder of the test's own, so that its socket meets no running program's.
class InstanceChannelTest : public ::testing::Test {
protected:
    InstanceChannelTest() {
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    static StartRequest request(const QStringList& arguments, const QString& token = QString(),
                                const QString& startupId = QString()) {
        StartRequest made;
        made.arguments = arguments;
        made.activationToken = token;
        made.startupId = startupId;
        return made;
    }

    static QList<StartRequest> received(const QSignalSpy& spy) {
        QList<StartRequest> requests;
        for (const QList<QVariant>& call : spy)
            requests << call.at(0).value<StartRequest>();
        return requests;
    }

    QTemporaryDir runtime;
    const ScopedVariable runtimeVariable{"XDG_RUNTIME_DIR", runtime.path()};
    const QString name = QStringLiteral("sorvel");
};

} // namespace

Q_DECLARE_METATYPE(StartRequest)

TEST_F(InstanceChannelTest, RequestsAreKeptUntilDeliveredThenPassedOnAsTheyCome) {
    InstanceChannel channel;
    ASSERT_TRUE(channel.listen(name));
    EXPECT_EQ(InstanceChannel::socketPath(name), runtime.filePath(QStringLiteral("sorvel.socket")));
    EXPECT_EQ(QFileInfo(SingleInstanceMarker::lockFilePath(name)).dir(),
              QFileInfo(InstanceChannel::socketPath(name)).dir());
    QSignalSpy spy(&channel, &InstanceChannel::requested);

    const StartRequest first = request({QStringLiteral("猫 カフェ")}, QStringLiteral("wl-token"));
    const StartRequest second =
        request({QStringLiteral("--service-host"), QStringLiteral("h:1"), QStringLiteral("犬")},
                QString(), QStringLiteral("launcher-1_TIME42"));
    ASSERT_TRUE(InstanceChannel::send(name, first, 1s));
    ASSERT_TRUE(InstanceChannel::send(name, second, 1s));
    // Heard, but kept: nobody is there to take them yet.
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(spy.size(), 0);

    channel.deliver();
    ASSERT_EQ(received(spy), (QList<StartRequest>{first, second}));

    const StartRequest third = request({});
    ASSERT_TRUE(InstanceChannel::send(name, third, 1s));
    ASSERT_TRUE(waitUntil([&] { return spy.size() == 3; }));
    EXPECT_EQ(received(spy).back(), third);
}

TEST_F(InstanceChannelTest, WhatIsNoRequestIsDropped) {
    InstanceChannel channel;
    ASSERT_TRUE(channel.listen(name));
    channel.deliver();
    QSignalSpy spy(&channel, &InstanceChannel::requested);
    const QByteArray notRequests[] = {
        "",
        "not json",
        R"({"arguments":"one"})",
        R"({"arguments":[1,2]})",
        "[]",
        R"({"arguments":[")" + QByteArray(70 * 1024, 'x') + R"("]})",
    };
    for (const QByteArray& bytes : notRequests) {
        QLocalSocket socket;
        socket.connectToServer(InstanceChannel::socketPath(name));
        ASSERT_TRUE(socket.waitForConnected(1000));
        socket.write(bytes);
        socket.waitForBytesWritten(1000);
        socket.disconnectFromServer();
    }
    // A client that says nothing and stays does not hold up the next.
    QLocalSocket silent;
    silent.connectToServer(InstanceChannel::socketPath(name));
    ASSERT_TRUE(silent.waitForConnected(1000));
    const StartRequest good = request({QStringLiteral("ok")});
    ASSERT_TRUE(InstanceChannel::send(name, good, 1s));
    ASSERT_TRUE(waitUntil([&] { return spy.size() == 1; }));
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(received(spy), QList<StartRequest>{good});
}

// The socket of a run that crashed stays behind; the next run's channel must not fail on it.
TEST_F(InstanceChannelTest, ASocketLeftByACrashedRunIsReplaced) {
    const QByteArray path = QFile::encodeName(InstanceChannel::socketPath(name));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(InstanceChannel::socketPath(name)));
    EXPECT_FALSE(InstanceChannel::send(name, request({}), 200ms));

    InstanceChannel channel;
    ASSERT_TRUE(channel.listen(name));
    channel.deliver();
    QSignalSpy spy(&channel, &InstanceChannel::requested);
    ASSERT_TRUE(InstanceChannel::send(name, request({QStringLiteral("x")}), 1s));
    EXPECT_TRUE(waitUntil([&] { return spy.size() == 1; }));
}

// A second start may come while the first is still starting up and has not begun to listen.
TEST_F(InstanceChannelTest, ASendWaitsForAProgramThatIsStillStarting) {
    EXPECT_FALSE(InstanceChannel::send(name, request({}), 300ms));

    bool sent = false;
    std::thread second([&] { sent = InstanceChannel::send(name, request({"late"}), 10s); });
    waitUntil([] { return false; }, 500);
    InstanceChannel channel;
    ASSERT_TRUE(channel.listen(name));
    channel.deliver();
    QSignalSpy spy(&channel, &InstanceChannel::requested);
    const bool arrived = waitUntil([&] { return spy.size() == 1; });
    second.join();
    EXPECT_TRUE(sent);
    ASSERT_TRUE(arrived);
    EXPECT_EQ(received(spy).front().arguments, QStringList{QStringLiteral("late")});
}
