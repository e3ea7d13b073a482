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

// A component pointed at a scripted server, with a time-out that keeps a failing test short.
struct Client {
    explicit Client(const ScriptedHttpServer& server) {
        sock.Host = "127.0.0.1";
        sock.Port = server.Port();
        sock.TimeOut = 10000;
    }
    TPowersock sock;
};

ScriptedHttpServer::Script SendAndClose(const QByteArray& bytes) {
    return [bytes](ScriptedHttpServer::Connection& c) { c.Send(bytes); };
}

ScriptedHttpServer::Script Silent() {
    return [](ScriptedHttpServer::Connection& c) { c.Stall(60s); };
}

} // namespace

TEST(TcpClientTest, ErrorMessageUsesTheWinsockTable) {
    TPowersock sock;
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
        EXPECT_EQ(sock.ErrorMessage(c.number), c.text) << c.number;

    int known = 0;
    for (int number = 10000; number <= 11010; ++number)
        known += sock.ErrorMessage(number).startsWith(QString::number(number) + u':');
    EXPECT_EQ(known, 50);
}

TEST(TcpClientTest, FirstComponentOfTheProcessDescribesTheSocketLayer) {
    TPowersock first;
    TPowersock second;
    const QList<QByteArray> prefixes = {"Version= ", "High Version= ", "Description= ",
                                        "System= ",  "Max Sockets= ",  "Max Udp pack size= "};
    ASSERT_EQ(first.SocketInfo.size(), prefixes.size());
    for (qsizetype i = 0; i < prefixes.size(); ++i)
        EXPECT_TRUE(first.SocketInfo[i].startsWith(prefixes[i])) << first.SocketInfo[i].data();
    EXPECT_EQ(first.SocketInfo[0], "Version= 1.1");
    EXPECT_TRUE(second.SocketInfo.isEmpty());
}

TEST(TcpClientTest, DottedAddressConnectsWithoutLookup) {
    ScriptedHttpServer server(Silent());
    Client client(server);
    int resolved = 0;
    int connected = 0;
    client.sock.OnHostResolved = [&](TPowersock*) { ++resolved; };
    client.sock.OnConnect = [&](TPowersock*) { ++connected; };
    client.sock.Connect();
    EXPECT_TRUE(client.sock.Connected);
    EXPECT_EQ(resolved, 0);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(Raised<ESockError>([&] { client.sock.Connect(); }), "Already connected");
}

TEST(TcpClientTest, HostNameIsLookedUp) {
    ScriptedHttpServer server(Silent());
    Client client(server);
    client.sock.Host = "localhost";
    int resolved = 0;
    client.sock.OnHostResolved = [&](TPowersock*) { ++resolved; };
    client.sock.Connect();
    EXPECT_TRUE(client.sock.Connected);
    EXPECT_EQ(resolved, 1);
}

TEST(TcpClientTest, UnresolvableNameGivesNullRemoteAddress) {
    ScriptedHttpServer server(Silent());
    Client client(server);
    // Rejected by the resolver itself: no name server is asked.
    client.sock.Host = "no..such..host";
    EXPECT_EQ(Raised<ESockError>([&] { client.sock.Connect(); }), "Null Remote Address");
    EXPECT_FALSE(client.sock.Connected);
    EXPECT_EQ(server.ConnectionCount(), 0);
}

TEST(TcpClientTest, InvalidHostHandlerGetsOneCorrection) {
    ScriptedHttpServer server(Silent());
    {
        Client client(server);
        client.sock.Host = "no..such..host";
        int calls = 0;
        client.sock.OnInvalidHost = [&](bool& handled) {
            ++calls;
            client.sock.Host = "127.0.0.1";
            handled = true;
        };
        client.sock.Connect();
        EXPECT_TRUE(client.sock.Connected);
        EXPECT_EQ(calls, 1);
    }
    {
        Client client(server);
        client.sock.Host = "no..such..host";
        int calls = 0;
        client.sock.OnInvalidHost = [&](bool& handled) {
            ++calls;
            client.sock.Host = "still..not..a..host";
            handled = true;
        };
        EXPECT_EQ(Raised<ESockError>([&] { client.sock.Connect(); }), "Null Remote Address");
        EXPECT_EQ(calls, 1);
    }
}

