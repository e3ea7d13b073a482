#include "net/HeaderLines.h"

#include <QString>

QByteArray HeaderLines::text() const {
    QByteArray text;
    for (const QByteArray& line : m_lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

qsizetype HeaderLines::indexOfHeader(const QByteArray& name) const {
    const QString wanted = QString::fromLatin1(name);
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const qsizetype colon = m_lines[i].indexOf(':');
        if (colon < 0)
            continue;
        if (QString::fromLatin1(m_lines[i].left(colon)).compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void HeaderLines::setHeader(const QByteArray& name, const QByteArray& value) {
    qsizetype index = indexOfHeader(name);
    if (value.isEmpty()) {
        if (index >= 0)
            m_lines.removeAt(index);
        return;
    }
    if (index < 0) {
        m_lines.append(QByteArray());
        index = m_lines.size() - 1;
    }
    m_lines[index] = name + ": " + value;
}
