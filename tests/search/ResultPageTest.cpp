#include "CannedSearchController.h"
#include "FakeSearchView.h"
#include "SearchTestUtil.h"
#include "TestUtil.h"

#include "controls/ClickableImage.h"
#include "controls/ImageCheckBox.h"
#include "platform/Jpeg.h"
#include "search/ServiceHost.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace {

const QColor NoImageColour(10, 200, 10);
const QColor ThumbnailColour(200, 20, 20);

// A service that reports `total` and answers every page with the rows it holds: full pages,
// and the remainder on the last.
QByteArray serviceAnswer(const QString& url, int total, int rowsOverride = -1) {
    const QUrlQuery query(QUrl(url).query());
    const int count = query.queryItemValue(QStringLiteral("results")).toInt();
    const int start = query.queryItemValue(QStringLiteral("start")).toInt();
    const int rows =
        rowsOverride >= 0 ? rowsOverride : std::max(0, std::min(count, total - start + 1));
    QByteArray blocks;
    for (int i = 0; i < rows; ++i) {
        const QByteArray n = QByteArray::number(start + i);
        blocks += resultBlock("T" + n, "125", "Youtube", "http://r/" + n, "http://t/" + n + ".jpg");
    }
    return answerOf(total, blocks);
}

class ResultPageTest : public ::testing::Test {
protected:
    ResultPageTest() {
        client.settings.resultsPerPage = 20;
        client.noImageFile = dir.filePath(QStringLiteral("no_image.jpg"));
        QFile file(client.noImageFile);
        file.open(QIODevice::WriteOnly);
        file.write(jpegOf(NoImageColour));
        view.keyword = QStringLiteral("猫");
    }

    // Searches with a service that reports `total` results.
    void searchWithTotal(int total, int rowsOverride = -1) {
        client.answer = [total, rowsOverride](const QString& url) {
            return serviceAnswer(url, total, rowsOverride);
        };
        client.search();
    }

    void Page(int page) {
        client.paging.currentPage = page;
        client.loadResultPage(page);
    }

    ResultSlot resultSlot(int index) const { return view.resultSlot(index); }

    // Three result blocks whose pictures wait until the test releases them.
    QByteArray threeResultsWithHeldPictures() {
        client.holdThumbnails = true;
        QByteArray blocks;
        for (int i = 0; i < 3; ++i) {
            const QByteArray thumbnail = "http://t/" + QByteArray::number(i) + ".jpg";
            blocks += resultBlock("t", "1", "Youtube", "http://r/", thumbnail);
            client.thumbnails[QString::fromLatin1(thumbnail)] = jpegOf(ThumbnailColour);
        }
        return blocks;
    }

    QTemporaryDir dir;
    RecordedMessages messages;
    FakeSearchView view;
    HttpClient http;
    UrlEncoder url;
    CannedSearchController client{view, http, url};
};

} // namespace

TEST(SlotLabelTest, DurationAndSource) {
    const struct {
        const char* duration;
        const char* label;
    } cases[] = {
        {"125", "[Youtube]\n\n2分5秒\n\n"},
        {"59", "[Youtube]\n\n0分59秒\n\n"},
        {"3600", "[Youtube]\n\n60分0秒\n\n"},
        {"0", "[Youtube]\n\n?分?秒\n\n"},
        {"-5", "[Youtube]\n\n?分?秒\n\n"},
        {"", "情報なし"},
        {"abc", "情報なし"},
        {"12 ", "情報なし"},
    };
    for (const auto& c : cases) {
        const SearchResult row{"t", QString::fromUtf8(c.duration), "Youtube", "", ""};
        EXPECT_EQ(slotLabelText(row), QString::fromUtf8(c.label)) << c.duration;
    }
}

