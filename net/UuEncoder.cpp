#include "net/UuEncoder.h"

#include "platform/Exception.h"

#include <QByteArray>
#include <QIODevice>

namespace {

constexpr char MimeAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char UUChar(int value) {
    return value == 0 ? '`' : static_cast<char>(32 + value);
}

QByteArray EncodeLine(const QByteArray& chunk, UUMethods method) {
    const auto symbol = [method](int v) {
        return method == UUMethods::uuMime ? MimeAlphabet[v] : UUChar(v);
    };
    QByteArray line;
    if (method == UUMethods::uuCode)
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
        if (method == UUMethods::uuMime)
            line += "==";
    } else if (rest == 2) {
        line += symbol(byte(i) >> 2);
        line += symbol(((byte(i) & 3) << 4) | (byte(i + 1) >> 4));
        line += symbol((byte(i + 1) & 15) << 2);
        if (method == UUMethods::uuMime)
            line += '=';
    }
    line += "\r\n";
    return line;
}

void WriteAll(QIODevice* out, const QByteArray& bytes) {
    if (out->write(bytes) != bytes.size())
        throw Exception(QStringLiteral("Stream write error"));
}

} // namespace

void TNMUUProcessor::encode() {
    struct Finish {
        TNMUUProcessor* self;
        ~Finish() {
            if (self->OutputStream)
                self->OutputStream->seek(0);
            if (self->OnEndEncode)
                self->OnEndEncode(self);
        }
    };

    if (!InputStream || !OutputStream)
        throw Exception(QStringLiteral("Stream not assigned"));
    InputStream->seek(0);
    if (OnBeginEncode)
        OnBeginEncode(this);
    Finish finish{this};

    char chunk[45];
    for (;;) {
        const qint64 n = InputStream->read(chunk, sizeof chunk);
        if (n < 0)
            throw Exception(QStringLiteral("Stream read error"));
        if (n == 0)
            break;
        WriteAll(OutputStream, EncodeLine(QByteArray(chunk, static_cast<qsizetype>(n)), Method));
    }
    if (Method == UUMethods::uuCode)
        WriteAll(OutputStream, "`\r\n");
}
