#include "AppTestUtil.h"
#include "Pixels.h"
#include "ScriptedHttpServer.h"
#include "SearchAnswer.h"

#include "app/ResultScrollArea.h"
#include "controls/ClickableImage.h"
#include "controls/GradientBox.h"
#include "controls/HistoryComboBox.h"
#include "controls/ImageCheckBox.h"
#include "search/ServiceHost.h"

#include <QAction>
#include <QApplication>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <atomic>

namespace {

// An answer of the search service with a total and one result per title.
QByteArray searchAnswer(int total, const QList<QByteArray>& titles = {}) {
    QByteArray blocks;
    for (const QByteArray& title : titles)
        blocks += "<Result><Title>" + title +
                  "</Title><Duration>125</Duration><Copyright>Youtube</Copyright>"
                  "<RefererUrl>http://127.0.0.1:9/watch</RefererUrl><Url></Url></Result>";
    return answerOf(total, blocks);
}

class MainWindowTest : public ProgramFixture {
protected:
    QList<QToolButton*> pagingButtons() {
        QList<QToolButton*> buttons;
        for (const char* bar : {"upper", "lower"}) {
            for (const char* page : {"First", "Previous", "Next", "Last"})
                buttons << button(QStringLiteral("%1%2PageButton").arg(bar, page));
        }
        return buttons;
    }
};

} // namespace

TEST_F(MainWindowTest, FirstDisplay) {
    start();
    MainWindow& w = mainWindow();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("ORVENA - Sorvel Browser"));
    EXPECT_EQ(w.baseCaption(), QStringLiteral("ORVENA - Sorvel Browser"));
    EXPECT_EQ(w.frameGeometry().size(), QSize(1024, 640));

    ASSERT_EQ(
        w.findChildren<QFrame*>(QRegularExpression(QStringLiteral("^resultSlot[0-9]+$"))).size(),
        20);
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(w.resultSlot(i).panel->isVisibleTo(&w));
        EXPECT_EQ(w.resultSlot(i).infoLabel->text(), QStringLiteral("-"));
        EXPECT_FALSE(w.resultSlot(i).checkBox->isChecked());
    }
    EXPECT_EQ(label("upperPageLabel")->text(), QStringLiteral("ページ 0/0"));
    EXPECT_EQ(label("lowerPageLabel")->text(), QStringLiteral("ページ 0/0"));
    for (QToolButton* button : pagingButtons()) {
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
        EXPECT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
    }
    EXPECT_EQ(find<ResultScrollArea>("resultArea")->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(find<ResultScrollArea>("resultArea")->range(), 0);
    EXPECT_FALSE(action("openInBrowserAction")->isEnabled());
    EXPECT_FALSE(action("mailLinkAction")->isEnabled());
    EXPECT_TRUE(action("searchAction")->isEnabled());
    EXPECT_EQ(pane().navigations, QStringList{QStringLiteral("http://127.0.0.1:9/files/sorvel/")});
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(statusPanel(i)->text().isEmpty()) << i;
    // The first activation's search found an empty keyword box: nothing was asked.
    EXPECT_TRUE(messages.errors.isEmpty());
    EXPECT_TRUE(messages.information.isEmpty());
}

TEST_F(MainWindowTest, SlotGeometryAndListOrder) {
    create();
    MainWindow& w = mainWindow();
    const struct {
        int k;
        int top;
    } cases[] = {{1, 0}, {2, 120}, {10, 1080}, {20, 2280}};
    for (const auto& s : cases) {
        const QWidget* panel = w.findChild<QWidget*>(QStringLiteral("resultSlot%1").arg(s.k));
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->y(), s.top);
        EXPECT_EQ(panel->x(), 0);
        EXPECT_EQ(panel->height(), 120);
    }
    EXPECT_EQ(w.slotHeight(), 120);

    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        const QString k = QString::number(i + 1);
        EXPECT_EQ(w.resultSlot(i).panel->objectName(), QStringLiteral("resultSlot") + k);
        EXPECT_EQ(w.resultSlot(i).checkBox->objectName(), QStringLiteral("resultCheckBox") + k);
        EXPECT_EQ(w.resultSlot(i).thumbnail->objectName(), QStringLiteral("resultThumbnail") + k);
        EXPECT_EQ(w.resultSlot(i).infoLabel->objectName(), QStringLiteral("resultInfo") + k);
        EXPECT_EQ(w.resultSlot(i).strip->objectName(), QStringLiteral("resultStrip") + k);
        const ResultSlot slot = w.resultSlot(i);
        for (QWidget* part :
             {static_cast<QWidget*>(slot.strip), static_cast<QWidget*>(slot.thumbnail),
              static_cast<QWidget*>(slot.infoLabel), static_cast<QWidget*>(slot.checkBox)})
            EXPECT_EQ(part->parentWidget(), slot.panel);
        // Stacking inside the slot: strip, picture, label, check box on top.
        const QObjectList& order = slot.panel->children();
        EXPECT_LT(order.indexOf(slot.strip), order.indexOf(slot.thumbnail));
        EXPECT_LT(order.indexOf(slot.thumbnail), order.indexOf(slot.infoLabel));
        EXPECT_LT(order.indexOf(slot.infoLabel), order.indexOf(slot.checkBox));
    }
}

