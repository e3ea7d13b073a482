#pragma once

#include <QByteArray>
#include <QList>

// A list of request lines with access by header name. A header line reads name ": " value;
// text() joins the lines, each followed by CR LF, as they go on the wire.
class HeaderLines final {
public:
    qsizetype count() const { return m_lines.size(); }
    const QByteArray& operator[](qsizetype i) const { return m_lines[i]; }
    void append(const QByteArray& line) { m_lines.append(line); }
    void clear() { m_lines.clear(); }
    QByteArray text() const;

    // Index of the first line whose text before its first ":" equals name, letter case
    // ignored; lines without ":" are skipped. -1 when there is none.
    qsizetype indexOfHeader(const QByteArray& name) const;
    // A non-empty value replaces the line of that name in place, or appends one; an empty value
    // removes the line.
    void setHeader(const QByteArray& name, const QByteArray& value);

private:
    QList<QByteArray> m_lines;
};
