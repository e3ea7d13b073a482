#include "AppTestUtil.h"
#include "ScriptedHttpServer.h"
#include "SearchAnswer.h"

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

class SearchSettingsDialogTest : public ProgramFixture {
protected:
    SearchSettingsDialogTest()
        : server(ScriptedHttpServer::reply(ScriptedHttpServer::response(200, answerOf(95)))) {
        serviceHost = QString::fromLatin1(server.hostAndPort());
    }

    // Opens the dialog through the tool bar button; while it is shown, change() runs and then
    // the dialog is left with OK or without.
    void runDialog(const std::function<void()>& change, bool ok = true) {
        bool shown = false;
        QTimer::singleShot(0, &dialog(), [&] {
            shown = dialog().isVisible();
            change();
            if (ok)
                find<QPushButton>("okButton")->click();
            else
                QTest::keyClick(&dialog(), Qt::Key_Escape);
        });
        button("searchSettingsButton")->click();
        EXPECT_TRUE(shown);
        EXPECT_FALSE(dialog().isVisible());
    }

    QByteArray lastRequest() const {
        const QList<QByteArray> requests = server.requests();
        return requests.isEmpty() ? QByteArray() : requests.back();
    }

    ScriptedHttpServer server;
};

} // namespace

TEST_F(SearchSettingsDialogTest, AsDesigned) {
    create();
    SearchSettingsDialog& d = dialog();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("検索設定"));
    EXPECT_EQ(d.size(), QSize(374, 274));
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_FALSE(d.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(d.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.parentWidget(), &mainWindow());
    EXPECT_TRUE(find<QPushButton>("okButton")->isDefault());
    EXPECT_EQ(find<QPushButton>("okButton")->text(), QStringLiteral("OK"));
    EXPECT_EQ(find<QTabWidget>("settingsTabs")->tabText(0), QStringLiteral("検索フィルタ"));
    EXPECT_FALSE(find<QComboBox>("resultCountBox")->isEditable());
    EXPECT_FALSE(find<QComboBox>("adultBox")->isEditable());
    EXPECT_EQ(find<QComboBox>("resultCountBox")->currentIndex(), -1);
    EXPECT_EQ(find<QComboBox>("adultBox")->currentIndex(), -1);
    EXPECT_EQ(find<QComboBox>("resultCountBox")->count(), 3);
    EXPECT_EQ(find<QComboBox>("adultBox")->itemText(1), QStringLiteral("アダルトを含める"));
    EXPECT_TRUE(find<QRadioButton>("allSitesButton")->isChecked());
    EXPECT_FALSE(find<QRadioButton>("oneSiteButton")->isChecked());
    EXPECT_FALSE(label("domainLabel")->isEnabled());
    EXPECT_FALSE(find<QComboBox>("domainBox")->isEnabled());
    EXPECT_TRUE(find<QComboBox>("domainBox")->isEditable());
    EXPECT_TRUE(find<QComboBox>("domainBox")->currentText().isEmpty());
    EXPECT_EQ(find<QComboBox>("domainBox")->lineEdit()->maxLength(), 31);
    EXPECT_FALSE(
        find<QComboBox>("domainBox")->lineEdit()->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_EQ(find<QComboBox>("domainBox")->count(), 133);

    // The tab order: OK first, then the controls from top to bottom.
    const char* const tabOrder[] = {"okButton",       "resultCountBox", "adultBox",
                                    "allSitesButton", "oneSiteButton",  "domainBox"};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i) {
        QWidget* next = find<QWidget>(QLatin1String(tabOrder[i]))->nextInFocusChain();
        while (next && next->focusProxy())
            next = next->focusProxy();
        EXPECT_EQ(next, find<QWidget>(QLatin1String(tabOrder[i + 1]))) << tabOrder[i];
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
    start();
    find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("cat"));
    runDialog([this] { find<QComboBox>("resultCountBox")->setCurrentIndex(1); });
    EXPECT_EQ(settings().resultsPerPage, 10);
    EXPECT_TRUE(lastRequest().contains("&results=10&start=1&")) << lastRequest().toStdString();
    EXPECT_EQ(label("upperPageLabel")->text(), QStringLiteral("ページ 1/10"));

    // Page 3, then OK without any change: a new search from page 1.
    button("upperNextPageButton")->click();
    button("upperNextPageButton")->click();
    EXPECT_EQ(label("upperPageLabel")->text(), QStringLiteral("ページ 3/10"));
    runDialog([] {});
    EXPECT_TRUE(lastRequest().contains("&results=10&start=1&")) << lastRequest().toStdString();
    EXPECT_EQ(label("upperPageLabel")->text(), QStringLiteral("ページ 1/10"));
    EXPECT_EQ(server.requests().size(), 4);
}

