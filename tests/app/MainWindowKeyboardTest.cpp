#include "AppTestUtil.h"
#include "FakePrograms.h"
#include "ScriptedHttpServer.h"
#include "ScriptedSearchService.h"
#include "SearchAnswer.h"

#include "app/ResultScrollArea.h"
#include "controls/ClickableImage.h"
#include "controls/HistoryComboBox.h"
#include "controls/ImageCheckBox.h"
#include "platform/Profile.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>

namespace {

class MainWindowKeyboardTest : public ProgramFixture {
protected:
    // Thirty results: result n is titled "Tn", lasts 125 seconds, comes from Youtube and has its
    // page at /watch/n (service.pageOf(n)); no video address, no thumbnail.
    MainWindowKeyboardTest() {
        service.setResults(30, -1, [](int) {
            ScriptedSearchService::Row row;
            row.thumbnail.clear();
            row.videoUrl = false;
            return row;
        });
        serviceHost = service.host();
    }

    // Chooses an item of the open menu by its access key. The offscreen platform, unlike a
    // desktop, leaves no window active when a menu closes: the main window is activated again.
    void choose(int accessKey) {
        ASSERT_EQ(QApplication::activePopupWidget(), resultMenu());
        press(accessKey);
        ASSERT_EQ(QApplication::activePopupWidget(), nullptr);
        mainWindow().activateWindow();
        ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &mainWindow(); }));
    }

    // Starts the program and searches from the keyboard.
    void startAndSearch() {
        start();
        press(Qt::Key_L, Qt::ControlModifier);
        typeText(QApplication::focusWidget(), QStringLiteral("猫"));
        press(Qt::Key_Return);
        ASSERT_EQ(service.searches(), 1);
    }

    QWidget* slotPanel(int number) { return mainWindow().resultSlot(number - 1).panel; }
    ImageCheckBox* checkBox(int number) { return mainWindow().resultSlot(number - 1).checkBox; }
    QMenu* resultMenu() { return find<QMenu>("resultMenu"); }

    ScriptedSearchService service;
};

QString spokenName(QObject* object) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible ? accessible->text(QAccessible::Name) : QStringLiteral("<none>");
}

} // namespace

TEST_F(MainWindowKeyboardTest, TheKeywordBoxIsReachedWithItsTextSelected) {
    start();
    auto* box = find<HistoryComboBox>("keywordBox");
    box->setEditText(QStringLiteral("犬と猫"));
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::Key_F6)}) {
        SCOPED_TRACE(keys.toString().toStdString());
        pane().setFocus();
        box->lineEdit()->deselect();
        press(keys[0].key(), keys[0].keyboardModifiers());
        EXPECT_TRUE(box->lineEdit()->hasFocus());
        EXPECT_EQ(box->lineEdit()->selectedText(), QStringLiteral("犬と猫"));
    }
    // A hidden tool bar comes back, so that the box can take the keys.
    action("showToolBarAction")->trigger();
    ASSERT_TRUE(find<QFrame>("toolBar")->isHidden());
    press(Qt::Key_L, Qt::ControlModifier);
    EXPECT_FALSE(find<QFrame>("toolBar")->isHidden());
    EXPECT_TRUE(action("showToolBarAction")->isChecked());
    EXPECT_TRUE(box->lineEdit()->hasFocus());
}

TEST_F(MainWindowKeyboardTest, TabReachesTheSlotsWhichTheArrowsWalkAndEnterOpens) {
    startAndSearch();
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), slotPanel(1));
    EXPECT_TRUE(findIn<QWidget>(*slotPanel(1), QStringLiteral("focusFrame"))->isVisible());

    const struct {
        int key;
        int focused;
    } walk[] = {
        {Qt::Key_Up, 1},    {Qt::Key_Down, 2}, {Qt::Key_Down, 3}, {Qt::Key_End, 20},
        {Qt::Key_Down, 20}, {Qt::Key_Home, 1}, {Qt::Key_Down, 2}, {Qt::Key_Down, 3},
    };
    for (const auto& step : walk) {
        press(step.key);
        EXPECT_EQ(QApplication::focusWidget(), slotPanel(step.focused)) << step.focused;
        // Scrolled into the column's view.
        QWidget* viewport = find<ResultScrollArea>("resultArea")->viewport();
        const QRect slot(slotPanel(step.focused)->mapTo(viewport, QPoint()),
                         slotPanel(step.focused)->size());
        EXPECT_TRUE(viewport->rect().contains(slot)) << step.focused;
    }
    EXPECT_FALSE(findIn<QWidget>(*slotPanel(1), QStringLiteral("focusFrame"))->isVisible());
    EXPECT_TRUE(findIn<QWidget>(*slotPanel(3), QStringLiteral("focusFrame"))->isVisible());

    // Enter opens the result as a click on its thumbnail does: page, title, tick.
    press(Qt::Key_Return);
    EXPECT_EQ(pane().navigations.back(), service.pageOf(3));
    EXPECT_EQ(pane().resultTitle(), QStringLiteral("T3"));
    EXPECT_TRUE(checkBox(3)->isChecked());
    EXPECT_FALSE(checkBox(2)->isChecked());
    press(Qt::Key_Up);
    press(Qt::Key_Space);
    EXPECT_EQ(pane().navigations.back(), service.pageOf(2));
    EXPECT_TRUE(checkBox(2)->isChecked());

    // The column is one stop of the Tab order, at the slot last walked to.
    press(Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), slotPanel(3));
    EXPECT_FALSE(slotPanel(3)->isAncestorOf(QApplication::focusWidget()));
    press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), slotPanel(2));
}

