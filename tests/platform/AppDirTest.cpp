#include "TestUtil.h"

#include "platform/AppDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {

QFile::Permissions permissionsOf(const QString& path) {
    return QFileInfo(path).permissions() & (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                            QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
}

constexpr QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

} // namespace

// One test: a portable copy is made by a file beside this test program, which every other
// assertion here must not see.
TEST(AppDirTest, UserFoldersFollowXdgUnlessACopyIsPortable) {
    QTemporaryDir temp;
    const QString home = temp.filePath(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(home));
    const ScopedVariable homeVariable("HOME", home);
    ASSERT_FALSE(isPortable()) << "a Sorvel.ini stands beside " << programDir().toStdString();

    {
        SCOPED_TRACE("defaults under HOME");
        const ScopedVariable config("XDG_CONFIG_HOME", std::nullopt);
        const ScopedVariable cache("XDG_CACHE_HOME", std::nullopt);
        EXPECT_EQ(configDir(), home + QStringLiteral("/.config/sorvel"));
        EXPECT_EQ(configFilePath(QStringLiteral("log_search.ini")),
                  home + QStringLiteral("/.config/sorvel/log_search.ini"));
        EXPECT_EQ(cacheDir(), home + QStringLiteral("/.cache/sorvel"));
    }
    {
        SCOPED_TRACE("the XDG variables, folders made for the user only");
        const QString configHome = temp.filePath(QStringLiteral("a/b"));
        const ScopedVariable config("XDG_CONFIG_HOME", configHome);
        const ScopedVariable cache("XDG_CACHE_HOME", temp.filePath(QStringLiteral("c")));
        EXPECT_EQ(configDir(), configHome + QStringLiteral("/sorvel"));
        EXPECT_EQ(cacheDir(), temp.filePath(QStringLiteral("c/sorvel")));
        EXPECT_FALSE(QFileInfo::exists(configDir()));
        ASSERT_TRUE(makeConfigDir());
        for (const char* made : {"a", "a/b", "a/b/sorvel"})
            EXPECT_EQ(permissionsOf(temp.filePath(QString::fromLatin1(made))), OwnerOnly) << made;
        // A folder that is there keeps what it has.
        ASSERT_TRUE(QFile::setPermissions(configDir(), OwnerOnly | QFile::ReadGroup |
                                                           QFile::ExeGroup | QFile::ReadOther |
                                                           QFile::ExeOther));
        EXPECT_TRUE(makeConfigDir());
        EXPECT_EQ(permissionsOf(configDir()), OwnerOnly | QFile::ReadGroup | QFile::ExeGroup |
                                                  QFile::ReadOther | QFile::ExeOther);
    }
    {
        SCOPED_TRACE("a file where the folder should be");
        const ScopedVariable config("XDG_CONFIG_HOME", temp.filePath(QStringLiteral("file")));
        QFile blocker(temp.filePath(QStringLiteral("file")));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        EXPECT_FALSE(makeConfigDir());
    }
    {
        SCOPED_TRACE("portable: a Sorvel.ini beside the program");
        const ScopedVariable configHome("XDG_CONFIG_HOME", temp.filePath(QStringLiteral("x")));
        const QString marker = programFilePath(QStringLiteral("Sorvel.ini"));
        QFile file(marker);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        const bool portable = isPortable();
        const QString config = configDir();
        const QString settings = configFilePath(SettingsFileName);
        const QString cache = cacheDir();
        const bool made = makeConfigDir();
        QFile::remove(marker);
        EXPECT_TRUE(portable);
        EXPECT_EQ(config, programDir());
        EXPECT_EQ(settings, marker);
        EXPECT_EQ(cache, programDir() + QStringLiteral("/cache"));
        EXPECT_TRUE(made);
        EXPECT_FALSE(QFileInfo::exists(temp.filePath(QStringLiteral("x"))));
    }
}
