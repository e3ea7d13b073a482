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
    TMainForm1& w = Main();
    Pane().Complete(QStringLiteral("http://127.0.0.1:9/files/sorvel/"));
    Pane().Complete(QStringLiteral("http://127.0.0.1:9/files/sorvel/?ret=1"));
    EXPECT_FALSE(w.W1->isEnabled());
    EXPECT_FALSE(w.W2->isEnabled());
    EXPECT_TRUE(w.StatusPanels[3]->text().isEmpty());

    Pane().Complete(Page);
    EXPECT_TRUE(w.W1->isEnabled());
    EXPECT_TRUE(w.W2->isEnabled());
    EXPECT_EQ(w.StatusPanels[3]->text(), Page);

    // Back at the top page they stay enabled.
    w.SpeedButton0_6->click();
    EXPECT_EQ(Pane().navigations.back(), QStringLiteral("http://127.0.0.1:9/files/sorvel/?ret=1"));
    Pane().Complete(Pane().navigations.back());
    EXPECT_TRUE(w.W1->isEnabled());
    EXPECT_EQ(w.StatusPanels[3]->text(), Page);
    w.H1->trigger();
    EXPECT_EQ(Pane().navigations.size(), 3);
}

TEST_F(MainWindowCommandsTest, OpenInTheDefaultBrowser) {
    Start();
    Pane().Complete(Page);
    Main().W1->trigger();
    EXPECT_EQ(desktop.opened, QStringList{Page});
}

TEST_F(MainWindowCommandsTest, MailThePage) {
    Start();
    Pane().Complete(Page);
    // No result opened yet: the subject is empty.
    Main().W2->trigger();
    Pane().setResultTitle(QStringLiteral("猫 & 犬 #1"));
    Main().W2->trigger();
    ASSERT_EQ(desktop.mails.size(), 2);
    EXPECT_EQ(desktop.mails[0], std::pair(QString(), Page));
    EXPECT_EQ(desktop.mails[1], std::pair(QStringLiteral("猫 & 犬 #1"), Page));
    EXPECT_TRUE(messages.information.isEmpty());

    desktop.mailResult = 1;
    Main().W2->trigger();
    EXPECT_EQ(
        messages.information,
        QStringList{QStringLiteral("お使いのメールソフトを「通常使うメールソフト(規定のプログラム)"
                                   "」に設定してください.")});
}

TEST_F(MainWindowCommandsTest, AddressesOtherThanWebPagesAreNotHandedOn) {
    Start();
    for (const char* address : {"file:///etc/passwd", "javascript:alert(1)", "", "about:blank"}) {
        Pane().location = QString::fromLatin1(address);
        Main().W1->setEnabled(true);
        Main().W2->setEnabled(true);
        Main().W1->trigger();
        Main().W2->trigger();
    }
    EXPECT_TRUE(desktop.opened.isEmpty());
    EXPECT_TRUE(desktop.mails.isEmpty());
    EXPECT_TRUE(messages.information.isEmpty());

    Pane().location = QStringLiteral("HTTPS://video.example/");
    Main().W1->trigger();
    EXPECT_EQ(desktop.opened, QStringList{QStringLiteral("HTTPS://video.example/")});
}

TEST_F(MainWindowCommandsTest, BarsHiddenAndShownAgainAfterARestart) {
    Start();
    Main().V1->trigger();
    Main().V2->trigger();
    EXPECT_FALSE(Main().V1->isChecked());
    EXPECT_FALSE(Main().Panel0->isVisible());
    EXPECT_FALSE(Main().StatusBar0->isVisible());
    Main().V1->trigger();
    EXPECT_TRUE(Main().Panel0->isVisible());
    Main().V1->trigger();
    Stop();

    Start();
    EXPECT_TRUE(Main().V1->isChecked());
    EXPECT_TRUE(Main().V2->isChecked());
    EXPECT_TRUE(Main().Panel0->isVisible());
    EXPECT_TRUE(Main().StatusBar0->isVisible());
}

TEST_F(MainWindowCommandsTest, ClearingTheHistory) {
    WriteFileBytes(HistoryPath(), "[HistoryComboBox1]\r\nHistoryCount=2\r\nHistory0=cat\r\n"
                                  "History1=dog\r\n");
    Start();
    HistoryComboBox* box = Main().HistoryComboBox1;
    ASSERT_EQ(box->count(), 2);
    box->setEditText(QStringLiteral("bird"));
    Main().S3->trigger();
    EXPECT_EQ(box->count(), 0);
    EXPECT_EQ(box->currentText(), QStringLiteral("bird"));
    Stop();
    EXPECT_TRUE(ReadFileBytes(HistoryPath()).contains("HistoryCount=0\r\n"));
    EXPECT_FALSE(ReadFileBytes(HistoryPath()).contains("History0"));

    Start();
    EXPECT_EQ(Main().HistoryComboBox1->count(), 0);
}

TEST_F(MainWindowCommandsTest, MakerSiteAndSoftwareInformation) {
    Start();
    Main().H3->trigger();
    Main().H4->trigger();
    // The executable's name without its extension: this test program is "app_tests".
    EXPECT_EQ(desktop.opened,
              (QStringList{QStringLiteral("http://127.0.0.1:9"),
                           QStringLiteral("http://127.0.0.1:9/info.php?pf=w&sn=app_tests")}));
}
