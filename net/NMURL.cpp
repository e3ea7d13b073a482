#include "net/NMURL.h"

#include <exception>

QByteArray TNMURL::EncodeBytes(const QByteArray& input) {
    static constexpr char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(input.size() * 3);
    for (const char ch : input) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            out += ch;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

QByteArray TNMURL::Encode() {
    try {
        return EncodeBytes(InputString);
    } catch (const std::exception& e) {
        if (OnError)
            OnError(this, QStringLiteral("Error during encode"), QString::fromLocal8Bit(e.what()));
        return InputString;
    }
}
