#pragma once

#include <QString>

// The host (and port) of the search service, the top page and the software information page,
// fixed by the build (SORVEL_SERVICE_HOST).
extern const QString ServiceHost;

// The addresses on a service host; each defaults to ServiceHost.
QString searchServiceUrl(const QString& host = ServiceHost); // ".../files/sorvel/api_yahoo.php?"
QString topPageUrl(const QString& host = ServiceHost);       // ".../files/sorvel/"
QString softwareInfoUrl(const QString& host = ServiceHost);  // ".../info.php?pf=w&sn="
QString makerSiteUrl(const QString& host = ServiceHost);     // "http://" + host
