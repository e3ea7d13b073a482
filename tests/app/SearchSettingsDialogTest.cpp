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
                Find<QPushButton>("okButton")->click();
            else
                QTest::keyClick(&Dialog(), Qt::Key_Escape);
        });
        Button("searchSettingsButton")->click();
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
    SearchSettingsDialog& d = Dialog();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("検索設定"));
    EXPECT_EQ(d.size(), QSize(374, 274));
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_FALSE(d.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(d.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.parentWidget(), &Main());
    EXPECT_TRUE(Find<QPushButton>("okButton")->isDefault());
    EXPECT_EQ(Find<QPushButton>("okButton")->text(), QStringLiteral("OK"));
    EXPECT_EQ(Find<QTabWidget>("settingsTabs")->tabText(0), QStringLiteral("検索フィルタ"));
    EXPECT_FALSE(Find<QComboBox>("resultCountBox")->isEditable());
    EXPECT_FALSE(Find<QComboBox>("adultBox")->isEditable());
    EXPECT_EQ(Find<QComboBox>("resultCountBox")->currentIndex(), -1);
    EXPECT_EQ(Find<QComboBox>("adultBox")->currentIndex(), -1);
    EXPECT_EQ(Find<QComboBox>("resultCountBox")->count(), 3);
    EXPECT_EQ(Find<QComboBox>("adultBox")->itemText(1), QStringLiteral("アダルトを含める"));
    EXPECT_TRUE(Find<QRadioButton>("allSitesButton")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>("oneSiteButton")->isChecked());
    EXPECT_FALSE(Label("domainLabel")->isEnabled());
    EXPECT_FALSE(Find<QComboBox>("domainBox")->isEnabled());
    EXPECT_TRUE(Find<QComboBox>("domainBox")->isEditable());
    EXPECT_TRUE(Find<QComboBox>("domainBox")->currentText().isEmpty());
    EXPECT_EQ(Find<QComboBox>("domainBox")->lineEdit()->maxLength(), 31);
    EXPECT_FALSE(Find<QComboBox>("domainBox")->lineEdit()->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_EQ(Find<QComboBox>("domainBox")->count(), 133);

    // The tab order: OK first, then the controls from top to bottom.
    const char* const tabOrder[] = {"okButton",       "resultCountBox", "adultBox",
                                    "allSitesButton", "oneSiteButton",  "domainBox"};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i) {
        QWidget* next = Find<QWidget>(QLatin1String(tabOrder[i]))->nextInFocusChain();
        while (next && next->focusProxy())
            next = next->focusProxy();
        EXPECT_EQ(next, Find<QWidget>(QLatin1String(tabOrder[i + 1]))) << tabOrder[i];
    }
}

TEST(DomainListTest, GroupsHeadersSeparatorsAndHosts) {
    const QStringList& rows = domainRows();
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
    Find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("cat"));
    RunDialog([this] { Find<QComboBox>("resultCountBox")->setCurrentIndex(1); });
    EXPECT_EQ(Settings().resultsPerPage, 10);
    EXPECT_TRUE(LastRequest().contains("&results=10&start=1&")) << LastRequest().toStdString();
    EXPECT_EQ(Label("upperPageLabel")->text(), QStringLiteral("ページ 1/10"));

    // Page 3, then OK without any change: a new search from page 1.
    Button("upperNextPageButton")->click();
    Button("upperNextPageButton")->click();
    EXPECT_EQ(Label("upperPageLabel")->text(), QStringLiteral("ページ 3/10"));
    RunDialog([] {});
    EXPECT_TRUE(LastRequest().contains("&results=10&start=1&")) << LastRequest().toStdString();
    EXPECT_EQ(Label("upperPageLabel")->text(), QStringLiteral("ページ 1/10"));
    EXPECT_EQ(server.Requests().size(), 4);
}

