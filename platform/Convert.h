#pragma once

#include <QString>

#include <optional>

// Reads an optional sign followed by decimal digits, nothing else, within the range of a
// 32-bit signed integer. No blanks, no hexadecimal.
std::optional<int> tryParseInt(const QString& text);

// tryParseInt, raising ConversionError "'%s' は整数ではありません" when the text is no integer.
int parseInt(const QString& text);