TEST_F(MainWindowTest, SlotLayout) {
    start();
    const ResultSlot slot = mainWindow().resultSlot(0);
    // The column at its design width; the slots reach to the right edge of its content.
    EXPECT_EQ(find<QFrame>("resultColumn")->width(), 255);
    EXPECT_EQ(find<ResultScrollArea>("resultArea")->width(), 255);
    mainWindow().setResultScrollRange(2400);
    QWidget* viewport = find<ResultScrollArea>("resultArea")->viewport();
    ASSERT_TRUE(waitUntil(
        [&] { return find<ResultScrollArea>("resultArea")->verticalScrollBar()->isVisible(); }));
    const int width = viewport->width();
    EXPECT_LT(width, 255 - 2);
    EXPECT_EQ(slot.panel->width(), width);
    EXPECT_EQ(slot.strip->geometry(), QRect(1, 99, width - 2, 20));
    EXPECT_EQ(slot.thumbnail->geometry(), QRect(8, 22, 120, 90));
    EXPECT_EQ(slot.infoLabel->geometry(), QRect(136, 28, width - 144, 60));
    EXPECT_EQ(slot.checkBox->geometry(), QRect(4, 4, 22, 18));
    EXPECT_TRUE(slot.infoLabel->wordWrap());
    EXPECT_EQ(slot.infoLabel->font().pixelSize(), 12);
    EXPECT_TRUE(slot.checkBox->font().bold());
    EXPECT_EQ(slot.thumbnail->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(slot.checkBox->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(slot.strip->direction(), GradientBox::Direction::TopToBottom);
    EXPECT_EQ(slot.strip->startColor(), WhiteColor);
    EXPECT_EQ(slot.strip->endColor(), 0xE2E2E2u);
    EXPECT_EQ(find<GradientBox>("leftBackground")->direction(),
              GradientBox::Direction::RightToLeft);
    EXPECT_EQ(find<GradientBox>("rightBackground")->direction(),
              GradientBox::Direction::LeftToRight);
    EXPECT_EQ(find<GradientBox>("leftBackground")->height(), 2400);
    EXPECT_EQ(find<GradientBox>("rightBackground")->geometry().right(), width - 1);

    // The range is the scroll bar's reach beyond the visible part.
    const int visible = find<ResultScrollArea>("resultArea")->viewport()->height();
    EXPECT_EQ(find<ResultScrollArea>("resultArea")->verticalScrollBar()->maximum(), 2400 - visible);
    mainWindow().setResultScrollRange(0);
    EXPECT_EQ(find<ResultScrollArea>("resultArea")->verticalScrollBar()->maximum(), 0);
}

TEST_F(MainWindowTest, ToolBarMenuAndStatusBarAsDesigned) {
    create();
    MainWindow& w = mainWindow();
    EXPECT_EQ(find<QFrame>("toolBar")->height(), 36);
    EXPECT_EQ(find<HistoryComboBox>("keywordBox")->geometry(), QRect(8, 6, 274, 24));
    EXPECT_EQ(find<HistoryComboBox>("keywordBox")->maxLength(), 45);
    EXPECT_EQ(find<HistoryComboBox>("keywordBox")->maxVisibleItems(), 30);
    EXPECT_EQ(find<HistoryComboBox>("keywordBox")->toolTip(),
              QStringLiteral("動画の検索キーワード"));
    EXPECT_EQ(find<HistoryComboBox>("keywordBox")->font().pixelSize(), 16);
    const struct {
        QToolButton* button;
        QRect geometry;
        const char* caption;
        const char* hint;
    } buttons[] = {
        {button("searchButton"), {284, 6, 70, 24}, "検索", "動画の検索"},
        {button("searchSettingsButton"), {366, 6, 80, 24}, "検索設定", "動画の検索設定"},
        {button("topPageButton"), {458, 6, 100, 24}, "トップページ", "トップページの参照"},
        {button("stopButton"), {570, 6, 60, 24}, "中止", "読み込みの中止"},
    };
    for (const auto& b : buttons) {
        EXPECT_EQ(b.button->geometry(), b.geometry);
        EXPECT_EQ(b.button->text(), QString::fromUtf8(b.caption));
        EXPECT_EQ(b.button->toolTip(), QString::fromUtf8(b.hint));
        EXPECT_TRUE(b.button->autoRaise());
        EXPECT_EQ(b.button->cursor().shape(), Qt::PointingHandCursor);
    }
    // Stop is there for a load that runs.
    EXPECT_FALSE(button("stopButton")->isEnabled());
    EXPECT_EQ(find<QTabWidget>("pageTabs")->tabPosition(), QTabWidget::West);
    EXPECT_EQ(find<QTabWidget>("pageTabs")->tabText(0), QStringLiteral("  動画検索  "));
    EXPECT_TRUE(find<QTabWidget>("pageTabs")->tabBar()->font().bold());
    EXPECT_EQ(button("upperFirstPageButton")->toolTip(), QStringLiteral("最初のページ"));
    EXPECT_EQ(button("lowerLastPageButton")->toolTip(), QStringLiteral("最後のページ"));
    EXPECT_EQ(button("upperNextPageButton")->geometry(), QRect(176, 2, 32, 24));
    EXPECT_EQ(label("lowerPageLabel")->geometry(), QRect(76, 2, 100, 24));

    ASSERT_EQ(
        w.findChildren<QLabel*>(QRegularExpression(QStringLiteral("^statusPanel[0-9]+$"))).size(),
        4);
    EXPECT_EQ(statusPanel(0)->width(), 150);
    EXPECT_EQ(statusPanel(2)->width(), 84);
    EXPECT_TRUE(statusPanel(1)->alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(statusPanel(3)->alignment() & Qt::AlignLeft);

    // The menu bar in display order: name, caption, shortcut, enabled, ticked.
    const struct {
        const char* name;
        const char* caption;
        QKeySequence shortcut;
        bool enabled;
        bool checked;
    } items[] = {
        {"openInBrowserAction", "参照中のページを規定のブラウザで開く(&B)", {}, false, false},
        {"mailLinkAction", "参照中のページをメールで送る(&M)", {}, false, false},
        {"copyPageAddressAction", "参照中のページのアドレスをコピー(&C)",
         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), false, false},
        {"quitSeparator", "", {}, true, false},
        {"quitAction", "終了(&X)", QKeySequence(Qt::CTRL | Qt::Key_Q), true, false},
        {"showToolBarAction", "ツールバー(&T)", {}, true, true},
        {"showStatusBarAction", "ステータスバー(&S)", {}, true, true},
        {"paneHistorySeparator", "", {}, true, false},
        {"backAction", "戻る(&B)", QKeySequence(Qt::ALT | Qt::Key_Left), false, false},
        {"forwardAction", "進む(&F)", QKeySequence(Qt::ALT | Qt::Key_Right), false, false},
        {"reloadAction", "最新の情報に更新(&R)", QKeySequence(Qt::Key_F5), true, false},
        {"fullScreenSeparator", "", {}, true, false},
        {"fullScreenAction", "全画面表示(&U)", QKeySequence(Qt::Key_F11), true, false},
        {"searchAction", "検索(&S)", QKeySequence(Qt::CTRL | Qt::Key_S), true, false},
        {"stopAction", "中止(&T)", QKeySequence(Qt::Key_Escape), false, false},
        {"searchSettingsSeparator", "", {}, true, false},
        {"searchSettingsAction", "検索設定(&O)...", {}, true, false},
        {"clearHistorySeparator", "", {}, true, false},
        {"clearHistoryAction", "検索履歴を消去(&D)", {}, true, false},
        {"focusKeywordSeparator", "", {}, true, false},
        {"focusKeywordAction", "キーワード入力欄へ移動(&K)", QKeySequence(Qt::CTRL | Qt::Key_L),
         true, false},
        {"pagingSeparator", "", {}, true, false},
        {"firstPageAction", "最初のページ(&F)", QKeySequence(Qt::ALT | Qt::Key_Home), false, false},
        {"previousPageAction", "前のページ(&P)", QKeySequence(Qt::CTRL | Qt::Key_PageUp), false,
         false},
        {"nextPageAction", "次のページ(&N)", QKeySequence(Qt::CTRL | Qt::Key_PageDown), false,
         false},
        {"lastPageAction", "最後のページ(&L)", QKeySequence(Qt::ALT | Qt::Key_End), false, false},
        {"topPageAction", "トップページ(&T)", {}, true, false},
        {"makerSiteSeparator", "", {}, true, false},
        {"makerSiteAction", "ORVENAのWEBサイト(&L)...", {}, true, false},
        {"softwareInfoSeparator", "", {}, true, false},
        {"softwareInfoAction", "ソフトウェア情報(&V)...", {}, true, false},
        {"aboutAction", "バージョン情報(&A)...", {}, true, false},
    };
    QList<QAction*> shown;
    QStringList menus;
    for (QAction* menuAction : find<QMenuBar>("menuBar")->actions()) {
        menus << menuAction->menu()->objectName() + u'=' + menuAction->text();
        shown += menuAction->menu()->actions();
    }
    EXPECT_EQ(menus, (QStringList{QStringLiteral("webMenu=ウェブ(&W)"),
                                  QStringLiteral("viewMenu=表示(&V)"),
                                  QStringLiteral("searchMenu=検索(&S)"),
                                  QStringLiteral("helpMenu=ヘルプ(&H)")}));
    ASSERT_EQ(shown.size(), std::size(items));
    for (size_t i = 0; i < std::size(items); ++i) {
        SCOPED_TRACE(items[i].name);
        EXPECT_EQ(shown[i]->objectName(), QLatin1String(items[i].name));
        EXPECT_EQ(shown[i]->isSeparator(),
                  QLatin1String(items[i].name).endsWith(QLatin1String("Separator")));
        if (!shown[i]->isSeparator()) {
            EXPECT_EQ(shown[i]->text(), QString::fromUtf8(items[i].caption));
        }
        EXPECT_EQ(shown[i]->shortcut(), items[i].shortcut);
        EXPECT_EQ(shown[i]->isEnabled(), items[i].enabled);
        EXPECT_EQ(shown[i]->isChecked(), items[i].checked);
    }
    // Two keys each for reloading and for the keyword box; the menu shows the first.
    EXPECT_EQ(action("reloadAction")->shortcuts(),
              (QList<QKeySequence>{QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)}));
    EXPECT_EQ(action("focusKeywordAction")->shortcuts(),
              (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::Key_F6)}));
}

