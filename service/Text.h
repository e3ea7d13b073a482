#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text helpers of the service: UTF-8 folding for search, escaping for XML and HTML, strict numbers.

// The form in which titles, descriptions and keywords are compared, the same for every catalogue
// back end: invalid UTF-8 and control characters dropped, the full-width yen sign U+FFE5 taken as a
// backslash and the right double quotation mark U+201D as '"' (the program sends them for those
// ASCII characters), then Unicode's NFKC with case folding (ICU's nfkc_cf): full-width Latin and
// half-width katakana become their ordinary forms (ｃａｔ is cat, ﾈｺ is ネコ), the ideographic
// space a space, and letters lose their case.
std::string FoldForSearch(std::string_view utf8);

// The pieces of folded text that the catalogue indexes: every distinct run of one up to maxLength
// code points that holds no space or tab, in order of first appearance.
std::vector<std::string> Grams(std::string_view folded, std::size_t maxLength = 3);

// The terms of a folded keyword: split at spaces and tabs, empty pieces dropped.
std::vector<std::string> SplitTerms(std::string_view folded);

bool IsValidUtf8(std::string_view text);

// The number of code points of valid UTF-8 text.
std::size_t CodePointCount(std::string_view utf8);

// Element text for XML: "&", "<" and ">" as entities, characters XML does not allow dropped.
std::string EscapeXml(std::string_view text);

// Text and attribute values for HTML: "&", "<", ">", '"' and "'" as entities.
std::string EscapeHtml(std::string_view text);

// A to Z as a to z; every other byte as it is (no locale, no UTF-8).
std::string AsciiLower(std::string_view text);

// The text without the blanks (by default spaces and tabs) it begins and ends with.
std::string_view TrimBlanks(std::string_view text, std::string_view blanks = " \t");

// Optional sign and decimal digits only, within int; false for anything else.
bool ParseInt(std::string_view text, int& value);

// Bytes outside printable ASCII as \xHH, so that a log line stays one line.
std::string PrintableAscii(std::string_view bytes);
