#include "net/HttpClient.h"

#include "ScriptedHttpServer.h"
#include "TestUtil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Connection = ScriptedHttpServer::Connection;

namespace {

const QByteArray Accepts =
    "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
    "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
const QByteArray ContentType = "Content-type: application/x-www-form-urlencoded\r\n";

// Answers the n-th connection with answers[n]; later ones get the last answer.
ScriptedHttpServer::Script Answers(QList<QByteArray> answers) {
    auto next = std::make_shared<std::atomic<int>>(0);
    return [answers, next](Connection& c) {
        c.ReadRequest();
        const int n = std::min<int>((*next)++, answers.size() - 1);
        c.Send(answers[n]);
    };
}

QByteArray Ok(const QByteArray& body) {
    return ScriptedHttpServer::Response(200, body);
}

QByteArray RequestLine(const QByteArray& request) {
    return request.left(request.indexOf("\r\n"));
}

class HttpClientTest : public ::testing::Test {
protected:
    HttpClientTest() {
        // As the search client drives it; the time-out only keeps a failing test short.
        http.TimeOut = 10000;
        http.ReportLevel = 2;
        http.OnSuccess = [this](CmdType cmd) { successes << cmd; };
        http.OnFailure = [this](CmdType cmd) { failures << cmd; };
    }

    TNMHTTP http;
    QList<CmdType> successes;
    QList<CmdType> failures;
};

} // namespace

TEST_F(HttpClientTest, StartsWithTheDesignedValues) {
    // A client as constructed; the fixture's own one is set up for the exchanges.
    const TNMHTTP fresh;
    EXPECT_EQ(fresh.Body, "Default.htm");
    EXPECT_EQ(fresh.Header, "Head.txt");
    EXPECT_FALSE(fresh.InputFileMode);
    EXPECT_FALSE(fresh.OutputFileMode);
    EXPECT_TRUE(fresh.Proxy.isEmpty());
    EXPECT_EQ(fresh.ProxyPort, 0);
    EXPECT_EQ(fresh.TimeOut, 0);
    EXPECT_EQ(fresh.ReportLevel, 0);
    EXPECT_FALSE(fresh.Connected);
    EXPECT_TRUE(fresh.HeaderInfo.Cookie.isEmpty());
}

TEST_F(HttpClientTest, GetSendsTheRequestAndCapturesTheAnswer) {
    ScriptedHttpServer server(Answers({ScriptedHttpServer::Response(
        200, "hello\r\n\r\nworld", {"Content-Length: 14", "X-Other: y"})}));
    http.Get(server.Url("/p?q"));
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(server.Requests()[0],
              "GET /p?q HTTP/1.0\r\nHost: 127.0.0.1\r\n" + Accepts + ContentType + "\r\n");
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Body, "hello\r\n\r\nworld");
    EXPECT_EQ(http.Header, "HTTP/1.0 200 Status\r\nContent-Length: 14\r\nX-Other: y\r\n\r\n");
    EXPECT_EQ(http.BytesTotal, 14);
    EXPECT_EQ(successes, QList<CmdType>{CmdType::Get});
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_FALSE(http.Connected);
}

TEST_F(HttpClientTest, ProxyGetsTheWholeUrl) {
    ScriptedHttpServer proxy(Answers({Ok("via proxy")}));
    http.Proxy = "127.0.0.1";
    http.ProxyPort = proxy.Port();
    http.Get("http://h/p?q");
    ASSERT_EQ(proxy.Requests().size(), 1);
    EXPECT_EQ(proxy.Requests()[0], "GET http://h/p?q HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n"
                                   "Host: h\r\n" +
                                       Accepts + ContentType + "\r\n");
    EXPECT_EQ(http.Body, "via proxy");
    EXPECT_EQ(http.Host, "h");
}

TEST_F(HttpClientTest, RefusesBadUrlsBeforeConnecting) {
    ScriptedHttpServer server(Answers({Ok("x")}));
    const QByteArray port = QByteArray::number(server.Port());
    const struct {
        QByteArray url;
        QString message;
    } cases[] = {
        {"", "Empty URL"},
        {"https://127.0.0.1:" + port + "/", "HTTP Secure Socket is not supported"},
        {"HTTPS://127.0.0.1:" + port + "/", "HTTP Secure Socket is not supported"},
        {"hTtPs://h", "HTTP Secure Socket is not supported"},
    };
    http.Body = "kept";
    for (const auto& c : cases)
        EXPECT_EQ(Raised<Exception>([&] { http.Get(c.url); }), c.message) << c.url.data();
    EXPECT_EQ(Raised<ConversionError>([&] { http.Get("http://127.0.0.1:8x/"); }),
              QStringLiteral("'8x' は整数ではありません"));
    EXPECT_EQ(server.ConnectionCount(), 0);
    EXPECT_EQ(http.Body, "kept");
    EXPECT_TRUE(successes.isEmpty());
}

