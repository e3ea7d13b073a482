#pragma once

#include "TestUtil.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// Programs that only write down their arguments, one a line, in "<name>.args" beside them; while
// this lives, PATH holds their folder alone (a real player on the machine is not found).
class FakePrograms final {
public:
    explicit FakePrograms(const QStringList& names) {
        for (const QString& name : names) {
            const QString args = m_dir.filePath(name + QStringLiteral(".args"));
            QFile script(path(name));
            script.open(QIODevice::WriteOnly);
            // Written whole, then moved into place: a reader never sees half of it.
            script.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                         QFile::encodeName(args) + ".tmp' && /bin/mv '" + QFile::encodeName(args) +
                         ".tmp' '" + QFile::encodeName(args) + "'\n");
            script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner);
        }
        m_path.emplace("PATH", m_dir.path());
    }
    FakePrograms(const FakePrograms&) = delete;
    FakePrograms& operator=(const FakePrograms&) = delete;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // The arguments of the program's run, once it has run (empty when it did not within 10 s).
    QStringList waitForArguments(const QString& name) const {
        const QString args = m_dir.filePath(name + QStringLiteral(".args"));
        if (!waitUntil([&] { return QFile::exists(args); }))
            return {};
        QString text = QString::fromUtf8(readFileBytes(args));
        text.chop(1);
        return text.split(u'\n');
    }

    bool ran(const QString& name) const {
        return QFile::exists(m_dir.filePath(name + QStringLiteral(".args")));
    }

private:
    QTemporaryDir m_dir;
    std::optional<ScopedVariable> m_path;
};
