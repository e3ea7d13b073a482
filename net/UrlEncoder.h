#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Appends "%" and the byte as two upper-case hexadecimal digits.
void appendPercentEscape(QByteArray& out, unsigned char byte);

// A URL as it may stand in a request line: the control bytes, the space and every byte above
// 0x7E percent-encoded (those above 0x7E stay with keepNonAscii), everything else ("%" included)
// as it is. Encoding twice changes nothing.
QByteArray requestLineBytes(const QByteArray& url, bool keepNonAscii = false);

// URL encoding of a byte string for query values and form data: letters and digits stay,
// a space becomes "+", every other byte becomes "%" and two upper-case hexadecimal digits.
class UrlEncoder final {
public:
    using ErrorHandler =
        std::function<void(UrlEncoder* sender, const QString& operation, const QString& errMsg)>;

    UrlEncoder() = default;
    Q_DISABLE_COPY_MOVE(UrlEncoder)

    QByteArray input;
    ErrorHandler onError;

    // The encoding of input, computed on each read. Never raises: a failure goes to
    // onError and yields the input unchanged.
    QByteArray encode();

    static QByteArray encodeBytes(const QByteArray& input);
};