TEST_F(HttpClientTest, BareHostKeepsThePreviousPort) {
    ScriptedHttpServer server(Answers({Ok("root")}));
    http.Port = server.Port();
    http.Get("127.0.0.1");
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(RequestLine(server.Requests()[0]), "GET / HTTP/1.0");
    EXPECT_TRUE(server.Requests()[0].contains("\r\nHost: 127.0.0.1\r\n"));
    EXPECT_EQ(http.URL(), "127.0.0.1/");
    EXPECT_EQ(http.Port, server.Port());
    EXPECT_EQ(http.Body, "root");
}

TEST_F(HttpClientTest, PortOfTheUrlIsUsedButNotNamedInTheHostLine) {
    ScriptedHttpServer server(Answers({Ok("x")}));
    http.Port = 1;
    http.Get("http://127.0.0.1:" + QByteArray::number(server.Port()) + "/x");
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(RequestLine(server.Requests()[0]), "GET /x HTTP/1.0");
    EXPECT_TRUE(server.Requests()[0].contains("\r\nHost: 127.0.0.1\r\n"));
    EXPECT_EQ(http.Host, "127.0.0.1");
    EXPECT_EQ(http.Port, server.Port());
}

TEST_F(HttpClientTest, LongPathIsSentWholeOrRefusedBeforeConnecting) {
    ScriptedHttpServer server(Answers({Ok("x")}));
    for (const int length : {300, TNMHTTP::MaxRequestTarget}) {
        const QByteArray path = "/p?q=" + QByteArray(length - 11, 'b') + "&end=1";
        ASSERT_EQ(path.size(), length);
        http.Get(server.Url(path));
        EXPECT_EQ(RequestLine(server.Requests().back()), "GET " + path + " HTTP/1.0");
    }
    const int connections = server.ConnectionCount();
    const QByteArray tooLong = "/p?q=" + QByteArray(TNMHTTP::MaxRequestTarget - 4, 'b');
    EXPECT_EQ(Raised<Exception>([&] { http.Get(server.Url(tooLong)); }),
              "Request target too long: 8193 bytes, at most 8192");
    EXPECT_EQ(server.ConnectionCount(), connections);
}

TEST_F(HttpClientTest, LongRedirectIsFollowedWholeOrRefused) {
    const QByteArray longPath = "/next?k=" + QByteArray(1000, 'k') + "&last=1";
    const QByteArray tooLong = "/next?k=" + QByteArray(TNMHTTP::MaxRequestTarget, 'k');
    ScriptedHttpServer server([&](Connection& c) {
        const QByteArray request = c.ReadRequest();
        if (request.startsWith("GET /long "))
            c.Send(ScriptedHttpServer::Response(302, "", {"Location: " + longPath}));
        else if (request.startsWith("GET /too-long "))
            c.Send(ScriptedHttpServer::Response(302, "", {"Location: " + tooLong}));
        else
            c.Send(Ok("arrived"));
    });
    http.Get(server.Url("/long"));
    EXPECT_EQ(RequestLine(server.Requests().back()), "GET " + longPath + " HTTP/1.0");
    EXPECT_EQ(http.Body, "arrived");
    EXPECT_EQ(
        Raised<Exception>([&] { http.Get(server.Url("/too-long")); }),
        QStringLiteral("Request target too long: %1 bytes, at most 8192").arg(tooLong.size()));
    EXPECT_EQ(server.ConnectionCount(), 3);
}

TEST_F(HttpClientTest, BytesThatMayNotStandInARequestLineAreEncoded) {
    ScriptedHttpServer server(Answers({Ok("x")}));
    http.Get(server.Url("/a b?q=\xE7\x8C\xAB&n=1" + QByteArray(1, '\0') + "&c=\r\nX-Injected: 1"));
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(server.Requests()[0], "GET /a%20b?q=%E7%8C%AB&n=1%00&c=%0D%0AX-Injected:%201 "
                                    "HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                                        Accepts + ContentType + "\r\n");

    // Through a proxy the host goes into the Host line, where a line break would start another.
    http.Proxy = "127.0.0.1";
    http.ProxyPort = server.Port();
    http.Get("http://h\r\nX-Injected/p");
    ASSERT_EQ(server.Requests().size(), 2);
    EXPECT_EQ(server.Requests()[1], "GET http://h%0D%0AX-Injected/p HTTP/1.0\r\n"
                                    "Proxy-Connection: Keep-Alive\r\nHost: h%0D%0AX-Injected\r\n" +
                                        Accepts + ContentType + "\r\n");
}

TEST_F(HttpClientTest, ErrorStatusCallsOnFailureAndKeepsThePage) {
    ScriptedHttpServer server(
        Answers({ScriptedHttpServer::Response(404, "<html>Not here</html>")}));
    http.Get(server.Url("/missing"));
    EXPECT_EQ(http.ReplyNumber, 404);
    EXPECT_EQ(failures, QList<CmdType>{CmdType::Get});
    EXPECT_TRUE(successes.isEmpty());
    EXPECT_EQ(http.Body, "<html>Not here</html>");
}

TEST_F(HttpClientTest, RedirectToAnotherHostIsFollowed) {
    ScriptedHttpServer target(Answers({Ok("second answer")}));
    ScriptedHttpServer first(Answers({ScriptedHttpServer::Response(
        302, "moved",
        {"Location: http://localhost:" + QByteArray::number(target.Port()) + "/y"})}));
    int redirects = 0;
    http.OnRedirect = [&](bool&) { ++redirects; };
    http.Get(first.Url("/x"));
    ASSERT_EQ(target.Requests().size(), 1);
    EXPECT_EQ(RequestLine(target.Requests()[0]), "GET /y HTTP/1.0");
    EXPECT_TRUE(target.Requests()[0].contains("\r\nHost: localhost\r\n"));
    EXPECT_EQ(http.Body, "second answer");
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Host, "localhost");
    EXPECT_EQ(redirects, 1);
    EXPECT_EQ(successes.size(), 1);
}

