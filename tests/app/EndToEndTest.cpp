#include "AppTestUtil.h"
#include "FakePrograms.h"
#include "TestImages.h"

#include "app/ResultScrollArea.h"
#include "controls/ClickableImage.h"
#include "controls/HistoryComboBox.h"
#include "controls/ImageCheckBox.h"

#include <QLabel>
#include <QTest>
#include <QToolButton>

namespace {

class EndToEndTest : public ProgramFixture {};

} // namespace

TEST_F(EndToEndTest, SearchPagesAndOpensResultsFromTheBundledService) {
    ServiceProcess service;
    ASSERT_FALSE(service.host().isEmpty());
    serviceHost = service.host();
    writeFileBytes(dir.filePath(QStringLiteral("no_image.jpg")), jpegOf(QColor(0, 255, 0)));
    start();
    MainWindow& w = mainWindow();
    w.searchController().noImageFile = dir.filePath(QStringLiteral("no_image.jpg"));

    find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("猫"));
    QTest::keyClick(find<HistoryComboBox>("keywordBox"), Qt::Key_Return);
    const SearchController& client = w.searchController();
    ASSERT_TRUE(waitUntil([&] { return !client.isLoading(); }));

    ASSERT_GT(client.paging.totalResults, 20);
    ASSERT_EQ(client.results.size(), 20);
    EXPECT_TRUE(w.windowTitle().startsWith(
        QStringLiteral("ORVENA - Sorvel Browser -「猫」の動画検索結果 ")));
    EXPECT_TRUE(button("upperNextPageButton")->isEnabled());
    EXPECT_TRUE(messages.information.isEmpty());
    EXPECT_TRUE(messages.errors.isEmpty());
    for (int i = 0; i < 20; ++i) {
        const SearchResult& row = client.results[i];
        EXPECT_TRUE(row.title.contains(QStringLiteral("猫"))) << row.title.toStdString();
        EXPECT_TRUE(w.resultSlot(i).panel->isVisibleTo(&w));
        EXPECT_EQ(w.resultSlot(i).checkBox->caption(), row.title);
        EXPECT_TRUE(w.resultSlot(i).infoLabel->text().startsWith(u'[' + row.source + u']'));
        // Every thumbnail came from the service: none is the stand-in picture.
        const QImage picture = w.resultSlot(i).thumbnail->picture();
        EXPECT_FALSE(picture.isNull()) << i;
        EXPECT_FALSE(centreIs(picture, QColor(0, 255, 0))) << i;
    }

    // The next page continues the results; a click opens the video's page on the service.
    const QString firstTitle = client.results[0].title;
    button("lowerNextPageButton")->click();
    ASSERT_TRUE(waitUntil([&] { return !client.isLoading(); }));
    EXPECT_EQ(label("upperPageLabel")->text(),
              QStringLiteral("ページ 2/%1").arg(client.paging.pageCount));
    EXPECT_NE(client.results[0].title, firstTitle);
    QTest::mouseClick(w.resultSlot(0).thumbnail, Qt::LeftButton);
    EXPECT_TRUE(pane().navigations.back().startsWith(
        QStringLiteral("http://%1/watch/").arg(service.host())));
    EXPECT_EQ(pane().resultTitle(), client.results[0].title);
}

// The whole road with the keyboard alone: a search, a page flip, the third result opened and
// then played in the external player.
TEST_F(EndToEndTest, SearchPageOpenAndPlayWithTheKeyboardAlone) {
    const FakePrograms players({QStringLiteral("mpv")});
    ServiceProcess service;
    ASSERT_FALSE(service.host().isEmpty());
    serviceHost = service.host();
    start();
    const SearchController& client = mainWindow().searchController();

    press(Qt::Key_L, Qt::ControlModifier);
    typeText(QApplication::focusWidget(), QStringLiteral("猫"));
    press(Qt::Key_Return);
    ASSERT_GT(client.paging.pageCount, 1);
    EXPECT_EQ(label("upperPageLabel")->text(),
              QStringLiteral("ページ 1/%1").arg(client.paging.pageCount));

    press(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(label("upperPageLabel")->text(),
              QStringLiteral("ページ 2/%1").arg(client.paging.pageCount));
    ASSERT_GE(client.results.size(), 3);
    const SearchResult third = client.results[2];

    press(Qt::Key_Tab);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    press(Qt::Key_Return);
    EXPECT_EQ(pane().navigations.back(), third.pageUrl);
    EXPECT_TRUE(third.pageUrl.startsWith(QStringLiteral("http://%1/watch/").arg(service.host())));
    EXPECT_EQ(pane().resultTitle(), third.title);
    EXPECT_EQ(mainWindow().resultSlot(2).checkBox->isChecked(), isMarkableSite(third.source));

    press(Qt::Key_Menu);
    press(Qt::Key_P);
    EXPECT_EQ(players.waitForArguments(QStringLiteral("mpv")), QStringList{third.pageUrl});
    EXPECT_TRUE(messages.errors.isEmpty());
    EXPECT_TRUE(messages.information.isEmpty());
}
