#include "net/HttpClient.h"

#include "ScriptedHttpServer.h"
#include "TestCertificates.h"
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
ScriptedHttpServer::Script answersInTurn(QList<QByteArray> answers) {
    auto next = std::make_shared<std::atomic<int>>(0);
    return [answers, next](Connection& c) {
        c.readRequest();
        const int n = std::min<int>((*next)++, answers.size() - 1);
        c.send(answers[n]);
    };
}

QByteArray okResponse(const QByteArray& body) {
    return ScriptedHttpServer::response(200, body);
}

QByteArray requestLine(const QByteArray& request) {
    return request.left(request.indexOf("\r\n"));
}

// The message and the kind of the SocketError that action raises.
std::pair<QString, TransferFailure> raisedFailure(const std::function<void()>& action) {
    try {
        action();
    } catch (const SocketError& e) {
        return {e.message(), e.failure()};
    }
    return {QStringLiteral("<nothing raised>"), TransferFailure::Other};
}

class HttpClientTest : public ::testing::Test {
protected:
    HttpClientTest() {
        // As the search controller drives it; the time-out only keeps a failing test short.
        http.timeout = 10000;
        http.reportLevel = 2;
        http.onSuccess = [this](HttpClient::Method method) { successes << method; };
        http.onFailure = [this](HttpClient::Method method) { failures << method; };
    }

    HttpClient http;
    QList<HttpClient::Method> successes;
    QList<HttpClient::Method> failures;
};

} // namespace

TEST_F(HttpClientTest, StartsWithItsDefaults) {
    // A client as constructed; the fixture's own one is set up for the exchanges.
    const HttpClient fresh;
    EXPECT_EQ(fresh.body, "Default.htm");
    EXPECT_EQ(fresh.header, "Head.txt");
    EXPECT_FALSE(fresh.bodyToFile);
    EXPECT_FALSE(fresh.dataFromFile);
    EXPECT_TRUE(fresh.proxy.isEmpty());
    EXPECT_EQ(fresh.proxyPort, 0);
    EXPECT_EQ(fresh.timeout, 0);
    EXPECT_EQ(fresh.reportLevel, 0);
    EXPECT_FALSE(fresh.connected);
    EXPECT_TRUE(fresh.headerFields.cookie.isEmpty());
}

TEST_F(HttpClientTest, GetSendsTheRequestAndCapturesTheAnswer) {
    ScriptedHttpServer server(answersInTurn({ScriptedHttpServer::response(
        200, "hello\r\n\r\nworld", {"Content-Length: 14", "X-Other: y"})}));
    http.get(server.url("/p?q"));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0],
              "GET /p?q HTTP/1.0\r\nHost: 127.0.0.1\r\n" + Accepts + ContentType + "\r\n");
    EXPECT_EQ(http.replyNumber, 200);
    EXPECT_EQ(http.body, "hello\r\n\r\nworld");
    EXPECT_EQ(http.header, "HTTP/1.0 200 Status\r\nContent-Length: 14\r\nX-Other: y\r\n\r\n");
    EXPECT_EQ(http.bytesTotal, 14);
    EXPECT_EQ(successes, QList<HttpClient::Method>{HttpClient::Method::Get});
    EXPECT_TRUE(failures.isEmpty());
    EXPECT_FALSE(http.connected);
}

TEST_F(HttpClientTest, ProxyGetsTheWholeUrl) {
    ScriptedHttpServer proxy(answersInTurn({okResponse("via proxy")}));
    http.proxy = "127.0.0.1";
    http.proxyPort = proxy.port();
    http.get("http://h/p?q");
    ASSERT_EQ(proxy.requests().size(), 1);
    EXPECT_EQ(proxy.requests()[0], "GET http://h/p?q HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n"
                                   "Host: h\r\n" +
                                       Accepts + ContentType + "\r\n");
    EXPECT_EQ(http.body, "via proxy");
    EXPECT_EQ(http.host, "h");
}

TEST_F(HttpClientTest, RefusesBadUrlsBeforeConnecting) {
    ScriptedHttpServer server(answersInTurn({okResponse("x")}));
    http.body = "kept";
    EXPECT_EQ(raisedMessage<Exception>([&] { http.get(""); }), QStringLiteral("Empty URL"));
    EXPECT_EQ(raisedMessage<ConversionError>([&] { http.get("http://127.0.0.1:8x/"); }),
              QStringLiteral("'8x' は整数ではありません"));
    EXPECT_EQ(server.connectionCount(), 0);
    EXPECT_EQ(http.body, "kept");
    EXPECT_TRUE(successes.isEmpty());
}

TEST_F(HttpClientTest, BareHostKeepsThePreviousPort) {
    ScriptedHttpServer server(answersInTurn({okResponse("root")}));
    http.port = server.port();
    http.get("127.0.0.1");
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(requestLine(server.requests()[0]), "GET / HTTP/1.0");
    EXPECT_TRUE(server.requests()[0].contains("\r\nHost: 127.0.0.1\r\n"));
    EXPECT_EQ(http.url(), "127.0.0.1/");
    EXPECT_EQ(http.port, server.port());
    EXPECT_EQ(http.body, "root");
}