TEST_F(HttpClientTest, RelativeRedirectIsResolvedAgainstTheUrlThatAnswered) {
    ScriptedHttpServer other(Answers({Ok("other server")}));
    const struct {
        QByteArray location;
        QByteArray expected; // request target of the next request
    } cases[] = {
        {"y.html", "/dir/y.html"},          {"/x", "/x"},
        {"../up?a=b", "/up?a=b"},           {"sub/./z#part", "/dir/sub/z"},
        {"?page=2", "/dir/x.html?page=2"},  {"  /spaced\t", "/spaced"},
        {"/a b/\xC3\xBC", "/a%20b/%C3%BC"},
    };
    for (const auto& c : cases) {
        ScriptedHttpServer server(Answers(
            {ScriptedHttpServer::Response(302, "", {"Location: " + c.location}), Ok("the page")}));
        http.Get(server.Url("/dir/x.html?q=1"));
        ASSERT_EQ(server.Requests().size(), 2) << c.location.data();
        EXPECT_EQ(RequestLine(server.Requests()[1]), "GET " + c.expected + " HTTP/1.0")
            << c.location.data();
        EXPECT_EQ(http.URL(), server.Url(c.expected));
        EXPECT_EQ(http.Body, "the page");
    }

    // A network-path reference keeps only the scheme.
    ScriptedHttpServer server(Answers(
        {ScriptedHttpServer::Response(302, "", {"Location: //" + other.HostAndPort() + "/o"})}));
    http.Get(server.Url("/dir/x.html"));
    ASSERT_EQ(other.Requests().size(), 1);
    EXPECT_EQ(RequestLine(other.Requests()[0]), "GET /o HTTP/1.0");
    EXPECT_EQ(http.Body, "other server");
}

TEST(ResolveUrlTest, FollowsTheReferenceResolutionExamples) {
    const QByteArray base = "http://a/b/c/d;p?q";
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g/"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q"},
        {"g#s", "http://a/b/c/g"},
        {";x", "http://a/b/c/;x"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"http://h2:8080/y?z", "http://h2:8080/y?z"},
        {"HTTPS://secure/x#f", "HTTPS://secure/x"},
        {"http:g", "http:g"},
    };
    for (const auto& [reference, expected] : cases)
        EXPECT_EQ(ResolveUrl(base, reference), expected) << reference.data();
}

TEST_F(HttpClientTest, RedirectAdoptsTheCookie) {
    ScriptedHttpServer server(
        Answers({ScriptedHttpServer::Response(302, "", {"Set-Cookie: a=1", "Location: /next"}),
                 Ok("with cookie")}));
    http.Get(server.Url("/"));
    ASSERT_EQ(server.Requests().size(), 2);
    EXPECT_FALSE(server.Requests()[0].contains("Cookie"));
    EXPECT_TRUE(server.Requests()[1].contains("\r\nCookie: a=1\r\n"));
    // The caller's own cookie stays the caller's: it would go to every host.
    EXPECT_TRUE(http.HeaderInfo.Cookie.isEmpty());
    EXPECT_EQ(http.Body, "with cookie");
}

