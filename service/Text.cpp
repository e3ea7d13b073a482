#include "service/Text.h"

#include <unicode/unorm2.h>

#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <unordered_set>

namespace {

// Decodes one code point at text[pos]; returns the number of bytes it takes, 0 when the bytes
// there are no valid UTF-8 (overlong forms, surrogates and values above U+10FFFF included).
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& cp) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length;
    char32_t min;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        min = 0x80;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        min = 0x800;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        min = 0x10000;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(pos + i);
        if ((next & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// ICU's NFKC with case folding; the instance is ICU's own, shared and safe from every thread.
const UNormalizer2* NfkcCaseFold() {
    static const UNormalizer2* const normalizer = [] {
        UErrorCode status = U_ZERO_ERROR;
        const UNormalizer2* instance = unorm2_getNFKCCasefoldInstance(&status);
        if (U_FAILURE(status))
            throw std::runtime_error(std::string("ICU: no nfkc_cf normalizer: ") +
                                     u_errorName(status));
        return instance;
    }();
    return normalizer;
}

bool IsControl(char32_t cp) {
    return (cp < 0x20 && cp != U'\t') || cp == 0x7F || cp == 0xFFFE || cp == 0xFFFF;
}

} // namespace

std::string FoldForSearch(std::string_view utf8) {
    std::u16string wide;
    wide.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t cp = 0;
        const std::size_t length = DecodeUtf8(utf8, pos, cp);
        if (length == 0) {
            ++pos;
            continue;
        }
        pos += length;
        if (IsControl(cp))
            continue;
        if (cp == 0xFFE5)
            cp = U'\\';
        else if (cp == 0x201D)
            cp = U'"';
        AppendUtf16(wide, cp);
    }
    if (wide.empty())
        return {};

    // Folding rarely lengthens text much; a longer result is measured first, then written.
    std::u16string folded(wide.size() + wide.size() / 2 + 16, u'\0');
    for (;;) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            unorm2_normalize(NfkcCaseFold(), wide.data(), static_cast<int32_t>(wide.size()),
                             folded.data(), static_cast<int32_t>(folded.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            folded.assign(static_cast<std::size_t>(length), u'\0');
            continue;
        }
        if (U_FAILURE(status))
            throw std::runtime_error(std::string("ICU: cannot fold text: ") + u_errorName(status));
        folded.resize(static_cast<std::size_t>(length));
        break;
    }

    std::string out;
    out.reserve(folded.size() * 3);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        char32_t cp = folded[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < folded.size() && folded[i + 1] >= 0xDC00 &&
            folded[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (folded[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::vector<std::string> Grams(std::string_view folded, std::size_t maxLength) {
    std::vector<std::size_t> starts; // the byte offset of every code point, and the end
    for (std::size_t pos = 0; pos < folded.size(); ++pos) {
        if ((static_cast<unsigned char>(folded[pos]) & 0xC0) != 0x80)
            starts.push_back(pos);
    }
    starts.push_back(folded.size());
    std::vector<std::string> grams;
    std::unordered_set<std::string_view> seen;
    for (std::size_t first = 0; first + 1 < starts.size(); ++first) {
        for (std::size_t length = 1; length <= maxLength && first + length < starts.size();
             ++length) {
            const char last = folded[starts[first + length - 1]];
            if (last == ' ' || last == '\t')
                break;
            const std::string_view gram =
                folded.substr(starts[first], starts[first + length] - starts[first]);
            if (seen.insert(gram).second)
                grams.emplace_back(gram);
        }
    }
    return grams;
}

std::vector<std::string> SplitTerms(std::string_view folded) {
    std::vector<std::string> terms;
    std::size_t pos = 0;
    while (pos < folded.size()) {
        const std::size_t end = folded.find_first_of(" \t", pos);
        const std::size_t stop = end == std::string_view::npos ? folded.size() : end;
        if (stop > pos)
            terms.emplace_back(folded.substr(pos, stop - pos));
        pos = stop + 1;
    }
    return terms;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        const std::size_t length = DecodeUtf8(text, pos, cp);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

std::size_t CodePointCount(std::string_view utf8) {
    std::size_t count = 0;
    for (const char c : utf8) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

std::string EscapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        const std::size_t length = DecodeUtf8(text, pos, cp);
        if (length == 0) {
            ++pos;
            continue;
        }
        if (cp == U'&')
            out += "&amp;";
        else if (cp == U'<')
            out += "&lt;";
        else if (cp == U'>')
            out += "&gt;";
        else if (!IsControl(cp) && cp != U'\t')
            out.append(text.substr(pos, length));
        pos += length;
    }
    return out;
}

std::string EscapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::string_view TrimBlanks(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool ParseInt(std::string_view text, int& value) {
    const bool plus = !text.empty() && text.front() == '+';
    const bool sign = plus || (!text.empty() && text.front() == '-');
    const std::string_view digits = text.substr(sign ? 1 : 0);
    if (digits.empty() || digits.front() < '0' || digits.front() > '9')
        return false;
    if (plus)
        text.remove_prefix(1);
    int parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    value = parsed;
    return true;
}

std::string PrintableAscii(std::string_view bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0x0F];
        }
    }
    return out;
}