TEST_F(HttpClientTest, PortOfTheUrlIsUsedButNotNamedInTheHostLine) {
    ScriptedHttpServer server(answersInTurn({okResponse("x")}));
    http.port = 1;
    http.get("http://127.0.0.1:" + QByteArray::number(server.port()) + "/x");
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(requestLine(server.requests()[0]), "GET /x HTTP/1.0");
    EXPECT_TRUE(server.requests()[0].contains("\r\nHost: 127.0.0.1\r\n"));
    EXPECT_EQ(http.host, "127.0.0.1");
    EXPECT_EQ(http.port, server.port());
}

TEST_F(HttpClientTest, LongPathIsSentWholeOrRefusedBeforeConnecting) {
    ScriptedHttpServer server(answersInTurn({okResponse("x")}));
    for (const int length : {300, HttpClient::MaxRequestTarget}) {
        const QByteArray path = "/p?q=" + QByteArray(length - 11, 'b') + "&end=1";
        ASSERT_EQ(path.size(), length);
        http.get(server.url(path));
        EXPECT_EQ(requestLine(server.requests().back()), "GET " + path + " HTTP/1.0");
    }
    const int connections = server.connectionCount();
    const QByteArray tooLong = "/p?q=" + QByteArray(HttpClient::MaxRequestTarget - 4, 'b');
    EXPECT_EQ(raisedMessage<Exception>([&] { http.get(server.url(tooLong)); }),
              "Request target too long: 8193 bytes, at most 8192");
    EXPECT_EQ(server.connectionCount(), connections);
}

TEST_F(HttpClientTest, LongRedirectIsFollowedWholeOrRefused) {
    const QByteArray longPath = "/next?k=" + QByteArray(1000, 'k') + "&last=1";
    const QByteArray tooLong = "/next?k=" + QByteArray(HttpClient::MaxRequestTarget, 'k');
    ScriptedHttpServer server([&](Connection& c) {
        const QByteArray request = c.readRequest();
        if (request.startsWith("GET /long "))
            c.send(ScriptedHttpServer::response(302, "", {"Location: " + longPath}));
        else if (request.startsWith("GET /too-long "))
            c.send(ScriptedHttpServer::response(302, "", {"Location: " + tooLong}));
        else
            c.send(okResponse("arrived"));
    });
    http.get(server.url("/long"));
    EXPECT_EQ(requestLine(server.requests().back()), "GET " + longPath + " HTTP/1.0");
    EXPECT_EQ(http.body, "arrived");
    EXPECT_EQ(
        raisedMessage<Exception>([&] { http.get(server.url("/too-long")); }),
        QStringLiteral("Request target too long: %1 bytes, at most 8192").arg(tooLong.size()));
    EXPECT_EQ(server.connectionCount(), 3);
}

TEST_F(HttpClientTest, BytesThatMayNotStandInARequestLineAreEncoded) {
    ScriptedHttpServer server(answersInTurn({okResponse("x")}));
    http.get(server.url("/a b?q=\xE7\x8C\xAB&n=1" + QByteArray(1, '\0') + "&c=\r\nX-Injected: 1"));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0], "GET /a%20b?q=%E7%8C%AB&n=1%00&c=%0D%0AX-Injected:%201 "
                                    "HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                                        Accepts + ContentType + "\r\n");

    // Through a proxy the host goes into the Host line, where a line break would start another.
    http.proxy = "127.0.0.1";
    http.proxyPort = server.port();
    http.get("http://h\r\nX-Injected/p");
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[1], "GET http://h%0D%0AX-Injected/p HTTP/1.0\r\n"
                                    "Proxy-Connection: Keep-Alive\r\nHost: h%0D%0AX-Injected\r\n" +
                                        Accepts + ContentType + "\r\n");
}

TEST_F(HttpClientTest, ErrorStatusCallsOnFailureAndKeepsThePage) {
    ScriptedHttpServer server(
        answersInTurn({ScriptedHttpServer::response(404, "<html>Not here</html>")}));
    http.get(server.url("/missing"));
    EXPECT_EQ(http.replyNumber, 404);
    EXPECT_EQ(failures, QList<HttpClient::Method>{HttpClient::Method::Get});
    EXPECT_TRUE(successes.isEmpty());
    EXPECT_EQ(http.body, "<html>Not here</html>");
}

TEST_F(HttpClientTest, RedirectToAnotherHostIsFollowed) {
    ScriptedHttpServer target(answersInTurn({okResponse("second answer")}));
    ScriptedHttpServer first(answersInTurn({ScriptedHttpServer::response(
        302, "moved",
        {"Location: http://localhost:" + QByteArray::number(target.port()) + "/y"})}));
    int redirects = 0;
    http.onRedirect = [&](bool&) { ++redirects; };
    http.get(first.url("/x"));
    ASSERT_EQ(target.requests().size(), 1);
    EXPECT_EQ(requestLine(target.requests()[0]), "GET /y HTTP/1.0");
    EXPECT_TRUE(target.requests()[0].contains("\r\nHost: localhost\r\n"));
    EXPECT_EQ(http.body, "second answer");
    EXPECT_EQ(http.replyNumber, 200);
    EXPECT_EQ(http.host, "localhost");
    EXPECT_EQ(redirects, 1);
    EXPECT_EQ(successes.size(), 1);
}