TEST_F(SearchSettingsDialogTest, OkWithAnEmptyKeywordBoxRequestsNothing) {
    Start();
    RunDialog([this] { Find<QComboBox>("resultCountBox")->setCurrentIndex(0); });
    EXPECT_EQ(Settings().resultsPerPage, 5);
    EXPECT_EQ(server.ConnectionCount(), 0);
}

TEST_F(SearchSettingsDialogTest, NoCountChosenFallsBackToTwenty) {
    Start();
    Settings().resultsPerPage = 0;
    RunDialog([] {});
    EXPECT_EQ(Find<QComboBox>("resultCountBox")->currentIndex(), -1);
    EXPECT_EQ(Settings().resultsPerPage, 20);
    Settings().resultsPerPage = 5;
    RunDialog([] {});
    EXPECT_EQ(Settings().resultsPerPage, 5);
}

TEST_F(SearchSettingsDialogTest, AdultChoice) {
    Start();
    EXPECT_EQ(Settings().adultOk, QStringLiteral("-1"));
    RunDialog([this] { Find<QComboBox>("adultBox")->setCurrentIndex(1); });
    EXPECT_EQ(Settings().adultOk, QStringLiteral("1"));
    RunDialog([this] { Find<QComboBox>("adultBox")->setCurrentIndex(0); });
    EXPECT_EQ(Settings().adultOk, QStringLiteral("0"));
}

TEST_F(SearchSettingsDialogTest, SiteChoice) {
    Start();
    SearchSettingsDialog& d = Dialog();
    // The one-site choice with an empty domain is all sites.
    RunDialog([&] { Find<QRadioButton>("oneSiteButton")->click(); });
    EXPECT_TRUE(Find<QComboBox>("domainBox")->isEnabled());
    EXPECT_TRUE(Label("domainLabel")->isEnabled());
    EXPECT_EQ(Settings().site, QString());

    RunDialog([&] { d.setDomainText(QStringLiteral("vimeo.com")); });
    EXPECT_EQ(Settings().site, QStringLiteral("vimeo.com"));

    // All sites again: the domain row is disabled, keeps its text, and is not sent.
    RunDialog([&] { Find<QRadioButton>("allSitesButton")->click(); });
    EXPECT_FALSE(Find<QComboBox>("domainBox")->isEnabled());
    EXPECT_FALSE(Label("domainLabel")->isEnabled());
    EXPECT_EQ(Find<QComboBox>("domainBox")->currentText(), QStringLiteral("vimeo.com"));
    EXPECT_EQ(Settings().site, QString());
}

TEST_F(SearchSettingsDialogTest, LeavingWithoutOkAppliesNothing) {
    Start();
    Find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("cat"));
    RunDialog([this] { Find<QComboBox>("resultCountBox")->setCurrentIndex(0); }, false);
    EXPECT_EQ(Dialog().result(), QDialog::Rejected);
    EXPECT_EQ(Settings().resultsPerPage, 20);
    EXPECT_EQ(server.ConnectionCount(), 0);

    // The window manager's close is no OK either.
    bool shown = false;
    QTimer::singleShot(0, &Dialog(), [&] {
        shown = Dialog().isVisible();
        Dialog().close();
    });
    Action("searchSettingsAction")->trigger();
    EXPECT_TRUE(shown);
    EXPECT_EQ(Dialog().result(), QDialog::Rejected);
    EXPECT_EQ(server.ConnectionCount(), 0);
    // The change is still there when the dialog opens again.
    EXPECT_EQ(Find<QComboBox>("resultCountBox")->currentIndex(), 0);
}

TEST_F(SearchSettingsDialogTest, HeaderRowsAreSkippedOnce) {
    Create();
    SearchSettingsDialog& d = Dialog();
    Find<QRadioButton>("oneSiteButton")->click();
    d.show();
    QComboBox* box = Find<QComboBox>("domainBox");

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
        EXPECT_EQ(box->currentText(), domainRows()[expected]);
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
    EXPECT_EQ(box->currentText(), domainRows()[0]);
}
