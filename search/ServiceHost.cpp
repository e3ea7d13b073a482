#include "search/ServiceHost.h"

const QString ServiceHost = QStringLiteral(SORVEL_SERVICE_HOST);

QString makerSiteUrl(const QString& host) {
    // A service behind TLS is named with its scheme: "https://videos.example.org".
    if (host.startsWith(QLatin1String("https://"), Qt::CaseInsensitive) ||
        host.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        return host.endsWith(u'/') ? host.chopped(1) : host;
    return QStringLiteral("http://") + host;
}

QString searchServiceUrl(const QString& host) {
    return makerSiteUrl(host) + QStringLiteral("/files/sorvel/api_yahoo.php?");
}

QString topPageUrl(const QString& host) {
    return makerSiteUrl(host) + QStringLiteral("/files/sorvel/");
}

QString softwareInfoUrl(const QString& host) {
    return makerSiteUrl(host) + QStringLiteral("/info.php?pf=w&sn=");
}
