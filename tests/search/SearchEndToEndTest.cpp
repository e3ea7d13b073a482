#include "FakeSearchView.h"
#include "ScriptedHttpServer.h"
#include "SearchTestUtil.h"
#include "TestUtil.h"

#include "controls/Image.h"
#include "net/NMHttp.h"
#include "net/NMURL.h"
#include "search/SearchClient.h"

#include <gtest/gtest.h>

TEST(SearchEndToEnd, KeywordToTableThroughTheHttpClient) {
    const QColor colour(30, 60, 200);
    QByteArray host;
    ScriptedHttpServer server([&](ScriptedHttpServer::Connection& c) {
        const QByteArray request = c.ReadRequest();
        if (request.startsWith("GET /files/sorvel/api_yahoo.php?")) {
            c.Send(ScriptedHttpServer::Response(
                200, AnswerOf(1234, ResultBlock("猫の動画", "125", "Youtube",
                                                "http://" + host + "/watch/1",
                                                "http://" + host + "/thumbs/1.jpg") +
                                        ResultBlock("Tom &amp;amp; Jerry", "abc", "other",
                                                    "http://" + host + "/watch/2",
                                                    "http://" + host + "/thumbs/missing.jpg"))));
        } else if (request.startsWith("GET /thumbs/1.jpg ")) {
            c.Send(ScriptedHttpServer::Response(200, JpegOf(colour), {"Content-Type: image/jpeg"}));
        } else {
            c.Send(ScriptedHttpServer::Response(404, "<html>Not Found</html>"));
        }
    });
    host = server.HostAndPort();

    RecordedMessages messages;
    FakeSearchView view;
    TNMHTTP http;
    TNMURL url;
    TSearchClient client(view, http, url, QString::fromLatin1(host));
    client.SearchSettings.ResultsPerPage = 20;
    client.SearchSettings.UniqueId = QStringLiteral("1234-5678-9012-3456");
    view.keyword = QStringLiteral("猫");
    client.SpeedButton0_1Click();

    ASSERT_FALSE(server.Requests().isEmpty());
    EXPECT_TRUE(server.Requests().front().startsWith(
        "GET /files/sorvel/api_yahoo.php?&query=%E7%8C%AB&results=20&start=1&adult_ok=0&site="
        "&uniqueid=1234-5678-9012-3456&ver=3.2 HTTP/1.0\r\nHost: 127.0.0.1\r\n"));
    EXPECT_EQ(client.PagingState.TotalResults, 900);
    EXPECT_TRUE(client.TotalCapped);
    ASSERT_EQ(client.ResultTable.size(), 2);
    EXPECT_EQ(client.ResultTable[0].Title, QStringLiteral("猫の動画"));
    EXPECT_EQ(client.ResultTable[1].Title, QStringLiteral("Tom & Jerry"));
    EXPECT_EQ(client.ResultTable[0].RefererUrl, QString::fromLatin1("http://" + host + "/watch/1"));
    EXPECT_EQ(view.ShownSlots(), 2);
    EXPECT_TRUE(CentreIs(view.Slot(0).Image->Picture(), colour));
    EXPECT_EQ(server.ConnectionCount(), 3);
    EXPECT_TRUE(messages.information.isEmpty());
    EXPECT_TRUE(messages.errors.isEmpty());
}

TEST(SearchEndToEnd, RefusedConnectionShowsTheOfflineMessage) {
    RecordedMessages messages;
    FakeSearchView view;
    TNMHTTP http;
    TNMURL url;
    TSearchClient client(view, http, url,
                         QStringLiteral("127.0.0.1:%1").arg(ScriptedHttpServer::ClosedPort()));
    client.SearchSettings.ResultsPerPage = 20;
    view.keyword = QStringLiteral("猫");
    client.SpeedButton0_1Click();
    EXPECT_EQ(messages.information,
              QStringList{QStringLiteral("インターネットに接続されていません.")});
    EXPECT_TRUE(view.searchEnabled);
    EXPECT_FALSE(view.previousEnabled || view.nextEnabled);
    EXPECT_EQ(view.columnResets, 0);
}
