#include "app/SettingsFile.h"

#include "app/SearchSettingsDialog.h"
#include "platform/AppDir.h"
#include "platform/Profile.h"
#include "search/SearchTypes.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <random>

namespace {

// The section and keys of Sorvel.ini. Every user's stored file holds these names, so they are
// data: they stay as they are whatever the code calls the controls they belong to.
const QString Section = QStringLiteral("SET");
const QString UniqueIdKey = QStringLiteral("ID");
const QString WindowLeftKey = QStringLiteral("M_LEFT");
const QString WindowTopKey = QStringLiteral("M_TOP");
const QString WindowWidthKey = QStringLiteral("M_WIDTH");
const QString WindowHeightKey = QStringLiteral("M_HEIGHT");
const QString ResultCountKey = QStringLiteral("S1_C0");
const QString AdultChoiceKey = QStringLiteral("S1_C1");
const QString AllSitesKey = QStringLiteral("S1_R1");
const QString OneSiteKey = QStringLiteral("S1_R3");
const QString DomainKey = QStringLiteral("S1_C4");
// Not written by the program: the user's own choice of video player.
const QString PlayerKey = QStringLiteral("PLAYER");

// The outer frame's size differs from the client size by the window manager's decoration.
QSize frameExtra(const QWidget& window) {
    return window.frameGeometry().size() - window.size();
}

// The top strip of a frame where its title bar is, and the least of it that must show on one
// screen for the user to grab the window and drag it back.
constexpr int TitleBarHeight = 20;
constexpr QSize GrabArea(40, 10);

void makeReachable(QWidget& window) {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    const QRect frame = window.frameGeometry();
    const QRect placed = SettingsFile::reachableFrame(frame, screens, primary->availableGeometry());
    if (placed == frame)
        return;
    const QSize extra = frameExtra(window);
    window.resize(placed.size() - extra);
    window.move(placed.topLeft());
}

} // namespace

namespace SettingsFile {

QString defaultPath() {
    return configFilePath(SettingsFileName);
}

QRect reachableFrame(const QRect& frame, const QList<QRect>& screens, const QRect& primary) {
    const QRect titleBar(frame.left(), frame.top(), frame.width(),
                         std::min(frame.height(), TitleBarHeight));
    for (const QRect& screen : screens) {
        const QRect shown = titleBar.intersected(screen);
        if (shown.width() >= GrabArea.width() && shown.height() >= GrabArea.height())
            return frame;
    }
    const QSize size = frame.size().boundedTo(primary.size());
    return QRect(primary.left() + (primary.width() - size.width()) / 2,
                 primary.top() + (primary.height() - size.height()) / 2, size.width(),
                 size.height());
}

QString newUniqueId(unsigned seed) {
    std::minstd_rand random(seed);
    QStringList groups;
    for (int i = 0; i < 4; ++i)
        groups.prepend(QStringLiteral("%1").arg(random() % 9999, 4, 10, QLatin1Char('0')));
    return groups.join(u'-');
}

void load(const QString& path, QWidget& window, SearchSettingsDialog& dialog,
          SearchSettings& settings) {
    // One reading of the file; a missing file reads as empty.
    const ProfileReader file(path);
    const auto readInt = [&file](const QString& key, int current) {
        return file.readInteger(Section, key, current);
    };

    settings.uniqueId = file.readString(Section, UniqueIdKey, settings.uniqueId);
    if (settings.uniqueId.isEmpty())
        settings.uniqueId = newUniqueId(static_cast<unsigned>(QDateTime::currentSecsSinceEpoch()));

    // Applied as read, one after another.
    const QRect frame = window.frameGeometry();
    const int left = readInt(WindowLeftKey, frame.left());
    window.move(left, window.frameGeometry().top());
    const int top = readInt(WindowTopKey, frame.top());
    window.move(left, top);
    const QSize extra = frameExtra(window);
    const int width = readInt(WindowWidthKey, frame.width());
    window.resize(width - extra.width(), window.height());
    const int height = readInt(WindowHeightKey, frame.height());
    window.resize(window.width(), height - extra.height());
    // A place that no screen shows (another monitor's, a damaged file) would leave the window
    // where nobody can reach it.
    makeReachable(window);

    dialog.setResultCountIndex(readInt(ResultCountKey, dialog.resultCountIndex()));
    dialog.setAdultChoiceIndex(readInt(AdultChoiceKey, dialog.adultChoiceIndex()));
    dialog.setAllSitesSelected(readInt(AllSitesKey, dialog.allSitesSelected()) != 0);
    dialog.setOneSiteSelected(readInt(OneSiteKey, dialog.oneSiteSelected()) != 0);
    dialog.setDomainText(file.readString(Section, DomainKey, dialog.domainText()));
}

void save(const QString& path, const QWidget& window, const SearchSettingsDialog& dialog,
          const SearchSettings& settings) {
    const auto write = [&path](const QString& key, const QString& value) {
        writeProfileString(path, Section, key, value);
    };
    const auto flag = [](bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); };
    const QRect frame = window.frameGeometry();
    write(UniqueIdKey, settings.uniqueId);
    write(WindowLeftKey, QString::number(frame.left()));
    write(WindowTopKey, QString::number(frame.top()));
    write(WindowWidthKey, QString::number(frame.width()));
    write(WindowHeightKey, QString::number(frame.height()));
    write(ResultCountKey, QString::number(dialog.resultCountIndex()));
    write(AdultChoiceKey, QString::number(dialog.adultChoiceIndex()));
    write(AllSitesKey, flag(dialog.allSitesSelected()));
    write(OneSiteKey, flag(dialog.oneSiteSelected()));
    write(DomainKey, dialog.domainText());
}

QString player(const QString& path) {
    return readProfileString(path, Section, PlayerKey, QString());
}

} // namespace SettingsFile