TEST_F(MainWindowTest, EnterTheSearchButtonAndTheSearchActionRunTheSearch) {
    ScriptedHttpServer server(
        ScriptedHttpServer::reply(ScriptedHttpServer::response(200, searchAnswer(0))));
    serviceHost = QString::fromLatin1(server.hostAndPort());
    start();
    MainWindow& w = mainWindow();
    find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("猫"));

    const std::function<void()> commands[] = {
        [&] { QTest::keyClick(find<HistoryComboBox>("keywordBox"), Qt::Key_Return); },
        [&] { button("searchButton")->click(); },
        [&] { action("searchAction")->trigger(); },
    };
    int expected = 0;
    for (const auto& command : commands) {
        command();
        ++expected;
        ASSERT_TRUE(waitUntil([&] { return server.requests().size() == expected; }));
        EXPECT_TRUE(action("searchAction")->isEnabled());
    }
    // A first start: no count chosen, so twenty; no adult choice, so -1.
    const QByteArray request = server.requests().front();
    EXPECT_TRUE(request.startsWith(
        "GET /files/sorvel/api_yahoo.php?&query=%E7%8C%AB&results=20&start=1&adult_ok=-1&site="
        "&uniqueid="))
        << request.toStdString();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("ORVENA - Sorvel Browser -「猫」の動画検索結果 0件"));
    EXPECT_EQ(find<HistoryComboBox>("keywordBox")->currentText(), QStringLiteral("猫"));
    EXPECT_TRUE(messages.errors.isEmpty());
}

