#include "AppTestUtil.h"

#include "app/SettingsFile.h"
#include "controls/HistoryComboBox.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include <random>

namespace {

class SettingsFileTest : public ProgramFixture {
protected:
    // The key lines of the file, in order.
    QStringList keyLines() const {
        QStringList lines;
        for (const QByteArray& line : readFileBytes(settingsPath()).split('\n')) {
            const QString text = QString::fromLatin1(line).trimmed();
            if (!text.isEmpty())
                lines << text;
        }
        return lines;
    }
};

const QRegularExpression IdPattern(QStringLiteral("^\\d{4}-\\d{4}-\\d{4}-\\d{4}$"));

} // namespace

TEST_F(SettingsFileTest, FirstStartWithoutFileWritesAllTenKeysAtClose) {
    start();
    EXPECT_TRUE(IdPattern.match(settings().uniqueId).hasMatch())
        << settings().uniqueId.toStdString();
    EXPECT_EQ(find<QComboBox>("resultCountBox")->currentIndex(), -1);
    EXPECT_EQ(find<QComboBox>("adultBox")->currentIndex(), -1);
    EXPECT_TRUE(find<QRadioButton>("allSitesButton")->isChecked());
    EXPECT_FALSE(find<QRadioButton>("oneSiteButton")->isChecked());
    EXPECT_FALSE(find<QComboBox>("domainBox")->isEnabled());
    EXPECT_FALSE(label("domainLabel")->isEnabled());
    EXPECT_TRUE(find<QComboBox>("domainBox")->currentText().isEmpty());
    EXPECT_EQ(mainWindow().frameGeometry().size(), QSize(1024, 640));
    // The apply step ran: the count fell back to twenty, the adult choice is "-1".
    EXPECT_EQ(settings().resultsPerPage, 20);
    EXPECT_EQ(settings().adultOk, QStringLiteral("-1"));
    EXPECT_TRUE(settings().site.isEmpty());
    EXPECT_FALSE(QFile::exists(settingsPath()));

    const QString id = settings().uniqueId;
    const QRect frame = mainWindow().frameGeometry();
    stop();
    EXPECT_EQ(keyLines(), (QStringList{
                              QStringLiteral("[SET]"),
                              QStringLiteral("ID=") + id,
                              QStringLiteral("M_LEFT=%1").arg(frame.left()),
                              QStringLiteral("M_TOP=%1").arg(frame.top()),
                              QStringLiteral("M_WIDTH=1024"),
                              QStringLiteral("M_HEIGHT=640"),
                              QStringLiteral("S1_C0=-1"),
                              QStringLiteral("S1_C1=-1"),
                              QStringLiteral("S1_R1=1"),
                              QStringLiteral("S1_R3=0"),
                              QStringLiteral("S1_C4="),
                          }));
    EXPECT_TRUE(readFileBytes(settingsPath()).contains("\r\n"));
}

TEST_F(SettingsFileTest, StoredValuesAreAppliedAsRead) {
    writeFileBytes(settingsPath(), "[SET]\r\nID=abc\r\nM_LEFT=300\r\nM_TOP=200\r\nM_WIDTH=800\r\n"
                                   "M_HEIGHT=0x1F4\r\nS1_C0=1\r\nS1_C1=1\r\nS1_R1=0\r\nS1_R3=1\r\n"
                                   "S1_C4=vimeo.com\r\nOTHER=kept\r\n");
    start();
    EXPECT_EQ(settings().uniqueId, QStringLiteral("abc"));
    EXPECT_EQ(mainWindow().frameGeometry(), QRect(300, 200, 800, 500));
    EXPECT_EQ(find<QComboBox>("resultCountBox")->currentIndex(), 1);
    EXPECT_EQ(find<QComboBox>("adultBox")->currentIndex(), 1);
    EXPECT_TRUE(find<QRadioButton>("oneSiteButton")->isChecked());
    EXPECT_FALSE(find<QRadioButton>("allSitesButton")->isChecked());
    EXPECT_TRUE(find<QComboBox>("domainBox")->isEnabled());
    EXPECT_EQ(find<QComboBox>("domainBox")->currentText(), QStringLiteral("vimeo.com"));
    EXPECT_EQ(settings().resultsPerPage, 10);
    EXPECT_EQ(settings().adultOk, QStringLiteral("1"));
    EXPECT_EQ(settings().site, QStringLiteral("vimeo.com"));
    stop();
    const QByteArray bytes = readFileBytes(settingsPath());
    EXPECT_TRUE(bytes.contains("ID=abc\r\n"));
    EXPECT_TRUE(bytes.contains("OTHER=kept\r\n"));
    EXPECT_TRUE(bytes.contains("M_HEIGHT=500\r\n"));
}

