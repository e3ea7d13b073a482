#include "search/AnswerExtraction.h"

#include <array>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The first byte in [p, end) equal to one of the given bytes, or end. Sixteen bytes at a time
// where the processor has SSE2: the answer is mostly text between rare bytes of interest.
template <char... Bytes> const char* findFirstOf(const char* p, const char* end) {
#if defined(__SSE2__)
    while (end - p >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask = _mm_movemask_epi8((_mm_cmpeq_epi8(chunk, _mm_set1_epi8(Bytes)) | ...));
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    while (p < end && ((*p != Bytes) && ...))
        ++p;
    return p;
}

} // namespace

QByteArray normalizeAnswer(QByteArrayView body) {
    // Each "><" of the body grows it by one byte at most.
    QByteArray out(body.size() + body.size() / 2 + 1, Qt::Uninitialized);
    char* const first = out.data();
    char* o = first;
    const char* in = body.data();
    const char* const end = in + body.size();
    while (in < end) {
        const char* p = findFirstOf<'>', ';'>(in, end);
        std::memcpy(o, in, static_cast<size_t>(p - in));
        o += p - in;
        if (p == end)
            break;
        *o++ = *p;
        if (*p == '>') {
            // Only pairs of the body itself are broken: a "><" that a deletion joins later
            // stays on one line.
            if (p + 1 < end && p[1] == '<')
                *o++ = '\n';
        } else if (o - first >= 4 && std::memcmp(o - 4, "amp;", 4) == 0) {
            // "amp;" has no border (no proper prefix that is also a suffix), so deleting it as
            // soon as it is complete at the end of the output gives the text that deleting the
            // first occurrence again and again would give.
            o -= 4;
        }
        in = p + 1;
    }
    out.truncate(o - first);
    return out;
}

namespace {

// Calls f(line) for each line of the text, in order.
template <typename F> void forEachLine(QByteArrayView text, F&& f) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* q = findFirstOf<'\n', '\r'>(p, end);
        f(QByteArrayView(p, q - p));
        if (q < end && *q == '\r' && q + 1 < end && q[1] == '\n')
            ++q;
        p = q + 1;
    }
}

enum Tag { ResultOpen, ResultClose, FieldTags, TagCount = FieldTags + 2 * 5 };

// The tag names after "<" ("<Title>") and after "</" ("</Title>"), in the order of the row's
// fields.
constexpr std::array<std::string_view, 5> FieldNames = {"Title>", "Duration>", "Copyright>",
                                                        "RefererUrl>", "Url>"};

bool startsWith(const char* p, const char* end, std::string_view name) {
    return static_cast<size_t>(end - p) >= name.size() &&
           std::memcmp(p, name.data(), name.size()) == 0;
}

// The tag of interest that begins with the "<" at p, or -1. No tag name holds a line break, so
// a match never reaches beyond the line.
int tagAt(const char* p, const char* end) {
    const bool closing = p + 1 < end && p[1] == '/';
    const char* name = p + (closing ? 2 : 1);
    if (name >= end)
        return -1;
    int field = -1;
    switch (*name) {
    case 'R':
        if (startsWith(name, end, "Result>"))
            return closing ? ResultClose : ResultOpen;
        field = 3;
        break;
    case 'T':
        field = 0;
        break;
    case 'D':
        field = 1;
        break;
    case 'C':
        field = 2;
        break;
    case 'U':
        field = 4;
        break;
    default:
        return -1;
    }
    if (!startsWith(name, end, FieldNames[field]))
        return -1;
    return FieldTags + 2 * field + (closing ? 1 : 0);
}

} // namespace

QStringList splitAnswerLines(QByteArrayView text) {
    QStringList lines;
    forEachLine(text, [&](QByteArrayView line) { lines << QString::fromUtf8(line); });
    return lines;
}

QString extractTotal(QByteArrayView text) {
    static constexpr QByteArrayView startMarker("totalResultsAvailable=\"");
    static constexpr QByteArrayView endMarker("\" totalResultsReturned");
    const qsizetype start = text.indexOf(startMarker);
    const qsizetype end = text.indexOf(endMarker);
    if (start < 0 || end < 0)
        return {};
    const qsizetype from = start + startMarker.size();
    return end < from ? QString() : QString::fromUtf8(text.sliced(from, end - from));
}

SearchResults extractResults(QByteArrayView text) {
    SearchResults table;
    bool inBlock = false;
    std::array<QByteArrayView, 5> values;
    // The first position of each tag in the line being read, -1 where it does not occur.
    std::array<qsizetype, TagCount> at;
    at.fill(-1);
    const char* const end = text.data() + text.size();
    const char* line = text.data();

    const auto endLine = [&] {
        if (!inBlock) {
            if (at[ResultOpen] < 0)
                return;
            inBlock = true;
            values.fill(QByteArrayView());
        }
        if (at[ResultClose] >= 0) {
            // The closing line ends the block and is not read for fields.
            SearchResult& row = table.emplace_back();
            QString* fields[] = {&row.title, &row.duration, &row.source, &row.pageUrl,
                                 &row.thumbnailUrl};
            for (size_t f = 0; f < values.size(); ++f)
                *fields[f] = QString::fromUtf8(values[f]);
            inBlock = false;
            return;
        }
        for (size_t f = 0; f < values.size(); ++f) {
            const qsizetype open = at[FieldTags + 2 * f];
            const qsizetype close = at[FieldTags + 2 * f + 1];
            if (open < 0 || close < 0)
                continue;
            const qsizetype from = open + 1 + static_cast<qsizetype>(FieldNames[f].size());
            values[f] =
                close < from ? QByteArrayView("") : QByteArrayView(line + from, close - from);
        }
    };

    // One pass: every "<" is looked at as a possible tag, every line break ends a line.
    for (const char* p = line;;) {
        const char* q = findFirstOf<'<', '\n', '\r'>(p, end);
        if (q < end && *q == '<') {
            const int tag = tagAt(q, end);
            if (tag >= 0 && at[tag] < 0)
                at[tag] = q - line;
            p = q + 1;
            continue;
        }
        endLine();
        if (q == end)
            break;
        p = *q == '\r' && q + 1 < end && q[1] == '\n' ? q + 2 : q + 1;
        line = p;
        at.fill(-1);
    }
    // A block without its closing line gives no row.
    return table;
}
