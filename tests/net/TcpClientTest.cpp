#include "net/TcpClient.h"

#include "ScriptedHttpServer.h"
#include "TestUtil.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A client pointed at a scripted server, with a time-out that keeps a failing test short.
struct Client {
    explicit Client(const ScriptedHttpServer& server) {
        sock.host = "127.0.0.1";
        sock.port = server.port();
        sock.timeout = 10000;
    }
    TcpClient sock;
};

ScriptedHttpServer::Script sendAndClose(const QByteArray& bytes) {
    return [bytes](ScriptedHttpServer::Connection& c) { c.send(bytes); };
}

ScriptedHttpServer::Script silent() {
    return [](ScriptedHttpServer::Connection& c) { c.stall(60s); };
}

} // namespace

TEST(TcpClientTest, ErrorMessageUsesTheWinsockTable) {
    TcpClient sock;
    const struct {
        int number;
        QString text;
    } cases[] = {
        {0, ""},
        {10004, "10004:Interrupted system call"},
        {10035, "10035:Operation would block"},
        {10057, "10057:Socket is not connected"},
        {10061, "10061:Connection refused"},
        {10093, "10093:Successful WSAStartup not yet performed"},
        {11004, "11004:Valid name, no data record of requested type"},
        {12345, "Unknown Error No. 12345"},
        {10000, "Unknown Error No. 10000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sock.errorMessage(c.number), c.text) << c.number;

    int known = 0;
    for (int number = 10000; number <= 11010; ++number)
        known += sock.errorMessage(number).startsWith(QString::number(number) + u':');
    EXPECT_EQ(known, 50);
}

TEST(TcpClientTest, FirstClientOfTheProcessDescribesTheSocketLayer) {
    TcpClient first;
    TcpClient second;
    const QList<QByteArray> prefixes = {"Version= ", "High Version= ", "Description= ",
                                        "System= ",  "Max Sockets= ",  "Max Udp pack size= "};
    ASSERT_EQ(first.socketInfo.size(), prefixes.size());
    for (qsizetype i = 0; i < prefixes.size(); ++i)
        EXPECT_TRUE(first.socketInfo[i].startsWith(prefixes[i])) << first.socketInfo[i].data();
    EXPECT_EQ(first.socketInfo[0], "Version= 1.1");
    EXPECT_TRUE(second.socketInfo.isEmpty());
}

TEST(TcpClientTest, DottedAddressConnectsWithoutLookup) {
    ScriptedHttpServer server(silent());
    Client client(server);
    int resolved = 0;
    int connected = 0;
    client.sock.onHostResolved = [&](TcpClient*) { ++resolved; };
    client.sock.onConnect = [&](TcpClient*) { ++connected; };
    client.sock.connectToHost();
    EXPECT_TRUE(client.sock.connected);
    EXPECT_EQ(resolved, 0);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(raisedMessage<SocketError>([&] { client.sock.connectToHost(); }),
              "Already connected");
}

TEST(TcpClientTest, HostNameIsLookedUp) {
    ScriptedHttpServer server(silent());
    Client client(server);
    client.sock.host = "localhost";
    int resolved = 0;
    client.sock.onHostResolved = [&](TcpClient*) { ++resolved; };
    client.sock.connectToHost();
    EXPECT_TRUE(client.sock.connected);
    EXPECT_EQ(resolved, 1);
}

TEST(TcpClientTest, UnresolvableNameGivesNullRemoteAddress) {
    ScriptedHttpServer server(silent());
    Client client(server);
    // Rejected by the resolver itself: no name server is asked.
    client.sock.host = "no..such..host";
    EXPECT_EQ(raisedMessage<SocketError>([&] { client.sock.connectToHost(); }),
              "Null Remote Address");
    EXPECT_FALSE(client.sock.connected);
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST(TcpClientTest, InvalidHostHandlerGetsOneCorrection) {
    ScriptedHttpServer server(silent());
    {
        Client client(server);
        client.sock.host = "no..such..host";
        int calls = 0;
        client.sock.onInvalidHost = [&](bool& handled) {
            ++calls;
            client.sock.host = "127.0.0.1";
            handled = true;
        };
        client.sock.connectToHost();
        EXPECT_TRUE(client.sock.connected);
        EXPECT_EQ(calls, 1);
    }
    {
        Client client(server);
        client.sock.host = "no..such..host";
        int calls = 0;
        client.sock.onInvalidHost = [&](bool& handled) {
            ++calls;
            client.sock.host = "still..not..a..host";
            handled = true;
        };
        EXPECT_EQ(raisedMessage<SocketError>([&] { client.sock.connectToHost(); }),
                  "Null Remote Address");
        EXPECT_EQ(calls, 1);
    }
}

TEST(TcpClientTest, RefusedConnectionFails) {
    TcpClient sock;
    sock.host = "127.0.0.1";
    sock.port = ScriptedHttpServer::closedPort();
    sock.timeout = 10000;
    int failed = 0;
    sock.onConnectionFailed = [&](TcpClient*) { ++failed; };
    EXPECT_EQ(raisedMessage<SocketError>([&] { sock.connectToHost(); }), "Connection Failed");
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(sock.lastError, 10061);
    EXPECT_FALSE(sock.connected);
}

TEST(TcpClientTest, ReadLineReturnsLinesAndDropsAnUnfinishedOne) {
    ScriptedHttpServer server(sendAndClose("abc\r\nde\nf"));
    Client client(server);
    client.sock.connectToHost();
    EXPECT_EQ(client.sock.readLine(), "abc\r\n");
    EXPECT_EQ(client.sock.readLine(), "de\n");
    EXPECT_EQ(client.sock.readLine(), "");
}

TEST(TcpClientTest, ReadLineTakesNothingBeyondTheLine) {
    ScriptedHttpServer server(sendAndClose("line\nrest of it"));
    Client client(server);
    client.sock.connectToHost();
    EXPECT_EQ(client.sock.readLine(), "line\n");
    QByteArray rest;
    client.sock.captureString(rest);
    EXPECT_EQ(rest, "rest of it");
}

TEST(TcpClientTest, ReadLineRefusesALineLongerThanTheBuffer) {
    const QByteArray longest = QByteArray(TcpClient::IoBufferSize - 1, 'x') + '\n';
    ScriptedHttpServer server([longest](ScriptedHttpServer::Connection& c) {
        c.send(longest);
        c.send(QByteArray(TcpClient::IoBufferSize + 10, 'y'));
        c.stall(60s);
    });
    Client client(server);
    client.sock.connectToHost();
    EXPECT_EQ(client.sock.readLine(), longest);
    EXPECT_EQ(raisedMessage<AbortedError>([&] { client.sock.readLine(); }),
              "Socket readln aborted");
}

TEST(TcpClientTest, ReadLineWithoutTimeoutWaitsUntilCancel) {
    ScriptedHttpServer server(silent());
    Client client(server);
    client.sock.timeout = 0;
    client.sock.connectToHost();
    QTimer::singleShot(50, [&] { client.sock.cancel(); });
    EXPECT_EQ(raisedMessage<AbortedError>([&] { client.sock.readLine(); }),
              "Socket readln aborted");
    EXPECT_FALSE(client.sock.timedOut);
}

TEST(TcpClientTest, CaptureGetsEveryByteOfASlowPeer) {
    QByteArray bytes;
    for (int i = 0; i < 300; ++i)
        bytes += static_cast<char>(i);
    ScriptedHttpServer server(
        [bytes](ScriptedHttpServer::Connection& c) { c.sendSlowly(bytes, 1); });
    Client client(server);
    int packets = 0;
    client.sock.onPacketReceived = [&](TcpClient*) { ++packets; };
    client.sock.connectToHost();
    QByteArray captured = "old";
    client.sock.captureString(captured);
    EXPECT_EQ(captured, bytes);
    EXPECT_EQ(client.sock.bytesReceived, bytes.size());
    EXPECT_GT(packets, 1);
}

TEST(TcpClientTest, CaptureStringStopsAtItsLimitAndItsCeiling) {
    const QByteArray bytes(5000, 'z');
    const auto script = [bytes](ScriptedHttpServer::Connection& c) {
        c.sendSlowly(bytes, 1000);
        c.stall(60s);
    };
    {
        ScriptedHttpServer server(script);
        Client client(server);
        client.sock.connectToHost();
        QByteArray captured;
        client.sock.captureString(captured, 2000);
        EXPECT_GE(captured.size(), 2000);
        EXPECT_EQ(captured, bytes.left(captured.size()));
    }
    {
        ScriptedHttpServer server(script);
        Client client(server);
        client.sock.stringCaptureCeiling = 2500;
        client.sock.connectToHost();
        QByteArray captured;
        EXPECT_EQ(raisedMessage<AbortedError>([&] { client.sock.captureString(captured); }),
                  "Socket capture aborted");
        EXPECT_EQ(captured, bytes.left(2500));
    }
}

TEST(TcpClientTest, CaptureReportsAResetConnection) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) {
        c.send("partial");
        c.stall(50ms);
        c.reset();
    });
    Client client(server);
    client.sock.connectToHost();
    QByteArray captured;
    EXPECT_EQ(raisedMessage<SocketError>([&] { client.sock.captureString(captured); }),
              "10054:Connection reset by peer");
}