TEST_F(HttpClientTest, CookieGoesBackOnlyToTheHostAndPortThatSetIt) {
    ScriptedHttpServer b(Answers({Ok("b")}));
    ScriptedHttpServer a([&b](Connection& c) {
        if (c.ReadRequest().startsWith("GET /login "))
            c.Send(ScriptedHttpServer::Response(
                302, "", {"Set-Cookie: sid=SECRET; Path=/; HttpOnly", "Location: " + b.Url("/")}));
        else
            c.Send(Ok("a"));
    });
    const auto cookieLine = [](const QByteArray& request) {
        const qsizetype at = request.indexOf("\r\nCookie: ");
        return at < 0 ? QByteArray()
                      : request.mid(at + 2, request.indexOf("\r\n", at + 2) - at - 2);
    };

    http.Get(a.Url("/login"));
    EXPECT_EQ(http.Body, "b");
    http.Get(b.Url("/later"));
    // The same server under another name is another host.
    http.Get("http://localhost:" + QByteArray::number(a.Port()) + "/by-name");
    http.Get(a.Url("/back"));
    http.HeaderInfo.Cookie = "lang=ja";
    http.Get(a.Url("/both"));
    http.Get(b.Url("/own-only"));

    const QList<QByteArray> toA = a.Requests();
    const QList<QByteArray> toB = b.Requests();
    ASSERT_EQ(toA.size(), 4);
    ASSERT_EQ(toB.size(), 3);
    EXPECT_EQ(cookieLine(toB[0]), ""); // the redirect from A to B
    EXPECT_EQ(cookieLine(toB[1]), "");
    EXPECT_EQ(cookieLine(toA[1]), "");
    EXPECT_EQ(cookieLine(toA[2]), "Cookie: sid=SECRET");
    EXPECT_EQ(cookieLine(toA[3]), "Cookie: lang=ja; sid=SECRET");
    EXPECT_EQ(cookieLine(toB[2]), "Cookie: lang=ja");
}

TEST_F(HttpClientTest, RedirectHandlerCanStopTheCommand) {
    ScriptedHttpServer server(
        Answers({ScriptedHttpServer::Response(301, "gone", {"Location: /elsewhere"})}));
    http.OnRedirect = [](bool& handled) { handled = true; };
    http.Get(server.Url("/"));
    EXPECT_EQ(server.ConnectionCount(), 1);
    EXPECT_EQ(http.ReplyNumber, 301);
    EXPECT_EQ(http.Body, "gone");
    EXPECT_EQ(http.URL(), "/elsewhere");
}

TEST_F(HttpClientTest, EndlessRedirectsEndWithAnError) {
    for (const int status : {302, 303, 307, 308}) {
        ScriptedHttpServer server(
            Answers({ScriptedHttpServer::Response(status, "again", {"Location: /loop"})}));
        EXPECT_EQ(Raised<Exception>([&] { http.Get(server.Url("/loop")); }),
                  "Too many redirects (more than 20)");
        EXPECT_EQ(server.ConnectionCount(), TNMHTTP::MaxRedirects + 1) << status;
    }
}

TEST_F(HttpClientTest, RedirectsAreFollowedByTheirRules) {
    // /from/<status> answers with that status and a Location; everything else with 200.
    std::mutex mutex;
    QList<QByteArray> bodies;
    ScriptedHttpServer server([&](Connection& c) {
        const QByteArray request = c.ReadRequest();
        {
            std::lock_guard lock(mutex);
            bodies << c.RequestBody();
        }
        const QByteArray target = request.split(' ').value(1);
        if (target.startsWith("/from/"))
            c.Send(
                ScriptedHttpServer::Response(target.mid(6).toInt(), "redirect", {"Location: /to"}));
        else
            c.Send(Ok("final"));
    });
    const struct {
        CmdType cmd;
        int status;
        QByteArray next; // the request line that follows; empty: the answer is the final one
        bool dataAgain;
    } cases[] = {
        {CmdType::Get, 300, "GET /to HTTP/1.0", false},
        {CmdType::Get, 301, "GET /to HTTP/1.0", false},
        {CmdType::Get, 302, "GET /to HTTP/1.0", false},
        {CmdType::Get, 303, "GET /to HTTP/1.0", false},
        {CmdType::Get, 307, "GET /to HTTP/1.0", false},
        {CmdType::Get, 308, "GET /to HTTP/1.0", false},
        {CmdType::Post, 301, "GET /to HTTP/1.0", false},
        {CmdType::Post, 302, "GET /to HTTP/1.0", false},
        {CmdType::Post, 303, "GET /to HTTP/1.0", false},
        {CmdType::Post, 307, "POST /to HTTP/1.0", true},
        {CmdType::Post, 308, "POST /to HTTP/1.0", true},
        {CmdType::Put, 302, "PUT /to HTTP/1.0", true},
        {CmdType::Put, 303, "GET /to HTTP/1.0", false},
        {CmdType::Head, 303, "HEAD /to HTTP/1.0", false},
        {CmdType::Get, 304, "", false},
        {CmdType::Get, 305, "", false},
        {CmdType::Get, 399, "", false},
    };
    for (const auto& c : cases) {
        const QByteArray url = server.Url("/from/" + QByteArray::number(c.status));
        const qsizetype before = server.Requests().size();
        {
            std::lock_guard lock(mutex);
            bodies.clear();
        }
        successes.clear();
        failures.clear();
        if (c.cmd == CmdType::Get)
            http.Get(url);
        else if (c.cmd == CmdType::Head)
            http.Head(url);
        else if (c.cmd == CmdType::Post)
            http.Post(url, "a b&c");
        else
            http.Put(url, "a b&c");
        const QList<QByteArray> requests = server.Requests().mid(before);
        const QList<QByteArray> sent = [&] {
            std::lock_guard lock(mutex);
            return bodies;
        }();
        const QString name = QStringLiteral("%1 after %2").arg(int(c.cmd)).arg(c.status);
        if (c.next.isEmpty()) {
            EXPECT_EQ(requests.size(), 1) << name.toStdString();
            EXPECT_EQ(http.ReplyNumber, c.status);
            EXPECT_EQ(http.Body, "redirect");
            EXPECT_TRUE(successes.isEmpty() && failures.isEmpty());
            continue;
        }
        ASSERT_EQ(requests.size(), 2) << name.toStdString();
        EXPECT_EQ(RequestLine(requests[1]), c.next) << name.toStdString();
        const QByteArray data = c.cmd == CmdType::Put ? "a b&c" : "a+b%26c";
        EXPECT_EQ(requests[1].contains("Content-Length: "), c.dataAgain) << name.toStdString();
        EXPECT_EQ(sent.value(1), c.dataAgain ? data : QByteArray()) << name.toStdString();
        EXPECT_EQ(http.ReplyNumber, 200);
        // The callback names the command that was called.
        EXPECT_EQ(successes, QList<CmdType>{c.cmd}) << name.toStdString();
    }
}