TEST(TcpClientTest, RefusedConnectionFails) {
    TPowersock sock;
    sock.Host = "127.0.0.1";
    sock.Port = ScriptedHttpServer::ClosedPort();
    sock.TimeOut = 10000;
    int failed = 0;
    sock.OnConnectionFailed = [&](TPowersock*) { ++failed; };
    EXPECT_EQ(Raised<ESockError>([&] { sock.Connect(); }), "Connection Failed");
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(sock.LastErrorNo, 10061);
    EXPECT_FALSE(sock.Connected);
}

TEST(TcpClientTest, ReadLnReturnsLinesAndDropsAnUnfinishedOne) {
    ScriptedHttpServer server(SendAndClose("abc\r\nde\nf"));
    Client client(server);
    client.sock.Connect();
    EXPECT_EQ(client.sock.ReadLn(), "abc\r\n");
    EXPECT_EQ(client.sock.ReadLn(), "de\n");
    EXPECT_EQ(client.sock.ReadLn(), "");
}

TEST(TcpClientTest, ReadLnTakesNothingBeyondTheLine) {
    ScriptedHttpServer server(SendAndClose("line\nrest of it"));
    Client client(server);
    client.sock.Connect();
    EXPECT_EQ(client.sock.ReadLn(), "line\n");
    QByteArray rest;
    client.sock.CaptureString(rest);
    EXPECT_EQ(rest, "rest of it");
}

TEST(TcpClientTest, ReadLnRefusesALineLongerThanTheBuffer) {
    const QByteArray longest = QByteArray(TPowersock::IoBufferSize - 1, 'x') + '\n';
    ScriptedHttpServer server([longest](ScriptedHttpServer::Connection& c) {
        c.Send(longest);
        c.Send(QByteArray(TPowersock::IoBufferSize + 10, 'y'));
        c.Stall(60s);
    });
    Client client(server);
    client.sock.Connect();
    EXPECT_EQ(client.sock.ReadLn(), longest);
    EXPECT_EQ(Raised<EAbortError>([&] { client.sock.ReadLn(); }), "Socket readln aborted");
}

TEST(TcpClientTest, ReadLnWithoutTimeOutWaitsUntilCancel) {
    ScriptedHttpServer server(Silent());
    Client client(server);
    client.sock.TimeOut = 0;
    client.sock.Connect();
    QTimer::singleShot(50, [&] { client.sock.Cancel(); });
    EXPECT_EQ(Raised<EAbortError>([&] { client.sock.ReadLn(); }), "Socket readln aborted");
    EXPECT_FALSE(client.sock.TimedOut);
}

TEST(TcpClientTest, CaptureGetsEveryByteOfASlowPeer) {
    QByteArray bytes;
    for (int i = 0; i < 300; ++i)
        bytes += static_cast<char>(i);
    ScriptedHttpServer server(
        [bytes](ScriptedHttpServer::Connection& c) { c.SendSlowly(bytes, 1); });
    Client client(server);
    int packets = 0;
    client.sock.OnPacketRecvd = [&](TPowersock*) { ++packets; };
    client.sock.Connect();
    QByteArray captured = "old";
    client.sock.CaptureString(captured);
    EXPECT_EQ(captured, bytes);
    EXPECT_EQ(client.sock.BytesRecvd, bytes.size());
    EXPECT_GT(packets, 1);
}

