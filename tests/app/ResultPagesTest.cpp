#include "AppTestUtil.h"
#include "ScriptedHttpServer.h"
#include "TestImages.h"

#include "app/ResultScrollArea.h"
#include "controls/ImageCheckBox.h"
#include "controls/HistoryComboBox.h"
#include "controls/ClickableImage.h"
#include "search/ServiceHost.h"

#include <QAction>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrlQuery>

#include <atomic>
#include <mutex>

namespace {

const QColor ThumbnailColour(200, 30, 30);
const QColor NoImageColour(20, 180, 20);

// One result as the scripted service describes it; the thumbnail is a path on the service.
struct Row {
    QByteArray duration = "125";
    QByteArray site = "Youtube";
    QByteArray thumbnail = "/thumbs/good.jpg";
    QByteArray referer; // empty: the service's own page of the result
};

// A search service on 127.0.0.1: it reports `total` and answers a page with the rows that lie
// in it (or `rows` of them when set), serves thumbnails (good, missing, cut short, no picture,
// and one that waits until released), result pages and the top page.
class ScriptedService {
public:
    ScriptedService()
        : server([this](ScriptedHttpServer::Connection& c) { Serve(c); }) {}

    void Set(int newTotal, int newRows = -1, std::function<Row(int)> newRow = {}) {
        std::lock_guard lock(mutex);
        total = newTotal;
        rows = newRows;
        row = std::move(newRow);
    }

    QString host() const { return QString::fromLatin1(server.HostAndPort()); }
    QByteArray LastSearch() const {
        const QList<QByteArray> requests = server.Requests();
        for (auto it = requests.rbegin(); it != requests.rend(); ++it)
            if (it->contains("api_yahoo.php"))
                return *it;
        return {};
    }

    std::atomic<bool> slowRequested{false};
    std::atomic<bool> slowReleased{false};
    ScriptedHttpServer server;

private:
    void Serve(ScriptedHttpServer::Connection& c) {
        const QByteArray request = c.ReadRequest();
        const QByteArray target = request.mid(4, request.indexOf(" HTTP/") - 4);
        const QByteArray host = "http://" + server.HostAndPort();
        if (target.startsWith("/files/sorvel/api_yahoo.php?")) {
            std::lock_guard lock(mutex);
            const QUrlQuery query(QString::fromLatin1(target.mid(target.indexOf('?') + 1)));
            const int count = query.queryItemValue(QStringLiteral("results")).toInt();
            const int start = query.queryItemValue(QStringLiteral("start")).toInt();
            const int n = rows >= 0 ? rows : std::clamp(total - start + 1, 0, count);
            QByteArray answer =
                R"(<?xml version="1.0" encoding="UTF-8"?><ResultSet totalResultsAvailable=")" +
                QByteArray::number(total) + R"(" totalResultsReturned="1">)";
            for (int i = 0; i < n; ++i) {
                const Row r = row ? row(i) : Row();
                const QByteArray id = QByteArray::number(start + i);
                answer += "<Result><Title>T" + id + "</Title><Url>" + host + "/videos/" + id +
                          "</Url><RefererUrl>" +
                          (r.referer.isEmpty() ? host + "/watch/" + id : r.referer) +
                          "</RefererUrl><Duration>" + r.duration + "</Duration>" +
                          (r.thumbnail.isEmpty()
                               ? QByteArray()
                               : "<Thumbnail><Url>" + host + r.thumbnail + "</Url></Thumbnail>") +
                          "<Copyright>" + r.site + "</Copyright></Result>";
            }
            c.Send(ScriptedHttpServer::Response(200, answer + "</ResultSet>"));
        } else if (target == "/thumbs/good.jpg") {
            c.Send(ScriptedHttpServer::Response(200, JpegOf(ThumbnailColour)));
        } else if (target == "/thumbs/cut.jpg") {
            const QByteArray jpeg = JpegOf(ThumbnailColour, 120, 90, true);
            c.Send(ScriptedHttpServer::Response(200, jpeg.left(jpeg.size() * 4 / 5)));
        } else if (target == "/thumbs/text.jpg") {
            c.Send(ScriptedHttpServer::Response(200, "this is no picture"));
        } else if (target == "/thumbs/slow.jpg") {
            slowRequested = true;
            while (!slowReleased)
                c.Stall(std::chrono::milliseconds(5));
            c.Send(ScriptedHttpServer::Response(200, JpegOf(ThumbnailColour)));
        } else if (target.startsWith("/watch/") || target.startsWith("/files/sorvel/")) {
            c.Send(ScriptedHttpServer::Response(
                200, "<html><head><meta charset=\"utf-8\"></head><body>page</body></html>",
                {"Content-Type: text/html; charset=utf-8"}));
        } else {
            c.Send(ScriptedHttpServer::Response(404, "<html>Not Found</html>"));
        }
    }

    std::mutex mutex;
    int total = 0;
    int rows = -1;
    std::function<Row(int)> row;
};