TEST_F(HttpClientTest, RedirectWithoutLocationIsTheFinalAnswer) {
    ScriptedHttpServer elsewhere(Answers({Ok("elsewhere")}));
    ScriptedHttpServer first(
        Answers({ScriptedHttpServer::Response(302, "", {"Location: " + elsewhere.Url("/e")})}));
    http.Get(first.Url("/"));
    ASSERT_EQ(elsewhere.ConnectionCount(), 1);

    ScriptedHttpServer bare(Answers({ScriptedHttpServer::Response(302, "no location")}));
    http.Get(bare.Url("/"));
    EXPECT_EQ(bare.ConnectionCount(), 1);
    EXPECT_EQ(elsewhere.ConnectionCount(), 1);
    EXPECT_EQ(http.ReplyNumber, 302);
    EXPECT_EQ(http.Body, "no location");
}

TEST_F(HttpClientTest, ServerClosingWithoutAWordIsAnEmptySuccess) {
    ScriptedHttpServer server([](Connection& c) {
        c.ReadRequest();
        c.Close();
    });
    http.ReplyNumber = 404;
    http.Get(server.Url("/"));
    EXPECT_EQ(http.ReplyNumber, 0);
    EXPECT_EQ(successes, QList<CmdType>{CmdType::Get});
    EXPECT_TRUE(http.Body.isEmpty());
    EXPECT_TRUE(http.Header.isEmpty());
}

TEST_F(HttpClientTest, StatusLineWithoutReasonGivesZero) {
    ScriptedHttpServer server(Answers({"HTTP/1.0 404\r\n\r\nbody"}));
    http.Get(server.Url("/"));
    EXPECT_EQ(http.ReplyNumber, 0);
    EXPECT_EQ(successes.size(), 1);
    EXPECT_EQ(http.Body, "body");
}

TEST_F(HttpClientTest, FileModeHoldsExactlyTheBody) {
    QTemporaryDir dir;
    QByteArray body = "\r\n\r\nstarts with an empty line";
    for (int i = 0; i < 256; ++i)
        body += static_cast<char>(i);
    ScriptedHttpServer server(Answers({ScriptedHttpServer::Response(200, body)}));
    const QString path = dir.filePath(QStringLiteral("temp_image.jpg"));
    http.InputFileMode = true;
    http.Body = QFile::encodeName(path);
    http.Get(server.Url("/thumb.jpg"));
    EXPECT_EQ(ReadFileBytes(path), body);
    EXPECT_EQ(http.Body, QFile::encodeName(path));
    EXPECT_EQ(http.Header, "HTTP/1.0 200 Status\r\n\r\n");
}

TEST_F(HttpClientTest, OutputFileModeWritesTheHeaderToItsFile) {
    QTemporaryDir dir;
    ScriptedHttpServer server(Answers({Ok("body")}));
    const QString path = dir.filePath(QStringLiteral("Head.txt"));
    http.OutputFileMode = true;
    http.Header = QFile::encodeName(path);
    http.Get(server.Url("/"));
    EXPECT_EQ(ReadFileBytes(path), "HTTP/1.0 200 Status\r\n\r\n");
    EXPECT_EQ(http.Body, "body");
}

