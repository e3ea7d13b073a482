#include "FakeSearchView.h"
#include "ScriptedHttpServer.h"
#include "SearchTestUtil.h"
#include "TestUtil.h"

#include "controls/ClickableImage.h"
#include "net/HttpClient.h"
#include "net/UrlEncoder.h"
#include "search/SearchController.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// A search controller on a real HTTP client, against a scripted service on host.
struct liveSearch {
    explicit liveSearch(const QByteArray& host)
        : client(view, http, url, QString::fromLatin1(host)) {
        client.settings.resultsPerPage = 20;
        client.settings.uniqueId = QStringLiteral("1234-5678-9012-3456");
    }

    void search(const QString& keyword) {
        view.keyword = keyword;
        client.search();
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

    liveSearch live(host);
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
    EXPECT_EQ(server.connectionCount(), 3);
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

    liveSearch live(server.hostAndPort());
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

TEST(SearchEndToEndTest, SlowThumbnailHostCannotHoldThePage) {
    const QColor slowColour(200, 30, 30);
    const QColor fastColour(30, 60, 200);
    // Sends its picture steadily, well within any time-out, in about three seconds.
    ScriptedHttpServer slow([&](ScriptedHttpServer::Connection& c) {
        c.readRequest();
        const QByteArray response =
            ScriptedHttpServer::response(200, jpegOf(slowColour), {"Content-Type: image/jpeg"});
        c.sendSlowly(response, static_cast<int>(response.size() / 20 + 1), 150ms);
    });
    QByteArray host;
    ScriptedHttpServer service([&](ScriptedHttpServer::Connection& c) {
        const QByteArray request = c.readRequest();
        if (request.startsWith("GET /files/sorvel/api_yahoo.php?"))
            c.send(ScriptedHttpServer::response(
                200, answerOf(3, resultBlock("1", "60", "Youtube", "", slow.url("/1.jpg")) +
                                     resultBlock("2", "60", "Youtube", "", slow.url("/2.jpg")) +
                                     resultBlock("3", "60", "Youtube", "",
                                                 "http://" + host + "/3.jpg"))));
        else
            c.send(ScriptedHttpServer::response(200, jpegOf(fastColour)));
    });
    host = service.hostAndPort();

    liveSearch live(host);
    live.client.thumbnailTimeout = 1000;
    live.client.thumbnailDeadline = 400;
    QList<QByteArray> askedSlow;
    live.http.onAboutToSend = [&](TcpClient*) {
        if (live.http.url().contains(slow.hostAndPort()))
            askedSlow << live.http.url();
    };
    live.search(QStringLiteral("猫"));

    const FakeSearchView& view = live.view;
    EXPECT_EQ(view.shownSlots(), 3);
    EXPECT_FALSE(centreIs(view.resultSlot(0).thumbnail->picture(), slowColour));
    EXPECT_FALSE(centreIs(view.resultSlot(1).thumbnail->picture(), slowColour));
    EXPECT_TRUE(centreIs(view.resultSlot(2).thumbnail->picture(), fastColour));
    // The host that ran out of time is not asked again during the load.
    EXPECT_EQ(askedSlow, QList<QByteArray>{slow.url("/1.jpg")});
    EXPECT_TRUE(view.searchEnabled);
    EXPECT_TRUE(live.messages.information.isEmpty() && live.messages.errors.isEmpty());
}
