#include "net/UuEncoder.h"

#include "platform/Exception.h"

#include <QByteArray>
#include <QIODevice>

namespace {

constexpr char MimeAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char uuChar(int value) {
    return value == 0 ? '`' : static_cast<char>(32 + value);
}

QByteArray encodeLine(const QByteArray& chunk, UuEncoder::Format format) {
    const auto symbol = [format](int v) {
        return format == UuEncoder::Format::Base64 ? MimeAlphabet[v] : uuChar(v);
    };
    QByteArray line;
    if (format == UuEncoder::Format::Uuencode)
        line += symbol(static_cast<int>(chunk.size()));
    const auto byte = [&chunk](qsizetype i) { return static_cast<unsigned char>(chunk[i]); };
    qsizetype i = 0;
    for (; i + 3 <= chunk.size(); i += 3) {
        const unsigned bits = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
        line += symbol((bits >> 18) & 63);
        line += symbol((bits >> 12) & 63);
        line += symbol((bits >> 6) & 63);
        line += symbol(bits & 63);
    }
    const qsizetype rest = chunk.size() - i;
    if (rest == 1) {
        line += symbol(byte(i) >> 2);
        line += symbol((byte(i) & 3) << 4);
        if (format == UuEncoder::Format::Base64)
            line += "==";
    } else if (rest == 2) {
        line += symbol(byte(i) >> 2);
        line += symbol(((byte(i) & 3) << 4) | (byte(i + 1) >> 4));
        line += symbol((byte(i + 1) & 15) << 2);
        if (format == UuEncoder::Format::Base64)
            line += '=';
    }
    line += "\r\n";
    return line;
}

void writeAll(QIODevice* out, const QByteArray& bytes) {
    if (out->write(bytes) != bytes.size())
        throw Exception(QStringLiteral("Stream write error"));
}

} // namespace

void UuEncoder::encode() {
    struct Finish {
        UuEncoder* self;
        ~Finish() {
            if (self->output)
                self->output->seek(0);
            if (self->onEndEncode)
                self->onEndEncode(self);
        }
    };

    if (!input || !output)
        throw Exception(QStringLiteral("Stream not assigned"));
    input->seek(0);
    if (onBeginEncode)
        onBeginEncode(this);
    Finish finish{this};

    char chunk[45];
    for (;;) {
        const qint64 n = input->read(chunk, sizeof chunk);
        if (n < 0)
            throw Exception(QStringLiteral("Stream read error"));
        if (n == 0)
            break;
        writeAll(output, encodeLine(QByteArray(chunk, static_cast<qsizetype>(n)), format));
    }
    if (format == UuEncoder::Format::Uuencode)
        writeAll(output, "`\r\n");
}
