#pragma once

#include <QString>

// The directory that holds the program's executable, whatever the current directory is. The
// settings file, the history file and the picture files all live there.
QString programDir();

// programDir() joined with a bare file name.
QString programFilePath(const QString& fileName);

// The executable's file name without its extension ("sorvel" for /usr/bin/sorvel).
QString programBaseName();

// The program's cache folder ($XDG_CACHE_HOME/sorvel, by default ~/.cache/sorvel): what can be
// fetched again, such as thumbnails. Not created here.
QString cacheDir();
