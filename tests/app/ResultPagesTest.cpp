#include "AppTestUtil.h"
#include "ScriptedSearchService.h"
#include "TestImages.h"

#include "app/ResultScrollArea.h"
#include "controls/ClickableImage.h"
#include "controls/HistoryComboBox.h"
#include "controls/ImageCheckBox.h"
#include "search/ServiceHost.h"

#include <QAction>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

using Row = ScriptedSearchService::Row;

const QColor ThumbnailColour = ScriptedSearchService::ThumbnailColour;
const QColor NoImageColour(20, 180, 20);

class ResultPagesTest : public ProgramFixture {
protected:
    ResultPagesTest() {
        serviceHost = service.host();
        writeFileBytes(noImagePath(), jpegOf(NoImageColour));
    }

    QString noImagePath() const { return dir.filePath(QStringLiteral("no_image.jpg")); }

    void beginRun() {
        start();
        mainWindow().searchController().noImageFile = noImagePath();
    }

    // Searches and waits until the last picture is in.
    void search(const QString& keyword) {
        find<HistoryComboBox>("keywordBox")->setEditText(keyword);
        button("searchButton")->click();
        settle();
    }

    // Clicks a button (a paging command) and waits until the load it starts is over.
    void click(const QString& name) {
        button(name)->click();
        settle();
    }

    void settle() {
        EXPECT_TRUE(waitUntil([this] { return !mainWindow().searchController().isLoading(); }));
    }

    int shownSlots() {
        int shown = 0;
        for (int i = 0; i < MainWindow::SlotCount; ++i)
            shown += mainWindow().resultSlot(i).panel->isVisibleTo(&mainWindow()) ? 1 : 0;
        return shown;
    }

    bool previousEnabled() {
        const bool on = button("upperFirstPageButton")->isEnabled();
        EXPECT_EQ(button("upperPreviousPageButton")->isEnabled(), on);
        EXPECT_EQ(button("lowerFirstPageButton")->isEnabled(), on);
        EXPECT_EQ(button("lowerPreviousPageButton")->isEnabled(), on);
        return on;
    }

    bool nextEnabled() {
        const bool on = button("upperNextPageButton")->isEnabled();
        EXPECT_EQ(button("upperLastPageButton")->isEnabled(), on);
        EXPECT_EQ(button("lowerNextPageButton")->isEnabled(), on);
        EXPECT_EQ(button("lowerLastPageButton")->isEnabled(), on);
        return on;
    }

    ScriptedSearchService service;
};

} // namespace

TEST_F(ResultPagesTest, TotalsPagesAndScrollRanges) {
    const struct {
        int perPage;
        int total;
        int rows;
        bool toLastPage;
        const char* labels;
        int shown;
        int range;
        bool previous;
        bool next;
        const char* captionEnd;
    } cases[] = {
        {20, 0, -1, false, "ページ 0/0", 0, 0, false, false, "」の動画検索結果 0件"},
        {20, 1234, -1, false, "ページ 1/45", 20, 20 * 120, false, true,
         "」の動画検索結果 900件以上"},
        {20, 95, -1, true, "ページ 5/5", 15, 20 * 120, true, false, "」の動画検索結果 95件"},
        {20, 20, -1, false, "ページ 1/1", 20, 20 * 120, false, false, "」の動画検索結果 20件"},
        {5, 100, 8, false, "ページ 1/20", 8, 5 * 120, false, true, "」の動画検索結果 100件"},
    };
    for (const auto& c : cases) {
        beginRun();
        settings().resultsPerPage = c.perPage;
        service.setResults(c.total, c.rows);
        search(QStringLiteral("猫"));
        if (c.toLastPage)
            click(QStringLiteral("lowerLastPageButton"));
        MainWindow& w = mainWindow();
        EXPECT_EQ(label("upperPageLabel")->text(), QString::fromUtf8(c.labels)) << c.total;
        EXPECT_EQ(label("lowerPageLabel")->text(), QString::fromUtf8(c.labels)) << c.total;
        EXPECT_EQ(shownSlots(), c.shown) << c.total;
        EXPECT_EQ(find<ResultScrollArea>("resultArea")->range(), c.range) << c.total;
        EXPECT_EQ(previousEnabled(), c.previous) << c.total;
        EXPECT_EQ(nextEnabled(), c.next) << c.total;
        EXPECT_EQ(w.windowTitle(), QStringLiteral("ORVENA - Sorvel Browser -「猫") +
                                       QString::fromUtf8(c.captionEnd));
        EXPECT_TRUE(statusPanel(0)->text().isEmpty());
        EXPECT_TRUE(
            action("searchAction")->isEnabled() && action("searchSettingsAction")->isEnabled() &&
            button("searchButton")->isEnabled() && button("searchSettingsButton")->isEnabled());
        EXPECT_EQ(find<HistoryComboBox>("keywordBox")->count(), c.total > 0 ? 1 : 0) << c.total;
    }
    EXPECT_TRUE(service.lastSearch().contains("&results=5&start=1&"));
}

