#include "search/AnswerExtraction.h"

QByteArray BreakTags(QByteArray body) {
    // "><" cannot overlap itself, so one left-to-right pass breaks every pair the repeated
    // first-occurrence replacement would.
    return body.replace("><", ">\n<");
}

QByteArray DropAmp(const QByteArray& body) {
    // "amp;" has no border (no proper prefix that is also a suffix), so deleting it as soon as
    // it is complete at the end of the output gives the same text as deleting the first
    // occurrence again and again: a deletion can only join the text before it with the text
    // after it, which this pass sees next.
    QByteArray out;
    out.reserve(body.size());
    for (const char c : body) {
        out += c;
        if (c == ';' && out.endsWith("amp;"))
            out.chop(4);
    }
    return out;
}

QStringList SplitAnswerLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != u'\n' && c != u'\r')
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines << text.mid(start);
    return lines;
}

QString ExtractTotal(const QString& text) {
    static const QString startMarker = QStringLiteral("totalResultsAvailable=\"");
    static const QString endMarker = QStringLiteral("\" totalResultsReturned");
    const qsizetype start = text.indexOf(startMarker);
    const qsizetype end = text.indexOf(endMarker);
    if (start < 0 || end < 0)
        return {};
    const qsizetype from = start + startMarker.size();
    return end < from ? QString() : text.mid(from, end - from);
}

void ExtractField(const QStringList& lines, qsizetype first, qsizetype end, QString& field,
                  const QString& openTag, const QString& closeTag) {
    for (qsizetype k = first; k < end; ++k) {
        const QString& line = lines[k];
        const qsizetype open = line.indexOf(openTag);
        if (open < 0)
            continue;
        const qsizetype close = line.indexOf(closeTag);
        if (close < 0)
            continue;
        const qsizetype from = open + openTag.size();
        field = close < from ? QString() : line.mid(from, close - from);
    }
}

TResultTable ExtractResults(const QStringList& lines) {
    static const QString resultOpen = QStringLiteral("<Result>");
    static const QString resultClose = QStringLiteral("</Result>");

    TResultTable table;
    const qsizetype count = lines.size();
    // The next line at or after i that holds "</Result>"; found once per scan position, so the
    // scan stays linear even when closing lines are missing.
    qsizetype nextClose = -1;
    for (qsizetype i = 0; i < count; ++i) {
        if (!lines[i].contains(resultOpen))
            continue;
        if (nextClose < i) {
            nextClose = i;
            while (nextClose < count && !lines[nextClose].contains(resultClose))
                ++nextClose;
        }
        if (nextClose >= count)
            continue; // no closing line: the block is dropped
        TResultRow row;
        ExtractField(lines, i, nextClose, row.Title, QStringLiteral("<Title>"),
                     QStringLiteral("</Title>"));
        ExtractField(lines, i, nextClose, row.Duration, QStringLiteral("<Duration>"),
                     QStringLiteral("</Duration>"));
        ExtractField(lines, i, nextClose, row.Copyright, QStringLiteral("<Copyright>"),
                     QStringLiteral("</Copyright>"));
        ExtractField(lines, i, nextClose, row.RefererUrl, QStringLiteral("<RefererUrl>"),
                     QStringLiteral("</RefererUrl>"));
        ExtractField(lines, i, nextClose, row.Url, QStringLiteral("<Url>"),
                     QStringLiteral("</Url>"));
        table << row;
        i = nextClose;
    }
    return table;
}

TNormalizedAnswer NormalizeAnswer(const QByteArray& body) {
    TNormalizedAnswer answer;
    answer.text = QString::fromUtf8(DropAmp(BreakTags(body)));
    answer.lines = SplitAnswerLines(answer.text);
    return answer;
}
