#pragma once

#include "net/ProxyRules.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// Downloads pictures over http and https (Qt Network), a few at a time, each within a time-out
// for any one wait and a deadline for the whole picture, through a disk cache and the proxies of
// the environment. Redirects are followed, also between http and https. A host that runs out of
// time is not asked again until cancelAll(), so that one slow host cannot hold a whole page.
//
// The cache keeps what the servers allow: a picture without any caching instruction is kept
// for DefaultLifetimeSeconds; one marked no-store is not kept; a stale one is asked for again with
// its validators (ETag, Last-Modified). It is bounded in size, the oldest entries going first.
class ThumbnailDownloader final : public QObject {
    Q_OBJECT
public:
    // At most this many downloads run at once: what browsers open to one host.
    static constexpr int MaxParallel = 6;
    // How long a picture without caching instructions is fresh: thumbnails hardly change, and
    // the bundled service marks its own fresh for a day.
    static constexpr int DefaultLifetimeSeconds = 24 * 60 * 60;
    static constexpr qint64 DefaultCacheSize = 64 * 1024 * 1024;
    // A larger download is no thumbnail.
    static constexpr qint64 MaxPictureBytes = 32 * 1024 * 1024;

    explicit ThumbnailDownloader(QObject* parent = nullptr);
    ~ThumbnailDownloader() override;
    Q_DISABLE_COPY_MOVE(ThumbnailDownloader)

    // Milliseconds: the longest wait for the next bytes, and the longest download in all.
    int waitTimeout = 3000;
    int deadline = 5000;

    // The folder of the disk cache, made at the first download that needs it (a program that
    // never searches makes none); an empty path: no cache.
    void setCacheDirectory(const QString& path, qint64 maximumSize = DefaultCacheSize);
    QString cacheDirectory() const;
    void setProxies(const ProxyRules& proxies);
    // PEM certificates of the authorities a server's certificate must come from, instead of the
    // system's (empty: the system's).
    void setTrustedCertificates(const QByteArray& pem);

    // Queues the download of url and returns its number; finished() reports it, never before
    // this returns. A URL other than http or https fails.
    int fetch(const QUrl& url);
    // Ends every queued and running download; none of them is reported. Slow hosts are
    // forgotten.
    void cancelAll();
    // Downloads queued or running.
    int pendingCount() const;

signals:
    // The picture's bytes, or empty ones when the download failed (no answer in time, an HTTP
    // error status, a refused certificate, too large, ...).
    void finished(int id, const QByteArray& data);

private:
    struct Queued {
        int id;
        QUrl url;
    };
    struct Running {
        int id;
        QString host;
        // Ended by this downloader because it ran out of time, or grew too large.
        bool timedOut = false;
        bool tooLarge = false;
    };

    void startQueued();
    void start(const Queued& download);
    void handleFinished(QNetworkReply* reply);
    // Reports a download that fails without a transfer, once fetch() has returned.
    void failLater(int id);
    static QString hostKey(const QUrl& url);

    // Gives the manager its disk cache before the first download after setCacheDirectory().
    void installCache();

    std::unique_ptr<QNetworkAccessManager> m_manager;
    QString m_cachePath;
    qint64 m_cacheSize = DefaultCacheSize;
    bool m_cacheInstalled = true;
    // TLS 1.2 or later, trusting the system's authorities or the ones given.
    QSslConfiguration m_tls;
    QList<Queued> m_queue;
    QHash<QNetworkReply*, Running> m_running;
    // Downloads failed without a transfer, waiting to be reported.
    QSet<int> m_failing;
    QSet<QString> m_slowHosts;
    int m_nextId = 1;
};