class ResultPagesTest : public ProgramFixture {
protected:
    ResultPagesTest() {
        serviceHost = service.host();
        WriteFileBytes(NoImagePath(), JpegOf(NoImageColour));
    }

    QString NoImagePath() const { return dir.filePath(QStringLiteral("no_image.jpg")); }

    void Begin() {
        Start();
        Main().searchController().noImageFile = NoImagePath();
    }

    void Search(const QString& keyword) {
        Find<HistoryComboBox>("keywordBox")->setEditText(keyword);
        Button("searchButton")->click();
    }

    int ShownSlots() {
        int shown = 0;
        for (int i = 0; i < MainWindow::SlotCount; ++i)
            shown += Main().resultSlot(i).panel->isVisibleTo(&Main()) ? 1 : 0;
        return shown;
    }

    bool PreviousEnabled() {
        const bool on = Button("upperFirstPageButton")->isEnabled();
        EXPECT_EQ(Button("upperPreviousPageButton")->isEnabled(), on);
        EXPECT_EQ(Button("lowerFirstPageButton")->isEnabled(), on);
        EXPECT_EQ(Button("lowerPreviousPageButton")->isEnabled(), on);
        return on;
    }

    bool NextEnabled() {
        const bool on = Button("upperNextPageButton")->isEnabled();
        EXPECT_EQ(Button("upperLastPageButton")->isEnabled(), on);
        EXPECT_EQ(Button("lowerNextPageButton")->isEnabled(), on);
        EXPECT_EQ(Button("lowerLastPageButton")->isEnabled(), on);
        return on;
    }

    ScriptedService service;
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
        Begin();
        Settings().resultsPerPage = c.perPage;
        service.Set(c.total, c.rows);
        Search(QStringLiteral("猫"));
        if (c.toLastPage)
            Button("lowerLastPageButton")->click();
        MainWindow& w = Main();
        EXPECT_EQ(Label("upperPageLabel")->text(), QString::fromUtf8(c.labels)) << c.total;
        EXPECT_EQ(Label("lowerPageLabel")->text(), QString::fromUtf8(c.labels)) << c.total;
        EXPECT_EQ(ShownSlots(), c.shown) << c.total;
        EXPECT_EQ(Find<ResultScrollArea>("resultArea")->range(), c.range) << c.total;
        EXPECT_EQ(PreviousEnabled(), c.previous) << c.total;
        EXPECT_EQ(NextEnabled(), c.next) << c.total;
        EXPECT_EQ(w.windowTitle(), QStringLiteral("ORVENA - Sorvel Browser -「猫") +
                                       QString::fromUtf8(c.captionEnd));
        EXPECT_TRUE(StatusPanel(0)->text().isEmpty());
        EXPECT_TRUE(Action("searchAction")->isEnabled() && Action("searchSettingsAction")->isEnabled() && Button("searchButton")->isEnabled() &&
                    Button("searchSettingsButton")->isEnabled());
        EXPECT_EQ(Find<HistoryComboBox>("keywordBox")->count(), c.total > 0 ? 1 : 0) << c.total;
    }
    EXPECT_TRUE(service.LastSearch().contains("&results=5&start=1&"));
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
    Begin();
    service.Set(count, count, [&](int i) { return cases[i].row; });
    Search(QStringLiteral("猫"));
    MainWindow& w = Main();
    ASSERT_EQ(ShownSlots(), count);
    for (int i = 0; i < count; ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(w.resultSlot(i).infoLabel->text(), QString::fromUtf8(c.label)) << i;
        EXPECT_EQ(w.resultSlot(i).checkBox->isEnabled(), c.markable) << i;
        EXPECT_FALSE(w.resultSlot(i).checkBox->isChecked()) << i;
        EXPECT_EQ(w.resultSlot(i).checkBox->caption(), QStringLiteral("T%1").arg(i + 1));
        EXPECT_TRUE(
            CentreIs(w.resultSlot(i).thumbnail->picture(), c.picture ? ThumbnailColour : NoImageColour))
            << i;
        EXPECT_EQ(w.resultSlot(i).thumbnail->toolTip(),
                  QStringLiteral("http://%1/watch/%2").arg(service.host()).arg(i + 1));
    }
    EXPECT_FALSE(QFile::exists(w.searchController().thumbnailFile));
}

