#include "net/UrlEncoder.h"

#include <exception>

void appendPercentEscape(QByteArray& out, unsigned char byte) {
    static constexpr char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[byte >> 4];
    out += hex[byte & 0x0F];
}

QByteArray requestLineBytes(const QByteArray& url, bool keepNonAscii) {
    QByteArray bytes;
    bytes.reserve(url.size());
    for (const char ch : url) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c > 0x20 && c < 0x7F) || (keepNonAscii && c > 0x7F))
            bytes += ch;
        else
            appendPercentEscape(bytes, c);
    }
    return bytes;
}

QByteArray UrlEncoder::encodeBytes(const QByteArray& input) {
    QByteArray out;
    out.reserve(input.size() * 3);
    for (const char ch : input) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            out += ch;
        } else if (c == ' ') {
            out += '+';
        } else {
            appendPercentEscape(out, c);
        }
    }
    return out;
}

QByteArray UrlEncoder::encode() {
    try {
        return encodeBytes(input);
    } catch (const std::exception& e) {
        if (onError)
            onError(this, QStringLiteral("Error during encode"), QString::fromLocal8Bit(e.what()));
        return input;
    }
}
