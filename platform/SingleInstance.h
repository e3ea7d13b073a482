#pragma once

#include <QString>

// The system-wide marker that only one instance of the program runs: an exclusive lock on a
// file named after the marker in the user's runtime directory. The kernel releases it when the
// process ends, also after a crash.
class SingleInstanceMarker final {
public:
    SingleInstanceMarker() = default;
    ~SingleInstanceMarker();
    SingleInstanceMarker(const SingleInstanceMarker&) = delete;
    SingleInstanceMarker& operator=(const SingleInstanceMarker&) = delete;

    // Takes the marker; false when another process holds it. A directory where no lock file can
    // be made counts as no other instance (the program then starts).
    bool acquire(const QString& name);

    // The lock file of a marker name.
    static QString lockFilePath(const QString& name);

private:
    int m_fd = -1;
};
