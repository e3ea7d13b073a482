#include "AppTestUtil.h"

#include "controls/HistoryComboBox.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

class MainWindowCommandsTest : public ProgramFixture {};

const QString Page = QStringLiteral("http://video.example/watch?v=1&t=2");

} // namespace

TEST_F(MainWindowCommandsTest, WebCommandsAreEnabledByAPageOutsideTheTopPage) {
    start();
    pane().completeNavigation(QStringLiteral("http://127.0.0.1:9/files/sorvel/"));
    pane().completeNavigation(QStringLiteral("http://127.0.0.1:9/files/sorvel/?ret=1"));
    EXPECT_FALSE(action("openInBrowserAction")->isEnabled());
    EXPECT_FALSE(action("mailLinkAction")->isEnabled());
    EXPECT_TRUE(statusPanel(3)->text().isEmpty());

    pane().completeNavigation(Page);
    EXPECT_TRUE(action("openInBrowserAction")->isEnabled());
    EXPECT_TRUE(action("mailLinkAction")->isEnabled());
    EXPECT_EQ(statusPanel(3)->text(), Page);

    // Back at the top page they stay enabled.
    button("topPageButton")->click();
    EXPECT_EQ(pane().navigations.back(), QStringLiteral("http://127.0.0.1:9/files/sorvel/?ret=1"));
    pane().completeNavigation(pane().navigations.back());
    EXPECT_TRUE(action("openInBrowserAction")->isEnabled());
    EXPECT_EQ(statusPanel(3)->text(), Page);
    action("topPageAction")->trigger();
    EXPECT_EQ(pane().navigations.size(), 3);
}

TEST_F(MainWindowCommandsTest, OpenInTheDefaultBrowser) {
    start();
    pane().completeNavigation(Page);
    action("openInBrowserAction")->trigger();
    EXPECT_EQ(desktop.opened, QStringList{Page});
}

TEST_F(MainWindowCommandsTest, MailThePage) {
    start();
    pane().completeNavigation(Page);
    // No result opened yet: the subject is empty.
    action("mailLinkAction")->trigger();
    pane().setResultTitle(QStringLiteral("猫 & 犬 #1"));
    action("mailLinkAction")->trigger();
    ASSERT_EQ(desktop.mails.size(), 2);
    EXPECT_EQ(desktop.mails[0], std::pair(QString(), Page));
    EXPECT_EQ(desktop.mails[1], std::pair(QStringLiteral("猫 & 犬 #1"), Page));
    EXPECT_TRUE(messages.information.isEmpty());

    desktop.mailResult = 1;
    action("mailLinkAction")->trigger();
    EXPECT_EQ(
        messages.information,
        QStringList{QStringLiteral("お使いのメールソフトを「通常使うメールソフト(規定のプログラム)"
                                   "」に設定してください.")});
}

TEST_F(MainWindowCommandsTest, AddressesOtherThanWebPagesAreNotHandedOn) {
    start();
    for (const char* address : {"file:///etc/passwd", "javascript:alert(1)", "", "about:blank"}) {
        pane().location = QString::fromLatin1(address);
        action("openInBrowserAction")->setEnabled(true);
        action("mailLinkAction")->setEnabled(true);
        action("openInBrowserAction")->trigger();
        action("mailLinkAction")->trigger();
    }
    EXPECT_TRUE(desktop.opened.isEmpty());
    EXPECT_TRUE(desktop.mails.isEmpty());
    EXPECT_TRUE(messages.information.isEmpty());

    pane().location = QStringLiteral("HTTPS://video.example/");
    action("openInBrowserAction")->trigger();
    EXPECT_EQ(desktop.opened, QStringList{QStringLiteral("HTTPS://video.example/")});
}

TEST_F(MainWindowCommandsTest, BarsHiddenAndShownAgainAfterARestart) {
    start();
    action("showToolBarAction")->trigger();
    action("showStatusBarAction")->trigger();
    EXPECT_FALSE(action("showToolBarAction")->isChecked());
    EXPECT_FALSE(find<QFrame>("toolBar")->isVisible());
    EXPECT_FALSE(find<QStatusBar>("statusBar")->isVisible());
    action("showToolBarAction")->trigger();
    EXPECT_TRUE(find<QFrame>("toolBar")->isVisible());
    action("showToolBarAction")->trigger();
    stop();

    start();
    EXPECT_TRUE(action("showToolBarAction")->isChecked());
    EXPECT_TRUE(action("showStatusBarAction")->isChecked());
    EXPECT_TRUE(find<QFrame>("toolBar")->isVisible());
    EXPECT_TRUE(find<QStatusBar>("statusBar")->isVisible());
}

TEST_F(MainWindowCommandsTest, ClearingTheHistory) {
    writeFileBytes(historyPath(), "[HistoryComboBox1]\r\nHistoryCount=2\r\nHistory0=cat\r\n"
                                  "History1=dog\r\n");
    start();
    HistoryComboBox* box = find<HistoryComboBox>("keywordBox");
    ASSERT_EQ(box->count(), 2);
    box->setEditText(QStringLiteral("bird"));
    action("clearHistoryAction")->trigger();
    EXPECT_EQ(box->count(), 0);
    EXPECT_EQ(box->currentText(), QStringLiteral("bird"));
    stop();
    EXPECT_TRUE(readFileBytes(historyPath()).contains("HistoryCount=0\r\n"));
    EXPECT_FALSE(readFileBytes(historyPath()).contains("History0"));

    start();
    EXPECT_EQ(find<HistoryComboBox>("keywordBox")->count(), 0);
}

TEST_F(MainWindowCommandsTest, MakerSiteAndSoftwareInformation) {
    start();
    action("makerSiteAction")->trigger();
    action("softwareInfoAction")->trigger();
    // The executable's name without its extension: this test program is "app_tests".
    EXPECT_EQ(desktop.opened,
              (QStringList{QStringLiteral("http://127.0.0.1:9"),
                           QStringLiteral("http://127.0.0.1:9/info.php?pf=w&sn=app_tests")}));
}

// Ctrl+Q ends the run as closing the window does: the settings and the history are saved.
TEST_F(MainWindowCommandsTest, QuitClosesTheWindowAndSavesLikeAClose) {
    start();
    find<HistoryComboBox>("keywordBox")->addToHistory(QStringLiteral("cat"));
    QTest::keyClick(&mainWindow(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(mainWindow().isVisible());
    windows.reset();
    EXPECT_TRUE(readFileBytes(settingsPath()).contains("\r\nS1_C4=\r\n"));
    EXPECT_EQ(readFileBytes(historyPath()),
              "[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=cat\r\n");
}

TEST_F(MainWindowCommandsTest, AboutNamesProgramVersionLicenceAndQt) {
    start();
    QString title;
    QString text;
    QTimer::singleShot(0, &mainWindow(), [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            EXPECT_EQ(box->objectName(), QStringLiteral("aboutDialog"));
            title = box->windowTitle();
            text = box->text() + u'\n' + box->informativeText();
            box->accept();
        }
    });
    action("aboutAction")->trigger();
    EXPECT_EQ(title, QStringLiteral("バージョン情報"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Sorvel Browser 3.2\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("GPL-3.0-or-later")));
    EXPECT_TRUE(text.contains(QStringLiteral("Qt ") + QLatin1String(qVersion())));
    EXPECT_TRUE(mainWindow().isVisible());
}
