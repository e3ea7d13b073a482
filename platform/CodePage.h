#pragma once

#include <QByteArray>
#include <QString>

// Conversion between the program's text (UTF-16) and Shift-JIS as Windows code page 932 has it
// (NEC and IBM extension characters, the full-width tilde and minus sign of that code page),
// through glibc iconv's "CP932". The only place in the program that knows about code pages.

// A character that code page 932 cannot hold becomes one "?".
QByteArray toShiftJis(const QString& text);

// A byte sequence that is no code page 932 character becomes one U+FFFD: a lead byte followed by
// a byte of 0x80 or above takes that byte with it, a lead byte followed by an ASCII byte (or by
// nothing) stands alone and the ASCII byte is read as itself.
QString fromShiftJis(const QByteArray& bytes);