TEST(SlotLabelTest, ASlotIsSpokenAsTitleSiteAndDuration) {
    const struct {
        const char* title;
        const char* duration;
        const char* source;
        const char* spoken;
    } cases[] = {
        {"猫", "125", "Youtube", "猫、Youtube、2分5秒"},
        {"猫", "0", "ニコニコ動画", "猫、ニコニコ動画、?分?秒"},
        {"猫", "abc", "Youtube", "猫、Youtube、情報なし"},
        {"猫", "59", "", "猫、0分59秒"},
    };
    for (const auto& c : cases) {
        const SearchResult row{QString::fromUtf8(c.title), QString::fromUtf8(c.duration),
                               QString::fromUtf8(c.source), "", ""};
        EXPECT_EQ(slotSpokenText(row), QString::fromUtf8(c.spoken)) << c.duration;
    }
}

TEST(SlotLabelTest, OnlyFourSitesMarkAResultAsViewed) {
    for (const char* site : {"Youtube", "metacafe", "Yahoo! Video", "ニコニコ動画"})
        EXPECT_TRUE(isMarkableSite(QString::fromUtf8(site))) << site;
    for (const char* site : {"YouTube", "Youtube ", "youtube", "Metacafe", "ニコニコ", ""})
        EXPECT_FALSE(isMarkableSite(QString::fromUtf8(site))) << site;
}

TEST_F(ResultPageTest, FirstPageOfACappedTotal) {
    searchWithTotal(1234);
    EXPECT_EQ(view.caption,
              QStringLiteral("ORVENA - Sorvel Browser -「猫」の動画検索結果 900件以上"));
    EXPECT_EQ(view.pageLabels, QStringLiteral("ページ 1/45"));
    EXPECT_EQ(view.shownSlots(), 20);
    EXPECT_FALSE(view.previousEnabled);
    EXPECT_TRUE(view.nextEnabled);
    EXPECT_TRUE(view.searchEnabled);
    EXPECT_EQ(view.scrollRange, 20 * 120);
    EXPECT_TRUE(view.status[0].isEmpty());
    EXPECT_EQ(view.history, QStringList{QStringLiteral("猫")});
}

TEST_F(ResultPageTest, LastPageShowsTheRemainder) {
    searchWithTotal(95);
    QStringList progress;
    client.duringThumbnail = [&] { progress << view.status[0]; };
    Page(5);
    EXPECT_TRUE(client.requests.back().contains(QStringLiteral("&results=15&start=81&")));
    EXPECT_EQ(view.pageLabels, QStringLiteral("ページ 5/5"));
    EXPECT_EQ(view.shownSlots(), 15);
    EXPECT_EQ(view.scrollRange, 20 * 120);
    EXPECT_TRUE(view.previousEnabled);
    EXPECT_FALSE(view.nextEnabled);
    // The count is of the pictures in place; each came at once here.
    ASSERT_EQ(progress.size(), 15);
    EXPECT_EQ(progress.front(), QStringLiteral("ページ5更新中 0/15"));
    EXPECT_EQ(progress.back(), QStringLiteral("ページ5更新中 14/15"));
    EXPECT_TRUE(view.status[0].isEmpty());
    EXPECT_FALSE(client.isLoading());
}

TEST_F(ResultPageTest, PageCountsAndScrollRanges) {
    const struct {
        int perPage;
        int total;
        int rows; // -1: what the service would send
        int shown;
        int range;
        bool next;
    } cases[] = {
        {20, 20, -1, 20, 20 * 120, false},
        {5, 100, 8, 8, 5 * 120, true},     // more rows than asked for: all shown
        {20, 500, 25, 20, 20 * 120, true}, // rows beyond the twentieth are not shown
        {10, 7, -1, 7, 10 * 120, false},
    };
    for (const auto& c : cases) {
        client.settings.resultsPerPage = c.perPage;
        searchWithTotal(c.total, c.rows);
        EXPECT_EQ(view.shownSlots(), c.shown) << c.total;
        EXPECT_EQ(view.scrollRange, c.range) << c.total;
        EXPECT_EQ(view.nextEnabled, c.next) << c.total;
    }
}

TEST_F(ResultPageTest, FewerPagesThanAskedForCutsTheRange) {
    searchWithTotal(900);
    client.paging.pageCount = 45;
    client.answer = [](const QString& url) { return serviceAnswer(url, 860, 7); };
    Page(45);
    EXPECT_EQ(view.pageLabels, QStringLiteral("ページ 45/43"));
    EXPECT_EQ(view.shownSlots(), 7);
    EXPECT_EQ(view.scrollRange, 7 * 120);
    EXPECT_FALSE(view.nextEnabled);
}