TEST(TcpClientTest, CaptureFileKeepsWhatArrivedBeforeTheTimeOut) {
    QTemporaryDir dir;
    const QByteArray name = QFile::encodeName(dir.filePath(QStringLiteral("capture.bin")));
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) {
        c.send("first part");
        c.stall(60s);
    });
    Client client(server);
    client.sock.timeout = 200;
    client.sock.connectToHost();
    EXPECT_EQ(raisedMessage<AbortedError>([&] { client.sock.captureFile(name); }),
              "Socket capture aborted");
    EXPECT_TRUE(client.sock.timedOut);
    QFile file(QFile::decodeName(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "first part");
}

TEST(TcpClientTest, WriteSendsUpToTheFirstZeroByteAndRefusesLongTexts) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) { c.readRequest(); });
    Client client(server);
    client.sock.connectToHost();
    EXPECT_EQ(raisedMessage<SocketError>([&] { client.sock.write(QByteArray(65536, 'a')); }),
              "Text too long to send: 65536 bytes, at most 65535");
    client.sock.write(QByteArray("GET /\0junk", 10));
    client.sock.writeLine("");
    client.sock.writeLine("");
    QByteArray rest;
    client.sock.captureString(rest);
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0], "GET /\r\n\r\n");
}

TEST(TcpClientTest, SendFileSendsEveryByte) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.bin"));
    QByteArray data;
    for (int i = 0; i < 200000; ++i)
        data += static_cast<char>(i * 7);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    }
    QByteArray received;
    ScriptedHttpServer server([&received](ScriptedHttpServer::Connection& c) {
        c.readRequest();
        received = c.requestBody();
        c.send("done");
    });
    Client client(server);
    int packets = 0;
    client.sock.onPacketSent = [&](TcpClient*) { ++packets; };
    client.sock.connectToHost();
    client.sock.write("PUT / HTTP/1.0\r\nContent-Length: " + QByteArray::number(data.size()) +
                      "\r\n\r\n");
    client.sock.sendFile(QFile::encodeName(path));
    QByteArray answer;
    client.sock.captureString(answer);
    EXPECT_EQ(answer, "done");
    EXPECT_EQ(received, data);
    EXPECT_EQ(client.sock.bytesSent, data.size());
    EXPECT_GE(packets, 1);
}

