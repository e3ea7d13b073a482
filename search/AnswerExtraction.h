#pragma once

#include "search/SearchTypes.h"

#include <QByteArray>
#include <QStringList>

// Reading the service's answer. It is XML, but it is read as lines and fixed tag strings: once
// every "><" is broken, each element of the answer stands on a line of its own.

// Puts a line feed between every two tags that touch ("><" becomes ">\n<").
QByteArray BreakTags(QByteArray body);

// Deletes every "amp;", also those that a deletion joins together, so "&amp;" and "&amp;amp;"
// both become "&" while "&lt;" and the other references stay as they are.
QByteArray DropAmp(const QByteArray& body);

// Splits at line feed, CR LF or a lone CR; the breaks belong to no line, and a break at the
// very end opens no empty last line.
QStringList SplitAnswerLines(const QString& text);

// The text between 'totalResultsAvailable="' and '" totalResultsReturned', each searched from
// the start of the text; empty when either is missing or they are out of order.
QString ExtractTotal(const QString& text);

// The field's value from the lines first .. end - 1: the last line holding both tags decides.
void ExtractField(const QStringList& lines, qsizetype first, qsizetype end, QString& field,
                  const QString& openTag, const QString& closeTag);

// One row per "<Result>" line with a later (or the same) "</Result>" line.
TResultTable ExtractResults(const QStringList& lines);

// The answer after its normalisation: the body's tags broken, "amp;" dropped, decoded from
// UTF-8 (invalid bytes become U+FFFD) and split into lines.
struct TNormalizedAnswer {
    QString text;
    QStringList lines;
};
TNormalizedAnswer NormalizeAnswer(const QByteArray& body);

// The highest total the program shows; a larger one is cut to it and counts as capped.
inline constexpr int MaxTotalResults = 900;