TEST_F(MainWindowTest, PageOfResultsAndActivation) {
    ScriptedHttpServer server(ScriptedHttpServer::reply(
        ScriptedHttpServer::response(200, searchAnswer(45, {"first", "second"}))));
    serviceHost = QString::fromLatin1(server.hostAndPort());
    start();
    MainWindow& w = mainWindow();
    find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("dog"));
    button("searchButton")->click();

    EXPECT_EQ(label("upperPageLabel")->text(), QStringLiteral("ページ 1/3"));
    EXPECT_EQ(label("lowerPageLabel")->text(), QStringLiteral("ページ 1/3"));
    EXPECT_TRUE(w.resultSlot(0).panel->isVisibleTo(&w));
    EXPECT_TRUE(w.resultSlot(1).panel->isVisibleTo(&w));
    EXPECT_FALSE(w.resultSlot(2).panel->isVisibleTo(&w));
    EXPECT_EQ(w.resultSlot(1).checkBox->caption(), QStringLiteral("second"));
    EXPECT_FALSE(button("upperFirstPageButton")->isEnabled());
    EXPECT_TRUE(button("lowerNextPageButton")->isEnabled());
    EXPECT_EQ(find<ResultScrollArea>("resultArea")->range(), 20 * 120);
    EXPECT_EQ(find<HistoryComboBox>("keywordBox")->count(), 1);

    // A click on the second thumbnail opens its page and marks it viewed.
    QTest::mouseClick(w.resultSlot(1).thumbnail, Qt::LeftButton);
    EXPECT_EQ(pane().navigations.back(), QStringLiteral("http://127.0.0.1:9/watch"));
    EXPECT_EQ(pane().resultTitle(), QStringLiteral("second"));
    EXPECT_TRUE(w.resultSlot(1).checkBox->isChecked());
    EXPECT_FALSE(w.resultSlot(0).checkBox->isChecked());

    // The lower bar's "next" pages on like the upper one.
    button("lowerNextPageButton")->click();
    EXPECT_EQ(label("upperPageLabel")->text(), QStringLiteral("ページ 2/3"));
    EXPECT_TRUE(server.requests().back().contains("&start=21&"));
}

