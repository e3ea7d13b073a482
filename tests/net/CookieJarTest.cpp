#include "net/CookieJar.h"

#include <gtest/gtest.h>

namespace {

const QByteArray A = CookieJar::Origin("http", "a.example", 80);
const QByteArray B = CookieJar::Origin("http", "b.example", 80);

} // namespace

TEST(CookieJarTest, OriginIsSchemeHostAndPort) {
    EXPECT_EQ(CookieJar::Origin("HTTP", "A.Example", 8080), "http://a.example:8080");
    EXPECT_NE(CookieJar::Origin("http", "a", 80), CookieJar::Origin("http", "a", 8080));
}

TEST(CookieJarTest, CookiesStayWithTheirOrigin) {
    CookieJar jar;
    jar.Store(A, "sid=SECRET; Domain=example; Path=/only/here; HttpOnly");
    jar.Store(A, "lang=ja");
    jar.Store(B, "other=1");
    EXPECT_EQ(jar.CookiesFor(A), "sid=SECRET; lang=ja");
    EXPECT_EQ(jar.CookiesFor(B), "other=1");
    EXPECT_EQ(jar.CookiesFor(CookieJar::Origin("http", "a.example", 8080)), "");
    EXPECT_EQ(jar.CookiesFor(CookieJar::Origin("http", "example", 80)), "");
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
        jar.Store(A, "sid=OLD");
        jar.Store(A, "lang=ja");
        jar.Store(A, c.second);
        EXPECT_EQ(jar.CookiesFor(A), c.expected) << c.second.data();
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
        jar.Store(A, value);
    EXPECT_EQ(jar.Count(), 0);
    EXPECT_EQ(jar.CookiesFor(A), "");

    jar.Store(CookieJar::Origin("https", "a.example", 443), "secure=1; Secure");
    jar.Store(A, "fits=" + QByteArray(CookieJar::MaxCookieSize - 4, 'x'));
    EXPECT_EQ(jar.Count(), 2);
}

TEST(CookieJarTest, OldestCookieGoesPastTheLimits) {
    CookieJar jar;
    for (int i = 0; i <= CookieJar::MaxCookiesPerOrigin; ++i)
        jar.Store(A, "c" + QByteArray::number(i) + "=v");
    EXPECT_EQ(jar.Count(), CookieJar::MaxCookiesPerOrigin);
    EXPECT_FALSE(jar.CookiesFor(A).startsWith("c0="));
    EXPECT_TRUE(jar.CookiesFor(A).startsWith("c1=v; c2=v"));

    CookieJar many;
    for (int i = 0; i <= CookieJar::MaxCookies; ++i)
        many.Store(CookieJar::Origin("http", "h" + QByteArray::number(i), 80), "c=v");
    EXPECT_EQ(many.Count(), CookieJar::MaxCookies);
    EXPECT_EQ(many.CookiesFor(CookieJar::Origin("http", "h0", 80)), "");
    EXPECT_EQ(many.CookiesFor(CookieJar::Origin("http", "h1", 80)), "c=v");
}