TEST_F(MainWindowKeyboardTest, PagingKeysActWhenThePagingButtonsDo) {
    startAndSearch(); // 30 results: two pages
    press(Qt::Key_Tab);
    press(Qt::Key_Down);
    ASSERT_EQ(QApplication::focusWidget(), slotPanel(2));
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        int searches;
        const char* label;
    } steps[] = {
        {Qt::Key_PageUp, Qt::ControlModifier, 1, "ページ 1/2"},
        {Qt::Key_Home, Qt::AltModifier, 1, "ページ 1/2"},
        {Qt::Key_PageDown, Qt::ControlModifier, 2, "ページ 2/2"},
        {Qt::Key_PageDown, Qt::ControlModifier, 2, "ページ 2/2"},
        {Qt::Key_End, Qt::AltModifier, 2, "ページ 2/2"},
        {Qt::Key_PageUp, Qt::ControlModifier, 3, "ページ 1/2"},
        {Qt::Key_End, Qt::AltModifier, 4, "ページ 2/2"},
        {Qt::Key_Home, Qt::AltModifier, 5, "ページ 1/2"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.searches);
        press(step.key, step.modifiers);
        EXPECT_EQ(service.searches(), step.searches);
        EXPECT_EQ(label("upperPageLabel")->text(), QString::fromUtf8(step.label));
        // The keyboard goes on from the first slot of the new page.
        EXPECT_EQ(QApplication::focusWidget(), slotPanel(service.searches() > 1 ? 1 : 2));
        EXPECT_EQ(action("nextPageAction")->isEnabled(),
                  button("upperNextPageButton")->isEnabled());
        EXPECT_EQ(action("firstPageAction")->isEnabled(),
                  button("lowerFirstPageButton")->isEnabled());
    }
    // The thumbnails have no address: every request was a search.
    EXPECT_TRUE(service.server.requests().back().contains("&results=20&start=1&"));
}

TEST_F(MainWindowKeyboardTest, TheResultMenuOpensFromTheKeysAndTheMouse) {
    startAndSearch();
    press(Qt::Key_Tab);
    press(Qt::Key_Down);
    const struct {
        std::function<void()> open;
        int slot;
    } openers[] = {
        {[&] { press(Qt::Key_Menu); }, 2},
        {[&] { press(Qt::Key_F10, Qt::ShiftModifier); }, 2},
        {[&] {
             // A right click on the third slot's thumbnail.
             QWidget* thumbnail = mainWindow().resultSlot(2).thumbnail;
             QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 10),
                                     thumbnail->mapToGlobal(QPoint(10, 10)));
             QApplication::sendEvent(thumbnail, &click);
         },
         3},
    };
    for (const auto& opener : openers) {
        SCOPED_TRACE(opener.slot);
        opener.open();
        QStringList items;
        for (QAction* item : resultMenu()->actions())
            items << item->text();
        EXPECT_EQ(items, (QStringList{QStringLiteral("開く(&O)"),
                                      QStringLiteral("既定のブラウザで開く(&B)"),
                                      QStringLiteral("リンクをコピー(&C)"),
                                      QStringLiteral("外部プレーヤーで開く(&P)"),
                                      QStringLiteral("メールで送る(&M)")}));
        // Its access key copies the link of the slot it was opened on, which keeps the focus.
        QGuiApplication::clipboard()->clear();
        choose(Qt::Key_C);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), service.pageOf(opener.slot));
        EXPECT_EQ(QApplication::focusWidget(), slotPanel(opener.slot));
    }
}