// The widgets go last when the window is destroyed; by then no notice of theirs may reach the
// search controller or the window, which are gone.
TEST_F(MainWindowTest, NoNoticeReachesTheWindowDuringItsTeardown) {
    start();
    bool connected = true;
    pane().connectedAtDestruction = &connected;
    stop();
    EXPECT_FALSE(connected);
}

TEST_F(MainWindowTest, NavigationBarsKeepTheirPlaceWhenTheColumnIsResized) {
    start();
    MainWindow& w = mainWindow();
    EXPECT_EQ(button("upperFirstPageButton")->geometry(), QRect(20, 2, 24, 24));
    EXPECT_EQ(label("lowerPageLabel")->geometry(), QRect(76, 2, 100, 24));
    EXPECT_EQ(button("lowerLastPageButton")->geometry(), QRect(208, 2, 24, 24));

    // Dragging the splitter: the column grows, the bars' controls keep their relative place.
    find<QSplitter>("splitter")
        ->setSizes({510, find<QSplitter>("splitter")->width() - 510 -
                             find<QSplitter>("splitter")->handleWidth()});
    ASSERT_TRUE(waitUntil([&] { return find<QFrame>("upperNavigationBar")->width() == 510; }));
    EXPECT_EQ(label("upperPageLabel")->geometry(), QRect(2 * 126 - 50, 2, 100, 24));
    EXPECT_EQ(button("upperFirstPageButton")->geometry(), QRect(2 * 32 - 12, 2, 24, 24));
    EXPECT_EQ(button("lowerLastPageButton")->geometry(), QRect(2 * 220 - 12, 2, 24, 24));
    EXPECT_EQ(w.resultSlot(0).panel->width(),
              find<ResultScrollArea>("resultArea")->viewport()->width());
}

