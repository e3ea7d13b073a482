#include "search/ServiceHost.h"

const QString ServiceHost = QStringLiteral(SORVEL_SERVICE_HOST);

QString MakerSiteUrl(const QString& host) {
    return QStringLiteral("http://") + host;
}

QString SearchServiceUrl(const QString& host) {
    return MakerSiteUrl(host) + QStringLiteral("/files/sorvel/api_yahoo.php?");
}

QString TopPageUrl(const QString& host) {
    return MakerSiteUrl(host) + QStringLiteral("/files/sorvel/");
}

QString SoftwareInfoUrl(const QString& host) {
    return MakerSiteUrl(host) + QStringLiteral("/info.php?pf=w&sn=");
}
