#include "platform/WindowActivation.h"

#include <gtest/gtest.h>

TEST(WindowActivationTest, StartupIdTimeAndRemoveMessage) {
    const struct {
        const char* id;
        quint32 time;
        const char* removeMessage;
    } cases[] = {
        {"kwin-1234-5678-host_TIME918273", 918273, "remove: ID=kwin-1234-5678-host_TIME918273"},
        {"gnome-shell/Sorvel/2-0_TIME0", 0, "remove: ID=gnome-shell/Sorvel/2-0_TIME0"},
        {"no-time-here", 0, "remove: ID=no-time-here"},
        {"_TIME99999999999", 0, "remove: ID=_TIME99999999999"},
        {"a b\"c\\_TIME7", 7, "remove: ID=\"a b\\\"c\\\\_TIME7\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(startupIdTime(QString::fromLatin1(c.id)), c.time) << c.id;
        EXPECT_EQ(startupRemoveMessage(QString::fromLatin1(c.id)), QByteArray(c.removeMessage))
            << c.id;
    }
}
