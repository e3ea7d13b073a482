#include "net/UuEncoder.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

QByteArray pattern(int size) {
    QByteArray data;
    for (int i = 0; i < size; ++i)
        data += static_cast<char>((i * 37 + 11) & 0xFF);
    return data;
}

QByteArray encodeWith(UuEncoder::Format method, const QByteArray& input) {
    QBuffer in;
    in.setData(input);
    in.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    UuEncoder processor;
    processor.format = method;
    processor.input = &in;
    processor.output = &out;
    int begins = 0;
    int ends = 0;
    processor.onBeginEncode = [&](UuEncoder*) { ++begins; };
    processor.onEndEncode = [&](UuEncoder*) { ++ends; };
    processor.encode();
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(out.pos(), 0); // left at its start
    return out.readAll();
}

// Base64 of each 45-byte chunk on a line of its own, as a well-kept encoder makes it.
QByteArray referenceBase64(const QByteArray& input) {
    QByteArray text;
    for (qsizetype i = 0; i < input.size(); i += 45)
        text += input.mid(i, 45).toBase64() + "\r\n";
    return text;
}

// Uuencode lines: the length character, then the same 6-bit groups as base64 in the classic
// alphabet (back-quote for zero), no padding characters; a closing back-quote line.
QByteArray referenceUuencode(const QByteArray& input) {
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
    const QByteArray input = pattern(GetParam());
    EXPECT_EQ(encodeWith(UuEncoder::Format::Base64, input), referenceBase64(input));
    EXPECT_EQ(encodeWith(UuEncoder::Format::Uuencode, input), referenceUuencode(input));
}

INSTANTIATE_TEST_SUITE_P(Sizes, UuEncoderSizesTest, ::testing::Values(0, 1, 2, 3, 45, 46, 1000));

TEST(UuEncoderTest, LineShapes) {
    EXPECT_EQ(encodeWith(UuEncoder::Format::Base64, pattern(45)).size(), 62);
    const QByteArray two = encodeWith(UuEncoder::Format::Base64, pattern(46));
    EXPECT_TRUE(two.endsWith("==\r\n"));
    EXPECT_EQ(two.size(), 62 + 6);
    EXPECT_EQ(encodeWith(UuEncoder::Format::Uuencode, ""), QByteArray("`\r\n"));
    EXPECT_EQ(encodeWith(UuEncoder::Format::Base64, "user:pass"), QByteArray("dXNlcjpwYXNz\r\n"));
}

TEST(UuEncoderTest, StreamErrorStillRestoresOutput) {
    QBuffer in; // never opened: reading fails
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    UuEncoder processor;
    processor.input = &in;
    processor.output = &out;
    int ends = 0;
    processor.onEndEncode = [&](UuEncoder*) { ++ends; };
    EXPECT_ANY_THROW(processor.encode());
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(out.pos(), 0);
}
