#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SingleInstanceMarker::~SingleInstanceMarker() {
    if (m_fd >= 0)
        ::close(m_fd);
}

QString SingleInstanceMarker::lockFilePath(const QString& name) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return QDir(dir).filePath(name + QStringLiteral(".lock"));
}

bool SingleInstanceMarker::acquire(const QString& name) {
    const QByteArray path = QFile::encodeName(lockFilePath(name));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true;
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return !held;
    }
    m_fd = fd;
    return true;
}
