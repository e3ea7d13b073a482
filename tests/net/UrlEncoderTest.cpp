#include "net/UrlEncoder.h"

#include <gtest/gtest.h>

TEST(UrlEncoderTest, EncodesBytes) {
    const struct {
        QByteArray input;
        QByteArray expected;
    } cases[] = {
        {"", ""},
        {"azAZ09", "azAZ09"},
        {"a b", "a+b"},
        {"/", "%2F"},
        {"%", "%25"},
        {"+", "%2B"},
        {"~", "%7E"},
        {"\n", "%0A"},
        {"-._*", "%2D%2E%5F%2A"},
        {"\xE3\x80\x80", "%E3%80%80"},
        {QByteArray("a\0b", 3), "a%00b"},
    };
    UrlEncoder url;
    for (const auto& c : cases) {
        url.input = c.input;
        EXPECT_EQ(url.encode(), c.expected) << c.input.toHex().constData();
    }
}
