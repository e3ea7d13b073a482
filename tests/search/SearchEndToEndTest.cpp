#include "FakeSearchView.h"
#include "ScriptedHttpServer.h"
#include "SearchTestUtil.h"
#include "TestCertificates.h"
#include "TestUtil.h"

#include "controls/ClickableImage.h"
#include "net/HttpClient.h"
#include "net/ThumbnailDownloader.h"
#include "net/UrlEncoder.h"
#include "search/SearchController.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

using namespace std::chrono_literals;

namespace {

// A picture as servers send one: with its length (Qt may ask twice for a body that only the end
// of the connection ends).
QByteArray pictureResponse(const QByteArray& jpeg) {
    return ScriptedHttpServer::response(
        200, jpeg,
        {"Content-Type: image/jpeg", "Content-Length: " + QByteArray::number(jpeg.size())});
}

// A search controller on a real HTTP client, against a scripted service on host.
struct LiveSearch {
    explicit LiveSearch(const QByteArray& host)
        : client(view, http, url, QString::fromLatin1(host)) {
        client.settings.resultsPerPage = 20;
        client.settings.uniqueId = QStringLiteral("1234-5678-9012-3456");
    }

    // Searches and waits until the last picture is in.
    void search(const QString& keyword) {
        view.keyword = keyword;
        client.search();
        EXPECT_TRUE(waitUntil([this] { return !client.isLoading(); }, 20000));
    }

    RecordedMessages messages;
    FakeSearchView view;
    HttpClient http;
    UrlEncoder url;
    SearchController client;
};

} // namespace

TEST(SearchEndToEndTest, KeywordToTableThroughTheHttpClient) {
    const QColor colour(30, 60, 200);
    QByteArray host;
    ScriptedHttpServer server([&](ScriptedHttpServer::Connection& c) {
        const QByteArray request = c.readRequest();
        if (request.startsWith("GET /files/sorvel/api_yahoo.php?")) {
            c.send(ScriptedHttpServer::response(
                200, answerOf(1234, resultBlock("猫の動画", "125", "Youtube",
                                                "http://" + host + "/watch/1",
                                                "http://" + host + "/thumbs/1.jpg") +
                                        resultBlock("Tom &amp;amp; Jerry", "abc", "other",
                                                    "http://" + host + "/watch/2",
                                                    "http://" + host + "/thumbs/missing.jpg"))));
        } else if (request.startsWith("GET /thumbs/1.jpg ")) {
            c.send(ScriptedHttpServer::response(200, jpegOf(colour), {"Content-Type: image/jpeg"}));
        } else {
            c.send(ScriptedHttpServer::response(404, "<html>Not Found</html>"));
        }
    });
    host = server.hostAndPort();

    LiveSearch live(host);
    live.search(QStringLiteral("猫"));
    const SearchController& client = live.client;
    const FakeSearchView& view = live.view;

    ASSERT_FALSE(server.requests().isEmpty());
    EXPECT_TRUE(server.requests().front().startsWith(
        "GET /files/sorvel/api_yahoo.php?&query=%E7%8C%AB&results=20&start=1&adult_ok=0&site="
        "&uniqueid=1234-5678-9012-3456&ver=3.2 HTTP/1.0\r\nHost: 127.0.0.1\r\n"));
    EXPECT_EQ(client.paging.totalResults, 900);
    EXPECT_TRUE(client.totalCapped);
    ASSERT_EQ(client.results.size(), 2);
    EXPECT_EQ(client.results[0].title, QStringLiteral("猫の動画"));
    EXPECT_EQ(client.results[1].title, QStringLiteral("Tom & Jerry"));
    EXPECT_EQ(client.results[0].pageUrl, QString::fromLatin1("http://" + host + "/watch/1"));
    EXPECT_EQ(view.shownSlots(), 2);
    EXPECT_TRUE(centreIs(view.resultSlot(0).thumbnail->picture(), colour));
    // The answer and the two thumbnails, nothing else (Qt may ask twice for a body that only
    // the end of the connection ends).
    QSet<QByteArray> asked;
    for (const QByteArray& request : server.requests())
        asked << request.left(request.indexOf(' ', 4));
    EXPECT_EQ(asked,
              (QSet<QByteArray>{"GET /files/sorvel/api_yahoo.php?&query=%E7%8C%AB&results=20&"
                                "start=1&adult_ok=0&site=&uniqueid=1234-5678-9012-3456&ver=3.2",
                                "GET /thumbs/1.jpg", "GET /thumbs/missing.jpg"}));
    EXPECT_TRUE(live.messages.information.isEmpty());
    EXPECT_TRUE(live.messages.errors.isEmpty());
}

