#include "FakeSearchView.h"
#include "TestUtil.h"

#include "net/HttpClient.h"
#include "net/UrlEncoder.h"
#include "platform/AppDir.h"
#include "platform/Exception.h"
#include "search/SearchController.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

const QString path = QStringLiteral("http://svc.test/files/sorvel/api_yahoo.php?");

// Records each URL handed to the answer fetch and fails it, so that no request goes out.
class RecordingClient final : public SearchController {
public:
    RecordingClient(ISearchView& view, HttpClient& http, UrlEncoder& url)
        : SearchController(view, http, url, QStringLiteral("svc.test")) {}
    QStringList urls;
    std::function<void()> duringFetch;

protected:
    QByteArray fetchAnswer(const QString& url) override {
        urls << url;
        if (duringFetch)
            duringFetch();
        throw Exception(QStringLiteral("no network in this test"));
    }
};

class SearchRequestTest : public ::testing::Test {
protected:
    SearchRequestTest() {
        client.settings.resultsPerPage = 20;
        client.settings.uniqueId = QStringLiteral("1234-5678-9012-3456");
    }

    QString search(const QString& keyword) {
        view.keyword = keyword;
        client.search();
        return client.urls.isEmpty() ? QString() : client.urls.back();
    }

    QString Page(int page, int pageCount, int total) {
        client.paging.currentPage = page;
        client.paging.pageCount = pageCount;
        client.paging.totalResults = total;
        client.loadResultPage(page);
        return client.urls.back();
    }

    RecordedMessages messages;
    FakeSearchView view;
    HttpClient http;
    UrlEncoder url;
    RecordingClient client{view, http, url};
};

} // namespace

TEST_F(SearchRequestTest, ExampleRequestOfPageThreeOfTwelve) {
    client.settings.resultsPerPage = 10;
    search(QStringLiteral("cat video"));
    EXPECT_EQ(Page(3, 12, 118), path + "&query=cat%E3%80%80video&results=10&start=21&adult_ok=0"
                                       "&site=&uniqueid=1234-5678-9012-3456&ver=3.2");
}

