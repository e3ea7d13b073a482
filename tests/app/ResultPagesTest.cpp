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
        Main().SearchClient().noImageFile = NoImagePath();
    }

    void Search(const QString& keyword) {
        Main().HistoryComboBox1->setEditText(keyword);
        Main().SpeedButton0_1->click();
    }

    int ShownSlots() {
        int shown = 0;
        for (QWidget* panel : Main().SlotPanels)
            shown += panel->isVisibleTo(&Main()) ? 1 : 0;
        return shown;
    }

    bool PreviousEnabled() {
        TMainForm1& w = Main();
        const bool on = w.SpeedButton2_1->isEnabled();
        EXPECT_EQ(w.SpeedButton2_2->isEnabled(), on);
        EXPECT_EQ(w.SpeedButton3_1->isEnabled(), on);
        EXPECT_EQ(w.SpeedButton3_2->isEnabled(), on);
        return on;
    }

    bool NextEnabled() {
        TMainForm1& w = Main();
        const bool on = w.SpeedButton2_3->isEnabled();
        EXPECT_EQ(w.SpeedButton2_4->isEnabled(), on);
        EXPECT_EQ(w.SpeedButton3_3->isEnabled(), on);
        EXPECT_EQ(w.SpeedButton3_4->isEnabled(), on);
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
            Main().SpeedButton3_4->click();
        TMainForm1& w = Main();
        EXPECT_EQ(w.Label2_1->text(), QString::fromUtf8(c.labels)) << c.total;
        EXPECT_EQ(w.Label3_1->text(), QString::fromUtf8(c.labels)) << c.total;
        EXPECT_EQ(ShownSlots(), c.shown) << c.total;
        EXPECT_EQ(w.ScrollBox1->Range(), c.range) << c.total;
        EXPECT_EQ(PreviousEnabled(), c.previous) << c.total;
        EXPECT_EQ(NextEnabled(), c.next) << c.total;
        EXPECT_EQ(w.windowTitle(), QStringLiteral("ORVENA - Sorvel Browser -「猫") +
                                       QString::fromUtf8(c.captionEnd));
        EXPECT_TRUE(w.StatusPanels[0]->text().isEmpty());
        EXPECT_TRUE(w.S1->isEnabled() && w.S2->isEnabled() && w.SpeedButton0_1->isEnabled() &&
                    w.SpeedButton0_4->isEnabled());
        EXPECT_EQ(w.HistoryComboBox1->count(), c.total > 0 ? 1 : 0) << c.total;
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
    TMainForm1& w = Main();
    ASSERT_EQ(ShownSlots(), count);
    for (int i = 0; i < count; ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(w.SlotLabels[i]->text(), QString::fromUtf8(c.label)) << i;
        EXPECT_EQ(w.SlotCheckBoxes[i]->isEnabled(), c.markable) << i;
        EXPECT_FALSE(w.SlotCheckBoxes[i]->isChecked()) << i;
        EXPECT_EQ(w.SlotCheckBoxes[i]->caption(), QStringLiteral("T%1").arg(i + 1));
        EXPECT_TRUE(
            CentreIs(w.SlotImages[i]->picture(), c.picture ? ThumbnailColour : NoImageColour))
            << i;
        EXPECT_EQ(w.SlotImages[i]->toolTip(),
                  QStringLiteral("http://%1/watch/%2").arg(service.host()).arg(i + 1));
    }
    EXPECT_FALSE(QFile::exists(w.SearchClient().thumbnailFile));
}

TEST_F(ResultPagesTest, FewerResultsPerPageLeaveNoEarlierSlotShown) {
    Begin();
    service.Set(300);
    Search(QStringLiteral("猫"));
    ASSERT_EQ(ShownSlots(), 20);
    Settings().resultsPerPage = 5;
    Search(QStringLiteral("猫"));
    EXPECT_EQ(ShownSlots(), 5);
    EXPECT_EQ(Main().ScrollBox1->Range(), 5 * 120);
}

TEST_F(ResultPagesTest, APageBeyondTheNewTotalShowsWhatCame) {
    Begin();
    service.Set(900);
    Search(QStringLiteral("猫"));
    service.Set(860, 7);
    Main().SpeedButton2_4->click();
    EXPECT_TRUE(service.LastSearch().contains("&results=20&start=881&"));
    EXPECT_EQ(Main().Label2_1->text(), QStringLiteral("ページ 45/43"));
    EXPECT_EQ(ShownSlots(), 7);
    EXPECT_EQ(Main().ScrollBox1->Range(), 7 * 120);
    EXPECT_FALSE(NextEnabled());
    EXPECT_TRUE(PreviousEnabled());
}

TEST_F(ResultPagesTest, PagingButtonsOfBothBars) {
    Begin();
    service.Set(50); // three pages
    Search(QStringLiteral("猫"));
    TMainForm1& w = Main();
    const struct {
        QToolButton* button;
        const char* labels;
        const char* range;
    } steps[] = {
        {w.SpeedButton3_4, "ページ 3/3", "&results=10&start=41&"},
        {w.SpeedButton2_2, "ページ 2/3", "&results=20&start=21&"},
        {w.SpeedButton3_1, "ページ 1/3", "&results=20&start=1&"},
        {w.SpeedButton3_3, "ページ 2/3", "&results=20&start=21&"},
        {w.SpeedButton3_2, "ページ 1/3", "&results=20&start=1&"},
        {w.SpeedButton2_3, "ページ 2/3", "&results=20&start=21&"},
        {w.SpeedButton2_1, "ページ 1/3", "&results=20&start=1&"},
    };
    for (const auto& step : steps) {
        step.button->click();
        EXPECT_EQ(w.Label3_1->text(), QString::fromUtf8(step.labels))
            << step.button->objectName().toStdString();
        EXPECT_TRUE(service.LastSearch().contains(step.range))
            << step.button->objectName().toStdString();
    }
    // The commands check their conditions themselves: on page 1 the first and previous
    // commands ask for nothing.
    const qsizetype before = service.server.Requests().size();
    w.SearchClient().showFirstPage();
    w.SearchClient().showPreviousPage();
    EXPECT_EQ(service.server.Requests().size(), before);
}