TEST_F(SettingsFileTest, AnEmptyIdMakesANewOne) {
    writeFileBytes(settingsPath(), "[SET]\r\nID=\r\n");
    start();
    EXPECT_TRUE(IdPattern.match(settings().uniqueId).hasMatch())
        << settings().uniqueId.toStdString();
}

TEST_F(SettingsFileTest, SiteChoicePairAsStored) {
    const struct {
        const char* r1;
        const char* r3;
        bool allSites;
        bool oneSite;
    } cases[] = {{"1", "1", false, true},
                 {"0", "0", false, false},
                 {"1", "0", true, false},
                 {"x", "x", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.r1) + "/" + c.r3);
        writeFileBytes(settingsPath(), QByteArray("[SET]\r\nS1_R1=") + c.r1 + "\r\nS1_R3=" + c.r3 +
                                           "\r\nS1_C4=vimeo.com\r\n");
        start();
        EXPECT_EQ(find<QRadioButton>("allSitesButton")->isChecked(), c.allSites);
        EXPECT_EQ(find<QRadioButton>("oneSiteButton")->isChecked(), c.oneSite);
        EXPECT_EQ(find<QComboBox>("domainBox")->isEnabled(), c.oneSite);
        // Neither selected: the site stays as it was, empty at start-up.
        EXPECT_EQ(settings().site, c.oneSite ? QStringLiteral("vimeo.com") : QString());
        windows.reset();
    }
}

TEST_F(SettingsFileTest, IndexOutsideTheListLeavesNoSelection) {
    writeFileBytes(settingsPath(), "[SET]\r\nS1_C0=3\r\nS1_C1=-7\r\n");
    start();
    EXPECT_EQ(find<QComboBox>("resultCountBox")->currentIndex(), -1);
    EXPECT_EQ(find<QComboBox>("adultBox")->currentIndex(), -1);
    EXPECT_EQ(settings().resultsPerPage, 20);
}

TEST_F(SettingsFileTest, LoadsAtTheFirstActivationOnly) {
    start();
    find<QComboBox>("resultCountBox")->setCurrentIndex(0);
    writeFileBytes(settingsPath(), "[SET]\r\nS1_C0=2\r\n");
    mainWindow().loadSettings();
    EXPECT_EQ(find<QComboBox>("resultCountBox")->currentIndex(), 0);
    EXPECT_TRUE(mainWindow().settingsLoaded());
}

TEST_F(SettingsFileTest, AnUnconfirmedChangeIsSavedAndAppliedAtTheNextStart) {
    start();
    EXPECT_EQ(settings().resultsPerPage, 20);
    // The dialog is left with Escape after the count was changed.
    QTimer::singleShot(0, &dialog(), [this] {
        find<QComboBox>("resultCountBox")->setCurrentIndex(1);
        dialog().reject();
    });
    button("searchSettingsButton")->click();
    EXPECT_EQ(settings().resultsPerPage, 20);
    stop();
    EXPECT_TRUE(readFileBytes(settingsPath()).contains("S1_C0=1\r\n"));

    start();
    EXPECT_EQ(find<QComboBox>("resultCountBox")->currentIndex(), 1);
    EXPECT_EQ(settings().resultsPerPage, 10);
}

// A settings file that cannot be written is reported once and ends the run all the same; the
// history is saved when the windows go.
TEST_F(SettingsFileTest, AFileThatCannotBeWrittenIsReportedOnceAndTheRunEnds) {
    start();
    find<HistoryComboBox>("keywordBox")->addToHistory(QStringLiteral("猫"));
    writeFileBytes(settingsPath(), "[SET]\r\n");
    ASSERT_TRUE(QFile::setPermissions(settingsPath(), QFile::ReadOwner));
    EXPECT_TRUE(mainWindow().close());
    EXPECT_FALSE(mainWindow().isVisible());
    windows.reset();
    EXPECT_EQ(messages.errors, QStringList{settingsPath() + QStringLiteral(" に書き込めません.")});
    EXPECT_EQ(readFileBytes(settingsPath()), "[SET]\r\n");
    EXPECT_EQ(readFileBytes(historyPath()),
              QByteArray("[HistoryComboBox1]\r\nHistoryCount=1\r\nHistory0=\x94\x4c\r\n"));
}