TEST(TcpClientTest, TransactionReadsTheReplyNumber) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) {
        c.readRequest();
        c.send("250 Fine\r\n");
    });
    Client client(server);
    client.sock.reportLevel = 2;
    QList<QByteArray> statuses;
    client.sock.onStatus = [&](TcpClient*, const QByteArray& text) { statuses << text; };
    client.sock.connectToHost();
    client.sock.transaction("HELLO\r\n");
    EXPECT_EQ(client.sock.transactionReply, "250 Fine\r\n");
    EXPECT_EQ(client.sock.replyNumber, 250);
    EXPECT_EQ(statuses, QList<QByteArray>{"250 Fine\r\n"});
}

TEST(TcpClientTest, DataAvailablePeeksWithoutTaking) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) {
        c.readRequest();
        c.send("x\n");
        c.stall(60s);
    });
    Client client(server);
    client.sock.connectToHost();
    EXPECT_FALSE(client.sock.dataAvailable());
    client.sock.write("\r\n\r\n");
    EXPECT_TRUE(waitUntil([&] { return client.sock.dataAvailable(); }));
    EXPECT_EQ(client.sock.readLine(), "x\n");
}

TEST(TcpClientTest, NotificationsOfAClosedSocketAreIgnored) {
    ScriptedHttpServer server(sendAndClose("bye\n"));
    Client client(server);
    int disconnects = 0;
    client.sock.onDisconnect = [&](TcpClient*) { ++disconnects; };
    // The peer's data and close are still unread when the socket is replaced.
    client.sock.connectToHost();
    client.sock.disconnectFromHost();
    EXPECT_EQ(disconnects, 1);
    client.sock.connectToHost();
    EXPECT_EQ(client.sock.readLine(), "bye\n");
    EXPECT_EQ(client.sock.readLine(), "");
    client.sock.disconnectFromHost();
    EXPECT_EQ(disconnects, 2);
    EXPECT_FALSE(client.sock.connected);
}

