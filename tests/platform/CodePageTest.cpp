#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

struct RoundTrip {
    const char* name;
    QByteArray shiftJis;
    QString text;
    QByteArray back; // what the text is written as, when not the same bytes
};

// Characters where the Shift-JIS converters disagree: code page 932 has its own readings of
// these bytes, and the NEC-selected copy of an IBM character is written as the IBM one.
const RoundTrip RoundTrips[] = {
    {"full-width tilde", "\x81\x60", QStringLiteral(u"\uFF5E"), {}},
    {"full-width minus", "\x81\x7C", QStringLiteral(u"\uFF0D"), {}},
    {"parallel", "\x81\x61", QStringLiteral(u"\u2225"), {}},
    {"horizontal bar", "\x81\x5C", QStringLiteral(u"\u2015"), {}},
    {"cent, pound, not", "\x81\x91\x81\x92\x81\xCA", QStringLiteral(u"\uFFE0\uFFE1\uFFE2"), {}},
    {"backslash and tilde stay ASCII", "\x5C\x7E", QStringLiteral(u"\\~"), {}},
    {"NEC circled one", "\x87\x40", QStringLiteral(u"\u2460"), {}},
    {"IBM small roman one", "\xFA\x40", QStringLiteral(u"\u2170"), {}},
    {"IBM kanji", "\xFA\x5C", QStringLiteral(u"\u7E8A"), {}},
    {"NEC-selected IBM kanji", "\xED\x40", QStringLiteral(u"\u7E8A"), "\xFA\x5C"},
    {"half-width katakana", "\xB1\xDD", QStringLiteral(u"\uFF71\uFF9D"), {}},
    {"user-defined area", "\xF0\x40", QStringLiteral(u"\uE000"), {}},
    {"kana and kanji", "\x83\x5C\x81\x5B\x95\x5C", QStringLiteral(u"ソー表"), {}},
};

} // namespace

TEST(CodePageTest, RoundTripsCodePage932) {
    for (const RoundTrip& c : RoundTrips) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fromShiftJis(c.shiftJis), c.text);
        EXPECT_EQ(toShiftJis(c.text), c.back.isEmpty() ? c.shiftJis : c.back);
        EXPECT_EQ(toShiftJis(QString::fromUtf8(c.text.toUtf8())),
                  c.back.isEmpty() ? c.shiftJis : c.back);
    }
}

TEST(CodePageTest, WritesTheWindowsReadingsOfLookAlikes) {
    // Wave dash, minus sign and em dash have no code of their own in code page 932.
    EXPECT_EQ(toShiftJis(QStringLiteral(u"\u301C\u2212\u2014\u00A5")),
              QByteArray("\x81\x60\x81\x7C\x81\x5C\x5C"));
}

TEST(CodePageTest, UnconvertibleCharactersBecomeOneQuestionMarkEach) {
    EXPECT_EQ(toShiftJis(QStringLiteral(u"a\U0001F600b\uD55C\u20ACc")), QByteArray("a?b??c"));
    const QChar loneSurrogate[] = {u'x', QChar(0xD800), u'y'};
    EXPECT_EQ(toShiftJis(QString(loneSurrogate, 3)), QByteArray("x?y"));
}

TEST(CodePageTest, InvalidBytesBecomeReplacementCharacters) {
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"a\x80"
         "b",
         QStringLiteral(u"a\uFFFDb")},
        {"\xA0\xFD\xFF", QStringLiteral(u"\uFFFD\uFFFD\uFFFD")},
        // A lead byte before an ASCII byte stands alone; the ASCII byte is read as itself.
        {"\x81 x", QStringLiteral(u"\uFFFD x")},
        {"\x85\x40", QStringLiteral(u"\uFFFD@")},
        // A lead byte before a non-ASCII byte that makes no character takes it along.
        {"\x81\xFF"
         "z",
         QStringLiteral(u"\uFFFDz")},
        {"\x82\xA0\x82", QStringLiteral(u"あ\uFFFD")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        EXPECT_EQ(fromShiftJis(c.bytes), c.text);
    }
}

TEST(CodePageTest, LongTextsConvertWhole) {
    const QString text = QStringLiteral(u"犬と猫ｱ～a").repeated(5000);
    const QByteArray bytes = toShiftJis(text);
    EXPECT_EQ(bytes.size(), 5000 * 10);
    EXPECT_EQ(fromShiftJis(bytes), text);
    EXPECT_EQ(toShiftJis(QString()), QByteArray());
    EXPECT_EQ(fromShiftJis(QByteArray()), QString());
}