TEST_F(ResultPageTest, FewerResultsPerPageLeaveNoEarlierSlotVisible) {
    searchWithTotal(300);
    ASSERT_EQ(view.shownSlots(), 20);
    client.settings.resultsPerPage = 5;
    searchWithTotal(300);
    EXPECT_EQ(view.shownSlots(), 5);
}

TEST_F(ResultPageTest, SlotContents) {
    client.answer = [](const QString&) {
        return answerOf(
            3, resultBlock("猫 &amp; 犬", "125", "ニコニコ動画", "http://r/1", "http://t/1.jpg") +
                   resultBlock("two", "", "YouTube", "http://r/2", "http://t/2.jpg") +
                   resultBlock("three", "59", "metacafe", "http://r/3", ""));
    };
    client.thumbnails[QStringLiteral("http://t/1.jpg")] = jpegOf(ThumbnailColour);
    client.thumbnails[QStringLiteral("http://t/2.jpg")] = "<html>404 Not Found</html>";
    view.resultSlot(0).checkBox->setChecked(true);
    client.search();

    EXPECT_EQ(client.thumbnailRequests,
              (QStringList{"http://t/1.jpg", "http://t/2.jpg", "http://v/three"}));
    const ResultSlot first = resultSlot(0);
    EXPECT_EQ(first.checkBox->caption(), QStringLiteral("猫 & 犬"));
    EXPECT_TRUE(first.checkBox->isEnabled());
    EXPECT_FALSE(first.checkBox->isChecked()); // every load unchecks
    EXPECT_EQ(first.infoLabel->text(), QStringLiteral("[ニコニコ動画]\n\n2分5秒\n\n"));
    EXPECT_TRUE(centreIs(first.thumbnail->picture(), ThumbnailColour));
    EXPECT_EQ(first.thumbnail->toolTip(), QStringLiteral("http://r/1"));

    const ResultSlot second = resultSlot(1);
    EXPECT_FALSE(second.checkBox->isEnabled());
    EXPECT_EQ(second.infoLabel->text(), QStringLiteral("情報なし"));
    EXPECT_TRUE(
        centreIs(second.thumbnail->picture(), NoImageColour)); // an error page is no picture
    // An empty thumbnail element breaks into two lines: the video's own Url stays the last one
    // read, and is no picture.
    EXPECT_TRUE(centreIs(resultSlot(2).thumbnail->picture(), NoImageColour));
}

TEST_F(ResultPageTest, BrokenThumbnailsShowTheStandIn) {
    const QByteArray noisy = jpegOf(ThumbnailColour, 120, 90, true);
    const QByteArray pictures[] = {noisy.left(noisy.size() * 4 / 5), "not a picture", ""};
    QByteArray blocks;
    for (int i = 0; i < 3; ++i) {
        const QByteArray thumbnail = "http://t/" + QByteArray::number(i) + ".jpg";
        blocks += resultBlock("t", "1", "Youtube", "http://r/", thumbnail);
        client.thumbnails[QString::fromLatin1(thumbnail)] = pictures[i];
    }
    client.answer = [blocks](const QString&) { return answerOf(3, blocks); };
    client.search();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(centreIs(resultSlot(i).thumbnail->picture(), NoImageColour)) << i;

    // Without the stand-in picture the slot shows no picture rather than an earlier one.
    QFile::remove(client.noImageFile);
    client.search();
    EXPECT_TRUE(resultSlot(0).thumbnail->picture().isNull());
}