TEST_F(HttpClientTest, RelativeRedirectIsResolvedAgainstTheUrlThatAnswered) {
    ScriptedHttpServer other(answersInTurn({okResponse("other server")}));
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
        ScriptedHttpServer server(
            answersInTurn({ScriptedHttpServer::response(302, "", {"Location: " + c.location}),
                           okResponse("the page")}));
        http.get(server.url("/dir/x.html?q=1"));
        ASSERT_EQ(server.requests().size(), 2) << c.location.data();
        EXPECT_EQ(requestLine(server.requests()[1]), "GET " + c.expected + " HTTP/1.0")
            << c.location.data();
        EXPECT_EQ(http.url(), server.url(c.expected));
        EXPECT_EQ(http.body, "the page");
    }

    // A network-path reference keeps only the scheme.
    ScriptedHttpServer server(answersInTurn(
        {ScriptedHttpServer::response(302, "", {"Location: //" + other.hostAndPort() + "/o"})}));
    http.get(server.url("/dir/x.html"));
    ASSERT_EQ(other.requests().size(), 1);
    EXPECT_EQ(requestLine(other.requests()[0]), "GET /o HTTP/1.0");
    EXPECT_EQ(http.body, "other server");
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
        EXPECT_EQ(resolveUrl(base, reference), expected) << reference.data();
}

TEST_F(HttpClientTest, RedirectSendsBackTheCookieItSet) {
    ScriptedHttpServer server(answersInTurn(
        {ScriptedHttpServer::response(302, "", {"Set-Cookie: a=1", "Location: /next"}),
         okResponse("with cookie")}));
    http.get(server.url("/"));
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_FALSE(server.requests()[0].contains("Cookie"));
    EXPECT_TRUE(server.requests()[1].contains("\r\nCookie: a=1\r\n"));
    // The caller's own cookie stays the caller's: it would go to every host.
    EXPECT_TRUE(http.headerFields.cookie.isEmpty());
    EXPECT_EQ(http.body, "with cookie");
}

TEST_F(HttpClientTest, CookieGoesBackOnlyToTheHostAndPortThatSetIt) {
    ScriptedHttpServer b(answersInTurn({okResponse("b")}));
    ScriptedHttpServer a([&b](Connection& c) {
        if (c.readRequest().startsWith("GET /login "))
            c.send(ScriptedHttpServer::response(
                302, "", {"Set-Cookie: sid=SECRET; Path=/; HttpOnly", "Location: " + b.url("/")}));
        else
            c.send(okResponse("a"));
    });
    const auto cookieLine = [](const QByteArray& request) {
        const qsizetype at = request.indexOf("\r\nCookie: ");
        return at < 0 ? QByteArray()
                      : request.mid(at + 2, request.indexOf("\r\n", at + 2) - at - 2);
    };

    http.get(a.url("/login"));
    EXPECT_EQ(http.body, "b");
    http.get(b.url("/later"));
    // The same server under another name is another host.
    http.get("http://localhost:" + QByteArray::number(a.port()) + "/by-name");
    http.get(a.url("/back"));
    http.headerFields.cookie = "lang=ja";
    http.get(a.url("/both"));
    http.get(b.url("/own-only"));

    const QList<QByteArray> toA = a.requests();
    const QList<QByteArray> toB = b.requests();
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
        answersInTurn({ScriptedHttpServer::response(301, "gone", {"Location: /elsewhere"})}));
    http.onRedirect = [](bool& handled) { handled = true; };
    http.get(server.url("/"));
    EXPECT_EQ(server.connectionCount(), 1);
    EXPECT_EQ(http.replyNumber, 301);
    EXPECT_EQ(http.body, "gone");
    EXPECT_EQ(http.url(), "/elsewhere");
}

TEST_F(HttpClientTest, EndlessRedirectsEndWithAnError) {
    for (const int status : {302, 303, 307, 308}) {
        ScriptedHttpServer server(
            answersInTurn({ScriptedHttpServer::response(status, "again", {"Location: /loop"})}));
        EXPECT_EQ(raisedMessage<Exception>([&] { http.get(server.url("/loop")); }),
                  "Too many redirects (more than 20)");
        EXPECT_EQ(server.connectionCount(), HttpClient::MaxRedirects + 1) << status;
    }
}

