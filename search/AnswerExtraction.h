#pragma once

#include "search/SearchTypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// Reading the service's answer. It is XML, but it is read as lines and fixed tag strings: once
// every "><" is broken, each element of the answer stands on a line of its own.
//
// The work is done on the UTF-8 bytes. Every tag and marker is ASCII, and an ASCII byte is a
// character of its own in UTF-8 (also next to invalid bytes, which decode to U+FFFD one by
// one), so a byte search finds exactly what a search in the decoded text finds. Only the field
// values and the total are decoded.

// The answer body with every "><" broken by a line feed, then every "amp;" deleted (also those
// that a deletion joins together), in one pass: "&amp;" and "&amp;amp;" become "&", "&lt;" and
// the other references stay as they are.
QByteArray normalizeAnswer(QByteArrayView body);

// The normalised answer split at line feed, CR LF or a lone CR and decoded; the breaks belong to
// no line, and a break at the very end opens no empty last line.
QStringList splitAnswerLines(QByteArrayView text);

// The text between 'totalResultsAvailable="' and '" totalResultsReturned', each searched from
// the start of the text; empty when either is missing or they are out of order.
QString extractTotal(QByteArrayView text);

// One row per line holding "<Result>" with a line at or after it holding "</Result>"; the
// fields come from the lines in between (the closing line is not read), and for each field the
// last of those lines that holds both its tags decides.
SearchResults extractResults(QByteArrayView text);

// The highest total the program shows; a larger one is cut to it and counts as capped.
inline constexpr int MaxTotalResults = 900;
