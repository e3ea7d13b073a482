#include "platform/Profile.h"

#include "platform/CodePage.h"
#include "platform/Convert.h"
#include "platform/Exception.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Utf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");
const QByteArray CrLf = QByteArrayLiteral("\r\n");

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

QString trimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin).toString();
}

QString unquote(const QString& value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

// Section and key names are compared in this form.
QString caseFolded(const QString& name) {
    return name.toCaseFolded();
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    QString name;
    QString value;
};

ParsedLine parseLine(const QString& line) {
    const QString text = trimBlanks(line);
    if (text.isEmpty() || text.front() == u';')
        return {};
    if (text.front() == u'[') {
        const qsizetype close = text.lastIndexOf(u']');
        if (close > 0)
            return {LineKind::Section, trimBlanks(QStringView(text).sliced(1, close - 1)), {}};
    }
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0)
        return {};
    return {LineKind::Key, trimBlanks(QStringView(text).first(equals)),
            unquote(trimBlanks(QStringView(text).sliced(equals + 1)))};
}

QString oneLine(QString text) {
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

QString fullPath(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

[[noreturn]] void raiseWriteError(const QString& path) {
    throw ProfileWriteError(QStringLiteral("%1 に書き込めません").arg(fullPath(path)));
}

// Writes the bytes to a new file beside the target and renames it over the target, so that the
// target holds either its old bytes or all of the new ones. (QSaveFile is not used: it reports
// success for a write that the system cut short, as at a file size limit.) Mode and owner of an
// existing file are kept; a symbolic link is written through.
bool replaceFile(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    const QFileInfo target(info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath());
    const QByteArray targetName = QFile::encodeName(target.absoluteFilePath());
    QByteArray tempName = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") +
                                            target.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    const auto fail = [&] {
        close(fd);
        unlink(tempName.constData());
        return false;
    };
    struct stat existing {};
    if (stat(targetName.constData(), &existing) == 0) {
        if (fchmod(fd, existing.st_mode & 07777) != 0)
            return fail();
        // Only the superuser can give the file away; anyone else owns it already.
        [[maybe_unused]] const int ignored = fchown(fd, existing.st_uid, existing.st_gid);
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        if (fchmod(fd, 0666 & ~mask) != 0)
            return fail();
    }
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return fail();
        data += written;
        left -= written;
    }
    if (fsync(fd) != 0)
        return fail();
    if (close(fd) != 0 || rename(tempName.constData(), targetName.constData()) != 0) {
        unlink(tempName.constData());
        return false;
    }
    return true;
}

// The lines of one file as bytes, each with the line end it had and what it says.
class Document final {
public:
    struct Line {
        QByteArray text;
        QByteArray end;
        ParsedLine parsed;
        QString folded; // the folded name of a section or key line
        bool blank = true;
    };

    // Missing or unreadable: nullopt.
    static std::optional<Document> read(const QString& path) {
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
            return std::nullopt;
        Document document;
        document.split(file.readAll());
        return document;
    }

    // For a write: a missing file is empty, an existing one that cannot be read is an error.
    static Document readForWrite(const QString& path) {
        const QFileInfo info(path);
        if (!info.exists())
            return {};
        if (!info.isFile())
            raiseWriteError(path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            raiseWriteError(path);
        Document document;
        document.split(file.readAll());
        if (file.error() != QFileDevice::NoError)
            raiseWriteError(path);
        return document;
    }

    const QList<Line>& lines() const { return m_lines; }

    // Header index and end (exclusive) of every section of that name.
    QList<QPair<qsizetype, qsizetype>> sectionRanges(const QString& foldedName) const {
        QList<QPair<qsizetype, qsizetype>> found;
        qsizetype open = -1;
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (m_lines[i].parsed.kind != LineKind::Section)
                continue;
            if (open >= 0)
                found.append({open, i});
            open = m_lines[i].folded == foldedName ? i : -1;
        }
        if (open >= 0)
            found.append({open, m_lines.size()});
        return found;
    }

    bool eraseSection(const QString& section) {
        const auto sections = sectionRanges(caseFolded(section));
        for (auto it = sections.rbegin(); it != sections.rend(); ++it)
            m_lines.remove(it->first, it->second - it->first);
        return !sections.isEmpty();
    }

    void setString(const QString& section, const QString& key, const QString& value) {
        const auto sections = sectionRanges(caseFolded(section));
        if (sections.isEmpty()) {
            append(u'[' + oneLine(section) + u']');
            append(oneLine(key) + u'=' + oneLine(value));
            return;
        }
        const auto [header, end] = sections.first();
        const QString foldedKey = caseFolded(key);
        qsizetype last = header;
        for (qsizetype i = header + 1; i < end; ++i) {
            Line& line = m_lines[i];
            if (line.parsed.kind == LineKind::Key && line.folded == foldedKey) {
                // '=' is never the second byte of a Shift-JIS or UTF-8 character.
                line.text.truncate(line.text.indexOf('=') + 1);
                line.text += encode(oneLine(value));
                parse(line);
                return;
            }
            if (!line.blank)
                last = i;
        }
        insert(last + 1, oneLine(key) + u'=' + oneLine(value));
    }

    // The section appended as new, with the same lines that one setString per entry would give
    // after the section had been erased, in one pass.
    void appendSection(const QString& section, const QList<QPair<QString, QString>>& entries) {
        append(u'[' + oneLine(section) + u']');
        QHash<QString, qsizetype> keyLines;
        for (const auto& [key, value] : entries) {
            const QString folded = caseFolded(key);
            const auto found = keyLines.constFind(folded);
            if (found == keyLines.cend()) {
                keyLines.insert(folded, m_lines.size());
                append(oneLine(key) + u'=' + oneLine(value));
            } else {
                Line& line = m_lines[*found];
                line.text.truncate(line.text.indexOf('=') + 1);
                line.text += encode(oneLine(value));
                parse(line);
            }
        }
    }

    void write(const QString& path) const {
        const QFileInfo info(path);
        // Without any write permission the file is read-only, as with the Windows attribute.
        constexpr auto anyWrite =
            QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
        if (info.exists() &&
            (!info.isFile() || !info.isWritable() || !(info.permissions() & anyWrite)))
            raiseWriteError(path);
        QByteArray bytes = m_utf8 ? Utf8Bom : QByteArray();
        for (const Line& line : m_lines) {
            bytes += line.text;
            bytes += line.end;
        }
        if (!replaceFile(path, bytes))
            raiseWriteError(path);
    }

private:
    void split(const QByteArray& data) {
        // The byte order mark is kept apart and written again before the first line.
        m_utf8 = data.startsWith(Utf8Bom);
        qsizetype start = m_utf8 ? Utf8Bom.size() : 0;
        while (start < data.size()) {
            qsizetype newline = data.indexOf('\n', start);
            Line line;
            if (newline < 0) {
                line.text = data.sliced(start);
                newline = data.size();
            } else {
                line.text = data.sliced(start, newline - start);
                line.end = "\n";
                if (line.text.endsWith('\r')) {
                    line.text.chop(1);
                    line.end = CrLf;
                }
            }
            parse(line);
            m_lines.append(std::move(line));
            start = newline + 1;
        }
    }

    QString decode(const QByteArray& bytes) const {
        return m_utf8 ? QString::fromUtf8(bytes) : fromShiftJis(bytes);
    }

    QByteArray encode(const QString& text) const {
        return m_utf8 ? text.toUtf8() : toShiftJis(text);
    }

    void parse(Line& line) const {
        const QString text = decode(line.text);
        line.parsed = parseLine(text);
        line.folded =
            line.parsed.kind == LineKind::Other ? QString() : caseFolded(line.parsed.name);
        line.blank = trimBlanks(text).isEmpty();
    }

    void insert(qsizetype index, const QString& text) {
        if (index > 0 && m_lines[index - 1].end.isEmpty())
            m_lines[index - 1].end = CrLf;
        Line line{encode(text), CrLf, {}, {}, true};
        parse(line);
        m_lines.insert(index, std::move(line));
    }

    void append(const QString& text) { insert(m_lines.size(), text); }

    QList<Line> m_lines;
    bool m_utf8 = false;
};

} // namespace

