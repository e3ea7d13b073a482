#include "AppTestUtil.h"
#include "ScriptedHttpServer.h"

#include "app/DomainList.h"
#include "controls/HistoryComboBox.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

QByteArray Answer(int total) {
    return ScriptedHttpServer::Response(
        200, R"(<?xml version="1.0" encoding="UTF-8"?><ResultSet totalResultsAvailable=")" +
                 QByteArray::number(total) + R"(" totalResultsReturned="0"></ResultSet>)");
}

class SearchSettingsDialogTest : public ProgramFixture {
protected:
    SearchSettingsDialogTest()
        : server(ScriptedHttpServer::Reply(Answer(95))) {
        serviceHost = QString::fromLatin1(server.HostAndPort());
    }

    // Opens the dialog through the tool bar button; while it is shown, change() runs and then
    // the dialog is left with OK or without.
    void RunDialog(const std::function<void()>& change, bool ok = true) {
        bool shown = false;
        QTimer::singleShot(0, &Dialog(), [&] {
            shown = Dialog().isVisible();
            change();
            if (ok)
                Dialog().OKBtn->click();
            else
                QTest::keyClick(&Dialog(), Qt::Key_Escape);
        });
        Main().SpeedButton0_4->click();
        EXPECT_TRUE(shown);
        EXPECT_FALSE(Dialog().isVisible());
    }

    QByteArray LastRequest() const {
        const QList<QByteArray> requests = server.Requests();
        return requests.isEmpty() ? QByteArray() : requests.back();
    }

    ScriptedHttpServer server;
};

} // namespace