TEST_F(SearchRequestTest, KeywordsAreNormalisedThenEncodedAsUtf8) {
    const struct {
        QString keyword;
        QString query;
    } cases[] = {
        {QStringLiteral("a b"), QStringLiteral("a%E3%80%80b")},
        {QStringLiteral("C:\\x"), QStringLiteral("C%EF%BC%9A%EF%BF%A5x")},
        {QStringLiteral("ソ\\"), QStringLiteral("%E3%82%BD%EF%BF%A5")},
        {QStringLiteral("表|示"), QStringLiteral("%E8%A1%A8%EF%BD%9C%E7%A4%BA")},
        {QStringLiteral("  "), QStringLiteral("%E3%80%80%E3%80%80")},
        {QStringLiteral("a/b*c?\"<>"),
         QStringLiteral("a%EF%BC%8Fb%EF%BC%8Ac%EF%BC%9F%E2%80%9D%EF%BC%9C%EF%BC%9E")},
        {QStringLiteral("x-y_z.~"), QStringLiteral("x%2Dy%5Fz%2E%7E")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(search(c.keyword), path + "&query=" + c.query +
                                         "&results=20&start=1&adult_ok=0&site="
                                         "&uniqueid=1234-5678-9012-3456&ver=3.2")
            << c.keyword.toStdString();
        EXPECT_EQ(view.keyword, c.keyword); // the box keeps the text as typed
    }
}

TEST_F(SearchRequestTest, NormalisationWorksOnCharactersNotBytes) {
    // "ソ" is 83 5C and "表" 95 5C in Shift-JIS: their second bytes are no backslash.
    EXPECT_EQ(normalizeKeyword(QStringLiteral("ソ表\\")), QStringLiteral("ソ表\uFFE5"));
    EXPECT_EQ(normalizeKeyword(QStringLiteral("\\/:*?\"<>| ")),
              QStringLiteral("\uFFE5\uFF0F\uFF1A\uFF0A\uFF1F\u201D\uFF1C\uFF1E\uFF5C\u3000"));
}

TEST_F(SearchRequestTest, CountAndStartFollowThePagingState) {
    search(QStringLiteral("猫"));
    EXPECT_TRUE(Page(5, 5, 95).endsWith("&results=15&start=81&adult_ok=0&site=&uniqueid="
                                        "1234-5678-9012-3456&ver=3.2"));
    EXPECT_TRUE(Page(45, 45, 900).contains("&results=20&start=881&"));
    EXPECT_TRUE(Page(4, 5, 95).contains("&results=20&start=61&"));
    EXPECT_TRUE(Page(1, 1, 20).contains("&results=20&start=1&"));

    // A new search after page 7 starts over with a full first page.
    Page(7, 10, 200);
    EXPECT_TRUE(search(QStringLiteral("犬")).contains("&results=20&start=1&"));
    EXPECT_EQ(client.paging.currentPage, 1);
    EXPECT_EQ(client.paging.pageCount, 0);
}

TEST_F(SearchRequestTest, SettingsAreAppendedUnencoded) {
    client.settings.adultOk = QStringLiteral("-1");
    client.settings.site = QStringLiteral("video.example.jp\t");
    client.settings.uniqueId = QString();
    EXPECT_EQ(search(QStringLiteral("x")), path + "&query=x&results=20&start=1&adult_ok=-1"
                                                  "&site=video.example.jp\t&uniqueid=&ver=3.2");
}

TEST_F(SearchRequestTest, PagingAsksForTheKeywordOfTheLastSearch) {
    search(QStringLiteral("cat"));
    view.keyword = QStringLiteral("dog");
    EXPECT_TRUE(Page(2, 3, 50).contains("&query=cat&"));
    EXPECT_EQ(client.searchKeyword(), QByteArray("cat"));
}

TEST_F(SearchRequestTest, EmptyKeywordSendsNothing) {
    search(QString());
    EXPECT_TRUE(client.urls.isEmpty());
    EXPECT_TRUE(messages.information.isEmpty());
}

TEST_F(SearchRequestTest, EnterStartsASearchOnlyWhileSearchIsEnabled) {
    view.keyword = QStringLiteral("cat");
    QChar key(u'a');
    client.filterKeywordKey(key);
    EXPECT_EQ(key, QChar(u'a'));
    EXPECT_TRUE(client.urls.isEmpty());

    key = QChar(13);
    view.searchEnabled = false; // a load runs
    client.filterKeywordKey(key);
    EXPECT_EQ(key, QChar(13));
    EXPECT_TRUE(client.urls.isEmpty());

    view.searchEnabled = true;
    client.filterKeywordKey(key);
    EXPECT_EQ(key, QChar(0));
    EXPECT_EQ(client.urls.size(), 1);
}

TEST_F(SearchRequestTest, ControlsAreOffDuringTheFetchAndFailureShowsTheOfflineMessage) {
    view.previousEnabled = view.nextEnabled = true;
    bool offDuringFetch = false;
    client.duringFetch = [&] {
        offDuringFetch = !view.searchEnabled && !view.previousEnabled && !view.nextEnabled;
    };
    search(QStringLiteral("cat"));
    EXPECT_TRUE(offDuringFetch);
    EXPECT_EQ(messages.information,
              QStringList{QStringLiteral("インターネットに接続されていません.")});
    EXPECT_TRUE(view.searchEnabled);
    EXPECT_FALSE(view.previousEnabled);
    EXPECT_FALSE(view.nextEnabled);
    EXPECT_EQ(view.columnResets, 0);
}

TEST(RequestBytesTest, OnlyWhatMayNotStandInARequestLineIsEncoded) {
    EXPECT_EQ(requestBytes(QStringLiteral("http://h/p?&q=a%E3b&site=x.jp\t&z=a b")),
              QByteArray("http://h/p?&q=a%E3b&site=x.jp%09&z=a%20b"));
    EXPECT_EQ(requestBytes(QStringLiteral("http://h/猫~\x7F")),
              QByteArray("http://h/%E7%8C%AB~%7F"));
}

// Thumbnails are cached in the program's cache folder (in the tests, one of the run's own).
TEST_F(SearchRequestTest, ThumbnailsAreCachedInTheProgramsCacheFolder) {
    const QString folder = QDir::cleanPath(client.thumbnailCacheDirectory());
    EXPECT_EQ(folder, QDir(cacheDir()).filePath(QStringLiteral("thumbnails")));
    EXPECT_TRUE(folder.startsWith(qEnvironmentVariable("XDG_CACHE_HOME") + u'/'));
}