struct ProfileReader::Data {
    // Folded section name -> folded key -> value; the first section and the first key win.
    QHash<QString, QHash<QString, QString>> sections;
};

ProfileReader::ProfileReader(const QString& path)
    : m_data(std::make_unique<Data>()) {
    const std::optional<Document> document = Document::read(path);
    if (!document)
        return;
    QHash<QString, QString>* current = nullptr;
    for (const Document::Line& line : document->lines()) {
        if (line.parsed.kind == LineKind::Section)
            current =
                m_data->sections.contains(line.folded) ? nullptr : &m_data->sections[line.folded];
        else if (line.parsed.kind == LineKind::Key && current && !current->contains(line.folded))
            current->insert(line.folded, line.parsed.value);
    }
}

ProfileReader::~ProfileReader() = default;

QString ProfileReader::readString(const QString& section, const QString& key,
                                  const QString& defaultValue) const {
    const auto sectionIt = m_data->sections.constFind(caseFolded(section));
    if (sectionIt == m_data->sections.cend())
        return defaultValue;
    const auto keyIt = sectionIt->constFind(caseFolded(key));
    return keyIt == sectionIt->cend() ? defaultValue : *keyIt;
}

int ProfileReader::readInteger(const QString& section, const QString& key, int defaultValue) const {
    const auto sectionIt = m_data->sections.constFind(caseFolded(section));
    if (sectionIt == m_data->sections.cend())
        return defaultValue;
    const auto keyIt = sectionIt->constFind(caseFolded(key));
    return keyIt == sectionIt->cend() ? defaultValue : profileTextToInt(*keyIt, defaultValue);
}

