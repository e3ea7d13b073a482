#pragma once

#include <QString>

#include <optional>

// Reads an optional sign followed by decimal digits, nothing else, within the range of a
// 32-bit signed integer. No blanks, no hexadecimal.
std::optional<int> TryStrToInt(const QString& text);

// TryStrToInt, raising EConvertError "'%s' は整数ではありません" when the text is no integer.
int StrToInt(const QString& text);