namespace {

// A desktop's dark theme as the application gets it: light text on dark grounds.
QPalette darkPalette() {
    const QColor window(45, 45, 45);
    QPalette palette(Qt::white, QColor(60, 60, 60), QColor(90, 90, 90), QColor(20, 20, 20),
                     QColor(40, 40, 40), Qt::white, Qt::white, QColor(30, 30, 30), window);
    palette.setColor(QPalette::ButtonText, Qt::white);
    return palette;
}

// Sets the application's palette for the life of the object.
class ApplicationPalette final {
public:
    explicit ApplicationPalette(const QPalette& palette)
        : m_saved(QApplication::palette()) {
        QApplication::setPalette(palette);
    }
    ~ApplicationPalette() { QApplication::setPalette(m_saved); }
    Q_DISABLE_COPY_MOVE(ApplicationPalette)

private:
    QPalette m_saved;
};

int lightness(QRgb color) {
    return (qRed(color) * 299 + qGreen(color) * 587 + qBlue(color) * 114) / 1000;
}

// How far the text in a part of an image stands out from what it is drawn on: the most
// frequent colour there is the ground, the pixel farthest from it in lightness is the text.
int textContrast(const QImage& image, const QRect& area) {
    QHash<QRgb, int> counts;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[pixelAt(image, x, y)];
    QRgb ground = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            ground = it.key();
        }
    }
    int contrast = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        contrast = std::max(contrast, std::abs(lightness(it.key()) - lightness(ground)));
    return contrast;
}

} // namespace

// Under a dark desktop theme every text of the window stays readable: the designed light
// surfaces (tool bar, result column) keep their own colours and the text drawn on them, the rest
// follows the theme, text and ground alike.
TEST_F(MainWindowTest, EveryTextStandsOutUnderADarkPalette) {
    const ApplicationPalette dark(darkPalette());
    start();
    MainWindow& w = mainWindow();
    find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("猫"));
    w.setStatusText(0, QStringLiteral("ページ1更新中 1/1"));
    const ResultSlot slot = w.resultSlot(0);
    slot.infoLabel->setText(QStringLiteral("[Youtube]\n\n2分5秒\n\n"));
    slot.checkBox->setCaption(QStringLiteral("猫の動画"));
    slot.panel->show();
    QApplication::processEvents();

    const QImage image = grab(w);
    const auto place = [&w](QWidget* widget, QRect area = {}) {
        if (area.isNull())
            area = widget->rect();
        return area.translated(widget->mapTo(&w, QPoint(0, 0)));
    };
    const struct {
        const char* name;
        QRect area;
    } texts[] = {
        {"searchButton", place(button("searchButton"))},
        {"searchSettingsButton", place(button("searchSettingsButton"))},
        {"topPageButton", place(button("topPageButton"))},
        {"keywordBox", place(find<HistoryComboBox>("keywordBox"))},
        {"tab", place(find<QTabWidget>("pageTabs")->tabBar(),
                      find<QTabWidget>("pageTabs")->tabBar()->tabRect(0))},
        {"upperPageLabel", place(label("upperPageLabel"))},
        {"lowerPageLabel", place(label("lowerPageLabel"))},
        {"resultInfo1", place(slot.infoLabel)},
        {"resultCheckBox1", place(slot.checkBox)},
        {"statusPanel0", place(statusPanel(0))},
    };
    for (const auto& t : texts)
        EXPECT_GE(textContrast(image, t.area), 110) << t.name;

    // The designed surfaces as designed: the tool bar's gradient ends in light grey, the column
    // and the slots are white.
    const QRect toolBar = place(find<GradientBox>("toolBarBackground"));
    EXPECT_EQ(pixelAt(image, toolBar.left() + 600, toolBar.bottom()), rgb(226, 226, 226));
    const QRect column = place(find<ResultScrollArea>("resultArea")->viewport());
    EXPECT_EQ(pixelAt(image, column.center().x(), column.bottom() - 1), rgb(255, 255, 255));
    EXPECT_EQ(pixelAt(image, place(slot.panel).left() + 180, place(slot.panel).top() + 10),
              rgb(255, 255, 255));
}