TEST_F(HttpClientTest, StalledBodyEndsWithTheTimeOut) {
    ScriptedHttpServer server([](Connection& c) {
        c.ReadRequest();
        c.Send(ScriptedHttpServer::Response(200, "partial"));
        c.Stall(60s);
    });
    http.TimeOut = 300;
    EXPECT_EQ(Raised<EAbortError>([&] { http.Get(server.Url("/")); }), "Socket capture aborted");
    EXPECT_TRUE(http.TimedOut);
    EXPECT_EQ(http.Body, "partial");
    EXPECT_TRUE(successes.isEmpty());
    EXPECT_FALSE(http.Connected);
}

TEST_F(HttpClientTest, SlowButSteadyBodyCompletes) {
    const QByteArray body(400, 's');
    ScriptedHttpServer server([body](Connection& c) {
        c.ReadRequest();
        c.SendSlowly(ScriptedHttpServer::Response(200, body), 20, 5ms);
    });
    // Each chunk restarts the time-out, which is far shorter than the whole transfer.
    http.TimeOut = 200;
    http.Get(server.Url("/"));
    EXPECT_EQ(http.Body, body);
    EXPECT_FALSE(http.TimedOut);
}

TEST_F(HttpClientTest, DeadlineBoundsTheWholeCommand) {
    // Each of these servers keeps sending well within the time-out, or asks for redirect after
    // redirect: only the deadline ends the command.
    const QByteArray body(400, 't');
    std::atomic<int> redirects = 0;
    const struct {
        const char* name;
        int timeOut;
        ScriptedHttpServer::Script script;
        QString message;
    } cases[] = {
        {"body one byte at a time", 1000,
         [&](Connection& c) {
             c.ReadRequest();
             c.Send(ScriptedHttpServer::Response(200, ""));
             c.SendSlowly(body, 1, 20ms);
         },
         "Socket capture aborted"},
        {"header one line at a time", 1000,
         [&](Connection& c) {
             c.ReadRequest();
             QByteArray header = "HTTP/1.0 200 OK\r\n";
             for (int i = 0; i < 100; ++i)
                 header += "X-Slow: " + QByteArray::number(i) + "\r\n";
             c.SendSlowly(header, 12, 20ms);
         },
         "Socket readln aborted"},
        {"silent, without a time-out", 0, [](Connection& c) { c.Stall(60s); },
         "Socket readln aborted"},
        {"redirect after redirect", 1000,
         [&](Connection& c) {
             c.ReadRequest();
             ++redirects;
             c.Stall(150ms);
             c.Send(ScriptedHttpServer::Response(307, "", {"Location: /again"}));
         },
         "Socket readln aborted"},
    };
    ScriptedHttpServer fast(Answers({Ok("fast")}));
    for (const auto& c : cases) {
        ScriptedHttpServer server(c.script);
        http.TimeOut = c.timeOut;
        http.Deadline = 500;
        EXPECT_EQ(Raised<EAbortError>([&] { http.Get(server.Url("/")); }), c.message) << c.name;
        EXPECT_TRUE(http.TimedOut) << c.name;
        EXPECT_TRUE(successes.isEmpty()) << c.name;
        // The next command has a deadline of its own.
        http.Get(fast.Url("/"));
        EXPECT_EQ(http.Body, "fast") << c.name;
        successes.clear();
    }
    EXPECT_LT(redirects, 10);
}

TEST_F(HttpClientTest, DeadlineEndsAFileUploadThatIsNotRead) {
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("upload.bin"));
    {
        QFile file(data);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(32 * 1024 * 1024, 'u'));
    }
    ScriptedHttpServer server([](Connection& c) { c.Stall(60s); });
    http.OutputFileMode = true;
    http.Header = QFile::encodeName(dir.filePath(QStringLiteral("Head.txt")));
    http.Deadline = 500;
    EXPECT_EQ(Raised<EAbortError>([&] { http.Put(server.Url("/u"), QFile::encodeName(data)); }),
              "Socket send aborted");
    EXPECT_TRUE(http.TimedOut);
    EXPECT_LT(http.BytesSent, 32 * 1024 * 1024);
}

TEST_F(HttpClientTest, RefusedConnectionKeepsTheBody) {
    http.Body = "previous answer";
    int failed = 0;
    http.OnConnectionFailed = [&](TPowersock*) { ++failed; };
    const QByteArray url =
        "http://127.0.0.1:" + QByteArray::number(ScriptedHttpServer::ClosedPort()) + "/";
    EXPECT_EQ(Raised<ESockError>([&] { http.Get(url); }), "Connection Failed");
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(http.Body, "previous answer");
    EXPECT_TRUE(successes.isEmpty() && failures.isEmpty());
}

