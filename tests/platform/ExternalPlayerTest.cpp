#include "FakePrograms.h"
#include "TestUtil.h"

#include "platform/ExternalPlayer.h"

#include <gtest/gtest.h>

TEST(ExternalPlayerTest, TheUsersPlayerElseTheFirstKnownOneOnThePath) {
    const struct {
        QStringList installed;
        const char* configured;
        QStringList command; // names of installed programs stand for their full paths
    } cases[] = {
        {{"smplayer", "vlc", "mpv"}, "", {"mpv"}},
        {{"smplayer", "vlc"}, "", {"vlc"}},
        {{"smplayer"}, "", {"smplayer"}},
        {{}, "", {}},
        {{"mpv", "myplayer"}, "myplayer --fs \"a b\"", {"myplayer", "--fs", "a b"}},
        {{"mpv"}, "noplayer -v", {"noplayer", "-v"}},
        {{"mpv"}, "/opt/player/bin/play", {"/opt/player/bin/play"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.configured);
        const FakePrograms programs(c.installed);
        QStringList expected = c.command;
        if (!expected.isEmpty() && c.installed.contains(expected.front()))
            expected.front() = programs.path(expected.front());
        EXPECT_EQ(playerCommand(QString::fromUtf8(c.configured)), expected)
            << c.installed.join(u' ').toStdString();
    }
}

TEST(ExternalPlayerTest, TheAddressIsOneArgumentAndNoShellSeesIt) {
    const FakePrograms programs({QStringLiteral("mpv")});
    // Characters a shell would act on stay in the one argument.
    const QString address = QStringLiteral("http://127.0.0.1:1/watch?v=1&t=2;$(touch x)`id`");
    startPlayer({programs.path(QStringLiteral("mpv")), QStringLiteral("--fs")}, address);
    EXPECT_EQ(programs.waitForArguments(QStringLiteral("mpv")),
              (QStringList{QStringLiteral("--fs"), address}));
}

TEST(ExternalPlayerTest, APlayerThatCannotStartIsNamed) {
    const FakePrograms programs({});
    EXPECT_EQ(raisedMessage<PlayerStartError>(
                  [] { startPlayer({QStringLiteral("noplayer")}, QStringLiteral("http://a/")); }),
              QStringLiteral("外部プレーヤー「noplayer」を起動できません"));
    EXPECT_EQ(raisedMessage<PlayerStartError>([] { startPlayer({}, QStringLiteral("http://a/")); }),
              QStringLiteral("外部プレーヤー「」を起動できません"));
}