TEST_F(HttpClientTest, RedirectsAreFollowedByTheirRules) {
    // /from/<status> answers with that status and a Location; everything else with 200.
    std::mutex mutex;
    QList<QByteArray> bodies;
    ScriptedHttpServer server([&](Connection& c) {
        const QByteArray request = c.readRequest();
        {
            std::lock_guard lock(mutex);
            bodies << c.requestBody();
        }
        const QByteArray target = request.split(' ').value(1);
        if (target.startsWith("/from/"))
            c.send(
                ScriptedHttpServer::response(target.mid(6).toInt(), "redirect", {"Location: /to"}));
        else
            c.send(okResponse("final"));
    });
    const struct {
        HttpClient::Method method;
        int status;
        QByteArray next; // the request line that follows; empty: the answer is the final one
        bool dataAgain;
    } cases[] = {
        {HttpClient::Method::Get, 300, "GET /to HTTP/1.0", false},
        {HttpClient::Method::Get, 301, "GET /to HTTP/1.0", false},
        {HttpClient::Method::Get, 302, "GET /to HTTP/1.0", false},
        {HttpClient::Method::Get, 303, "GET /to HTTP/1.0", false},
        {HttpClient::Method::Get, 307, "GET /to HTTP/1.0", false},
        {HttpClient::Method::Get, 308, "GET /to HTTP/1.0", false},
        {HttpClient::Method::Post, 301, "GET /to HTTP/1.0", false},
        {HttpClient::Method::Post, 302, "GET /to HTTP/1.0", false},
        {HttpClient::Method::Post, 303, "GET /to HTTP/1.0", false},
        {HttpClient::Method::Post, 307, "POST /to HTTP/1.0", true},
        {HttpClient::Method::Post, 308, "POST /to HTTP/1.0", true},
        {HttpClient::Method::Put, 302, "PUT /to HTTP/1.0", true},
        {HttpClient::Method::Put, 303, "GET /to HTTP/1.0", false},
        {HttpClient::Method::Head, 303, "HEAD /to HTTP/1.0", false},
        {HttpClient::Method::Get, 304, "", false},
        {HttpClient::Method::Get, 305, "", false},
        {HttpClient::Method::Get, 399, "", false},
    };
    for (const auto& c : cases) {
        const QByteArray url = server.url("/from/" + QByteArray::number(c.status));
        const qsizetype before = server.requests().size();
        {
            std::lock_guard lock(mutex);
            bodies.clear();
        }
        successes.clear();
        failures.clear();
        if (c.method == HttpClient::Method::Get)
            http.get(url);
        else if (c.method == HttpClient::Method::Head)
            http.head(url);
        else if (c.method == HttpClient::Method::Post)
            http.post(url, "a b&c");
        else
            http.put(url, "a b&c");
        const QList<QByteArray> requests = server.requests().mid(before);
        const QList<QByteArray> sent = [&] {
            std::lock_guard lock(mutex);
            return bodies;
        }();
        const QString name = QStringLiteral("%1 after %2").arg(int(c.method)).arg(c.status);
        if (c.next.isEmpty()) {
            EXPECT_EQ(requests.size(), 1) << name.toStdString();
            EXPECT_EQ(http.replyNumber, c.status);
            EXPECT_EQ(http.body, "redirect");
            EXPECT_TRUE(successes.isEmpty() && failures.isEmpty());
            continue;
        }
        ASSERT_EQ(requests.size(), 2) << name.toStdString();
        EXPECT_EQ(requestLine(requests[1]), c.next) << name.toStdString();
        const QByteArray data = c.method == HttpClient::Method::Put ? "a b&c" : "a+b%26c";
        EXPECT_EQ(requests[1].contains("Content-Length: "), c.dataAgain) << name.toStdString();
        EXPECT_EQ(sent.value(1), c.dataAgain ? data : QByteArray()) << name.toStdString();
        EXPECT_EQ(http.replyNumber, 200);
        // The callback names the command that was called.
        EXPECT_EQ(successes, QList<HttpClient::Method>{c.method}) << name.toStdString();
    }
}

TEST_F(HttpClientTest, RedirectWithoutLocationIsTheFinalAnswer) {
    ScriptedHttpServer elsewhere(answersInTurn({okResponse("elsewhere")}));
    ScriptedHttpServer first(answersInTurn(
        {ScriptedHttpServer::response(302, "", {"Location: " + elsewhere.url("/e")})}));
    http.get(first.url("/"));
    ASSERT_EQ(elsewhere.connectionCount(), 1);

    ScriptedHttpServer bare(answersInTurn({ScriptedHttpServer::response(302, "no location")}));
    http.get(bare.url("/"));
    EXPECT_EQ(bare.connectionCount(), 1);
    EXPECT_EQ(elsewhere.connectionCount(), 1);
    EXPECT_EQ(http.replyNumber, 302);
    EXPECT_EQ(http.body, "no location");
}

TEST_F(HttpClientTest, ServerClosingWithoutAWordIsAnEmptySuccess) {
    ScriptedHttpServer server([](Connection& c) {
        c.readRequest();
        c.close();
    });
    http.replyNumber = 404;
    http.get(server.url("/"));
    EXPECT_EQ(http.replyNumber, 0);
    EXPECT_EQ(successes, QList<HttpClient::Method>{HttpClient::Method::Get});
    EXPECT_TRUE(http.body.isEmpty());
    EXPECT_TRUE(http.header.isEmpty());
}

TEST_F(HttpClientTest, StatusLineWithoutReasonGivesZero) {
    ScriptedHttpServer server(answersInTurn({"HTTP/1.0 404\r\n\r\nbody"}));
    http.get(server.url("/"));
    EXPECT_EQ(http.replyNumber, 0);
    EXPECT_EQ(successes.size(), 1);
    EXPECT_EQ(http.body, "body");
}

TEST_F(HttpClientTest, BodyToFileHoldsExactlyTheBody) {
    QTemporaryDir dir;
    QByteArray body = "\r\n\r\nstarts with an empty line";
    for (int i = 0; i < 256; ++i)
        body += static_cast<char>(i);
    ScriptedHttpServer server(answersInTurn({ScriptedHttpServer::response(200, body)}));
    const QString path = dir.filePath(QStringLiteral("temp_image.jpg"));
    http.bodyToFile = true;
    http.body = QFile::encodeName(path);
    http.get(server.url("/thumb.jpg"));
    EXPECT_EQ(readFileBytes(path), body);
    EXPECT_EQ(http.body, QFile::encodeName(path));
    EXPECT_EQ(http.header, "HTTP/1.0 200 Status\r\n\r\n");
}