TEST(TcpClientTest, PeerCloseWhileIdleClosesTheSocket) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) { c.close(); });
    Client client(server);
    int disconnects = 0;
    client.sock.onDisconnect = [&](TcpClient*) { ++disconnects; };
    client.sock.connectToHost();
    EXPECT_TRUE(waitUntil([&] { return !client.sock.connected; }));
    EXPECT_EQ(disconnects, 1);
}

namespace {

class Listener final : public TcpClient {
public:
    using TcpClient::listen;
};

} // namespace

TEST(TcpClientTest, AcceptTakesAWaitingConnection) {
    Listener listener;
    listener.timeout = 10000;
    int accepted = 0;
    listener.onAccept = [&](TcpClient*) { ++accepted; };
    const quint16 port = listener.listen("127.0.0.1", 0);
    ASSERT_NE(port, 0);
    std::thread peer([port] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            [[maybe_unused]]
            const auto sent = ::send(fd, "hello\n", 6, MSG_NOSIGNAL);
        ::close(fd);
    });
    const int handle = listener.acceptConnection();
    peer.join();
    EXPECT_GE(handle, 0);
    EXPECT_EQ(accepted, 1);
    EXPECT_TRUE(listener.connected);
    EXPECT_EQ(listener.readLine(), "hello\n");
}

TEST(TcpClientTest, AcceptCanBeCanceled) {
    Listener listener;
    listener.listen("127.0.0.1", 0);
    QTimer::singleShot(20, [&] { listener.cancel(); });
    EXPECT_EQ(raisedMessage<SocketError>([&] { listener.acceptConnection(); }),
              "Accepting Canceled");
}

TEST(IntervalTimerTest, RunsWhileEnabledWithIntervalAndHandler) {
    IntervalTimer timer;
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_EQ(timer.interval(), 1000u);
    int ticks = 0;
    timer.setInterval(5);
    timer.setHandler([&](IntervalTimer*) { ++ticks; });
    EXPECT_TRUE(waitUntil([&] { return ticks >= 3; }));
}

TEST(IntervalTimerTest, StaysIdleWithoutIntervalOrHandler) {
    int ticks = 0;
    IntervalTimer timer;
    timer.setInterval(0);
    timer.setHandler([&](IntervalTimer*) { ++ticks; });
    IntervalTimer unassigned;
    unassigned.setInterval(1);
    IntervalTimer witness;
    int witnessTicks = 0;
    witness.setInterval(1);
    witness.setHandler([&](IntervalTimer*) { ++witnessTicks; });
    EXPECT_TRUE(waitUntil([&] { return witnessTicks >= 20; }));
    EXPECT_EQ(ticks, 0);
}

TEST(IntervalTimerTest, HandlerFailureGoesToTheErrorBox) {
    RecordedMessages messages;
    IntervalTimer timer;
    timer.setInterval(1);
    timer.setHandler([](IntervalTimer* self) {
        self->setEnabled(false);
        throw Exception(QStringLiteral("boom"));
    });
    EXPECT_TRUE(waitUntil([&] { return !messages.errors.isEmpty(); }));
    EXPECT_EQ(messages.errors, QStringList{QStringLiteral("boom.")});
}
