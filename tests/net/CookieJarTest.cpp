#include "net/CookieJar.h"

#include <gtest/gtest.h>

namespace {

const QByteArray A = CookieJar::origin("http", "a.example", 80);
const QByteArray B = CookieJar::origin("http", "b.example", 80);

} // namespace

TEST(CookieJarTest, OriginIsSchemeHostAndPort) {
    EXPECT_EQ(CookieJar::origin("HTTP", "A.Example", 8080), "http://a.example:8080");
    EXPECT_NE(CookieJar::origin("http", "a", 80), CookieJar::origin("http", "a", 8080));
}

TEST(CookieJarTest, CookiesStayWithTheirOrigin) {
    CookieJar jar;
    jar.store(A, "sid=SECRET; Domain=example; Path=/only/here; HttpOnly");
    jar.store(A, "lang=ja");
    jar.store(B, "other=1");
    EXPECT_EQ(jar.cookiesFor(A), "sid=SECRET; lang=ja");
    EXPECT_EQ(jar.cookiesFor(B), "other=1");
    EXPECT_EQ(jar.cookiesFor(CookieJar::origin("http", "a.example", 8080)), "");
    EXPECT_EQ(jar.cookiesFor(CookieJar::origin("http", "example", 80)), "");
}

TEST(CookieJarTest, ASetCookieReplacesOrEndsTheCookieOfItsName) {
    const struct {
        QByteArray second;
        QByteArray expected;
    } cases[] = {
        {"sid=NEW", "sid=NEW; lang=ja"},
        {"sid=NEW; Max-Age=3600", "sid=NEW; lang=ja"},
        {"sid=gone; Max-Age=0", "lang=ja"},
        {"sid=gone; Expires=Wed, 21 Oct 2015 07:28:00 GMT", "lang=ja"},
    };
    for (const auto& c : cases) {
        CookieJar jar;
        jar.store(A, "sid=OLD");
        jar.store(A, "lang=ja");
        jar.store(A, c.second);
        EXPECT_EQ(jar.cookiesFor(A), c.expected) << c.second.data();
    }
}

TEST(CookieJarTest, UnusableCookiesAreIgnoredNotCut) {
    CookieJar jar;
    const QByteArray ignored[] = {
        "",
        "novalue",
        "=nameless",
        "secure=1; Secure", // an http origin cannot set it
        "bad=a\rX-Injected: 1",
        "nul=a" + QByteArray(1, '\0') + "b",
        "two=1\nthree=2",
        "big=" + QByteArray(CookieJar::MaxCookieSize, 'x'),
    };
    for (const QByteArray& value : ignored)
        jar.store(A, value);
    EXPECT_EQ(jar.count(), 0);
    EXPECT_EQ(jar.cookiesFor(A), "");

    jar.store(CookieJar::origin("https", "a.example", 443), "secure=1; Secure");
    jar.store(A, "fits=" + QByteArray(CookieJar::MaxCookieSize - 4, 'x'));
    EXPECT_EQ(jar.count(), 2);
}

TEST(CookieJarTest, OldestCookieGoesPastTheLimits) {
    CookieJar jar;
    for (int i = 0; i <= CookieJar::MaxCookiesPerOrigin; ++i)
        jar.store(A, "c" + QByteArray::number(i) + "=v");
    EXPECT_EQ(jar.count(), CookieJar::MaxCookiesPerOrigin);
    EXPECT_FALSE(jar.cookiesFor(A).startsWith("c0="));
    EXPECT_TRUE(jar.cookiesFor(A).startsWith("c1=v; c2=v"));

    CookieJar many;
    for (int i = 0; i <= CookieJar::MaxCookies; ++i)
        many.store(CookieJar::origin("http", "h" + QByteArray::number(i), 80), "c=v");
    EXPECT_EQ(many.count(), CookieJar::MaxCookies);
    EXPECT_EQ(many.cookiesFor(CookieJar::origin("http", "h0", 80)), "");
    EXPECT_EQ(many.cookiesFor(CookieJar::origin("http", "h1", 80)), "c=v");
}