TEST(SearchEndToEndTest, RefusedConnectionShowsTheOfflineMessage) {
    RecordedMessages messages;
    FakeSearchView view;
    HttpClient http;
    UrlEncoder url;
    SearchController client(view, http, url,
                            QStringLiteral("127.0.0.1:%1").arg(ScriptedHttpServer::closedPort()));
    client.settings.resultsPerPage = 20;
    view.keyword = QStringLiteral("猫");
    client.search();
    EXPECT_EQ(messages.information,
              QStringList{QStringLiteral("インターネットに接続されていません.")});
    EXPECT_TRUE(view.searchEnabled);
    EXPECT_FALSE(view.previousEnabled || view.nextEnabled);
    EXPECT_EQ(view.columnResets, 0);
}

TEST(SearchEndToEndTest, LongKeywordKeepsEveryKeyOnTheNextPage) {
    // The thumbnails are refused at once: only the answers reach the server.
    const QByteArray thumbnail =
        "http://127.0.0.1:" + QByteArray::number(ScriptedHttpServer::closedPort()) + "/t.jpg";
    QByteArray blocks;
    for (int i = 0; i < 20; ++i)
        blocks += resultBlock("t" + QByteArray::number(i), "60", "Youtube", "", thumbnail);
    ScriptedHttpServer server(
        ScriptedHttpServer::reply(ScriptedHttpServer::response(200, answerOf(45, blocks))));

    LiveSearch live(server.hostAndPort());
    live.client.settings.site = QStringLiteral("video.example.jp");
    // 23 characters, nine bytes each once encoded.
    const QString keyword = QStringLiteral("東京の夜景と富士山を空から撮影した美しい動画集");
    ASSERT_EQ(keyword.size(), 23);
    live.search(keyword);
    live.client.showNextPage();

    ASSERT_EQ(server.requests().size(), 2);
    const QByteArray target = server.requests()[1].split(' ').value(1);
    ASSERT_TRUE(target.startsWith("/files/sorvel/api_yahoo.php?&"));
    QList<std::pair<QByteArray, QByteArray>> keys;
    for (const QByteArray& pair : target.mid(target.indexOf('?') + 2).split('&')) {
        const qsizetype equals = pair.indexOf('=');
        keys.append({pair.left(equals), pair.mid(equals + 1)});
    }
    const QList<std::pair<QByteArray, QByteArray>> expected = {
        {"query", keyword.toUtf8().toPercentEncoding()},
        {"results", "20"},
        {"start", "21"},
        {"adult_ok", "0"},
        {"site", "video.example.jp"},
        {"uniqueid", "1234-5678-9012-3456"},
        {"ver", "3.2"},
    };
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(live.view.pageLabels, QStringLiteral("ページ 2/3"));
    EXPECT_TRUE(live.messages.information.isEmpty() && live.messages.errors.isEmpty());
}

