#include "net/HeaderLines.h"
#include "net/UrlEncoder.h"
#include "net/UuEncoder.h"

#include <QBuffer>

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
    TNMURL url;
    for (const auto& c : cases) {
        url.InputString = c.input;
        EXPECT_EQ(url.encode(), c.expected) << c.input.toHex().constData();
    }
}

TEST(HeaderLinesTest, SetHeaderAppendsReplacesAndRemoves) {
    TExStringList list;
    list.Add("GET / HTTP/1.0");
    list.SetHeader("Host", "h");
    list.SetHeader("Accept", "*/*");
    EXPECT_EQ(list.IndexOfHeader("host"), 1);
    EXPECT_EQ(list.IndexOfHeader("GET / HTTP/1.0"), -1); // a line without ":" is skipped

    list.SetHeader("HOST", "h2"); // another letter case replaces the line in place
    EXPECT_EQ(list[1], QByteArray("HOST: h2"));
    EXPECT_EQ(list.Count(), 3);

    list.SetHeader("Cookie", ""); // an empty value for a missing name changes nothing
    EXPECT_EQ(list.Count(), 3);
    list.SetHeader("accept", ""); // an empty value removes the line
    EXPECT_EQ(list.Text(), QByteArray("GET / HTTP/1.0\r\nHOST: h2\r\n"));
}

namespace {

QByteArray Pattern(int size) {
    QByteArray data;
    for (int i = 0; i < size; ++i)
        data += static_cast<char>((i * 37 + 11) & 0xFF);
    return data;
}

QByteArray EncodeWith(UUMethods method, const QByteArray& input) {
    QBuffer in;
    in.setData(input);
    in.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    TNMUUProcessor processor;
    processor.Method = method;
    processor.InputStream = &in;
    processor.OutputStream = &out;
    int begins = 0;
    int ends = 0;
    processor.OnBeginEncode = [&](TNMUUProcessor*) { ++begins; };
    processor.OnEndEncode = [&](TNMUUProcessor*) { ++ends; };
    processor.encode();
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(out.pos(), 0); // left at its start
    return out.readAll();
}

// Base64 of each 45-byte chunk on a line of its own, as a well-kept encoder makes it.
QByteArray ReferenceMime(const QByteArray& input) {
    QByteArray text;
    for (qsizetype i = 0; i < input.size(); i += 45)
        text += input.mid(i, 45).toBase64() + "\r\n";
    return text;
}

// Uuencode lines: the length character, then the same 6-bit groups as base64 in the classic
// alphabet (back-quote for zero), no padding characters; a closing back-quote line.
QByteArray ReferenceUU(const QByteArray& input) {
    static const QByteArray mime =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto uu = [](int v) { return v == 0 ? '`' : static_cast<char>(32 + v); };
    QByteArray text;
    for (qsizetype i = 0; i < input.size(); i += 45) {
        const QByteArray chunk = input.mid(i, 45);
        text += uu(static_cast<int>(chunk.size()));
        for (const char c : chunk.toBase64(QByteArray::OmitTrailingEquals))
            text += uu(static_cast<int>(mime.indexOf(c)));
        text += "\r\n";
    }
    return text + "`\r\n";
}

} // namespace

class UuEncoderSizesTest : public ::testing::TestWithParam<int> {};

TEST_P(UuEncoderSizesTest, AgreesWithReferenceEncoders) {
    const QByteArray input = Pattern(GetParam());
    EXPECT_EQ(EncodeWith(UUMethods::uuMime, input), ReferenceMime(input));
    EXPECT_EQ(EncodeWith(UUMethods::uuCode, input), ReferenceUU(input));
}

INSTANTIATE_TEST_SUITE_P(Sizes, UuEncoderSizesTest, ::testing::Values(0, 1, 2, 3, 45, 46, 1000));

TEST(UuEncoderTest, LineShapes) {
    EXPECT_EQ(EncodeWith(UUMethods::uuMime, Pattern(45)).size(), 62);
    const QByteArray two = EncodeWith(UUMethods::uuMime, Pattern(46));
    EXPECT_TRUE(two.endsWith("==\r\n"));
    EXPECT_EQ(two.size(), 62 + 6);
    EXPECT_EQ(EncodeWith(UUMethods::uuCode, ""), QByteArray("`\r\n"));
    EXPECT_EQ(EncodeWith(UUMethods::uuMime, "user:pass"), QByteArray("dXNlcjpwYXNz\r\n"));
}

TEST(UuEncoderTest, StreamErrorStillRestoresOutput) {
    QBuffer in; // never opened: reading fails
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    TNMUUProcessor processor;
    processor.InputStream = &in;
    processor.OutputStream = &out;
    int ends = 0;
    processor.OnEndEncode = [&](TNMUUProcessor*) { ++ends; };
    EXPECT_ANY_THROW(processor.encode());
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(out.pos(), 0);
}
