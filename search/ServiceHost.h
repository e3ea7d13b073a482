#pragma once

#include <QString>

// The host (and port) of the search service, the top page and the software information page,
// fixed by the build (SORVEL_SERVICE_HOST). A host reached over plain HTTP is named bare
// ("127.0.0.1:8780"); one behind TLS with its scheme ("https://videos.example.org").
extern const QString ServiceHost;

// The addresses on a service host; each defaults to ServiceHost.
QString searchServiceUrl(const QString& host = ServiceHost); // ".../files/sorvel/api_yahoo.php?"
QString topPageUrl(const QString& host = ServiceHost);       // ".../files/sorvel/"
QString softwareInfoUrl(const QString& host = ServiceHost);  // ".../info.php?pf=w&sn="
QString makerSiteUrl(const QString& host = ServiceHost);     // "http://" + host, or host