TEST_F(MainWindowKeyboardTest, TheResultMenuCommands) {
    startAndSearch();
    press(Qt::Key_Tab);
    press(Qt::Key_Down);
    const auto viaMenu = [&](int accessKey) {
        press(Qt::Key_Menu);
        choose(accessKey);
    };
    viaMenu(Qt::Key_B);
    EXPECT_EQ(desktop.opened, QStringList{service.pageOf(2)});
    EXPECT_FALSE(checkBox(2)->isChecked());
    viaMenu(Qt::Key_M);
    ASSERT_EQ(desktop.mails.size(), 1);
    EXPECT_EQ(desktop.mails[0], std::pair(QStringLiteral("T2"), service.pageOf(2)));
    desktop.mailResult = 1;
    viaMenu(Qt::Key_M);
    EXPECT_EQ(messages.information,
              QStringList{QStringLiteral("お使いのメールソフトを「通常使うメールソフト(規定のプ"
                                         "ログラム)」に設定してください.")});
    viaMenu(Qt::Key_O);
    EXPECT_EQ(pane().navigations.back(), service.pageOf(2));
    EXPECT_TRUE(checkBox(2)->isChecked());
    EXPECT_TRUE(messages.errors.isEmpty());
}

TEST_F(MainWindowKeyboardTest, OnlyWebPagesAreHandedOnFromTheResultMenu) {
    ScriptedHttpServer odd(ScriptedHttpServer::reply(ScriptedHttpServer::response(
        200, answerOf(1, "<Result><Title>odd</Title><RefererUrl>file:///etc/passwd</RefererUrl>"
                         "<Duration>1</Duration><Copyright>Youtube</Copyright></Result>"))));
    serviceHost = QString::fromLatin1(odd.hostAndPort());
    start();
    find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("x"));
    QTest::keyClick(find<HistoryComboBox>("keywordBox"), Qt::Key_Return);
    ASSERT_TRUE(slotPanel(1)->isVisibleTo(&mainWindow()));
    slotPanel(1)->setFocus();
    press(Qt::Key_Menu);
    ASSERT_EQ(QApplication::activePopupWidget(), resultMenu());
    for (QAction* item : resultMenu()->actions())
        EXPECT_EQ(item->isEnabled(), item->objectName() == QLatin1String("openResultAction"))
            << item->objectName().toStdString();
    press(Qt::Key_Escape);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), slotPanel(1));
}

TEST_F(MainWindowKeyboardTest, ThePlayerGetsTheAddressAsItsOneArgument) {
    const FakePrograms programs(
        {QStringLiteral("vlc"), QStringLiteral("smplayer"), QStringLiteral("myplayer")});
    startAndSearch();
    press(Qt::Key_Tab);
    const auto play = [&] {
        press(Qt::Key_Menu);
        choose(Qt::Key_P);
    };
    // None named: the first known player found.
    play();
    EXPECT_EQ(programs.waitForArguments(QStringLiteral("vlc")), QStringList{service.pageOf(1)});
    EXPECT_FALSE(programs.ran(QStringLiteral("smplayer")));

    // The user's own player, with its arguments, from Sorvel.ini.
    writeProfileString(settingsPath(), QStringLiteral("SET"), QStringLiteral("PLAYER"),
                       QStringLiteral("myplayer --fs"));
    play();
    EXPECT_EQ(programs.waitForArguments(QStringLiteral("myplayer")),
              (QStringList{QStringLiteral("--fs"), service.pageOf(1)}));

    // One that is not there is named in the error box.
    writeProfileString(settingsPath(), QStringLiteral("SET"), QStringLiteral("PLAYER"),
                       QStringLiteral("noplayer"));
    play();
    EXPECT_EQ(messages.errors,
              QStringList{QStringLiteral("外部プレーヤー「noplayer」を起動できません.")});
    EXPECT_TRUE(desktop.opened.isEmpty());

    // No player at all: the desktop's handler.
    const FakePrograms none({});
    writeProfileString(settingsPath(), QStringLiteral("SET"), QStringLiteral("PLAYER"), QString());
    play();
    EXPECT_EQ(desktop.opened, QStringList{service.pageOf(1)});
}

TEST_F(MainWindowKeyboardTest, ThePanesKeys) {
    start();
    // Nothing shown yet: nothing to copy, and no history.
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    press(Qt::Key_Left, Qt::AltModifier);
    press(Qt::Key_Right, Qt::AltModifier);
    EXPECT_TRUE(pane().commands.isEmpty());

    pane().completeNavigation(service.pageOf(7));
    press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), service.pageOf(7));

    press(Qt::Key_F5);
    press(Qt::Key_R, Qt::ControlModifier);
    pane().setHistory(true, false);
    EXPECT_TRUE(action("backAction")->isEnabled());
    EXPECT_FALSE(action("forwardAction")->isEnabled());
    press(Qt::Key_Left, Qt::AltModifier);
    press(Qt::Key_Right, Qt::AltModifier);
    pane().setHistory(false, true);
    press(Qt::Key_Left, Qt::AltModifier);
    press(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(pane().commands, (QStringList{QStringLiteral("reload"), QStringLiteral("reload"),
                                            QStringLiteral("back"), QStringLiteral("forward")}));
}

