#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

// Profile (INI) files as the Windows profile functions keep them: "[section]" lines and
// "key=value" lines, Shift-JIS, CR LF line ends.
//
// Reading: sections and keys match without regard to letter case; ASCII blanks (space, tab, CR,
// VT, FF; not the full-width space) around section names, keys and values are dropped; a value
// enclosed in one pair of matching quotes ('...' or "...") loses them. The first matching section
// is the one read, and in it the first matching key wins. A line without "=" that is no section
// header, and a line whose first non-blank character is ";", is no key: reading never sees it,
// writing keeps it as it is. Key lines before the first section belong to no section. A missing
// or unreadable file, section or key reads as the default. LF-only line ends are read as well; a
// file that starts with a UTF-8 byte order mark is read and extended in UTF-8, any other file is
// read as Shift-JIS (so a UTF-8 file without the mark still gives its ASCII names and values).
//
// Writing: the file and the section are created when missing; a key already present gets its new
// value in place (what stands before its "=" is kept) and a new key follows the last non-blank
// line of its section; every other line keeps its bytes and line end. Line breaks inside a value
// are written as blanks, so that a value can never make lines of its own. Each write replaces the
// whole file at once through a temporary file beside it: a write that fails leaves the file as it
// was and raises ProfileWriteError "%s に書き込めません" with the file's full path. A file that
// exists without any write permission counts as read-only, as it would on Windows, even for the
// superuser.

QString readProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue);

void writeProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value);

// Removes every section of that name, its header and all lines up to the next section. A missing
// file or section is no error and writes nothing.
void eraseProfileSection(const QString& path, const QString& section);

// Decimal with an optional sign; a value of more than two characters that starts with "0x" or
// "0X" is hexadecimal (up to 8 digits, taken as a 32-bit pattern: "0xFFFFFFFF" is -1). A missing
// value or one that is not an integer reads as the default.
int readProfileInteger(const QString& path, const QString& section, const QString& key,
                       int defaultValue);

// The integer rule of readProfileInteger applied to a text already read.
int profileTextToInt(const QString& text, int defaultValue);

// Erases every section of that name and appends it anew with these keys and values, in one
// replacement of the file: afterwards the file holds either all of it or, when the write failed
// (ProfileWriteError), exactly what it held before. The bytes are the same as those of
// eraseProfileSection followed by one writeProfileString per key.
void replaceProfileSection(const QString& path, const QString& section,
                           const QList<QPair<QString, QString>>& entries);

// One reading of a profile file for many look-ups (the free functions read the file anew each
// time). The same rules as readProfileString.
class ProfileReader final {
public:
    explicit ProfileReader(const QString& path);
    ~ProfileReader();
    Q_DISABLE_COPY_MOVE(ProfileReader)

    QString readString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    int readInteger(const QString& section, const QString& key, int defaultValue) const;
    // The names of the keys that the section holds, each once, in the case-folded form in which
    // they match (QString::toCaseFolded), in no particular order.
    QStringList keyNames(const QString& section) const;

private:
    struct Data;
    std::unique_ptr<Data> m_data;
};
