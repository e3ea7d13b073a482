#pragma once

#include "net/HttpClient.h"
#include "net/UrlEncoder.h"
#include "search/SearchController.h"

#include <QFile>
#include <QMap>

#include <functional>

// A search client whose network is a script: each request URL gets the body that `answer`
// returns for it, and each thumbnail URL the bytes in `thumbnails` (none: the download fails).
class CannedSearchClient final : public TSearchClient {
public:
    CannedSearchClient(ISearchView& view, HttpClient& http, UrlEncoder& url)
        : TSearchClient(view, http, url, QStringLiteral("svc.test")) {}

    std::function<QByteArray(const QString& url)> answer;
    QMap<QString, QByteArray> thumbnails;
    QStringList requests;
    QStringList thumbnailRequests;
    // Runs at each thumbnail download, while the load is under way.
    std::function<void()> duringThumbnail;

protected:
    QByteArray FetchAnswer(const QString& url) override {
        requests << url;
        return answer(url);
    }

    void FetchThumbnail(const QString& url) override {
        thumbnailRequests << url;
        if (duringThumbnail)
            duringThumbnail();
        if (!thumbnails.contains(url))
            return;
        QFile file(ThumbnailFile);
        if (file.open(QIODevice::WriteOnly))
            file.write(thumbnails[url]);
    }
};