TEST(TcpClientTest, CaptureStringStopsAtItsLimitAndItsCeiling) {
    const QByteArray bytes(5000, 'z');
    const auto script = [bytes](ScriptedHttpServer::Connection& c) {
        c.SendSlowly(bytes, 1000);
        c.Stall(60s);
    };
    {
        ScriptedHttpServer server(script);
        Client client(server);
        client.sock.Connect();
        QByteArray captured;
        client.sock.CaptureString(captured, 2000);
        EXPECT_GE(captured.size(), 2000);
        EXPECT_EQ(captured, bytes.left(captured.size()));
    }
    {
        ScriptedHttpServer server(script);
        Client client(server);
        client.sock.StringCaptureCeiling = 2500;
        client.sock.Connect();
        QByteArray captured;
        EXPECT_EQ(Raised<EAbortError>([&] { client.sock.CaptureString(captured); }),
                  "Socket capture aborted");
        EXPECT_EQ(captured, bytes.left(2500));
    }
}

TEST(TcpClientTest, CaptureReportsAResetConnection) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) {
        c.Send("partial");
        c.Stall(50ms);
        c.reset();
    });
    Client client(server);
    client.sock.Connect();
    QByteArray captured;
    EXPECT_EQ(Raised<ESockError>([&] { client.sock.CaptureString(captured); }),
              "10054:Connection reset by peer");
}

TEST(TcpClientTest, CaptureFileKeepsWhatArrivedBeforeTheTimeOut) {
    QTemporaryDir dir;
    const QByteArray name = QFile::encodeName(dir.filePath(QStringLiteral("capture.bin")));
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) {
        c.Send("first part");
        c.Stall(60s);
    });
    Client client(server);
    client.sock.TimeOut = 200;
    client.sock.Connect();
    EXPECT_EQ(Raised<EAbortError>([&] { client.sock.CaptureFile(name); }),
              "Socket capture aborted");
    EXPECT_TRUE(client.sock.TimedOut);
    QFile file(QFile::decodeName(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "first part");
}

TEST(TcpClientTest, WriteSendsUpToTheFirstZeroByteAndRefusesLongTexts) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) { c.ReadRequest(); });
    Client client(server);
    client.sock.Connect();
    EXPECT_EQ(Raised<ESockError>([&] { client.sock.write(QByteArray(65536, 'a')); }),
              "Text too long to send: 65536 bytes, at most 65535");
    client.sock.write(QByteArray("GET /\0junk", 10));
    client.sock.Writeln("");
    client.sock.Writeln("");
    QByteArray rest;
    client.sock.CaptureString(rest);
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(server.Requests()[0], "GET /\r\n\r\n");
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
        c.ReadRequest();
        received = c.RequestBody();
        c.Send("done");
    });
    Client client(server);
    int packets = 0;
    client.sock.OnPacketSent = [&](TPowersock*) { ++packets; };
    client.sock.Connect();
    client.sock.write("PUT / HTTP/1.0\r\nContent-Length: " + QByteArray::number(data.size()) +
                      "\r\n\r\n");
    client.sock.SendFile(QFile::encodeName(path));
    QByteArray answer;
    client.sock.CaptureString(answer);
    EXPECT_EQ(answer, "done");
    EXPECT_EQ(received, data);
    EXPECT_EQ(client.sock.BytesSent, data.size());
    EXPECT_GE(packets, 1);
}

TEST(TcpClientTest, TransactionReadsTheReplyNumber) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) {
        c.ReadRequest();
        c.Send("250 Fine\r\n");
    });
    Client client(server);
    client.sock.ReportLevel = 2;
    QList<QByteArray> statuses;
    client.sock.OnStatus = [&](TPowersock*, const QByteArray& text) { statuses << text; };
    client.sock.Connect();
    client.sock.Transaction("HELLO\r\n");
    EXPECT_EQ(client.sock.TransactionReply, "250 Fine\r\n");
    EXPECT_EQ(client.sock.ReplyNumber, 250);
    EXPECT_EQ(statuses, QList<QByteArray>{"250 Fine\r\n"});
}

TEST(TcpClientTest, DataAvailablePeeksWithoutTaking) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) {
        c.ReadRequest();
        c.Send("x\n");
        c.Stall(60s);
    });
    Client client(server);
    client.sock.Connect();
    EXPECT_FALSE(client.sock.DataAvailable());
    client.sock.write("\r\n\r\n");
    EXPECT_TRUE(WaitUntil([&] { return client.sock.DataAvailable(); }));
    EXPECT_EQ(client.sock.ReadLn(), "x\n");
}

