#pragma once

#include <QString>

// The settings file's name. One standing beside the executable makes a portable copy: every file
// of the program then stays in the executable's folder.
inline const QString SettingsFileName = QStringLiteral("Sorvel.ini");

// The directory that holds the program's executable, whatever the current directory is.
QString programDir();

// programDir() joined with a bare file name.
QString programFilePath(const QString& fileName);

// The executable's file name without its extension ("sorvel" for /usr/bin/sorvel).
QString programBaseName();

// Whether this copy is portable: a SettingsFileName beside the executable.
bool isPortable();

// The folder of the user's files, the settings file and the history file:
// $XDG_CONFIG_HOME/sorvel (by default ~/.config/sorvel), or programDir() for a portable copy.
// Not created here (makeConfigDir).
QString configDir();

// configDir() joined with a bare file name.
QString configFilePath(const QString& fileName);

// Makes configDir() when it is missing, with every missing folder above it, each readable by the
// user only; false when it cannot be made. A folder that exists is left as it is.
bool makeConfigDir();

// The program's cache folder: what can be fetched again, such as thumbnails.
// $XDG_CACHE_HOME/sorvel (by default ~/.cache/sorvel), or the folder "cache" in programDir() for a
// portable copy. Not created here.
QString cacheDir();