TEST_F(SearchSettingsDialogTest, OkWithAnEmptyKeywordBoxRequestsNothing) {
    start();
    runDialog([this] { find<QComboBox>("resultCountBox")->setCurrentIndex(0); });
    EXPECT_EQ(settings().resultsPerPage, 5);
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(SearchSettingsDialogTest, NoCountChosenFallsBackToTwenty) {
    start();
    settings().resultsPerPage = 0;
    runDialog([] {});
    EXPECT_EQ(find<QComboBox>("resultCountBox")->currentIndex(), -1);
    EXPECT_EQ(settings().resultsPerPage, 20);
    settings().resultsPerPage = 5;
    runDialog([] {});
    EXPECT_EQ(settings().resultsPerPage, 5);
}

TEST_F(SearchSettingsDialogTest, AdultChoice) {
    start();
    EXPECT_EQ(settings().adultOk, QStringLiteral("-1"));
    runDialog([this] { find<QComboBox>("adultBox")->setCurrentIndex(1); });
    EXPECT_EQ(settings().adultOk, QStringLiteral("1"));
    runDialog([this] { find<QComboBox>("adultBox")->setCurrentIndex(0); });
    EXPECT_EQ(settings().adultOk, QStringLiteral("0"));
}

TEST_F(SearchSettingsDialogTest, SiteChoice) {
    start();
    SearchSettingsDialog& d = dialog();
    // The one-site choice with an empty domain is all sites.
    runDialog([&] { find<QRadioButton>("oneSiteButton")->click(); });
    EXPECT_TRUE(find<QComboBox>("domainBox")->isEnabled());
    EXPECT_TRUE(label("domainLabel")->isEnabled());
    EXPECT_EQ(settings().site, QString());

    runDialog([&] { d.setDomainText(QStringLiteral("vimeo.com")); });
    EXPECT_EQ(settings().site, QStringLiteral("vimeo.com"));

    // All sites again: the domain row is disabled, keeps its text, and is not sent.
    runDialog([&] { find<QRadioButton>("allSitesButton")->click(); });
    EXPECT_FALSE(find<QComboBox>("domainBox")->isEnabled());
    EXPECT_FALSE(label("domainLabel")->isEnabled());
    EXPECT_EQ(find<QComboBox>("domainBox")->currentText(), QStringLiteral("vimeo.com"));
    EXPECT_EQ(settings().site, QString());
}

TEST_F(SearchSettingsDialogTest, LeavingWithoutOkAppliesNothing) {
    start();
    find<HistoryComboBox>("keywordBox")->setEditText(QStringLiteral("cat"));
    runDialog([this] { find<QComboBox>("resultCountBox")->setCurrentIndex(0); }, false);
    EXPECT_EQ(dialog().result(), QDialog::Rejected);
    EXPECT_EQ(settings().resultsPerPage, 20);
    EXPECT_EQ(server.connectionCount(), 0);

    // The window manager's close is no OK either.
    bool shown = false;
    QTimer::singleShot(0, &dialog(), [&] {
        shown = dialog().isVisible();
        dialog().close();
    });
    action("searchSettingsAction")->trigger();
    EXPECT_TRUE(shown);
    EXPECT_EQ(dialog().result(), QDialog::Rejected);
    EXPECT_EQ(server.connectionCount(), 0);
    // The change is still there when the dialog opens again.
    EXPECT_EQ(find<QComboBox>("resultCountBox")->currentIndex(), 0);
}

TEST_F(SearchSettingsDialogTest, HeaderRowsAreSkippedOnce) {
    create();
    SearchSettingsDialog& d = dialog();
    find<QRadioButton>("oneSiteButton")->click();
    d.show();
    QComboBox* box = find<QComboBox>("domainBox");

    // Picked from the list: the header lands on the first host of its group.
    for (const auto& [header, expected] : {std::pair{4, 5}, std::pair{106, 107}}) {
        SCOPED_TRACE(header);
        box->showPopup();
        QAbstractItemView* view = box->view();
        const QModelIndex index = view->model()->index(header, 0);
        view->scrollTo(index);
        ASSERT_TRUE(waitUntil([&] { return view->isVisible(); }));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        ASSERT_TRUE(waitUntil([&] { return !view->isVisible(); }));
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
