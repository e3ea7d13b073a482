#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text helpers of the service: UTF-8 folding for search, escaping for XML and HTML, strict numbers.

// The form in which titles, descriptions and keywords are compared: invalid UTF-8 and control
// characters dropped, the full-width ASCII forms (U+FF01..U+FF5E), the yen sign U+FFE5, the right
// double quotation mark U+201D and the ideographic space U+3000 turned into their ASCII
// counterparts (the program sends "/" as "／", "\" as "￥", a space as U+3000 and so on), and
// ASCII letters in lower case.
std::string FoldForSearch(std::string_view utf8);

// The terms of a folded keyword: split at spaces and tabs, empty pieces dropped.
std::vector<std::string> SplitTerms(std::string_view folded);

bool IsValidUtf8(std::string_view text);

// The number of code points of valid UTF-8 text.
std::size_t CodePointCount(std::string_view utf8);

// Element text for XML: "&", "<" and ">" as entities, characters XML does not allow dropped.
std::string EscapeXml(std::string_view text);

// Text and attribute values for HTML: "&", "<", ">", '"' and "'" as entities.
std::string EscapeHtml(std::string_view text);

// Optional sign and decimal digits only, within int; false for anything else.
bool ParseInt(std::string_view text, int& value);

// Bytes outside printable ASCII as \xHH, so that a log line stays one line.
std::string PrintableAscii(std::string_view bytes);