TEST_F(HttpClientTest, UnresolvableNameFails) {
    EXPECT_EQ(Raised<ESockError>([&] { http.Get("http://no..such..host/"); }),
              "Null Remote Address");
    EXPECT_EQ(http.Host, "no..such..host");
}

TEST_F(HttpClientTest, ReportLevelFiltersTheStatusTexts) {
    ScriptedHttpServer server(Answers({Ok("x")}));
    QList<QByteArray> statuses;
    http.OnStatus = [&](TPowersock*, const QByteArray& text) { statuses << text; };

    http.Get(server.Url("/"));
    EXPECT_EQ(statuses, QList<QByteArray>{"Transaction Completed"});
    EXPECT_EQ(http.Status, "Transaction Completed");

    statuses.clear();
    http.ReportLevel = 0;
    http.Get(server.Url("/"));
    EXPECT_TRUE(statuses.isEmpty());

    http.ReportLevel = 8;
    http.Get(server.Url("/"));
    ASSERT_GE(statuses.size(), 8);
    EXPECT_EQ(statuses.mid(0, 8),
              (QList<QByteArray>{"Connecting", "Resolve Host", "Timer On", "Timer Off", "Write",
                                 "Sending Buffer", "Timer On", "Timer Off"}));
    EXPECT_EQ(
        statuses.mid(statuses.size() - 3),
        (QList<QByteArray>{"Transaction Completed", "Disconnecting", "Request Close Socket"}));
    EXPECT_TRUE(statuses.contains("Capture String"));
    EXPECT_TRUE(statuses.contains("ReadLn"));
}

TEST_F(HttpClientTest, AuthorizationNeedsBothUserAndPassword) {
    ScriptedHttpServer server(Answers({ScriptedHttpServer::Response(401, "who?")}));
    int asked = 0;
    http.OnAuthenticationNeeded = [&](TPowersock*) { ++asked; };
    http.HeaderInfo.UserId = "user";
    http.Get(server.Url("/"));
    EXPECT_FALSE(server.Requests()[0].contains("Authorization"));
    EXPECT_EQ(asked, 1);

    http.HeaderInfo.Password = "pass";
    http.HeaderInfo.LocalProgram = "Sorvel";
    http.HeaderInfo.Referer = "http://r/";
    http.Get(server.Url("/"));
    EXPECT_TRUE(server.Requests()[1].endsWith("User-Agent: Sorvel\r\nReferer: http://r/\r\n"
                                              "Authorization: Basic dXNlcjpwYXNz\r\n" +
                                              ContentType + "\r\n"));
    EXPECT_EQ(failures.size(), 2);
}

TEST_F(HttpClientTest, PostSendsEncodedData) {
    QByteArray received;
    ScriptedHttpServer server([&received](Connection& c) {
        c.ReadRequest();
        received = c.RequestBody();
        c.Send(ScriptedHttpServer::Response(200, "posted"));
    });
    http.Post(server.Url("/form"), "a b&c");
    ASSERT_EQ(server.Requests().size(), 1);
    EXPECT_EQ(RequestLine(server.Requests()[0]), "POST /form HTTP/1.0");
    EXPECT_TRUE(server.Requests()[0].endsWith(ContentType + "Content-Length: 7\r\n\r\n"));
    EXPECT_EQ(received, "a+b%26c");
    EXPECT_EQ(successes, QList<CmdType>{CmdType::Post});
}

TEST_F(HttpClientTest, PutSendsTheFileInOutputFileMode) {
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("upload.bin"));
    {
        QFile file(data);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(100000, '\x01'));
    }
    QByteArray received;
    ScriptedHttpServer server([&received](Connection& c) {
        c.ReadRequest();
        received = c.RequestBody();
        c.Send(ScriptedHttpServer::Response(201, ""));
    });
    http.OutputFileMode = true;
    http.Header = QFile::encodeName(dir.filePath(QStringLiteral("Head.txt")));
    http.Put(server.Url("/u"), QFile::encodeName(data));
    EXPECT_TRUE(server.Requests()[0].endsWith("Content-Length: 100000\r\n\r\n"));
    EXPECT_EQ(received, QByteArray(100000, '\x01'));
    EXPECT_EQ(successes, QList<CmdType>{CmdType::Put});
}

TEST_F(HttpClientTest, OtherCommandsSendTheirVerbsAndLines) {
    ScriptedHttpServer server(Answers({Ok("")}));
    http.Copy(server.Url("/a"), "/b");
    http.Link(server.Url("/a"), "<x>");
    http.Head(server.Url("/a"));
    const QList<QByteArray> requests = server.Requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(RequestLine(requests[0]), "COPY /a HTTP/1.0");
    EXPECT_TRUE(requests[0].endsWith(ContentType + "URI-header: /b\r\n\r\n"));
    EXPECT_EQ(RequestLine(requests[1]), "LINK /a HTTP/1.0");
    EXPECT_TRUE(requests[1].endsWith(ContentType + "Link: <x>\r\n\r\n"));
    EXPECT_EQ(RequestLine(requests[2]), "HEAD /a HTTP/1.0");
    EXPECT_EQ(successes, (QList<CmdType>{CmdType::Copy, CmdType::Link, CmdType::Head}));
}