TEST_F(ResultPagesTest, FewerResultsPerPageLeaveNoEarlierSlotShown) {
    Begin();
    service.Set(300);
    Search(QStringLiteral("猫"));
    ASSERT_EQ(ShownSlots(), 20);
    Settings().resultsPerPage = 5;
    Search(QStringLiteral("猫"));
    EXPECT_EQ(ShownSlots(), 5);
    EXPECT_EQ(Find<ResultScrollArea>("resultArea")->range(), 5 * 120);
}

TEST_F(ResultPagesTest, APageBeyondTheNewTotalShowsWhatCame) {
    Begin();
    service.Set(900);
    Search(QStringLiteral("猫"));
    service.Set(860, 7);
    Button("upperLastPageButton")->click();
    EXPECT_TRUE(service.LastSearch().contains("&results=20&start=881&"));
    EXPECT_EQ(Label("upperPageLabel")->text(), QStringLiteral("ページ 45/43"));
    EXPECT_EQ(ShownSlots(), 7);
    EXPECT_EQ(Find<ResultScrollArea>("resultArea")->range(), 7 * 120);
    EXPECT_FALSE(NextEnabled());
    EXPECT_TRUE(PreviousEnabled());
}

TEST_F(ResultPagesTest, PagingButtonsOfBothBars) {
    Begin();
    service.Set(50); // three pages
    Search(QStringLiteral("猫"));
    MainWindow& w = Main();
    const struct {
        QToolButton* button;
        const char* labels;
        const char* range;
    } steps[] = {
        {Button("lowerLastPageButton"), "ページ 3/3", "&results=10&start=41&"},
        {Button("upperPreviousPageButton"), "ページ 2/3", "&results=20&start=21&"},
        {Button("lowerFirstPageButton"), "ページ 1/3", "&results=20&start=1&"},
        {Button("lowerNextPageButton"), "ページ 2/3", "&results=20&start=21&"},
        {Button("lowerPreviousPageButton"), "ページ 1/3", "&results=20&start=1&"},
        {Button("upperNextPageButton"), "ページ 2/3", "&results=20&start=21&"},
        {Button("upperFirstPageButton"), "ページ 1/3", "&results=20&start=1&"},
    };
    for (const auto& step : steps) {
        step.button->click();
        EXPECT_EQ(Label("lowerPageLabel")->text(), QString::fromUtf8(step.labels))
            << step.button->objectName().toStdString();
        EXPECT_TRUE(service.LastSearch().contains(step.range))
            << step.button->objectName().toStdString();
    }
    // The commands check their conditions themselves: on page 1 the first and previous
    // commands ask for nothing.
    const qsizetype before = service.server.Requests().size();
    w.searchController().showFirstPage();
    w.searchController().showPreviousPage();
    EXPECT_EQ(service.server.Requests().size(), before);
}

TEST_F(ResultPagesTest, AnEditedKeywordBoxGoesToCaptionAndHistoryNotToTheRequest) {
    Begin();
    service.Set(50);
    Search(QStringLiteral("猫"));
    Find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("犬"));
    Button("upperNextPageButton")->click();
    EXPECT_TRUE(service.LastSearch().contains("&query=%E7%8C%AB&"));
    EXPECT_EQ(Main().windowTitle(),
              QStringLiteral("ORVENA - Sorvel Browser -「犬」の動画検索結果 50件"));
    EXPECT_EQ(Find<HistoryComboBox>("keywordBox")->itemText(0), QStringLiteral("犬"));
    EXPECT_EQ(Find<HistoryComboBox>("keywordBox")->currentText(), QStringLiteral("犬"));
}

