#include "FakeSearchView.h"
#include "TestUtil.h"

#include "CannedSearchController.h"

#include <gtest/gtest.h>

namespace {

QByteArray searchAnswer(const QByteArray& total, int blocks) {
    QByteArray answer =
        R"(<?xml version="1.0" encoding="UTF-8"?><ResultSet totalResultsAvailable=")" + total +
        R"(" totalResultsReturned="20">)";
    for (int i = 0; i < blocks; ++i)
        answer += "<Result><Title>T" + QByteArray::number(i) + "</Title></Result>";
    return answer + "</ResultSet>";
}

class AnswerLoadTest : public ::testing::Test {
protected:
    AnswerLoadTest() {
        client.settings.resultsPerPage = 20;
        view.keyword = QStringLiteral("猫");
    }

    void search(const QByteArray& body) {
        client.answer = [body](const QString&) { return body; };
        client.search();
    }

    RecordedMessages messages;
    FakeSearchView view;
    HttpClient http;
    UrlEncoder url;
    CannedSearchController client{view, http, url};
};

} // namespace

TEST_F(AnswerLoadTest, TotalsAndCaption) {
    const struct {
        QByteArray total;
        int expectedTotal;
        const char* captionEnd;
        const char* labels;
    } cases[] = {
        {"1234", 900, "」の動画検索結果 900件以上", "ページ 1/45"},
        {"901", 900, "」の動画検索結果 900件以上", "ページ 1/45"},
        {"900", 900, "」の動画検索結果 900件", "ページ 1/45"},
        {"95", 95, "」の動画検索結果 95件", "ページ 1/5"},
        {"0", 0, "」の動画検索結果 0件", "ページ 0/0"},
        {"-3", -3, "」の動画検索結果 -3件", "ページ 0/0"},
    };
    for (const auto& c : cases) {
        search(searchAnswer(c.total, 0));
        EXPECT_EQ(client.paging.totalResults, c.expectedTotal);
        EXPECT_EQ(view.caption, QStringLiteral("ORVENA - Sorvel Browser -「猫") +
                                    QString::fromUtf8(c.captionEnd));
        EXPECT_EQ(view.pageLabels, QString::fromUtf8(c.labels));
        EXPECT_TRUE(view.searchEnabled);
    }
    EXPECT_TRUE(messages.errors.isEmpty());
}

TEST_F(AnswerLoadTest, AnswerWithoutResultsKeepsTableAndPageCount) {
    search(searchAnswer("45", 2));
    ASSERT_EQ(client.results.size(), 2);
    EXPECT_EQ(client.paging.pageCount, 3);
    EXPECT_EQ(view.history, QStringList{QStringLiteral("猫")});

    view.keyword = QStringLiteral("犬");
    search(searchAnswer("0", 0));
    EXPECT_EQ(client.results.size(), 2);
    EXPECT_EQ(client.paging.pageCount, 0); // search() reset it; no answer set it
    EXPECT_EQ(view.pageLabels, QStringLiteral("ページ 0/0"));
    EXPECT_FALSE(view.previousEnabled || view.nextEnabled);
    EXPECT_EQ(view.history, QStringList{QStringLiteral("猫")});
}

TEST_F(AnswerLoadTest, TotalWithoutBlocksGivesAnEmptyTable) {
    search(searchAnswer("45", 2));
    search(searchAnswer("5", 0));
    EXPECT_TRUE(client.results.isEmpty());
    EXPECT_EQ(view.pageLabels, QStringLiteral("ページ 1/1"));
}

TEST_F(AnswerLoadTest, AnUnreadableAnswerNamesTheHostThenGivesTheControlsBack) {
    search(searchAnswer("45", 2));
    const QString caption = view.caption;
    view.previousEnabled = view.nextEnabled = true;

    const struct {
        QByteArray body;
        const char* message;
    } cases[] = {
        {R"(<ResultSet totalResultsReturned="1" totalResultsAvailable="5">)",
         "svc.test の応答を読み取れません."},
        {searchAnswer("12a", 1), "svc.test の応答を読み取れません."},
        {"<html><body>404 Not Found</body></html>", "svc.test の応答を読み取れません."},
        {"", "svc.test の応答を読み取れません."},
    };
    for (const auto& c : cases) {
        messages.errors.clear();
        bool controlsOffWhileShown = false;
        messages.onShow = [&] { controlsOffWhileShown = !view.searchEnabled; };
        const int resets = view.columnResets;
        search(c.body);
        EXPECT_EQ(messages.errors, QStringList{QString::fromUtf8(c.message)});
        EXPECT_TRUE(controlsOffWhileShown);
        EXPECT_TRUE(view.searchEnabled);
        EXPECT_FALSE(view.previousEnabled || view.nextEnabled);
        EXPECT_EQ(view.columnResets, resets + 1);
        EXPECT_EQ(view.caption, caption);
        EXPECT_EQ(client.paging.totalResults, 45);
        EXPECT_EQ(client.results.size(), 2);
    }
}
