#pragma once

#include "net/HttpClient.h"
#include "net/UrlEncoder.h"
#include "search/SearchController.h"

#include <QMap>

#include <functional>
#include <utility>

// A search controller whose network is a script: each request URL gets the body that `answer`
// returns for it, and each thumbnail URL the bytes in `thumbnails` (none: the download fails),
// at once.
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
    // When set, the pictures wait until release() hands them over, as slow downloads would.
    bool holdThumbnails = false;
    // The slots whose pictures wait, with their URLs, in the order asked for.
    QList<std::pair<int, QString>> held;
    int cancellations = 0;

    // Hands over the picture of the slot at index, if it waits.
    void release(int index) {
        for (qsizetype i = 0; i < held.size(); ++i) {
            if (held[i].first == index) {
                const QString url = held.takeAt(i).second;
                thumbnailFetched(index, thumbnails.value(url));
                return;
            }
        }
    }

protected:
    QByteArray fetchAnswer(const QString& url) override {
        requests << url;
        return answer(url);
    }

    void fetchThumbnail(int index, const QString& url) override {
        thumbnailRequests << url;
        if (duringThumbnail)
            duringThumbnail();
        if (holdThumbnails)
            held.append({index, url});
        else
            thumbnailFetched(index, thumbnails.value(url));
    }

    void cancelThumbnails() override {
        ++cancellations;
        held.clear();
    }
};
