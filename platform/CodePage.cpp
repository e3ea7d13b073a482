#include "platform/CodePage.h"

#include "platform/Exception.h"

#include <QList>
#include <QtEndian>

#include <cerrno>
#include <iconv.h>

namespace {

// iconv descriptors carry state and are not thread-safe, so each thread keeps its own; opening
// one per call would load and unload the converter module every time.
class Converter final {
public:
    Converter(const char* to, const char* from)
        : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw Exception(QStringLiteral("iconv cannot convert %1 to %2")
                                .arg(QLatin1StringView(from), QLatin1StringView(to)));
    }
    ~Converter() { iconv_close(m_cd); }
    Q_DISABLE_COPY_MOVE(Converter)

    // Back to the initial state, before a new text.
    void reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

    // One step of iconv; returns 0 or the errno of the step that stopped.
    int step(const char*& in, size_t& inLeft, char*& out, size_t& outLeft) {
        char* input = const_cast<char*>(in);
        const size_t result = iconv(m_cd, &input, &inLeft, &out, &outLeft);
        in = input;
        return result == static_cast<size_t>(-1) ? errno : 0;
    }

private:
    iconv_t m_cd;
};

Converter& toShiftJisConverter() {
    thread_local Converter converter("CP932", "UTF-32LE");
    converter.reset();
    return converter;
}

Converter& fromShiftJisConverter() {
    thread_local Converter converter("UTF-16LE", "CP932");
    converter.reset();
    return converter;
}

bool isAscii(const char* data, qsizetype size) {
    for (qsizetype i = 0; i < size; ++i) {
        if (static_cast<unsigned char>(data[i]) >= 0x80)
            return false;
    }
    return true;
}

// Doubles a conversion's output buffer, keeping what was written and the write position.
void enlarge(QByteArray& output, char*& out, size_t& outLeft) {
    const qsizetype used = out - output.data();
    output.resize(output.size() * 2);
    out = output.data() + used;
    outLeft = static_cast<size_t>(output.size() - used);
}

bool isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

} // namespace

QByteArray toShiftJis(const QString& text) {
    bool ascii = true;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return text.toLatin1();

    // Whole code points in, so that an unconvertible one is skipped as a unit (a lone surrogate
    // arrives here as U+FFFD and becomes "?" like any other).
    const QList<uint> codePoints = text.toUcs4();
    QByteArray input(codePoints.size() * 4, Qt::Uninitialized);
    for (qsizetype i = 0; i < codePoints.size(); ++i)
        qToLittleEndian<quint32>(codePoints[i], input.data() + i * 4);

    Converter& converter = toShiftJisConverter();
    QByteArray output(codePoints.size() * 2 + 8, Qt::Uninitialized);
    const char* in = input.constData();
    size_t inLeft = static_cast<size_t>(input.size());
    char* out = output.data();
    size_t outLeft = static_cast<size_t>(output.size());
    while (inLeft > 0) {
        const int error = converter.step(in, inLeft, out, outLeft);
        if (error == 0)
            break;
        if (error == E2BIG || outLeft == 0) {
            enlarge(output, out, outLeft);
            continue;
        }
        // EILSEQ (or EINVAL, which whole code points never cause): one "?" for the character.
        *out++ = '?';
        --outLeft;
        in += 4;
        inLeft -= 4;
    }
    output.truncate(out - output.data());
    return output;
}

QString fromShiftJis(const QByteArray& bytes) {
    if (isAscii(bytes.constData(), bytes.size()))
        return QString::fromLatin1(bytes);

    Converter& converter = fromShiftJisConverter();
    // Every character of code page 932 is one UTF-16 unit, and so is every replacement.
    QByteArray output(bytes.size() * 2 + 8, Qt::Uninitialized);
    const char* in = bytes.constData();
    const char* const end = in + bytes.size();
    size_t inLeft = static_cast<size_t>(bytes.size());
    char* out = output.data();
    size_t outLeft = static_cast<size_t>(output.size());
    while (inLeft > 0) {
        const int error = converter.step(in, inLeft, out, outLeft);
        if (error == 0)
            break;
        if (error == E2BIG || outLeft < 2) {
            enlarge(output, out, outLeft);
            continue;
        }
        qToLittleEndian<quint16>(0xFFFD, out);
        out += 2;
        outLeft -= 2;
        const auto lead = static_cast<unsigned char>(*in);
        const qsizetype skip =
            isLeadByte(lead) && in + 1 < end && static_cast<unsigned char>(in[1]) >= 0x80 ? 2 : 1;
        in += skip;
        inLeft -= static_cast<size_t>(skip);
    }
    const qsizetype size = out - output.data();
    QString text(size / 2, Qt::Uninitialized);
    qFromLittleEndian<quint16>(output.constData(), size / 2, text.data());
    return text;
}