// Thumbnails come in parallel: a host that sends its pictures too slowly gets the first six
// asked of it at once, runs out of time on them and is not asked for the rest, while the picture
// of another host comes.
TEST(SearchEndToEndTest, SlowThumbnailHostCannotHoldThePage) {
    const QColor slowColour(200, 30, 30);
    const QColor fastColour(30, 60, 200);
    // Sends its picture steadily, well within any time-out, in about three seconds.
    ScriptedHttpServer slow(
        [&](ScriptedHttpServer::Connection& c) {
            c.readRequest();
            const QByteArray response =
                ScriptedHttpServer::response(200, jpegOf(slowColour), {"Content-Type: image/jpeg"});
            c.sendSlowly(response, static_cast<int>(response.size() / 20 + 1), 150ms);
        },
        ScriptedHttpServer::concurrently());
    QByteArray host;
    ScriptedHttpServer service([&](ScriptedHttpServer::Connection& c) {
        const QByteArray request = c.readRequest();
        if (request.startsWith("GET /files/sorvel/api_yahoo.php?")) {
            QByteArray blocks;
            for (int i = 0; i < 10; ++i)
                blocks += resultBlock(QByteArray::number(i), "60", "Youtube", "",
                                      slow.url("/" + QByteArray::number(i) + ".jpg"));
            blocks += resultBlock("fast", "60", "Youtube", "", "http://" + host + "/f.jpg");
            c.send(ScriptedHttpServer::response(200, answerOf(11, blocks)));
        } else {
            c.send(ScriptedHttpServer::response(200, jpegOf(fastColour)));
        }
    });
    host = service.hostAndPort();

    LiveSearch live(host);
    live.client.thumbnailTimeout = 1000;
    live.client.thumbnailDeadline = 400;
    live.search(QStringLiteral("猫"));

    const FakeSearchView& view = live.view;
    EXPECT_EQ(view.shownSlots(), 11);
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(centreIs(view.resultSlot(i).thumbnail->picture(), slowColour)) << i;
    EXPECT_TRUE(centreIs(view.resultSlot(10).thumbnail->picture(), fastColour));
    EXPECT_LE(slow.connectionCount(), ThumbnailDownloader::MaxParallel);
    EXPECT_TRUE(view.searchEnabled);
    EXPECT_TRUE(view.status[0].isEmpty());
    EXPECT_TRUE(live.messages.information.isEmpty() && live.messages.errors.isEmpty());
}

namespace {

// A service on 127.0.0.1 whose page of twenty results has its thumbnails on the service too:
// /t<n>.jpg for result n, each answered after a pause, with its length and no caching headers.
class DelayedThumbnails {
public:
    explicit DelayedThumbnails(std::chrono::milliseconds pause)
        : server([this, pause](ScriptedHttpServer::Connection& c) { serve(c, pause); },
                 ScriptedHttpServer::concurrently()) {}

    void serve(ScriptedHttpServer::Connection& c, std::chrono::milliseconds pause) {
        const QByteArray target = ScriptedHttpServer::target(c.readRequest());
        if (target.startsWith("/files/sorvel/api_yahoo.php?")) {
            const int start = QUrlQuery(QString::fromLatin1(target.mid(target.indexOf('?') + 1)))
                                  .queryItemValue(QStringLiteral("start"))
                                  .toInt();
            QByteArray blocks;
            for (int i = start; i < start + 20; ++i)
                blocks += resultBlock("t" + QByteArray::number(i), "60", "Youtube", "",
                                      server.url("/t" + QByteArray::number(i) + ".jpg"));
            c.send(ScriptedHttpServer::response(200, answerOf(100, blocks)));
            return;
        }
        const int open = ++picturesOpen;
        for (int most = mostPicturesOpen;
             open > most && !mostPicturesOpen.compare_exchange_weak(most, open);)
            ;
        ++pictureRequests;
        c.stall(pause);
        const QByteArray jpeg = jpegOf(Colour);
        --picturesOpen;
        c.send(pictureResponse(jpeg));
    }

    static inline const QColor Colour{40, 90, 200};
    std::atomic<int> picturesOpen{0};
    std::atomic<int> mostPicturesOpen{0};
    std::atomic<int> pictureRequests{0};
    ScriptedHttpServer server;
};

} // namespace