QStringList ProfileReader::keyNames(const QString& section) const {
    const auto sectionIt = m_data->sections.constFind(caseFolded(section));
    return sectionIt == m_data->sections.cend() ? QStringList() : sectionIt->keys();
}

int profileTextToInt(const QString& text, int defaultValue) {
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        if (text.size() > 10)
            return defaultValue;
        quint32 value = 0;
        for (qsizetype i = 2; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            quint32 d;
            if (c >= u'0' && c <= u'9')
                d = c - u'0';
            else if (c >= u'a' && c <= u'f')
                d = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F')
                d = c - u'A' + 10;
            else
                return defaultValue;
            value = value * 16 + d;
        }
        return static_cast<int>(value);
    }
    return tryParseInt(text).value_or(defaultValue);
}

QString readProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue) {
    return ProfileReader(path).readString(section, key, defaultValue);
}

int readProfileInteger(const QString& path, const QString& section, const QString& key,
                       int defaultValue) {
    return ProfileReader(path).readInteger(section, key, defaultValue);
}

void writeProfileString(const QString& path, const QString& section, const QString& key,
                        const QString& value) {
    Document document = Document::readForWrite(path);
    document.setString(section, key, value);
    document.write(path);
}

void eraseProfileSection(const QString& path, const QString& section) {
    if (!QFileInfo::exists(path))
        return;
    Document document = Document::readForWrite(path);
    if (document.eraseSection(section))
        document.write(path);
}

void replaceProfileSection(const QString& path, const QString& section,
                           const QList<QPair<QString, QString>>& entries) {
    Document document = Document::readForWrite(path);
    document.eraseSection(section);
    document.appendSection(section, entries);
    document.write(path);
}