TEST_F(ResultPagesTest, SlotsShowSourceDurationTitleAndThumbnail) {
    const struct {
        Row row;
        const char* label;
        bool markable;
        bool picture; // the thumbnail, or else the stand-in
    } cases[] = {
        {{"125", "Youtube", "/thumbs/good.jpg", ""}, "[Youtube]\n\n2分5秒\n\n", true, true},
        {{"59", "YouTube", "/thumbs/missing.jpg", ""}, "[YouTube]\n\n0分59秒\n\n", false, false},
        {{"3600", "Youtube ", "", ""}, "[Youtube ]\n\n60分0秒\n\n", false, false},
        {{"0", "metacafe", "/thumbs/cut.jpg", ""}, "[metacafe]\n\n?分?秒\n\n", true, false},
        {{"-5", "Yahoo! Video", "/thumbs/text.jpg", ""},
         "[Yahoo! Video]\n\n?分?秒\n\n",
         true,
         false},
        {{"", "ニコニコ動画", "/thumbs/good.jpg", ""}, "情報なし", true, true},
        {{"abc", "動画箱", "/thumbs/good.jpg", ""}, "情報なし", false, true},
    };
    const int count = static_cast<int>(std::size(cases));
    beginRun();
    service.setResults(count, count, [&](int i) { return cases[i].row; });
    search(QStringLiteral("猫"));
    MainWindow& w = mainWindow();
    ASSERT_EQ(shownSlots(), count);
    for (int i = 0; i < count; ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(w.resultSlot(i).infoLabel->text(), QString::fromUtf8(c.label)) << i;
        EXPECT_EQ(w.resultSlot(i).checkBox->isEnabled(), c.markable) << i;
        EXPECT_FALSE(w.resultSlot(i).checkBox->isChecked()) << i;
        EXPECT_EQ(w.resultSlot(i).checkBox->caption(), QStringLiteral("T%1").arg(i + 1));
        EXPECT_TRUE(centreIs(w.resultSlot(i).thumbnail->picture(),
                             c.picture ? ThumbnailColour : NoImageColour))
            << i;
        EXPECT_EQ(w.resultSlot(i).thumbnail->toolTip(),
                  QStringLiteral("http://%1/watch/%2").arg(service.host()).arg(i + 1));
    }
}

TEST_F(ResultPagesTest, FewerResultsPerPageLeaveNoEarlierSlotShown) {
    beginRun();
    service.setResults(300);
    search(QStringLiteral("猫"));
    ASSERT_EQ(shownSlots(), 20);
    settings().resultsPerPage = 5;
    search(QStringLiteral("猫"));
    EXPECT_EQ(shownSlots(), 5);
    EXPECT_EQ(find<ResultScrollArea>("resultArea")->range(), 5 * 120);
}

TEST_F(ResultPagesTest, APageBeyondTheNewTotalShowsWhatCame) {
    beginRun();
    service.setResults(900);
    search(QStringLiteral("猫"));
    service.setResults(860, 7);
    click(QStringLiteral("upperLastPageButton"));
    EXPECT_TRUE(service.lastSearch().contains("&results=20&start=881&"));
    EXPECT_EQ(label("upperPageLabel")->text(), QStringLiteral("ページ 45/43"));
    EXPECT_EQ(shownSlots(), 7);
    EXPECT_EQ(find<ResultScrollArea>("resultArea")->range(), 7 * 120);
    EXPECT_FALSE(nextEnabled());
    EXPECT_TRUE(previousEnabled());
}

TEST_F(ResultPagesTest, PagingButtonsOfBothBars) {
    beginRun();
    service.setResults(50); // three pages
    search(QStringLiteral("猫"));
    MainWindow& w = mainWindow();
    const struct {
        QToolButton* button;
        const char* labels;
        const char* range;
    } steps[] = {
        {button("lowerLastPageButton"), "ページ 3/3", "&results=10&start=41&"},
        {button("upperPreviousPageButton"), "ページ 2/3", "&results=20&start=21&"},
        {button("lowerFirstPageButton"), "ページ 1/3", "&results=20&start=1&"},
        {button("lowerNextPageButton"), "ページ 2/3", "&results=20&start=21&"},
        {button("lowerPreviousPageButton"), "ページ 1/3", "&results=20&start=1&"},
        {button("upperNextPageButton"), "ページ 2/3", "&results=20&start=21&"},
        {button("upperFirstPageButton"), "ページ 1/3", "&results=20&start=1&"},
    };
    for (const auto& step : steps) {
        step.button->click();
        settle();
        EXPECT_EQ(label("lowerPageLabel")->text(), QString::fromUtf8(step.labels))
            << step.button->objectName().toStdString();
        EXPECT_TRUE(service.lastSearch().contains(step.range))
            << step.button->objectName().toStdString();
    }
    // The commands check their conditions themselves: on page 1 the first and previous
    // commands ask for nothing.
    const qsizetype before = service.server.requests().size();
    w.searchController().showFirstPage();
    w.searchController().showPreviousPage();
    EXPECT_EQ(service.server.requests().size(), before);
}