// A controller nobody gave a stand-in picture shows the one compiled in.
TEST(ResultPageStandInTest, TheCompiledInPictureIsTheDefault) {
    FakeSearchView view;
    HttpClient http;
    UrlEncoder url;
    CannedSearchController client{view, http, url};
    client.settings.resultsPerPage = 20;
    view.keyword = QStringLiteral("猫");
    client.answer = [](const QString&) {
        return answerOf(1, resultBlock("t", "1", "Youtube", "http://r/", "http://t/0.jpg"));
    };
    client.thumbnails[QStringLiteral("http://t/0.jpg")] = "not a picture";
    client.search();
    const ClickableImage* thumbnail = view.resultSlot(0).thumbnail;
    ASSERT_FALSE(thumbnail->picture().isNull());
    EXPECT_EQ(thumbnail->picture(),
              loadJpegFile(QStringLiteral(":/no_image.jpg"),
                           thumbnail->size() * thumbnail->devicePixelRatio()));
}

TEST_F(ResultPageTest, PagingCommandsRunOnlyWhenTheirConditionHolds) {
    searchWithTotal(50); // three pages at 20
    const auto requestsAfter = [&](void (SearchController::*command)()) {
        const qsizetype before = client.requests.size();
        (client.*command)();
        return client.requests.size() - before;
    };
    EXPECT_EQ(requestsAfter(&SearchController::showFirstPage), 0);
    EXPECT_EQ(requestsAfter(&SearchController::showPreviousPage), 0);
    EXPECT_EQ(requestsAfter(&SearchController::showNextPage), 1);
    EXPECT_EQ(client.paging.currentPage, 2);
    EXPECT_EQ(requestsAfter(&SearchController::showLastPage), 1);
    EXPECT_EQ(client.paging.currentPage, 3);
    EXPECT_TRUE(client.requests.back().contains(QStringLiteral("&results=10&start=41&")));
    EXPECT_EQ(requestsAfter(&SearchController::showNextPage), 0);
    EXPECT_EQ(requestsAfter(&SearchController::showLastPage), 0);
    EXPECT_EQ(requestsAfter(&SearchController::showPreviousPage), 1);
    EXPECT_EQ(client.paging.currentPage, 2);
    EXPECT_EQ(requestsAfter(&SearchController::showFirstPage), 1);
    EXPECT_EQ(client.paging.currentPage, 1);
}

TEST_F(ResultPageTest, EditedKeywordGoesToCaptionAndHistoryNotToTheRequest) {
    searchWithTotal(50);
    view.keyword = QStringLiteral("犬");
    client.showNextPage();
    EXPECT_TRUE(client.requests.back().contains(QStringLiteral("&query=%E7%8C%AB&")));
    EXPECT_TRUE(view.caption.contains(QStringLiteral("「犬」")));
    EXPECT_EQ(view.history.front(), QStringLiteral("犬"));
    EXPECT_EQ(view.keyword, QStringLiteral("犬"));
}

TEST_F(ResultPageTest, ActivationOpensOnlyWebPagesAndMarksTheResult) {
    client.answer = [](const QString&) {
        return answerOf(5, resultBlock("web", "1", "Youtube", "http://r/1", "") +
                               resultBlock("script", "1", "Youtube", "javascript:alert(1)", "") +
                               resultBlock("local", "1", "other site", "file:///etc/passwd", "") +
                               resultBlock("none", "1", "Youtube", "", "") +
                               resultBlock("secure", "1", "other site", "HTTPS://r/5", ""));
    };
    client.search();
    for (int slot = 1; slot <= 5; ++slot)
        client.openResult(slot);
    client.openResult(1);
    EXPECT_EQ(view.browser.navigations, (QStringList{"http://r/1", "HTTPS://r/5", "http://r/1"}));
    EXPECT_EQ(view.browser.title, QStringLiteral("web"));
    EXPECT_TRUE(resultSlot(0).checkBox->isChecked());
    EXPECT_TRUE(resultSlot(1).checkBox->isChecked());  // not opened, but marked as usual
    EXPECT_FALSE(resultSlot(2).checkBox->isChecked()); // a site that does not mark
    EXPECT_TRUE(resultSlot(3).checkBox->isChecked());
    EXPECT_FALSE(resultSlot(4).checkBox->isChecked());
}

