#pragma once

#include "net/HttpClient.h"
#include "net/UrlEncoder.h"
#include "search/SearchController.h"

#include <QFile>
#include <QMap>

#include <functional>

// A search controller whose network is a script: each request URL gets the body that `answer`
// returns for it, and each thumbnail URL the bytes in `thumbnails` (none: the download fails).
class CannedSearchController final : public SearchController {
public:
    CannedSearchController(ISearchView& view, HttpClient& http, UrlEncoder& urlEncoder)
        : SearchController(view, http, urlEncoder, QStringLiteral("svc.test")) {}

    std::function<QByteArray(const QString& url)> answer;
    QMap<QString, QByteArray> thumbnails;
    QStringList requests;
    QStringList thumbnailRequests;
    // Runs at each thumbnail download, while the load is under way.
    std::function<void()> duringThumbnail;

protected:
    QByteArray fetchAnswer(const QString& url) override {
        requests << url;
        return answer(url);
    }

    void fetchThumbnail(const QString& url) override {
        thumbnailRequests << url;
        if (duringThumbnail)
            duringThumbnail();
        if (!thumbnails.contains(url))
            return;
        QFile file(thumbnailFile);
        if (file.open(QIODevice::WriteOnly))
            file.write(thumbnails[url]);
    }
};