TEST_F(ResultPagesTest, AShownSlotCanBeOpenedWhileLaterThumbnailsLoad) {
    Begin();
    service.Set(3, 3, [](int i) {
        Row row;
        row.thumbnail = i == 1 ? "/thumbs/slow.jpg" : "/thumbs/good.jpg";
        return row;
    });
    MainWindow& w = Main();
    bool clickedDuringLoad = false;
    QString progressDuringLoad;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!service.slowRequested || clickedDuringLoad)
            return;
        clickedDuringLoad = true;
        progressDuringLoad = StatusPanel(0)->text();
        EXPECT_FALSE(Action("searchAction")->isEnabled()); // the load is still under way
        QTest::mouseClick(w.resultSlot(0).thumbnail, Qt::LeftButton);
        service.slowReleased = true;
    });
    poll.start(5);
    Search(QStringLiteral("猫"));
    EXPECT_TRUE(clickedDuringLoad);
    EXPECT_EQ(progressDuringLoad, QStringLiteral("ページ1更新中 2/3"));
    EXPECT_EQ(pane().navigations.back(), QStringLiteral("http://%1/watch/1").arg(service.host()));
    EXPECT_EQ(pane().resultTitle(), QStringLiteral("T1"));
    EXPECT_TRUE(w.resultSlot(0).checkBox->isChecked()); // the load had filled slot 1 before the click
    EXPECT_EQ(ShownSlots(), 3);
    EXPECT_TRUE(Action("searchAction")->isEnabled());
}

TEST_F(ResultPagesTest, OnlyWebPagesAreOpenedAndTheTopPageEnablesNothing) {
    Begin();
    service.Set(2, 2, [](int i) {
        Row row;
        row.referer = i == 0 ? "javascript:alert(1)" : "file:///etc/passwd";
        return row;
    });
    Search(QStringLiteral("猫"));
    MainWindow& w = Main();
    const qsizetype navigations = pane().navigations.size();
    QTest::mouseClick(w.resultSlot(0).thumbnail, Qt::LeftButton);
    QTest::mouseClick(w.resultSlot(1).thumbnail, Qt::LeftButton);
    EXPECT_EQ(pane().navigations.size(), navigations);
    EXPECT_EQ(pane().resultTitle(), QStringLiteral("T2"));
    EXPECT_TRUE(w.resultSlot(0).checkBox->isChecked());

    const QString top = topPageUrl(service.host());
    for (const QString& location : {top, top + QStringLiteral("?ret=1")}) {
        pane().Complete(location);
        EXPECT_FALSE(Action("openInBrowserAction")->isEnabled());
        EXPECT_FALSE(Action("mailLinkAction")->isEnabled());
        EXPECT_TRUE(StatusPanel(3)->text().isEmpty());
    }
}

// The real browser pane: a result opened from a page of results completes its navigation, which
// enables the web commands and shows the address.
TEST_F(ResultPagesTest, TheRealBrowserPaneEnablesTheWebCommands) {
    // The real pane in place of the fixture's light one.
    MainWindowOptions withRealPane = options();
    withRealPane.createBrowserPane = MainWindowOptions().createBrowserPane;
    windows = std::make_unique<ProgramWindows>(withRealPane);
    MainWindow& w = Main();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return w.settingsLoaded(); }));
    w.searchController().noImageFile = NoImagePath();

    service.Set(2);
    Search(QStringLiteral("猫"));
    ASSERT_EQ(ShownSlots(), 2);
    EXPECT_FALSE(Action("openInBrowserAction")->isEnabled()); // the top page alone enables nothing
    QTest::mouseClick(w.resultSlot(1).thumbnail, Qt::LeftButton);
    const QString page = QStringLiteral("http://%1/watch/2").arg(service.host());
    ASSERT_TRUE(WaitUntil([&] { return Action("openInBrowserAction")->isEnabled(); }, 30000));
    EXPECT_TRUE(Action("mailLinkAction")->isEnabled());
    EXPECT_EQ(StatusPanel(3)->text(), page);
}