TEST(TcpClientTest, NotificationsOfAClosedSocketAreIgnored) {
    ScriptedHttpServer server(SendAndClose("bye\n"));
    Client client(server);
    int disconnects = 0;
    client.sock.OnDisconnect = [&](TPowersock*) { ++disconnects; };
    // The peer's data and close are still unread when the socket is replaced.
    client.sock.Connect();
    client.sock.Disconnect();
    EXPECT_EQ(disconnects, 1);
    client.sock.Connect();
    EXPECT_EQ(client.sock.ReadLn(), "bye\n");
    EXPECT_EQ(client.sock.ReadLn(), "");
    client.sock.Disconnect();
    EXPECT_EQ(disconnects, 2);
    EXPECT_FALSE(client.sock.Connected);
}

TEST(TcpClientTest, PeerCloseWhileIdleClosesTheSocket) {
    ScriptedHttpServer server([](ScriptedHttpServer::Connection& c) { c.Close(); });
    Client client(server);
    int disconnects = 0;
    client.sock.OnDisconnect = [&](TPowersock*) { ++disconnects; };
    client.sock.Connect();
    EXPECT_TRUE(WaitUntil([&] { return !client.sock.Connected; }));
    EXPECT_EQ(disconnects, 1);
}

namespace {

class TListener final : public TPowersock {
public:
    using TPowersock::Listen;
};

} // namespace

TEST(TcpClientTest, AcceptTakesAWaitingConnection) {
    TListener listener;
    listener.TimeOut = 10000;
    int accepted = 0;
    listener.OnAccept = [&](TPowersock*) { ++accepted; };
    const quint16 port = listener.Listen("127.0.0.1", 0);
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
    const int handle = listener.Accept();
    peer.join();
    EXPECT_GE(handle, 0);
    EXPECT_EQ(accepted, 1);
    EXPECT_TRUE(listener.Connected);
    EXPECT_EQ(listener.ReadLn(), "hello\n");
}

TEST(TcpClientTest, AcceptCanBeCanceled) {
    TListener listener;
    listener.Listen("127.0.0.1", 0);
    QTimer::singleShot(20, [&] { listener.Cancel(); });
    EXPECT_EQ(Raised<ESockError>([&] { listener.Accept(); }), "Accepting Canceled");
}

TEST(IntervalTimerTest, RunsWhileEnabledWithIntervalAndHandler) {
    TThreadTimer timer;
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    int ticks = 0;
    timer.SetInterval(5);
    timer.SetOnTimer([&](TThreadTimer*) { ++ticks; });
    EXPECT_TRUE(WaitUntil([&] { return ticks >= 3; }));
}

TEST(IntervalTimerTest, StaysIdleWithoutIntervalOrHandler) {
    int ticks = 0;
    TThreadTimer timer;
    timer.SetInterval(0);
    timer.SetOnTimer([&](TThreadTimer*) { ++ticks; });
    TThreadTimer unassigned;
    unassigned.SetInterval(1);
    TThreadTimer witness;
    int witnessTicks = 0;
    witness.SetInterval(1);
    witness.SetOnTimer([&](TThreadTimer*) { ++witnessTicks; });
    EXPECT_TRUE(WaitUntil([&] { return witnessTicks >= 20; }));
    EXPECT_EQ(ticks, 0);
}

TEST(IntervalTimerTest, HandlerFailureGoesToTheErrorBox) {
    RecordedMessages messages;
    TThreadTimer timer;
    timer.SetInterval(1);
    timer.SetOnTimer([](TThreadTimer* self) {
        self->SetEnabled(false);
        throw Exception(QStringLiteral("boom"));
    });
    EXPECT_TRUE(WaitUntil([&] { return !messages.errors.isEmpty(); }));
    EXPECT_EQ(messages.errors, QStringList{QStringLiteral("boom.")});
}
