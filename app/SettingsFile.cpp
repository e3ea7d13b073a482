#include "app/SettingsFile.h"

#include "app/Settingwindow1.h"
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

const QString Section = QStringLiteral("SET");

// The outer frame's size differs from the client size by the window manager's decoration.
QSize FrameExtra(const QWidget& window) {
    return window.frameGeometry().size() - window.size();
}

// The top strip of a frame where its title bar is, and the least of it that must show on one
// screen for the user to grab the window and drag it back.
constexpr int TitleBarHeight = 20;
constexpr QSize GrabArea(40, 10);

void MakeReachable(QWidget& window) {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    const QRect frame = window.frameGeometry();
    const QRect placed = SettingsFile::ReachableFrame(frame, screens, primary->availableGeometry());
    if (placed == frame)
        return;
    const QSize extra = FrameExtra(window);
    window.resize(placed.size() - extra);
    window.move(placed.topLeft());
}

} // namespace

namespace SettingsFile {

QString DefaultPath() {
    return ProgramFilePath(QStringLiteral("Sorvel.ini"));
}

QRect ReachableFrame(const QRect& frame, const QList<QRect>& screens, const QRect& primary) {
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

QString NewUniqueId(unsigned seed) {
    std::minstd_rand random(seed);
    QStringList groups;
    for (int i = 0; i < 4; ++i)
        groups.prepend(QStringLiteral("%1").arg(random() % 9999, 4, 10, QLatin1Char('0')));
    return groups.join(u'-');
}

void Load(const QString& path, QWidget& window, TSettingForm1& dialog, TSearchSettings& settings) {
    // One reading of the file; a missing file reads as empty.
    const ProfileReader file(path);
    const auto readInt = [&file](const char* key, int current) {
        return file.ReadInteger(Section, QString::fromLatin1(key), current);
    };

    settings.UniqueId = file.ReadString(Section, QStringLiteral("ID"), settings.UniqueId);
    if (settings.UniqueId.isEmpty())
        settings.UniqueId = NewUniqueId(static_cast<unsigned>(QDateTime::currentSecsSinceEpoch()));

    // Applied as read, one after another.
    const QRect frame = window.frameGeometry();
    const int left = readInt("M_LEFT", frame.left());
    window.move(left, window.frameGeometry().top());
    const int top = readInt("M_TOP", frame.top());
    window.move(left, top);
    const QSize extra = FrameExtra(window);
    const int width = readInt("M_WIDTH", frame.width());
    window.resize(width - extra.width(), window.height());
    const int height = readInt("M_HEIGHT", frame.height());
    window.resize(window.width(), height - extra.height());
    // A place that no screen shows (another monitor's, a damaged file) would leave the window
    // where nobody can reach it.
    MakeReachable(window);

    // An index without a row leaves the box without a selection.
    const auto setIndex = [](QComboBox* box, int index) {
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    };
    setIndex(dialog.ComboBox0, readInt("S1_C0", dialog.ComboBox0->currentIndex()));
    setIndex(dialog.ComboBox1, readInt("S1_C1", dialog.ComboBox1->currentIndex()));
    TSettingForm1::SetSelected(dialog.RadioButton1,
                               readInt("S1_R1", dialog.RadioButton1->isChecked()) != 0);
    TSettingForm1::SetSelected(dialog.RadioButton3,
                               readInt("S1_R3", dialog.RadioButton3->isChecked()) != 0);
    dialog.RadioButton1Click();
    dialog.SetDomainText(
        file.ReadString(Section, QStringLiteral("S1_C4"), dialog.ComboBox4->currentText()));
}

void Save(const QString& path, const QWidget& window, const TSettingForm1& dialog,
          const TSearchSettings& settings) {
    const auto write = [&path](const char* key, const QString& value) {
        WriteProfileString(path, Section, QString::fromLatin1(key), value);
    };
    const auto flag = [](bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); };
    const QRect frame = window.frameGeometry();
    write("ID", settings.UniqueId);
    write("M_LEFT", QString::number(frame.left()));
    write("M_TOP", QString::number(frame.top()));
    write("M_WIDTH", QString::number(frame.width()));
    write("M_HEIGHT", QString::number(frame.height()));
    write("S1_C0", QString::number(dialog.ComboBox0->currentIndex()));
    write("S1_C1", QString::number(dialog.ComboBox1->currentIndex()));
    write("S1_R1", flag(dialog.RadioButton1->isChecked()));
    write("S1_R3", flag(dialog.RadioButton3->isChecked()));
    write("S1_C4", dialog.ComboBox4->currentText());
}

} // namespace SettingsFile