// A stored frame whose title bar no screen shows is centred on the primary screen, at its size
// shrunk to fit; one that can be reached keeps its place.
TEST_F(SettingsFileTest, AFrameNoScreenShowsIsCentredOnThePrimaryScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect centred(screen.left() + (screen.width() - 600) / 2,
                        screen.top() + (screen.height() - 400) / 2, 600, 400);
    // Partly off the screen's lower right corner, with 100 pixels of the title bar on it.
    const QRect corner(screen.right() - 99, screen.bottom() - 99, 600, 400);
    const struct {
        QRect stored;
        QRect expected;
    } cases[] = {
        {{-3000, 100, 600, 400}, centred},
        {{40, -300, 600, 400}, centred},
        {{-3000, -3000, 20000, 20000}, screen},
        {corner, corner},
    };
    for (const auto& c : cases) {
        const QString stored =
            QStringLiteral("M_LEFT=%1\r\nM_TOP=%2\r\nM_WIDTH=%3\r\nM_HEIGHT=%4\r\n")
                .arg(c.stored.left())
                .arg(c.stored.top())
                .arg(c.stored.width())
                .arg(c.stored.height());
        SCOPED_TRACE(stored.toStdString());
        writeFileBytes(settingsPath(), "[SET]\r\n" + stored.toLatin1());
        start();
        EXPECT_EQ(mainWindow().frameGeometry(), c.expected);
        stop();
        EXPECT_TRUE(readFileBytes(settingsPath())
                        .contains(QStringLiteral("M_LEFT=%1\r\nM_TOP=%2\r\n")
                                      .arg(c.expected.left())
                                      .arg(c.expected.top())
                                      .toLatin1()));
    }
}

TEST(ReachableFrameTest, KeepsAFrameWhoseTitleBarCanBeGrabbed) {
    const QRect left(0, 0, 1920, 1080);
    const QRect right(1920, 200, 1280, 1024);
    const struct {
        const char* name;
        QRect frame;
        QRect expected;
    } cases[] = {
        {"on the primary screen", {100, 100, 1024, 640}, {100, 100, 1024, 640}},
        {"mostly off the left edge", {-984, 300, 1024, 640}, {-984, 300, 1024, 640}},
        {"title bar on the second screen", {3000, 210, 1024, 640}, {3000, 210, 1024, 640}},
        {"title bar above the second screen's top", {2000, 100, 1024, 640}, {448, 220, 1024, 640}},
        {"too little of the title bar", {-1000, 300, 1024, 640}, {448, 220, 1024, 640}},
        {"off every screen", {-3000, 100, 1024, 640}, {448, 220, 1024, 640}},
        {"off and larger than the primary", {5000, 5000, 2500, 900}, {0, 90, 1920, 900}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SettingsFile::reachableFrame(c.frame, {left, right}, left), c.expected) << c.name;
}

TEST(NewUniqueIdTest, FourGroupsBelow9999InReverseOrderOfDrawing) {
    for (unsigned seed = 0; seed < 3000; ++seed) {
        const QString id = SettingsFile::newUniqueId(seed);
        ASSERT_TRUE(IdPattern.match(id).hasMatch()) << id.toStdString();
        for (const QString& group : id.split(u'-'))
            ASSERT_LE(group.toInt(), 9998) << id.toStdString();
    }
    // The same generator drawn by hand: the first number drawn stands last.
    std::minstd_rand random(42);
    QStringList drawn;
    for (int i = 0; i < 4; ++i)
        drawn << QStringLiteral("%1").arg(random() % 9999, 4, 10, QLatin1Char('0'));
    EXPECT_EQ(SettingsFile::newUniqueId(42),
              drawn[3] + u'-' + drawn[2] + u'-' + drawn[1] + u'-' + drawn[0]);
    EXPECT_NE(SettingsFile::newUniqueId(1), SettingsFile::newUniqueId(2));
}
