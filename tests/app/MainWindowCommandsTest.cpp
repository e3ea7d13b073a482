#include "AppTestUtil.h"

#include "controls/HistoryComboBox.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

namespace {

class MainWindowCommandsTest : public ProgramFixture {};

const QString Page = QStringLiteral("http://video.example/watch?v=1&t=2");

} // namespace

TEST_F(MainWindowCommandsTest, WebCommandsAreEnabledByAPageOutsideTheTopPage) {
    Start();
    pane().Complete(QStringLiteral("http://127.0.0.1:9/files/sorvel/"));
    pane().Complete(QStringLiteral("http://127.0.0.1:9/files/sorvel/?ret=1"));
    EXPECT_FALSE(Action("openInBrowserAction")->isEnabled());
    EXPECT_FALSE(Action("mailLinkAction")->isEnabled());
    EXPECT_TRUE(StatusPanel(3)->text().isEmpty());

    pane().Complete(Page);
    EXPECT_TRUE(Action("openInBrowserAction")->isEnabled());
    EXPECT_TRUE(Action("mailLinkAction")->isEnabled());
    EXPECT_EQ(StatusPanel(3)->text(), Page);

    // Back at the top page they stay enabled.
    Button("topPageButton")->click();
    EXPECT_EQ(pane().navigations.back(), QStringLiteral("http://127.0.0.1:9/files/sorvel/?ret=1"));
    pane().Complete(pane().navigations.back());
    EXPECT_TRUE(Action("openInBrowserAction")->isEnabled());
    EXPECT_EQ(StatusPanel(3)->text(), Page);
    Action("topPageAction")->trigger();
    EXPECT_EQ(pane().navigations.size(), 3);
}

TEST_F(MainWindowCommandsTest, OpenInTheDefaultBrowser) {
    Start();
    pane().Complete(Page);
    Action("openInBrowserAction")->trigger();
    EXPECT_EQ(desktop.opened, QStringList{Page});
}

TEST_F(MainWindowCommandsTest, MailThePage) {
    Start();
    pane().Complete(Page);
    // No result opened yet: the subject is empty.
    Action("mailLinkAction")->trigger();
    pane().setResultTitle(QStringLiteral("猫 & 犬 #1"));
    Action("mailLinkAction")->trigger();
    ASSERT_EQ(desktop.mails.size(), 2);
    EXPECT_EQ(desktop.mails[0], std::pair(QString(), Page));
    EXPECT_EQ(desktop.mails[1], std::pair(QStringLiteral("猫 & 犬 #1"), Page));
    EXPECT_TRUE(messages.information.isEmpty());

    desktop.mailResult = 1;
    Action("mailLinkAction")->trigger();
    EXPECT_EQ(
        messages.information,
        QStringList{QStringLiteral("お使いのメールソフトを「通常使うメールソフト(規定のプログラム)"
                                   "」に設定してください.")});
}

TEST_F(MainWindowCommandsTest, AddressesOtherThanWebPagesAreNotHandedOn) {
    Start();
    for (const char* address : {"file:///etc/passwd", "javascript:alert(1)", "", "about:blank"}) {
        pane().location = QString::fromLatin1(address);
        Action("openInBrowserAction")->setEnabled(true);
        Action("mailLinkAction")->setEnabled(true);
        Action("openInBrowserAction")->trigger();
        Action("mailLinkAction")->trigger();
    }
    EXPECT_TRUE(desktop.opened.isEmpty());
    EXPECT_TRUE(desktop.mails.isEmpty());
    EXPECT_TRUE(messages.information.isEmpty());

    pane().location = QStringLiteral("HTTPS://video.example/");
    Action("openInBrowserAction")->trigger();
    EXPECT_EQ(desktop.opened, QStringList{QStringLiteral("HTTPS://video.example/")});
}

TEST_F(MainWindowCommandsTest, BarsHiddenAndShownAgainAfterARestart) {
    Start();
    Action("showToolBarAction")->trigger();
    Action("showStatusBarAction")->trigger();
    EXPECT_FALSE(Action("showToolBarAction")->isChecked());
    EXPECT_FALSE(Find<QFrame>("toolBar")->isVisible());
    EXPECT_FALSE(Find<QStatusBar>("statusBar")->isVisible());
    Action("showToolBarAction")->trigger();
    EXPECT_TRUE(Find<QFrame>("toolBar")->isVisible());
    Action("showToolBarAction")->trigger();
    Stop();

    Start();
    EXPECT_TRUE(Action("showToolBarAction")->isChecked());
    EXPECT_TRUE(Action("showStatusBarAction")->isChecked());
    EXPECT_TRUE(Find<QFrame>("toolBar")->isVisible());
    EXPECT_TRUE(Find<QStatusBar>("statusBar")->isVisible());
}

TEST_F(MainWindowCommandsTest, ClearingTheHistory) {
    WriteFileBytes(HistoryPath(), "[HistoryComboBox1]\r\nHistoryCount=2\r\nHistory0=cat\r\n"
                                  "History1=dog\r\n");
    Start();
    HistoryComboBox* box = Find<HistoryComboBox>("keywordBox");
    ASSERT_EQ(box->count(), 2);
    box->setEditText(QStringLiteral("bird"));
    Action("clearHistoryAction")->trigger();
    EXPECT_EQ(box->count(), 0);
    EXPECT_EQ(box->currentText(), QStringLiteral("bird"));
    Stop();
    EXPECT_TRUE(ReadFileBytes(HistoryPath()).contains("HistoryCount=0\r\n"));
    EXPECT_FALSE(ReadFileBytes(HistoryPath()).contains("History0"));

    Start();
    EXPECT_EQ(Find<HistoryComboBox>("keywordBox")->count(), 0);
}

TEST_F(MainWindowCommandsTest, MakerSiteAndSoftwareInformation) {
    Start();
    Action("makerSiteAction")->trigger();
    Action("softwareInfoAction")->trigger();
    // The executable's name without its extension: this test program is "app_tests".
    EXPECT_EQ(desktop.opened,
              (QStringList{QStringLiteral("http://127.0.0.1:9"),
                           QStringLiteral("http://127.0.0.1:9/info.php?pf=w&sn=app_tests")}));
}