TEST_F(MainWindowKeyboardTest, ThePaneAloneOnTheWholeScreen) {
    start();
    MainWindow& w = mainWindow();
    const QRect placed = w.frameGeometry();
    const QList<QWidget*> others = {w.menuBar(), find<QFrame>("toolBar"), w.statusBar(),
                                    find<QFrame>("resultColumn"),
                                    find<QTabWidget>("pageTabs")->tabBar()};
    const auto fullScreen = [&](bool on) {
        EXPECT_EQ(w.isFullScreen(), on);
        EXPECT_EQ(action("fullScreenAction")->isChecked(), on);
        for (QWidget* other : others)
            EXPECT_EQ(other->isHidden(), on) << other->objectName().toStdString();
        EXPECT_TRUE(pane().isVisible());
        if (!on) {
            EXPECT_EQ(w.frameGeometry(), placed);
        }
    };
    const struct {
        std::function<void()> in;
        std::function<void()> out;
        QStringList paneCommands;
    } ways[] = {
        {[&] { press(Qt::Key_F11); }, [&] { press(Qt::Key_F11); }, {}},
        {[&] { press(Qt::Key_F11); }, [&] { press(Qt::Key_Escape); }, {}},
        {[&] { emit pane().fullScreenRequested(true); },
         [&] { emit pane().fullScreenRequested(false); },
         {}},
        {[&] { emit pane().fullScreenRequested(true); },
         [&] { press(Qt::Key_Escape); },
         {QStringLiteral("exitFullScreen")}},
        {[&] { emit pane().fullScreenRequested(true); },
         [&] { press(Qt::Key_F11); },
         {QStringLiteral("exitFullScreen")}},
    };
    for (size_t i = 0; i < std::size(ways); ++i) {
        SCOPED_TRACE(i);
        pane().commands.clear();
        ways[i].in();
        fullScreen(true);
        EXPECT_TRUE(pane().hasFocus());
        ways[i].out();
        fullScreen(false);
        EXPECT_EQ(pane().commands, ways[i].paneCommands);
    }

    // Turned on by the user, full screen outlasts the page's own; the pane's keys work meanwhile.
    pane().commands.clear();
    press(Qt::Key_F11);
    emit pane().fullScreenRequested(true);
    emit pane().fullScreenRequested(false);
    fullScreen(true);
    pane().setHistory(true, false);
    press(Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(pane().commands, QStringList{QStringLiteral("back")});
    // Outside full screen Escape is left alone.
    press(Qt::Key_Escape);
    fullScreen(false);
    press(Qt::Key_Escape);
    fullScreen(false);

    // Closed in full screen, the window keeps its own place and size, not the screen's.
    press(Qt::Key_F11);
    stop();
    EXPECT_EQ(readProfileString(settingsPath(), QStringLiteral("SET"), QStringLiteral("M_WIDTH"),
                                QString()),
              QString::number(placed.width()));
    EXPECT_EQ(readProfileString(settingsPath(), QStringLiteral("SET"), QStringLiteral("M_HEIGHT"),
                                QString()),
              QString::number(placed.height()));
}

TEST_F(MainWindowKeyboardTest, AScreenReaderHearsEveryCommandAndSlot) {
    startAndSearch();
    EXPECT_EQ(spokenName(slotPanel(1)), QStringLiteral("T1、Youtube、2分5秒"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(slotPanel(1))->role(), QAccessible::ListItem);
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(checkBox(1));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->role(), QAccessible::CheckBox);
    EXPECT_EQ(box->text(QAccessible::Name), QStringLiteral("T1"));
    EXPECT_FALSE(box->state().checked);
    press(Qt::Key_Tab);
    press(Qt::Key_Return);
    EXPECT_TRUE(box->state().checked);

    const struct {
        const char* name;
        const char* spoken;
    } named[] = {
        {"searchButton", "動画の検索"},
        {"searchSettingsButton", "動画の検索設定"},
        {"topPageButton", "トップページの参照"},
        {"upperFirstPageButton", "最初のページ"},
        {"upperPreviousPageButton", "前のページ"},
        {"upperNextPageButton", "次のページ"},
        {"upperLastPageButton", "最後のページ"},
        {"lowerFirstPageButton", "最初のページ"},
        {"lowerLastPageButton", "最後のページ"},
        {"resultArea", "検索結果"},
    };
    for (const auto& n : named)
        EXPECT_EQ(spokenName(find<QWidget>(QLatin1String(n.name))), QString::fromUtf8(n.spoken))
            << n.name;
    // A combo box's name is its text; what it is for, its description.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(find<QWidget>("keywordBox"))
                  ->text(QAccessible::Description),
              QStringLiteral("動画の検索キーワード"));
}
