#include "platform/AppDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// The folder under the XDG base folders, named after the program.
const QString ProgramFolder = QStringLiteral("sorvel");

QString underBaseFolder(QStandardPaths::StandardLocation base) {
    return QDir(QStandardPaths::writableLocation(base)).filePath(ProgramFolder);
}

} // namespace

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

bool isPortable() {
    return QFileInfo(programFilePath(SettingsFileName)).isFile();
}

QString configDir() {
    return isPortable() ? programDir() : underBaseFolder(QStandardPaths::GenericConfigLocation);
}

QString configFilePath(const QString& fileName) {
    return QDir(configDir()).filePath(fileName);
}

bool makeConfigDir() {
    const QString path = QDir::cleanPath(configDir());
    if (QFileInfo(path).isDir())
        return true;
    // Made from the top down, so that each missing folder gets the permissions (XDG asks 0700
    // for the base folders it makes; the history and the installation id are the user's alone).
    QStringList missing;
    for (QString folder = path; !QFileInfo::exists(folder);
         folder = QFileInfo(folder).absolutePath()) {
        missing.prepend(folder);
        if (QDir(folder).isRoot())
            break;
    }
    constexpr QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    for (const QString& folder : std::as_const(missing)) {
        if (!QDir().mkdir(folder, OwnerOnly) && !QFileInfo(folder).isDir())
            return false;
    }
    return QFileInfo(path).isDir();
}

QString cacheDir() {
    return isPortable() ? programFilePath(QStringLiteral("cache"))
                        : underBaseFolder(QStandardPaths::GenericCacheLocation);
}