TEST_F(SearchSettingsDialogTest, AsDesigned) {
    Create();
    TSettingForm1& d = Dialog();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("検索設定"));
    EXPECT_EQ(d.size(), QSize(374, 274));
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_FALSE(d.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(d.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.parentWidget(), &Main());
    EXPECT_TRUE(d.OKBtn->isDefault());
    EXPECT_EQ(d.OKBtn->text(), QStringLiteral("OK"));
    EXPECT_EQ(d.PageControl1->tabText(0), QStringLiteral("検索フィルタ"));
    EXPECT_FALSE(d.ComboBox0->isEditable());
    EXPECT_FALSE(d.ComboBox1->isEditable());
    EXPECT_EQ(d.ComboBox0->currentIndex(), -1);
    EXPECT_EQ(d.ComboBox1->currentIndex(), -1);
    EXPECT_EQ(d.ComboBox0->count(), 3);
    EXPECT_EQ(d.ComboBox1->itemText(1), QStringLiteral("アダルトを含める"));
    EXPECT_TRUE(d.RadioButton1->isChecked());
    EXPECT_FALSE(d.RadioButton3->isChecked());
    EXPECT_FALSE(d.Label4->isEnabled());
    EXPECT_FALSE(d.ComboBox4->isEnabled());
    EXPECT_TRUE(d.ComboBox4->isEditable());
    EXPECT_TRUE(d.ComboBox4->currentText().isEmpty());
    EXPECT_EQ(d.ComboBox4->lineEdit()->maxLength(), 31);
    EXPECT_FALSE(d.ComboBox4->lineEdit()->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_EQ(d.ComboBox4->count(), 133);
}

TEST(DomainListTest, GroupsHeadersSeparatorsAndHosts) {
    const QStringList& rows = DomainRows();
    ASSERT_EQ(rows.size(), 133);
    EXPECT_EQ(rows[0], QStringLiteral("<ダウンロード対応サイト>"));
    EXPECT_EQ(rows[4], QStringLiteral("<ダウンロード準対応サイト>"));
    EXPECT_EQ(rows[8], QStringLiteral("<ダウンロード非対応サイト>"));
    EXPECT_EQ(rows[106], QStringLiteral("<ダウンロード非対応サイト(アダルト)>"));
    for (int empty : {3, 7, 105})
        EXPECT_TRUE(rows[empty].isEmpty()) << empty;

    const QRegularExpression host(
        QStringLiteral("^[a-z0-9]([a-z0-9-]*[a-z0-9])?(\\.[a-z0-9]([a-z0-9-]*[a-z0-9])?)+$"));
    QSet<QString> seen;
    int hosts = 0;
    for (int i = 0; i < rows.size(); ++i) {
        if (i == 0 || i == 3 || i == 4 || i == 7 || i == 8 || i == 105 || i == 106)
            continue;
        SCOPED_TRACE(i);
        QString name = rows[i];
        if (i >= 107) {
            ASSERT_TRUE(name.endsWith(u'\t'));
            name.chop(1);
        }
        EXPECT_FALSE(name.contains(u'\t'));
        EXPECT_LE(name.size(), 22);
        EXPECT_TRUE(host.match(name).hasMatch()) << name.toStdString();
        EXPECT_FALSE(seen.contains(name)) << name.toStdString();
        seen.insert(name);
        ++hosts;
    }
    EXPECT_EQ(hosts, 126);
}

TEST_F(SearchSettingsDialogTest, TenPerPageAndOkSearchesFromPageOne) {
    Start();
    Main().HistoryComboBox1->setEditText(QStringLiteral("cat"));
    RunDialog([this] { Dialog().ComboBox0->setCurrentIndex(1); });
    EXPECT_EQ(Settings().resultsPerPage, 10);
    EXPECT_TRUE(LastRequest().contains("&results=10&start=1&")) << LastRequest().toStdString();
    EXPECT_EQ(Main().Label2_1->text(), QStringLiteral("ページ 1/10"));

    // Page 3, then OK without any change: a new search from page 1.
    Main().SpeedButton2_3->click();
    Main().SpeedButton2_3->click();
    EXPECT_EQ(Main().Label2_1->text(), QStringLiteral("ページ 3/10"));
    RunDialog([] {});
    EXPECT_TRUE(LastRequest().contains("&results=10&start=1&")) << LastRequest().toStdString();
    EXPECT_EQ(Main().Label2_1->text(), QStringLiteral("ページ 1/10"));
    EXPECT_EQ(server.Requests().size(), 4);
}

TEST_F(SearchSettingsDialogTest, OkWithAnEmptyKeywordBoxRequestsNothing) {
    Start();
    RunDialog([this] { Dialog().ComboBox0->setCurrentIndex(0); });
    EXPECT_EQ(Settings().resultsPerPage, 5);
    EXPECT_EQ(server.ConnectionCount(), 0);
}

TEST_F(SearchSettingsDialogTest, NoCountChosenFallsBackToTwenty) {
    Start();
    Settings().resultsPerPage = 0;
    RunDialog([] {});
    EXPECT_EQ(Dialog().ComboBox0->currentIndex(), -1);
    EXPECT_EQ(Settings().resultsPerPage, 20);
    Settings().resultsPerPage = 5;
    RunDialog([] {});
    EXPECT_EQ(Settings().resultsPerPage, 5);
}

TEST_F(SearchSettingsDialogTest, AdultChoice) {
    Start();
    EXPECT_EQ(Settings().adultOk, QStringLiteral("-1"));
    RunDialog([this] { Dialog().ComboBox1->setCurrentIndex(1); });
    EXPECT_EQ(Settings().adultOk, QStringLiteral("1"));
    RunDialog([this] { Dialog().ComboBox1->setCurrentIndex(0); });
    EXPECT_EQ(Settings().adultOk, QStringLiteral("0"));
}

TEST_F(SearchSettingsDialogTest, SiteChoice) {
    Start();
    TSettingForm1& d = Dialog();
    // The one-site choice with an empty domain is all sites.
    RunDialog([&] { d.RadioButton3->click(); });
    EXPECT_TRUE(d.ComboBox4->isEnabled());
    EXPECT_TRUE(d.Label4->isEnabled());
    EXPECT_EQ(Settings().site, QString());

    RunDialog([&] { d.SetDomainText(QStringLiteral("vimeo.com")); });
    EXPECT_EQ(Settings().site, QStringLiteral("vimeo.com"));

    // All sites again: the domain row is disabled, keeps its text, and is not sent.
    RunDialog([&] { d.RadioButton1->click(); });
    EXPECT_FALSE(d.ComboBox4->isEnabled());
    EXPECT_FALSE(d.Label4->isEnabled());
    EXPECT_EQ(d.ComboBox4->currentText(), QStringLiteral("vimeo.com"));
    EXPECT_EQ(Settings().site, QString());
}

TEST_F(SearchSettingsDialogTest, LeavingWithoutOkAppliesNothing) {
    Start();
    Main().HistoryComboBox1->setEditText(QStringLiteral("cat"));
    RunDialog([this] { Dialog().ComboBox0->setCurrentIndex(0); }, false);
    EXPECT_EQ(Dialog().result(), QDialog::Rejected);
    EXPECT_EQ(Settings().resultsPerPage, 20);
    EXPECT_EQ(server.ConnectionCount(), 0);

    // The window manager's close is no OK either.
    bool shown = false;
    QTimer::singleShot(0, &Dialog(), [&] {
        shown = Dialog().isVisible();
        Dialog().close();
    });
    Main().S2->trigger();
    EXPECT_TRUE(shown);
    EXPECT_EQ(Dialog().result(), QDialog::Rejected);
    EXPECT_EQ(server.ConnectionCount(), 0);
    // The change is still there when the dialog opens again.
    EXPECT_EQ(Dialog().ComboBox0->currentIndex(), 0);
}

TEST_F(SearchSettingsDialogTest, HeaderRowsAreSkippedOnce) {
    Create();
    TSettingForm1& d = Dialog();
    d.RadioButton3->click();
    d.show();
    QComboBox* box = d.ComboBox4;

    // Picked from the list: the header lands on the first host of its group.
    for (const auto& [header, expected] : {std::pair{4, 5}, std::pair{106, 107}}) {
        SCOPED_TRACE(header);
        box->showPopup();
        QAbstractItemView* view = box->view();
        const QModelIndex index = view->model()->index(header, 0);
        view->scrollTo(index);
        ASSERT_TRUE(WaitUntil([&] { return view->isVisible(); }));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        ASSERT_TRUE(WaitUntil([&] { return !view->isVisible(); }));
        EXPECT_EQ(box->currentIndex(), expected);
        EXPECT_EQ(box->currentText(), DomainRows()[expected]);
    }
    EXPECT_TRUE(box->currentText().endsWith(u'\t'));

    // With the list closed, up from the first host of a group onto its header and back.
    box->setCurrentIndex(9);
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(box->currentIndex(), 9);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(box->currentIndex(), 10);

    // Typing "<" with no row selected lands on row 0.
    box->setCurrentIndex(-1);
    box->lineEdit()->clear();
    QTest::keyClicks(box->lineEdit(), QStringLiteral("<"));
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_EQ(box->currentText(), DomainRows()[0]);
}