TEST_F(HttpClientTest, DataFromFileWritesTheHeaderToItsFile) {
    QTemporaryDir dir;
    ScriptedHttpServer server(answersInTurn({okResponse("body")}));
    const QString path = dir.filePath(QStringLiteral("Head.txt"));
    http.dataFromFile = true;
    http.header = QFile::encodeName(path);
    http.get(server.url("/"));
    EXPECT_EQ(readFileBytes(path), "HTTP/1.0 200 Status\r\n\r\n");
    EXPECT_EQ(http.body, "body");
}

TEST_F(HttpClientTest, StalledBodyEndsWithTheTimeOut) {
    ScriptedHttpServer server([](Connection& c) {
        c.readRequest();
        c.send(ScriptedHttpServer::response(200, "partial"));
        c.stall(60s);
    });
    http.timeout = 300;
    EXPECT_EQ(raisedMessage<AbortedError>([&] { http.get(server.url("/")); }),
              "Socket capture aborted");
    EXPECT_TRUE(http.timedOut);
    EXPECT_EQ(http.body, "partial");
    EXPECT_TRUE(successes.isEmpty());
    EXPECT_FALSE(http.connected);
}

TEST_F(HttpClientTest, SlowButSteadyBodyCompletes) {
    const QByteArray body(400, 's');
    ScriptedHttpServer server([body](Connection& c) {
        c.readRequest();
        c.sendSlowly(ScriptedHttpServer::response(200, body), 20, 5ms);
    });
    // Each chunk restarts the time-out, which is far shorter than the whole transfer.
    http.timeout = 200;
    http.get(server.url("/"));
    EXPECT_EQ(http.body, body);
    EXPECT_FALSE(http.timedOut);
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
             c.readRequest();
             c.send(ScriptedHttpServer::response(200, ""));
             c.sendSlowly(body, 1, 20ms);
         },
         "Socket capture aborted"},
        {"header one line at a time", 1000,
         [&](Connection& c) {
             c.readRequest();
             QByteArray header = "HTTP/1.0 200 OK\r\n";
             for (int i = 0; i < 100; ++i)
                 header += "X-Slow: " + QByteArray::number(i) + "\r\n";
             c.sendSlowly(header, 12, 20ms);
         },
         "Socket readln aborted"},
        {"silent, without a time-out", 0, [](Connection& c) { c.stall(60s); },
         "Socket readln aborted"},
        {"redirect after redirect", 1000,
         [&](Connection& c) {
             c.readRequest();
             ++redirects;
             c.stall(150ms);
             c.send(ScriptedHttpServer::response(307, "", {"Location: /again"}));
         },
         "Socket readln aborted"},
    };
    ScriptedHttpServer fast(answersInTurn({okResponse("fast")}));
    for (const auto& c : cases) {
        ScriptedHttpServer server(c.script);
        http.timeout = c.timeOut;
        http.deadline = 500;
        EXPECT_EQ(raisedMessage<AbortedError>([&] { http.get(server.url("/")); }), c.message)
            << c.name;
        EXPECT_TRUE(http.timedOut) << c.name;
        EXPECT_TRUE(successes.isEmpty()) << c.name;
        // The next command has a deadline of its own.
        http.get(fast.url("/"));
        EXPECT_EQ(http.body, "fast") << c.name;
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
    ScriptedHttpServer server([](Connection& c) { c.stall(60s); });
    http.dataFromFile = true;
    http.header = QFile::encodeName(dir.filePath(QStringLiteral("Head.txt")));
    http.deadline = 500;
    EXPECT_EQ(
        raisedMessage<AbortedError>([&] { http.put(server.url("/u"), QFile::encodeName(data)); }),
        "Socket send aborted");
    EXPECT_TRUE(http.timedOut);
    EXPECT_LT(http.bytesSent, 32 * 1024 * 1024);
}

TEST_F(HttpClientTest, RefusedConnectionKeepsTheBody) {
    http.body = "previous answer";
    int failed = 0;
    http.onConnectionFailed = [&](TcpClient*) { ++failed; };
    const QByteArray url =
        "http://127.0.0.1:" + QByteArray::number(ScriptedHttpServer::closedPort()) + "/";
    EXPECT_EQ(raisedMessage<SocketError>([&] { http.get(url); }), "Connection Failed");
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(http.body, "previous answer");
    EXPECT_TRUE(successes.isEmpty() && failures.isEmpty());
}

TEST_F(HttpClientTest, UnresolvableNameFails) {
    EXPECT_EQ(raisedMessage<SocketError>([&] { http.get("http://no..such..host/"); }),
              "Null Remote Address");
    EXPECT_EQ(http.host, "no..such..host");
}