// Twenty thumbnails of a slow server: six are asked for at once, each slot gets its picture,
// and a second visit to the page asks for none of them again.
TEST(SearchEndToEndTest, ThumbnailsComeSixAtOnceAndASecondVisitAsksForNone) {
    DelayedThumbnails service(200ms);
    LiveSearch live(service.server.hostAndPort());
    QTemporaryDir cache;
    live.client.setThumbnailCacheDirectory(cache.path());
    live.search(QStringLiteral("猫"));
    EXPECT_EQ(service.mostPicturesOpen, ThumbnailDownloader::MaxParallel);
    EXPECT_EQ(service.pictureRequests, 20);
    ASSERT_EQ(live.view.shownSlots(), 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(centreIs(live.view.resultSlot(i).thumbnail->picture(), service.Colour)) << i;

    live.client.showNextPage();
    ASSERT_TRUE(waitUntil([&] { return !live.client.isLoading(); }, 20000));
    EXPECT_EQ(service.pictureRequests, 40);
    // Back to the first page, and the same search again: every picture from the cache.
    live.client.showPreviousPage();
    ASSERT_TRUE(waitUntil([&] { return !live.client.isLoading(); }, 20000));
    live.search(QStringLiteral("猫"));
    EXPECT_EQ(service.pictureRequests, 40);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(centreIs(live.view.resultSlot(i).thumbnail->picture(), service.Colour)) << i;
    EXPECT_TRUE(live.messages.information.isEmpty() && live.messages.errors.isEmpty());
}

// Stop while the service holds its answer: the wait ends at once (while the server still
// holds it), the controls and the page shown before stay, and the status says the load was
// stopped. How long the stop takes is measured by bench/TrickleBench.cpp.
TEST(SearchEndToEndTest, StopDuringAStalledAnswerGivesTheControlsBackAtOnce) {
    std::atomic<int> served{0};
    std::atomic<bool> stallEnded{false};
    ScriptedHttpServer server([&](ScriptedHttpServer::Connection& c) {
        c.readRequest();
        if (served++ == 0) {
            c.send(ScriptedHttpServer::response(
                200, answerOf(45, resultBlock("first", "60", "Youtube", "", ""))));
        } else {
            c.stall(20s);
            stallEnded = true;
        }
    });
    LiveSearch live(server.hostAndPort());
    live.search(QStringLiteral("猫"));
    ASSERT_EQ(live.view.shownSlots(), 1);

    bool stopped = false;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (server.requests().size() < 2 || stopped)
            return;
        EXPECT_TRUE(live.view.stopEnabled);
        EXPECT_FALSE(live.view.searchEnabled);
        stopped = true;
        live.client.stop();
    });
    stopper.start(5);
    live.client.showNextPage();
    ASSERT_TRUE(stopped);
    // The transfer was dropped on the spot, not when the server let go.
    EXPECT_FALSE(stallEnded);
    EXPECT_TRUE(live.view.searchEnabled);
    EXPECT_FALSE(live.view.stopEnabled);
    EXPECT_FALSE(live.client.isLoading());
    EXPECT_EQ(live.view.status[0], QStringLiteral("中止しました"));
    EXPECT_EQ(live.view.shownSlots(), 1);
    EXPECT_EQ(live.view.columnResets, 1);
    EXPECT_TRUE(live.messages.information.isEmpty() && live.messages.errors.isEmpty());
}