// While the service holds its answer, Escape (wherever the focus is in the window), the tool
// bar's 中止 and the menu's 中止 each end the load at once: the controls and the page shown
// stay, status panel 0 says it was stopped, and 中止 is off again.
TEST_F(MainWindowTest, StopEndsAStalledLoadByKeyButtonOrMenu) {
    // Answers the first page; holds every other, and says when it has stopped holding one.
    std::atomic<bool> stallEnded{false};
    ScriptedHttpServer server(
        [&](ScriptedHttpServer::Connection& c) {
            if (c.readRequest().contains("&start=1&")) {
                c.send(ScriptedHttpServer::response(200, searchAnswer(45, {"first"})));
            } else {
                c.stall(std::chrono::seconds(20));
                stallEnded = true;
            }
        },
        ScriptedHttpServer::concurrently());
    serviceHost = QString::fromLatin1(server.hostAndPort());
    start();
    MainWindow& w = mainWindow();
    find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("dog"));
    button("searchButton")->click();
    ASSERT_TRUE(waitUntil([&] { return !w.searchController().isLoading(); }));
    ASSERT_TRUE(w.resultSlot(0).panel->isVisibleTo(&w));

    const struct {
        const char* name;
        std::function<void()> stop;
    } ways[] = {
        {"Escape in the keyword box",
         [&] { QTest::keyClick(find<HistoryComboBox>("keywordBox"), Qt::Key_Escape); }},
        {"Escape in the result column",
         [&] { QTest::keyClick(w.resultSlot(0).panel, Qt::Key_Escape); }},
        {"the tool bar", [&] { button("stopButton")->click(); }},
        {"the menu", [&] { action("stopAction")->trigger(); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        const qsizetype asked = server.requests().size();
        bool stopped = false;
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (server.requests().size() == asked || stopped)
                return;
            EXPECT_TRUE(button("stopButton")->isEnabled());
            EXPECT_FALSE(button("searchButton")->isEnabled());
            stopped = true;
            way.stop();
        });
        stopper.start(5);
        button("lowerNextPageButton")->click();
        ASSERT_TRUE(stopped);
        // The load ended while the server still held its answer: the stop did not wait for it.
        EXPECT_FALSE(stallEnded);
        EXPECT_TRUE(button("searchButton")->isEnabled());
        EXPECT_TRUE(action("searchAction")->isEnabled());
        EXPECT_FALSE(button("stopButton")->isEnabled());
        EXPECT_FALSE(action("stopAction")->isEnabled());
        EXPECT_EQ(statusPanel(0)->text(), QStringLiteral("中止しました"));
        EXPECT_TRUE(w.resultSlot(0).panel->isVisibleTo(&w));
        EXPECT_EQ(label("upperPageLabel")->text(), QStringLiteral("ページ 1/3"));
        // The paging buttons stay off, as after any failed load; a search is the way on.
        EXPECT_FALSE(button("lowerNextPageButton")->isEnabled());
        button("searchButton")->click();
        ASSERT_TRUE(waitUntil([&] { return !w.searchController().isLoading(); }));
        ASSERT_TRUE(button("lowerNextPageButton")->isEnabled());
    }
    EXPECT_TRUE(messages.information.isEmpty());
    EXPECT_TRUE(messages.errors.isEmpty());
}

// The web engine pane takes its proxies from the environment as the rest of the program does,
// by curl's rules: http_proxy before all_proxy (the engine on its own would take all_proxy
// first). The proxy on loopback sees the page the pane is sent to, the other one nothing.
TEST_F(MainWindowTest, TheBrowserPaneGoesThroughTheProxyOfTheEnvironment) {
    if (!qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").isEmpty())
        GTEST_SKIP() << "the web engine has switches of its own in this run";
    const auto proxyAnswering = [&](const QByteArray& text) {
        return std::make_unique<ScriptedHttpServer>(
            ScriptedHttpServer::reply(ScriptedHttpServer::response(
                200, "<html><body>" + text + "</body></html>", {"Content-Type: text/html"})),
            ScriptedHttpServer::concurrently());
    };
    const auto proxy = proxyAnswering("proxied");
    const auto other = proxyAnswering("wrong proxy");
    {
        const ScopedVariable http("http_proxy", QString::fromLatin1(proxy->url("")));
        const ScopedVariable all("all_proxy", QString::fromLatin1(other->url("")));
        MainWindowOptions withRealPane = options();
        withRealPane.createBrowserPane = MainWindowOptions().createBrowserPane;
        windows = std::make_unique<ProgramWindows>(withRealPane);
    }
    MainWindow& w = mainWindow();
    w.show();
    w.browserPane().navigate(QStringLiteral("http://videos.test/watch/1"));
    const auto asked = [](const ScriptedHttpServer& server) {
        for (const QByteArray& request : server.requests())
            if (request.startsWith("GET http://videos.test/watch/1 "))
                return true;
        return false;
    };
    EXPECT_TRUE(waitUntil([&] { return asked(*proxy) || asked(*other); }, 30000));
    EXPECT_TRUE(asked(*proxy));
    EXPECT_TRUE(other->requests().isEmpty());
}
