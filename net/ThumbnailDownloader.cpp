#include "net/ThumbnailDownloader.h"

#include "net/HttpClient.h"

#include <QDateTime>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkCacheMetaData>
#include <QNetworkDiskCache>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

namespace {

// Whether the response said how long it may be kept, or that it may not be.
bool hasCachingInstruction(const QNetworkCacheMetaData& metaData) {
    if (metaData.expirationDate().isValid())
        return true;
    for (const auto& [name, value] : metaData.rawHeaders()) {
        const QByteArray lowerName = name.toLower();
        const QByteArray lowerValue = value.toLower();
        if (lowerName == "expires")
            return true;
        if (lowerName == "cache-control" &&
            (lowerValue.contains("max-age") || lowerValue.contains("no-cache") ||
             lowerValue.contains("no-store") || lowerValue.contains("must-revalidate")))
            return true;
        if (lowerName == "pragma" && lowerValue.contains("no-cache"))
            return true;
    }
    return false;
}

// The disk cache with a lifetime for responses that name none: without it every later visit
// would ask the server again.
class ThumbnailCache final : public QNetworkDiskCache {
public:
    using QNetworkDiskCache::QNetworkDiskCache;

    QIODevice* prepare(const QNetworkCacheMetaData& metaData) override {
        return QNetworkDiskCache::prepare(withLifetime(metaData));
    }
    void updateMetaData(const QNetworkCacheMetaData& metaData) override {
        QNetworkDiskCache::updateMetaData(withLifetime(metaData));
    }

private:
    static QNetworkCacheMetaData withLifetime(QNetworkCacheMetaData metaData) {
        if (!hasCachingInstruction(metaData))
            metaData.setExpirationDate(QDateTime::currentDateTimeUtc().addSecs(
                ThumbnailDownloader::DefaultLifetimeSeconds));
        return metaData;
    }
};

// The proxies of ProxyRules for Qt Network. A proxy of a kind Qt cannot use makes the
// download fail rather than go around it.
class RulesProxyFactory final : public QNetworkProxyFactory {
public:
    explicit RulesProxyFactory(ProxyRules rules)
        : m_rules(std::move(rules)) {}

    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        const QUrl url = query.url();
        const std::optional<ProxyServer> server =
            m_rules.proxyFor(url.scheme().toLatin1(), url.host(QUrl::FullyEncoded).toLatin1());
        if (!server)
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        QNetworkProxy::ProxyType type = QNetworkProxy::HttpProxy;
        if (server->scheme == "socks5" || server->scheme == "socks5h")
            type = QNetworkProxy::Socks5Proxy;
        else if (server->scheme != "http")
            // Qt finds no suitable proxy in this one and ends the download.
            return {QNetworkProxy(QNetworkProxy::FtpCachingProxy)};
        QNetworkProxy proxy(type, QString::fromLatin1(server->host),
                            static_cast<quint16>(server->port), QString::fromUtf8(server->userName),
                            QString::fromUtf8(server->password));
        return {proxy};
    }

private:
    ProxyRules m_rules;
};

} // namespace

ThumbnailDownloader::ThumbnailDownloader(QObject* parent)
    : QObject(parent)
    , m_manager(std::make_unique<QNetworkAccessManager>()) {
    m_manager->setProxyFactory(new RulesProxyFactory(ProxyRules()));
    setTrustedCertificates({});
    connect(m_manager.get(), &QNetworkAccessManager::finished, this,
            [this](QNetworkReply* reply) { handleFinished(reply); });
}

ThumbnailDownloader::~ThumbnailDownloader() {
    cancelAll();
}

void ThumbnailDownloader::setCacheDirectory(const QString& path, qint64 maximumSize) {
    m_manager->setCache(nullptr);
    m_cachePath = path;
    m_cacheSize = maximumSize;
    m_cacheInstalled = path.isEmpty();
}

QString ThumbnailDownloader::cacheDirectory() const {
    return m_cachePath;
}