// Each kind of failure of the answer has its message, naming the host.
TEST(SearchEndToEndTest, EachFailureShowsItsMessage) {
    const TestAuthority authority;
    ScriptedHttpServer silent([](ScriptedHttpServer::Connection& c) {
        c.readRequest();
        c.stall(20s);
    });
    ScriptedHttpServer unavailable(
        ScriptedHttpServer::reply(ScriptedHttpServer::response(503, "<html>busy</html>")));
    ScriptedHttpServer unreadable(
        ScriptedHttpServer::reply(ScriptedHttpServer::response(200, "<html>oops</html>")));
    ScriptedHttpServer selfSigned(ScriptedHttpServer::reply(""),
                                  tlsServerOptions(TestAuthority::selfSigned({"localhost"})));
    ScriptedHttpServer otherName(ScriptedHttpServer::reply(""),
                                 tlsServerOptions(authority.issue({"other.test"})));
    // Answers in plain HTTP whatever comes.
    ScriptedHttpServer plain(
        [](ScriptedHttpServer::Connection& c) { c.send("HTTP/1.0 400 Bad Request\r\n\r\n"); });
    ScriptedHttpServer proxy([](ScriptedHttpServer::Connection& c) {
        c.readRequest();
        c.send("HTTP/1.1 403 Forbidden\r\n\r\n");
    });
    const auto https = [](const ScriptedHttpServer& server) {
        return "https://localhost:" + QByteArray::number(server.port());
    };
    const auto local = [](const ScriptedHttpServer& server) {
        return "localhost:" + QString::number(server.port());
    };
    const struct {
        const char* name;
        QByteArray host;
        QString information; // or else
        QString error;
    } cases[] = {
        {"refused",
         "127.0.0.1:" + QByteArray::number(ScriptedHttpServer::closedPort()),
         QStringLiteral("インターネットに接続されていません."),
         {}},
        {"no such name",
         "no..such..host",
         QStringLiteral("インターネットに接続されていません."),
         {}},
        {"no answer in time",
         silent.hostAndPort(),
         QString::fromLatin1(silent.hostAndPort()) +
             QStringLiteral(" から時間内に応答がありません."),
         {}},
        {"an error status",
         unavailable.hostAndPort(),
         QString::fromLatin1(unavailable.hostAndPort()) +
             QStringLiteral(" がエラー 503 を返しました."),
         {}},
        {"self-signed",
         https(selfSigned),
         local(selfSigned) + QStringLiteral(" の証明書を確認できません (self-signed certificate)."),
         {}},
        {"for another name",
         https(otherName),
         local(otherName) + QStringLiteral(" の証明書を確認できません (hostname mismatch)."),
         {}},
        {"no TLS", https(plain), local(plain) + QStringLiteral(" と安全な接続ができません ("), {}},
        {"proxy refuses",
         "https://svc.test",
         QStringLiteral("プロキシ %1 を経由して接続できません (Proxy refused the tunnel to "
                        "svc.test:443: HTTP/1.1 403 Forbidden).")
             .arg(QString::fromLatin1(proxy.hostAndPort())),
         {}},
        {"unreadable",
         unreadable.hostAndPort(),
         {},
         QString::fromLatin1(unreadable.hostAndPort()) +
             QStringLiteral(" の応答を読み取れません.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LiveSearch live(c.host);
        live.client.answerTimeout = 300;
        live.client.setTrustedCertificates(authority.certificatePem());
        const QByteArray proxyUrl = proxy.url("");
        live.client.setProxies(ProxyRules::fromVariables([&](const char* name) {
            return qstrcmp(name, "https_proxy") == 0 && c.host == "https://svc.test" ? proxyUrl
                                                                                     : QByteArray();
        }));
        live.search(QStringLiteral("猫"));
        if (c.information.endsWith(u'(')) {
            ASSERT_EQ(live.messages.information.size(), 1);
            EXPECT_TRUE(live.messages.information[0].startsWith(c.information))
                << live.messages.information[0].toStdString();
        } else {
            EXPECT_EQ(live.messages.information,
                      c.information.isEmpty() ? QStringList() : QStringList{c.information});
        }
        EXPECT_EQ(live.messages.errors, c.error.isEmpty() ? QStringList() : QStringList{c.error});
        EXPECT_TRUE(live.view.searchEnabled);
        EXPECT_FALSE(live.view.stopEnabled);
        EXPECT_TRUE(live.view.status[0].isEmpty());
    }
}

// A service behind TLS, its thumbnails too, with a certificate of the test's own authority: the
// answer and the pictures come, each server got its name; a picture from a server whose
// certificate is refused shows the stand-in.
TEST(SearchEndToEndTest, AnswerAndThumbnailsOverHttps) {
    const TestAuthority authority;
    const QColor colour(200, 120, 20);
    const QColor standIn(10, 200, 10);
    ScriptedHttpServer untrusted(ScriptedHttpServer::reply(pictureResponse(jpegOf(colour))),
                                 tlsServerOptions(TestAuthority::selfSigned({"localhost"}), true));
    QByteArray origin;
    ScriptedHttpServer service(
        [&](ScriptedHttpServer::Connection& c) {
            const QByteArray request = c.readRequest();
            if (request.startsWith("GET /files/sorvel/api_yahoo.php?"))
                c.send(ScriptedHttpServer::response(
                    200, answerOf(2, resultBlock("a", "60", "Youtube", "", origin + "/a.jpg") +
                                         resultBlock("b", "60", "Youtube", "",
                                                     "https://localhost:" +
                                                         QByteArray::number(untrusted.port()) +
                                                         "/b.jpg"))));
            else
                c.send(pictureResponse(jpegOf(colour)));
        },
        tlsServerOptions(authority.issue({"localhost"}), true));
    origin = "https://localhost:" + QByteArray::number(service.port());

    LiveSearch live(origin);
    QTemporaryDir folder;
    live.client.noImageFile = folder.filePath(QStringLiteral("no_image.jpg"));
    QFile file(live.client.noImageFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(jpegOf(standIn));
    file.close();
    live.client.setTrustedCertificates(authority.certificatePem());
    live.search(QStringLiteral("猫"));

    EXPECT_TRUE(live.messages.information.isEmpty() && live.messages.errors.isEmpty());
    ASSERT_EQ(live.view.shownSlots(), 2);
    EXPECT_TRUE(centreIs(live.view.resultSlot(0).thumbnail->picture(), colour));
    EXPECT_TRUE(centreIs(live.view.resultSlot(1).thumbnail->picture(), standIn));
    EXPECT_EQ(service.requests().size(), 2);
    EXPECT_EQ(service.serverNames(), (QList<QByteArray>{"localhost", "localhost"}));
    EXPECT_TRUE(untrusted.requests().isEmpty());
}

// A proxy of the environment on loopback sees the search and the thumbnails, plain and through
// its tunnel; no other host is asked.
TEST(SearchEndToEndTest, AProxyOnLoopbackSeesTheSearchAndTheThumbnails) {
    const TestAuthority authority;
    const QColor colour(120, 20, 160);
    const auto answer = [&] {
        return ScriptedHttpServer::response(
            200, answerOf(2, resultBlock("a", "60", "Youtube", "", "http://pics.test/a.jpg") +
                                 resultBlock("b", "60", "Youtube", "", "https://svc.test/b.jpg")));
    };
    const auto serve = [&](ScriptedHttpServer::Connection& c, const QByteArray& request) {
        c.send(request.contains("api_yahoo.php") ? answer() : pictureResponse(jpegOf(colour)));
    };
    ScriptedHttpServer secure([&](ScriptedHttpServer::Connection& c) { serve(c, c.readRequest()); },
                              tlsServerOptions(authority.issue({"svc.test"}), true));
    ScriptedHttpServer proxy(
        [&](ScriptedHttpServer::Connection& c) {
            const QByteArray request = c.readRequest();
            if (request.startsWith("CONNECT svc.test:443 ")) {
                c.send("HTTP/1.1 200 Connection established\r\n\r\n");
                c.relayTo(secure.port());
            } else {
                serve(c, request);
            }
        },
        ScriptedHttpServer::concurrently());

    for (const QByteArray& host : {QByteArray("svc.test"), QByteArray("https://svc.test")}) {
        SCOPED_TRACE(host.data());
        const int before = static_cast<int>(proxy.requests().size());
        LiveSearch live(host);
        live.client.setTrustedCertificates(authority.certificatePem());
        const QByteArray proxyUrl = proxy.url("");
        live.client.setProxies(ProxyRules::fromVariables([&](const char* name) {
            return qstrcmp(name, "http_proxy") == 0 || qstrcmp(name, "https_proxy") == 0
                       ? proxyUrl
                       : QByteArray();
        }));
        QTemporaryDir cache;
        live.client.setThumbnailCacheDirectory(cache.path());
        live.search(QStringLiteral("猫"));
        EXPECT_TRUE(live.messages.information.isEmpty() && live.messages.errors.isEmpty());
        ASSERT_EQ(live.view.shownSlots(), 2);
        EXPECT_TRUE(centreIs(live.view.resultSlot(0).thumbnail->picture(), colour));
        EXPECT_TRUE(centreIs(live.view.resultSlot(1).thumbnail->picture(), colour));
        QList<QByteArray> lines;
        for (const QByteArray& request : proxy.requests().mid(before))
            lines << request.left(request.indexOf(' ', request.indexOf(' ') + 1));
        std::sort(lines.begin(), lines.end());
        const QByteArray search = host.startsWith("https")
                                      ? "CONNECT svc.test:443"
                                      : "GET "
                                        "http://svc.test/files/sorvel/"
                                        "api_yahoo.php?&query=%E7%8C%AB&results=20&start=1&adult_"
                                        "ok=0&site=&uniqueid=1234-5678-9012-3456&ver=3.2";
        QList<QByteArray> expected{search, "CONNECT svc.test:443", "GET http://pics.test/a.jpg"};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(lines, expected);
    }
}