TEST_F(HttpClientTest, ReportLevelFiltersTheStatusTexts) {
    ScriptedHttpServer server(answersInTurn({okResponse("x")}));
    QList<QByteArray> statuses;
    http.onStatus = [&](TcpClient*, const QByteArray& text) { statuses << text; };

    http.get(server.url("/"));
    EXPECT_EQ(statuses, QList<QByteArray>{"Transaction Completed"});
    EXPECT_EQ(http.status, "Transaction Completed");

    statuses.clear();
    http.reportLevel = 0;
    http.get(server.url("/"));
    EXPECT_TRUE(statuses.isEmpty());

    http.reportLevel = 8;
    http.get(server.url("/"));
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
    ScriptedHttpServer server(answersInTurn({ScriptedHttpServer::response(401, "who?")}));
    int asked = 0;
    http.onAuthenticationNeeded = [&](TcpClient*) { ++asked; };
    http.headerFields.userName = "user";
    http.get(server.url("/"));
    EXPECT_FALSE(server.requests()[0].contains("Authorization"));
    EXPECT_EQ(asked, 1);

    http.headerFields.password = "pass";
    http.headerFields.userAgent = "Sorvel";
    http.headerFields.referer = "http://r/";
    http.get(server.url("/"));
    EXPECT_TRUE(server.requests()[1].endsWith("User-Agent: Sorvel\r\nReferer: http://r/\r\n"
                                              "Authorization: Basic dXNlcjpwYXNz\r\n" +
                                              ContentType + "\r\n"));
    EXPECT_EQ(failures.size(), 2);
}

TEST_F(HttpClientTest, PostSendsEncodedData) {
    QByteArray received;
    ScriptedHttpServer server([&received](Connection& c) {
        c.readRequest();
        received = c.requestBody();
        c.send(ScriptedHttpServer::response(200, "posted"));
    });
    http.post(server.url("/form"), "a b&c");
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(requestLine(server.requests()[0]), "POST /form HTTP/1.0");
    EXPECT_TRUE(server.requests()[0].endsWith(ContentType + "Content-Length: 7\r\n\r\n"));
    EXPECT_EQ(received, "a+b%26c");
    EXPECT_EQ(successes, QList<HttpClient::Method>{HttpClient::Method::Post});
}

TEST_F(HttpClientTest, PutSendsTheFileWithDataFromFile) {
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("upload.bin"));
    {
        QFile file(data);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(100000, '\x01'));
    }
    QByteArray received;
    ScriptedHttpServer server([&received](Connection& c) {
        c.readRequest();
        received = c.requestBody();
        c.send(ScriptedHttpServer::response(201, ""));
    });
    http.dataFromFile = true;
    http.header = QFile::encodeName(dir.filePath(QStringLiteral("Head.txt")));
    http.put(server.url("/u"), QFile::encodeName(data));
    EXPECT_TRUE(server.requests()[0].endsWith("Content-Length: 100000\r\n\r\n"));
    EXPECT_EQ(received, QByteArray(100000, '\x01'));
    EXPECT_EQ(successes, QList<HttpClient::Method>{HttpClient::Method::Put});
}

TEST_F(HttpClientTest, OtherCommandsSendTheirVerbsAndLines) {
    ScriptedHttpServer server(answersInTurn({okResponse("")}));
    http.copy(server.url("/a"), "/b");
    http.link(server.url("/a"), "<x>");
    http.head(server.url("/a"));
    const QList<QByteArray> requests = server.requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(requestLine(requests[0]), "COPY /a HTTP/1.0");
    EXPECT_TRUE(requests[0].endsWith(ContentType + "URI-header: /b\r\n\r\n"));
    EXPECT_EQ(requestLine(requests[1]), "LINK /a HTTP/1.0");
    EXPECT_TRUE(requests[1].endsWith(ContentType + "Link: <x>\r\n\r\n"));
    EXPECT_EQ(requestLine(requests[2]), "HEAD /a HTTP/1.0");
    EXPECT_EQ(successes,
              (QList<HttpClient::Method>{HttpClient::Method::Copy, HttpClient::Method::Link,
                                         HttpClient::Method::Head}));
}

TEST_F(HttpClientTest, BodyInMemoryHasACeiling) {
    const qint64 ceiling = TcpClient::DefaultStringCaptureCeiling;
    ScriptedHttpServer server([ceiling](Connection& c) {
        c.readRequest();
        c.send(ScriptedHttpServer::response(200, QByteArray(ceiling + 1000, 'b')));
    });
    EXPECT_EQ(raisedMessage<AbortedError>([&] { http.get(server.url("/")); }),
              "Socket capture aborted");
    EXPECT_EQ(http.body.size(), ceiling);
}

TEST_F(HttpClientTest, BodyInAFileHasACeiling) {
    QTemporaryDir dir;
    ScriptedHttpServer server(
        answersInTurn({ScriptedHttpServer::response(200, QByteArray(5000, 'f'))}));
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    http.bodyToFile = true;
    http.body = QFile::encodeName(path);
    http.fileCaptureCeiling = 3000;
    EXPECT_EQ(raisedMessage<AbortedError>([&] { http.get(server.url("/")); }),
              "Socket capture aborted");
    EXPECT_EQ(readFileBytes(path), QByteArray(3000, 'f'));
}

TEST_F(HttpClientTest, HeaderAndLineHaveCeilings) {
    QList<QByteArray> manyLines;
    for (int i = 0; i < 4000; ++i)
        manyLines << "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(80, 'h');
    ScriptedHttpServer longHeader(
        answersInTurn({ScriptedHttpServer::response(200, "", manyLines)}));
    EXPECT_EQ(raisedMessage<AbortedError>([&] { http.get(longHeader.url("/")); }),
              "Socket capture aborted");
    EXPECT_LE(http.header.size(), HttpClient::DefaultHeaderCeiling);

    ScriptedHttpServer longLine([](Connection& c) {
        c.readRequest();
        c.send("HTTP/1.0 200 OK\r\nX-Long: " + QByteArray(100000, 'l'));
        c.stall(60s);
    });
    EXPECT_EQ(raisedMessage<AbortedError>([&] { http.get(longLine.url("/")); }),
              "Socket readln aborted");
}