void ThumbnailDownloader::installCache() {
    if (m_cacheInstalled)
        return;
    m_cacheInstalled = true;
    auto* cache = new ThumbnailCache;
    cache->setCacheDirectory(m_cachePath);
    cache->setMaximumCacheSize(m_cacheSize);
    m_manager->setCache(cache);
}

void ThumbnailDownloader::setProxies(const ProxyRules& proxies) {
    m_manager->setProxyFactory(new RulesProxyFactory(proxies));
}

void ThumbnailDownloader::setTrustedCertificates(const QByteArray& pem) {
    m_tls = QSslConfiguration::defaultConfiguration();
    m_tls.setProtocol(QSsl::TlsV1_2OrLater);
    if (!pem.isEmpty())
        m_tls.setCaCertificates(QSslCertificate::fromData(pem, QSsl::Pem));
}

int ThumbnailDownloader::fetch(const QUrl& url) {
    const int id = m_nextId++;
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        failLater(id);
        return id;
    }
    m_queue.append({id, url});
    startQueued();
    return id;
}

void ThumbnailDownloader::cancelAll() {
    m_queue.clear();
    m_failing.clear();
    m_slowHosts.clear();
    const QList<QNetworkReply*> replies = m_running.keys();
    m_running.clear();
    for (QNetworkReply* reply : replies) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

int ThumbnailDownloader::pendingCount() const {
    return static_cast<int>(m_queue.size() + m_running.size() + m_failing.size());
}

QString ThumbnailDownloader::hostKey(const QUrl& url) {
    return url.scheme().toLower() + u'/' + url.host().toLower() + u':' +
           QString::number(url.port(url.scheme().toLower() == QLatin1String("https") ? 443 : 80));
}

void ThumbnailDownloader::failLater(int id) {
    m_failing.insert(id);
    QTimer::singleShot(0, this, [this, id] {
        if (m_failing.remove(id))
            emit finished(id, {});
    });
}

void ThumbnailDownloader::startQueued() {
    while (m_running.size() < MaxParallel && !m_queue.isEmpty()) {
        const Queued next = m_queue.takeFirst();
        // A host that ran out of time is not asked again: its pictures fail at once.
        if (m_slowHosts.contains(hostKey(next.url)))
            failLater(next.id);
        else
            start(next);
    }
}

void ThumbnailDownloader::start(const Queued& download) {
    installCache();
    QNetworkRequest request(download.url);
    request.setTransferTimeout(waitTimeout);
    request.setMaximumRedirectsAllowed(HttpClient::MaxRedirects);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setSslConfiguration(m_tls);

    QNetworkReply* reply = m_manager->get(request);
    m_running.insert(reply, {download.id, hostKey(download.url)});
    // The server asked for it: a redirect between http and https is followed like any other.
    connect(reply, &QNetworkReply::redirected, reply, &QNetworkReply::redirectAllowed);
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
        if (received > MaxPictureBytes && m_running.contains(reply)) {
            m_running[reply].tooLarge = true;
            reply->abort();
        }
    });
    QTimer::singleShot(deadline, reply, [this, reply] {
        if (m_running.contains(reply) && reply->isRunning()) {
            m_running[reply].timedOut = true;
            reply->abort();
        }
    });
}

void ThumbnailDownloader::handleFinished(QNetworkReply* reply) {
    reply->deleteLater();
    const auto found = m_running.constFind(reply);
    if (found == m_running.constEnd())
        return;
    const Running download = *found;
    m_running.erase(found);
    QByteArray data;
    if (reply->error() == QNetworkReply::NoError)
        data = reply->readAll();
    const bool ranOutOfTime =
        download.timedOut ||
        (!download.tooLarge && (reply->error() == QNetworkReply::OperationCanceledError ||
                                reply->error() == QNetworkReply::TimeoutError));
    if (ranOutOfTime)
        m_slowHosts.insert(download.host);
    startQueued();
    emit finished(download.id, data);
}