TEST_F(ResultPagesTest, AnEditedKeywordBoxGoesToCaptionAndHistoryNotToTheRequest) {
    beginRun();
    service.setResults(50);
    search(QStringLiteral("猫"));
    find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("犬"));
    click(QStringLiteral("upperNextPageButton"));
    EXPECT_TRUE(service.lastSearch().contains("&query=%E7%8C%AB&"));
    EXPECT_EQ(mainWindow().windowTitle(),
              QStringLiteral("ORVENA - Sorvel Browser -「犬」の動画検索結果 50件"));
    EXPECT_EQ(find<HistoryComboBox>("keywordBox")->itemText(0), QStringLiteral("犬"));
    EXPECT_EQ(find<HistoryComboBox>("keywordBox")->currentText(), QStringLiteral("犬"));
}

// While a picture still comes, the others are in, the controls are back and a shown slot opens.
TEST_F(ResultPagesTest, AShownSlotCanBeOpenedWhileLaterThumbnailsLoad) {
    beginRun();
    service.setResults(3, 3, [](int i) {
        Row row;
        row.thumbnail = i == 1 ? "/thumbs/slow.jpg" : "/thumbs/good.jpg";
        return row;
    });
    MainWindow& w = mainWindow();
    bool clickedDuringLoad = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!service.slowRequested || clickedDuringLoad ||
            statusPanel(0)->text() != QStringLiteral("ページ1更新中 2/3"))
            return;
        clickedDuringLoad = true;
        EXPECT_TRUE(w.searchController().isLoading());
        EXPECT_TRUE(action("searchAction")->isEnabled());
        EXPECT_TRUE(action("stopAction")->isEnabled());
        EXPECT_TRUE(centreIs(w.resultSlot(2).thumbnail->picture(), ThumbnailColour));
        QTest::mouseClick(w.resultSlot(0).thumbnail, Qt::LeftButton);
        service.slowReleased = true;
    });
    poll.start(5);
    search(QStringLiteral("猫"));
    EXPECT_TRUE(clickedDuringLoad);
    EXPECT_EQ(pane().navigations.back(), QStringLiteral("http://%1/watch/1").arg(service.host()));
    EXPECT_EQ(pane().resultTitle(), QStringLiteral("T1"));
    EXPECT_TRUE(
        w.resultSlot(0).checkBox->isChecked()); // the load had filled slot 1 before the click
    EXPECT_EQ(shownSlots(), 3);
    EXPECT_TRUE(action("searchAction")->isEnabled());
}

TEST_F(ResultPagesTest, OnlyWebPagesAreOpenedAndTheTopPageEnablesNothing) {
    beginRun();
    service.setResults(2, 2, [](int i) {
        Row row;
        row.referer = i == 0 ? "javascript:alert(1)" : "file:///etc/passwd";
        return row;
    });
    search(QStringLiteral("猫"));
    MainWindow& w = mainWindow();
    const qsizetype navigations = pane().navigations.size();
    QTest::mouseClick(w.resultSlot(0).thumbnail, Qt::LeftButton);
    QTest::mouseClick(w.resultSlot(1).thumbnail, Qt::LeftButton);
    EXPECT_EQ(pane().navigations.size(), navigations);
    EXPECT_EQ(pane().resultTitle(), QStringLiteral("T2"));
    EXPECT_TRUE(w.resultSlot(0).checkBox->isChecked());

    const QString top = topPageUrl(service.host());
    for (const QString& location : {top, top + QStringLiteral("?ret=1")}) {
        pane().completeNavigation(location);
        EXPECT_FALSE(action("openInBrowserAction")->isEnabled());
        EXPECT_FALSE(action("mailLinkAction")->isEnabled());
        EXPECT_TRUE(statusPanel(3)->text().isEmpty());
    }
}

// The real browser pane: a result opened from a page of results completes its navigation, which
// enables the web commands and shows the address.
TEST_F(ResultPagesTest, TheRealBrowserPaneEnablesTheWebCommands) {
    // The real pane in place of the fixture's light one.
    MainWindowOptions withRealPane = options();
    withRealPane.createBrowserPane = MainWindowOptions().createBrowserPane;
    windows = std::make_unique<ProgramWindows>(withRealPane);
    MainWindow& w = mainWindow();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return w.settingsLoaded(); }));
    w.searchController().noImageFile = noImagePath();

    service.setResults(2);
    search(QStringLiteral("猫"));
    ASSERT_EQ(shownSlots(), 2);
    EXPECT_FALSE(action("openInBrowserAction")->isEnabled()); // the top page alone enables nothing
    QTest::mouseClick(w.resultSlot(1).thumbnail, Qt::LeftButton);
    const QString page = QStringLiteral("http://%1/watch/2").arg(service.host());
    ASSERT_TRUE(waitUntil([&] { return action("openInBrowserAction")->isEnabled(); }, 30000));
    EXPECT_TRUE(action("mailLinkAction")->isEnabled());
    EXPECT_EQ(statusPanel(3)->text(), page);
}