TEST_F(HttpClientTest, EventLoopKeepsRunningWhileGetWaits) {
    ScriptedHttpServer silent([](Connection& c) { c.stall(60s); });
    http.timeout = 0;
    int ticks = 0;
    bool aborted = false;
    QTimer timer;
    timer.setInterval(10);
    // Ends the wait for the answer: the only way out without a time-out.
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks >= 5 && http.connected && !aborted) {
            aborted = true;
            http.abort();
        }
    });
    timer.start();
    EXPECT_EQ(raisedMessage<AbortedError>([&] { http.get(silent.url("/")); }),
              "Socket readln aborted");
    EXPECT_TRUE(aborted);
    EXPECT_GE(ticks, 5);
    EXPECT_FALSE(http.timedOut);
    EXPECT_FALSE(http.connected);
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
    ASSERT_TRUE(waitUntil([&] {
        output += server.readAllStandardOutput();
        const auto match = serving.match(QString::fromLatin1(output));
        if (match.hasMatch())
            port = match.captured(1).toInt();
        return port != 0 || server.state() == QProcess::NotRunning;
    }));
    ASSERT_NE(port, 0) << output.data() << server.readAllStandardError().data();

    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(port) + "/video%20thumb.bin";
    const QString target = work.filePath(QStringLiteral("temp_image.jpg"));
    http.bodyToFile = true;
    http.body = QFile::encodeName(target);
    http.get(url);
    EXPECT_EQ(http.replyNumber, 200);
    EXPECT_EQ(http.bytesTotal, data.size());
    EXPECT_TRUE(readFileBytes(target) == data);

    http.bodyToFile = false;
    http.get(url);
    EXPECT_TRUE(http.body == data);

    server.kill();
    server.waitForFinished();
}

// --- https, proxies, kinds of failure ------------------------------------------------------