TEST_F(HttpClientTest, BodyInMemoryHasACeiling) {
    const qint64 ceiling = TPowersock::DefaultStringCaptureCeiling;
    ScriptedHttpServer server([ceiling](Connection& c) {
        c.ReadRequest();
        c.Send(ScriptedHttpServer::Response(200, QByteArray(ceiling + 1000, 'b')));
    });
    EXPECT_EQ(Raised<EAbortError>([&] { http.Get(server.Url("/")); }), "Socket capture aborted");
    EXPECT_EQ(http.Body.size(), ceiling);
}

TEST_F(HttpClientTest, BodyInAFileHasACeiling) {
    QTemporaryDir dir;
    ScriptedHttpServer server(Answers({ScriptedHttpServer::Response(200, QByteArray(5000, 'f'))}));
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    http.InputFileMode = true;
    http.Body = QFile::encodeName(path);
    http.FileCaptureCeiling = 3000;
    EXPECT_EQ(Raised<EAbortError>([&] { http.Get(server.Url("/")); }), "Socket capture aborted");
    EXPECT_EQ(ReadFileBytes(path), QByteArray(3000, 'f'));
}

TEST_F(HttpClientTest, HeaderAndLineHaveCeilings) {
    QList<QByteArray> manyLines;
    for (int i = 0; i < 4000; ++i)
        manyLines << "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(80, 'h');
    ScriptedHttpServer longHeader(Answers({ScriptedHttpServer::Response(200, "", manyLines)}));
    EXPECT_EQ(Raised<EAbortError>([&] { http.Get(longHeader.Url("/")); }),
              "Socket capture aborted");
    EXPECT_LE(http.Header.size(), TNMHTTP::DefaultHeaderCeiling);

    ScriptedHttpServer longLine([](Connection& c) {
        c.ReadRequest();
        c.Send("HTTP/1.0 200 OK\r\nX-Long: " + QByteArray(100000, 'l'));
        c.Stall(60s);
    });
    EXPECT_EQ(Raised<EAbortError>([&] { http.Get(longLine.Url("/")); }), "Socket readln aborted");
}

TEST_F(HttpClientTest, EventLoopKeepsRunningWhileGetWaits) {
    ScriptedHttpServer silent([](Connection& c) { c.Stall(60s); });
    http.TimeOut = 0;
    int ticks = 0;
    bool aborted = false;
    QTimer timer;
    timer.setInterval(10);
    // Ends the wait for the answer: the only way out without a time-out.
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks >= 5 && http.Connected && !aborted) {
            aborted = true;
            http.Abort();
        }
    });
    timer.start();
    EXPECT_EQ(Raised<EAbortError>([&] { http.Get(silent.Url("/")); }), "Socket readln aborted");
    EXPECT_TRUE(aborted);
    EXPECT_GE(ticks, 5);
    EXPECT_FALSE(http.TimedOut);
    EXPECT_FALSE(http.Connected);
}

TEST_F(HttpClientTest, FetchesAFileFromPythonsHttpServer) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    ASSERT_FALSE(python.isEmpty()) << "python3 is needed for this test";
    QTemporaryDir served;
    QTemporaryDir work;
    QByteArray data(300 * 1024 + 17, '\0');
    QRandomGenerator random(20240601);
    for (char& byte : data)
        byte = static_cast<char>(random.bounded(256));
    {
        QFile file(served.filePath(QStringLiteral("video thumb.bin")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    }

    QProcess server;
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.start(python, {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"),
                          QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                          QStringLiteral("0"), QStringLiteral("--directory"), served.path()});
    QByteArray output;
    int port = 0;
    const QRegularExpression serving(QStringLiteral("port (\\d+)"));
    ASSERT_TRUE(WaitUntil([&] {
        output += server.readAllStandardOutput();
        const auto match = serving.match(QString::fromLatin1(output));
        if (match.hasMatch())
            port = match.captured(1).toInt();
        return port != 0 || server.state() == QProcess::NotRunning;
    }));
    ASSERT_NE(port, 0) << output.data() << server.readAllStandardError().data();

    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(port) + "/video%20thumb.bin";
    const QString target = work.filePath(QStringLiteral("temp_image.jpg"));
    http.InputFileMode = true;
    http.Body = QFile::encodeName(target);
    http.Get(url);
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.BytesTotal, data.size());
    EXPECT_TRUE(ReadFileBytes(target) == data);

    http.InputFileMode = false;
    http.Get(url);
    EXPECT_TRUE(http.Body == data);

    server.kill();
    server.waitForFinished();
}