TEST_F(ResultPagesTest, AnEditedKeywordBoxGoesToCaptionAndHistoryNotToTheRequest) {
    Begin();
    service.Set(50);
    Search(QStringLiteral("猫"));
    Main().HistoryComboBox1->setEditText(QStringLiteral("犬"));
    Main().SpeedButton2_3->click();
    EXPECT_TRUE(service.LastSearch().contains("&query=%E7%8C%AB&"));
    EXPECT_EQ(Main().windowTitle(),
              QStringLiteral("ORVENA - Sorvel Browser -「犬」の動画検索結果 50件"));
    EXPECT_EQ(Main().HistoryComboBox1->itemText(0), QStringLiteral("犬"));
    EXPECT_EQ(Main().HistoryComboBox1->currentText(), QStringLiteral("犬"));
}

TEST_F(ResultPagesTest, AShownSlotCanBeOpenedWhileLaterThumbnailsLoad) {
    Begin();
    service.Set(3, 3, [](int i) {
        Row row;
        row.thumbnail = i == 1 ? "/thumbs/slow.jpg" : "/thumbs/good.jpg";
        return row;
    });
    TMainForm1& w = Main();
    bool clickedDuringLoad = false;
    QString progressDuringLoad;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!service.slowRequested || clickedDuringLoad)
            return;
        clickedDuringLoad = true;
        progressDuringLoad = w.StatusPanels[0]->text();
        EXPECT_FALSE(w.S1->isEnabled()); // the load is still under way
        QTest::mouseClick(w.SlotImages[0], Qt::LeftButton);
        service.slowReleased = true;
    });
    poll.start(5);
    Search(QStringLiteral("猫"));
    EXPECT_TRUE(clickedDuringLoad);
    EXPECT_EQ(progressDuringLoad, QStringLiteral("ページ1更新中 2/3"));
    EXPECT_EQ(Pane().navigations.back(), QStringLiteral("http://%1/watch/1").arg(service.host()));
    EXPECT_EQ(Pane().resultTitle(), QStringLiteral("T1"));
    EXPECT_TRUE(w.SlotCheckBoxes[0]->isChecked()); // the load had filled slot 1 before the click
    EXPECT_EQ(ShownSlots(), 3);
    EXPECT_TRUE(w.S1->isEnabled());
}

TEST_F(ResultPagesTest, OnlyWebPagesAreOpenedAndTheTopPageEnablesNothing) {
    Begin();
    service.Set(2, 2, [](int i) {
        Row row;
        row.referer = i == 0 ? "javascript:alert(1)" : "file:///etc/passwd";
        return row;
    });
    Search(QStringLiteral("猫"));
    TMainForm1& w = Main();
    const qsizetype navigations = Pane().navigations.size();
    QTest::mouseClick(w.SlotImages[0], Qt::LeftButton);
    QTest::mouseClick(w.SlotImages[1], Qt::LeftButton);
    EXPECT_EQ(Pane().navigations.size(), navigations);
    EXPECT_EQ(Pane().resultTitle(), QStringLiteral("T2"));
    EXPECT_TRUE(w.SlotCheckBoxes[0]->isChecked());

    const QString top = topPageUrl(service.host());
    for (const QString& location : {top, top + QStringLiteral("?ret=1")}) {
        Pane().Complete(location);
        EXPECT_FALSE(w.W1->isEnabled());
        EXPECT_FALSE(w.W2->isEnabled());
        EXPECT_TRUE(w.StatusPanels[3]->text().isEmpty());
    }
}

// The real browser pane: a result opened from a page of results completes its navigation, which
// enables the web commands and shows the address.
TEST_F(ResultPagesTest, TheRealBrowserPaneEnablesTheWebCommands) {
    // The real pane in place of the fixture's light one.
    TMainFormOptions withRealPane = options();
    withRealPane.CreateBrowserPane = TMainFormOptions().CreateBrowserPane;
    windows = std::make_unique<TProgramWindows>(withRealPane);
    TMainForm1& w = Main();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return w.Tag == 1; }));
    w.SearchClient().noImageFile = NoImagePath();

    service.Set(2);
    Search(QStringLiteral("猫"));
    ASSERT_EQ(ShownSlots(), 2);
    EXPECT_FALSE(w.W1->isEnabled()); // the top page alone enables nothing
    QTest::mouseClick(w.SlotImages[1], Qt::LeftButton);
    const QString page = QStringLiteral("http://%1/watch/2").arg(service.host());
    ASSERT_TRUE(WaitUntil([&] { return w.W1->isEnabled(); }, 30000));
    EXPECT_TRUE(w.W2->isEnabled());
    EXPECT_EQ(w.StatusPanels[3]->text(), page);
}