TEST_F(HttpClientTest, HttpsChecksTheCertificateAgainstItsAuthorityAndTheHost) {
    const TestAuthority authority;
    const struct {
        const char* name;
        TestCertificate certificate;
        QByteArray host;     // as the URL names the server
        bool trusted;        // whether the test's authority is trusted, or only the system's are
        const char* refusal; // empty: the answer comes
    } cases[] = {
        {"its name", authority.issue({"localhost"}), "localhost", true, ""},
        {"its address", authority.issue({"127.0.0.1"}), "127.0.0.1", true, ""},
        {"another name", authority.issue({"other.test"}), "localhost", true, "hostname mismatch"},
        {"another address", authority.issue({"127.0.0.2"}), "127.0.0.1", true,
         "IP address mismatch"},
        {"self-signed", TestAuthority::selfSigned({"localhost"}), "localhost", true,
         "self-signed certificate"},
        {"the system's authorities", authority.issue({"localhost"}), "localhost", false,
         "unable to get local issuer certificate"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server(answersInTurn({okResponse("secret answer")}),
                                  tlsServerOptions(c.certificate));
        http.trustedCertificates = c.trusted ? authority.certificatePem() : QByteArray();
        http.body = "before";
        const QByteArray url =
            "https://" + c.host + ':' + QByteArray::number(server.port()) + "/p?q";
        if (*c.refusal == '\0') {
            http.get(url);
            EXPECT_EQ(http.body, "secret answer");
            EXPECT_TRUE(http.isSecure());
            ASSERT_EQ(server.requests().size(), 1);
            EXPECT_EQ(server.requests()[0], "GET /p?q HTTP/1.0\r\nHost: " + c.host + "\r\n" +
                                                Accepts + ContentType + "\r\n");
            // A name goes out as the server name; an address does not.
            EXPECT_EQ(server.serverNames(),
                      QList<QByteArray>{c.host == "localhost" ? c.host : QByteArray()});
        } else {
            const auto [message, failure] = raisedFailure([&] { http.get(url); });
            EXPECT_EQ(message, QString::fromLatin1(c.refusal));
            EXPECT_EQ(failure, TransferFailure::Certificate);
            EXPECT_TRUE(server.requests().isEmpty());
            EXPECT_EQ(http.body, "before");
            EXPECT_FALSE(http.connected);
        }
    }
}

TEST_F(HttpClientTest, RedirectsBetweenHttpAndHttpsAreFollowed) {
    const TestAuthority authority;
    ScriptedHttpServer plain(answersInTurn({okResponse("back on http")}));
    ScriptedHttpServer secure(
        answersInTurn({ScriptedHttpServer::response(302, "", {"Location: " + plain.url("/end")})}),
        tlsServerOptions(authority.issue({"localhost"})));
    ScriptedHttpServer first(answersInTurn({ScriptedHttpServer::response(
        301, "", {"Location: https://localhost:" + QByteArray::number(secure.port()) + "/s"})}));
    http.trustedCertificates = authority.certificatePem();
    http.get(first.url("/start"));
    ASSERT_EQ(secure.requests().size(), 1);
    EXPECT_EQ(requestLine(secure.requests()[0]), "GET /s HTTP/1.0");
    ASSERT_EQ(plain.requests().size(), 1);
    EXPECT_EQ(requestLine(plain.requests()[0]), "GET /end HTTP/1.0");
    EXPECT_EQ(http.body, "back on http");
    EXPECT_FALSE(http.isSecure());
    EXPECT_EQ(http.url(), plain.url("/end"));
}

TEST_F(HttpClientTest, ProxiesOfTheEnvironmentCarryHttpAndTunnelHttps) {
    const TestAuthority authority;
    ScriptedHttpServer secure(answersInTurn({okResponse("through the tunnel")}),
                              tlsServerOptions(authority.issue({"svc.test"})));
    ScriptedHttpServer direct(answersInTurn({okResponse("direct")}));
    // Answers plain requests itself, opens tunnels to the TLS server, and refuses one host.
    ScriptedHttpServer proxy(
        [&](Connection& c) {
            const QByteArray request = c.readRequest();
            if (request.startsWith("CONNECT refused.test:")) {
                c.send("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
            } else if (request.startsWith("CONNECT ")) {
                c.send("HTTP/1.1 200 Connection established\r\n\r\n");
                c.relayTo(secure.port());
            } else {
                c.send(okResponse("from the proxy"));
            }
        },
        ScriptedHttpServer::concurrently());
    const QByteArray proxyAddress = proxy.hostAndPort();
    http.proxyRules = ProxyRules::fromVariables([&](const char* name) -> QByteArray {
        if (qstrcmp(name, "http_proxy") == 0)
            return "http://user:pa%20ss@" + proxyAddress;
        if (qstrcmp(name, "https_proxy") == 0)
            return proxyAddress;
        if (qstrcmp(name, "no_proxy") == 0)
            return "localhost, 127.0.0.1";
        return {};
    });
    http.trustedCertificates = authority.certificatePem();

    http.get("http://svc.test:8080/a?b");
    ASSERT_EQ(proxy.requests().size(), 1);
    EXPECT_EQ(proxy.requests()[0], "GET http://svc.test:8080/a?b HTTP/1.0\r\nHost: svc.test\r\n" +
                                       Accepts + "Proxy-Authorization: Basic dXNlcjpwYSBzcw==\r\n" +
                                       ContentType + "\r\n");
    EXPECT_EQ(http.body, "from the proxy");
    EXPECT_EQ(http.proxyAuthority(), proxyAddress);

    // https goes through a tunnel: the proxy sees where to, never what.
    http.get("https://svc.test/s");
    ASSERT_EQ(proxy.requests().size(), 2);
    EXPECT_EQ(proxy.requests()[1], "CONNECT svc.test:443 HTTP/1.1\r\nHost: svc.test:443\r\n\r\n");
    ASSERT_EQ(secure.requests().size(), 1);
    EXPECT_EQ(secure.requests()[0],
              "GET /s HTTP/1.0\r\nHost: svc.test\r\n" + Accepts + ContentType + "\r\n");
    EXPECT_EQ(secure.serverNames(), QList<QByteArray>{"svc.test"});
    EXPECT_EQ(http.body, "through the tunnel");

    // no_proxy: straight to the server.
    http.get(direct.url("/d"));
    EXPECT_EQ(requestLine(direct.requests().value(0)), "GET /d HTTP/1.0");
    EXPECT_EQ(proxy.requests().size(), 2);
    EXPECT_TRUE(http.proxyAuthority().isEmpty());

    const auto [message, failure] = raisedFailure([&] { http.get("https://refused.test/"); });
    EXPECT_EQ(message, QStringLiteral("Proxy refused the tunnel to refused.test:443: "
                                      "HTTP/1.1 403 Forbidden"));
    EXPECT_EQ(failure, TransferFailure::Proxy);
}

TEST_F(HttpClientTest, FailuresSayWhatKindTheyAre) {
    ScriptedHttpServer silent([](Connection& c) { c.stall(60s); });
    ScriptedHttpServer loop(
        answersInTurn({ScriptedHttpServer::response(302, "", {"Location: /"})}));
    const QByteArray closed = "127.0.0.1:" + QByteArray::number(ScriptedHttpServer::closedPort());
    const struct {
        const char* name;
        std::function<void()> action;
        TransferFailure failure;
    } cases[] = {
        {"refused", [&] { http.get("http://" + closed + "/"); }, TransferFailure::NoConnection},
        {"no such name", [&] { http.get("http://no..such..host/"); },
         TransferFailure::NoConnection},
        {"silent",
         [&] {
             http.timeout = 200;
             http.get(silent.url("/"));
         },
         TransferFailure::TimedOut},
        {"aborted",
         [&] {
             http.timeout = 0;
             QTimer::singleShot(100, [&] { http.abort(); });
             http.get(silent.url("/"));
         },
         TransferFailure::Canceled},
        {"endless redirects", [&] { http.get(loop.url("/")); }, TransferFailure::Protocol},
        {"proxy away",
         [&] {
             http.proxyRules =
                 ProxyRules::fromVariables([&](const char*) { return "http://" + closed; });
             http.get("http://svc.test/");
         },
         TransferFailure::Proxy},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(raisedFailure(c.action).second, c.failure);
    }
}
