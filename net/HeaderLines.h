#pragma once

#include <QByteArray>
#include <QList>

// A list of request lines with access by header name. A header line reads name ": " value;
// Text() joins the lines, each followed by CR LF, as they go on the wire.
class TExStringList final {
public:
    qsizetype Count() const { return m_lines.size(); }
    const QByteArray& operator[](qsizetype i) const { return m_lines[i]; }
    void Add(const QByteArray& line) { m_lines.append(line); }
    void Clear() { m_lines.clear(); }
    QByteArray Text() const;

    // Index of the first line whose text before its first ":" equals name, letter case
    // ignored; lines without ":" are skipped. -1 when there is none.
    qsizetype IndexOfHeader(const QByteArray& name) const;
    // A non-empty value replaces the line of that name in place, or appends one; an empty value
    // removes the line.
    void SetHeader(const QByteArray& name, const QByteArray& value);

private:
    QList<QByteArray> m_lines;
};
