#include "platform/AppDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString programDir() {
    return QCoreApplication::applicationDirPath();
}

QString programFilePath(const QString& fileName) {
    return QDir(programDir()).filePath(fileName);
}

QString programBaseName() {
    // The last "." and what follows it go; a name without one stays whole.
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

QString cacheDir() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("sorvel"));
}
