#pragma once

#include <QList>
#include <QString>

// What every service request reads. Filled by the settings dialog's apply step.
struct TSearchSettings {
    int ResultsPerPage = 0; // 5, 10 or 20 whenever a load runs
    QString AdultOk = QStringLiteral("0");
    QString Site;
    QString UniqueId;
    QString Ver = QStringLiteral("3.2");
};

struct TPagingState {
    int CurrentPage = 0;
    int PageCount = 0;
    int TotalResults = 0;
};

// One result of the service's answer, the texts exactly as they stood between the tags.
struct TResultRow {
    QString Title;
    QString Duration;
    QString Copyright;
    QString RefererUrl;
    QString Url;

    friend bool operator==(const TResultRow&, const TResultRow&) = default;
};

using TResultTable = QList<TResultRow>;
