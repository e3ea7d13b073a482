#pragma once

#include <QByteArray>

// An XML answer of the search service: the total it reports and the result blocks as given. The
// count of results it says it returns is always 1: the program does not read it.
inline QByteArray answerOf(int total, const QByteArray& blocks = {}) {
    return R"(<?xml version="1.0" encoding="UTF-8"?><ResultSet totalResultsAvailable=")" +
           QByteArray::number(total) + R"(" totalResultsReturned="1">)" + blocks + "</ResultSet>";
}
