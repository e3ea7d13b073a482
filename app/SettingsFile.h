#pragma once

#include <QList>
#include <QRect>
#include <QString>

class QWidget;
class SearchSettingsDialog;
struct SearchSettings;

// The settings file "Sorvel.ini": the main window's place and size, the settings dialog's controls
// and the installation identifier, all in the section "SET".
namespace SettingsFile {

// "Sorvel.ini" in the user's settings folder (configDir()).
QString defaultPath();

// Reads the file into the window, the dialog's controls and uniqueId (a new identifier when
// none is stored). A missing file or key keeps what the window and controls hold. The stored
// frame is applied as read unless no screen would show its title bar (reachableFrame).
void load(const QString& path, QWidget& window, SearchSettingsDialog& dialog,
          SearchSettings& settings);

// Writes the ten keys in their order. Raises ProfileWriteError when the file cannot be
// written; the keys written before stay written.
void save(const QString& path, const QWidget& window, const SearchSettingsDialog& dialog,
          const SearchSettings& settings);

// The video player the user named in the file (key "PLAYER": a program and any arguments of its
// own, as playerCommand() reads them); empty when none is named. The program never writes it.
QString player(const QString& path);

// Where a restored outer frame goes. A frame that shows enough of its title bar to be grabbed
// on one of the screens (their available areas) keeps its place; any other is centred on the
// primary screen, its size shrunk to fit that screen.
QRect reachableFrame(const QRect& frame, const QList<QRect>& screens, const QRect& primary);

// Four groups of four digits, each from 0000 to 9998, joined by "-" in the reverse order of
// their drawing from a generator seeded with the given number.
QString newUniqueId(unsigned seed);

} // namespace SettingsFile