TEST_F(ResultPageTest, CompletedNavigationsOutsideTheTopPageEnableTheWebCommands) {
    const QString top = topPageUrl(QStringLiteral("svc.test"));
    for (const QString& location : {top, top + QStringLiteral("?ret=1")}) {
        view.browser.location = location;
        client.handleNavigationFinished();
        EXPECT_FALSE(view.webCommandsEnabled);
        EXPECT_TRUE(view.status[3].isEmpty());
    }
    view.browser.location = QStringLiteral("http://svc.test/watch/7");
    client.handleNavigationFinished();
    EXPECT_TRUE(view.webCommandsEnabled);
    EXPECT_EQ(view.status[3], QStringLiteral("http://svc.test/watch/7"));

    view.browser.location = top;
    client.handleNavigationFinished();
    EXPECT_EQ(view.status[3], QStringLiteral("http://svc.test/watch/7"));
}

// The page is laid out and the controls come back before the pictures: each fills its slot as
// it comes, in any order, and the count in status panel 0 is of the pictures in place.
TEST_F(ResultPageTest, ControlsComeBackBeforeThePicturesWhichFillTheirSlotsAsTheyCome) {
    const QByteArray blocks = threeResultsWithHeldPictures();
    client.answer = [blocks](const QString&) { return answerOf(3, blocks); };
    client.search();

    EXPECT_TRUE(client.isLoading());
    EXPECT_TRUE(view.searchEnabled);
    EXPECT_TRUE(view.stopEnabled);
    EXPECT_EQ(view.shownSlots(), 3);
    EXPECT_EQ(view.history, QStringList{QStringLiteral("猫")});
    EXPECT_EQ(view.status[0], QStringLiteral("ページ1更新中 0/3"));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(resultSlot(i).thumbnail->picture().isNull()) << i;

    client.release(2);
    EXPECT_TRUE(centreIs(resultSlot(2).thumbnail->picture(), ThumbnailColour));
    EXPECT_TRUE(resultSlot(0).thumbnail->picture().isNull());
    EXPECT_EQ(view.status[0], QStringLiteral("ページ1更新中 1/3"));
    client.release(0);
    client.release(1);
    EXPECT_TRUE(centreIs(resultSlot(0).thumbnail->picture(), ThumbnailColour));
    EXPECT_TRUE(view.status[0].isEmpty());
    EXPECT_FALSE(view.stopEnabled);
    EXPECT_FALSE(client.isLoading());
}

// Stop ends the pictures still coming: the slots stay, the pictures that came stay, the others
// show the stand-in picture, and nothing that comes later changes them. A new search ends the
// pictures of the page before it in the same way.
TEST_F(ResultPageTest, StopAndANewSearchEndThePicturesStillComing) {
    const QByteArray blocks = threeResultsWithHeldPictures();
    client.answer = [blocks](const QString&) { return answerOf(3, blocks); };

    for (const bool byStop : {true, false}) {
        SCOPED_TRACE(byStop ? "stop" : "new search");
        client.search();
        client.release(1);
        const int cancellations = client.cancellations;
        if (byStop) {
            client.stop();
            EXPECT_EQ(view.status[0], QStringLiteral("中止しました"));
            EXPECT_FALSE(client.isLoading());
            EXPECT_FALSE(view.stopEnabled);
            EXPECT_EQ(view.shownSlots(), 3);
            EXPECT_TRUE(centreIs(resultSlot(1).thumbnail->picture(), ThumbnailColour));
            EXPECT_TRUE(centreIs(resultSlot(0).thumbnail->picture(), NoImageColour));
            EXPECT_TRUE(centreIs(resultSlot(2).thumbnail->picture(), NoImageColour));
        } else {
            client.answer = [](const QString&) { return answerOf(0, ""); };
            client.search();
            EXPECT_TRUE(client.requests.back().contains(QStringLiteral("&start=1&")));
            EXPECT_FALSE(client.isLoading());
        }
        EXPECT_EQ(client.cancellations, cancellations + 1);
        EXPECT_TRUE(client.held.isEmpty());
        EXPECT_TRUE(view.searchEnabled);
        client.answer = [blocks](const QString&) { return answerOf(3, blocks); };
    }
    // Stop with nothing under way changes nothing.
    view.status[0] = QStringLiteral("-");
    client.stop();
    EXPECT_EQ(view.status[0], QStringLiteral("-"));
}
