#include "platform/AppDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString ProgramDir() {
    return QCoreApplication::applicationDirPath();
}

QString ProgramFilePath(const QString& fileName) {
    return QDir(ProgramDir()).filePath(fileName);
}

QString ProgramBaseName() {
    // The last "." and what follows it go; a name without one stays whole.
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}
