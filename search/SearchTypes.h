#pragma once

#include <QList>
#include <QString>

// What every service request reads. Filled by the settings dialog's apply step.
struct SearchSettings {
    int resultsPerPage = 0; // 5, 10 or 20 whenever a load runs
    QString adultOk = QStringLiteral("0");
    QString site;
    QString uniqueId;
    QString version = QStringLiteral("3.2");
};

struct PagingState {
    int currentPage = 0;
    int pageCount = 0;
    int totalResults = 0;
};

// One result of the service's answer, the texts exactly as they stood between the tags.
struct SearchResult {
    QString title;
    QString duration;
    QString source;
    QString pageUrl;
    QString thumbnailUrl;

    friend bool operator==(const SearchResult&, const SearchResult&) = default;
};

using SearchResults = QList<SearchResult>;
