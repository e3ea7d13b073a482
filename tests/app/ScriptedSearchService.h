#pragma once

#include "ScriptedHttpServer.h"
#include "SearchAnswer.h"
#include "TestImages.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QUrlQuery>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>

// A search service on 127.0.0.1: it reports `total` and answers a page with the rows that lie
// in it (or `rows` of them when set), serves thumbnails (good, missing, cut short, no picture,
// and one that waits until released), result pages and the top page. Result n is titled "Tn" and
// has its page at /watch/n (pageOf(n)) unless its row names another.
class ScriptedSearchService {
public:
    // The colour of the good thumbnails.
    static inline const QColor ThumbnailColour{200, 30, 30};

    // One result; the thumbnail is a path on the service.
    struct Row {
        QByteArray duration = "125";
        QByteArray site = "Youtube";
        QByteArray thumbnail = "/thumbs/good.jpg"; // empty: none
        QByteArray referer;                        // empty: the service's own page of the result
        bool videoUrl = true;                      // the video's own <Url>, /videos/n
    };

    // Concurrent: a thumbnail that waits holds no other request.
    ScriptedSearchService()
        : server([this](ScriptedHttpServer::Connection& c) { serve(c); },
                 ScriptedHttpServer::concurrently()) {}

    // newRow(i) describes the i-th row of a page; every row is a Row() without it.
    void setResults(int newTotal, int newRows = -1, std::function<Row(int)> newRow = {}) {
        std::lock_guard lock(mutex);
        total = newTotal;
        rows = newRows;
        row = std::move(newRow);
    }

    QString host() const { return QString::fromLatin1(server.hostAndPort()); }
    QString pageOf(int n) const { return QStringLiteral("http://%1/watch/%2").arg(host()).arg(n); }
    QByteArray lastSearch() const {
        const QList<QByteArray> requests = server.requests();
        for (auto it = requests.rbegin(); it != requests.rend(); ++it)
            if (it->contains("api_yahoo.php"))
                return *it;
        return {};
    }
    // How many search requests came so far.
    int searches() const {
        const QList<QByteArray> requests = server.requests();
        return int(std::ranges::count_if(
            requests, [](const QByteArray& request) { return request.contains("api_yahoo.php"); }));
    }

    std::atomic<bool> slowRequested{false};
    std::atomic<bool> slowReleased{false};
    ScriptedHttpServer server;

private:
    void serve(ScriptedHttpServer::Connection& c) {
        const QByteArray target = ScriptedHttpServer::target(c.readRequest());
        const QByteArray host = "http://" + server.hostAndPort();
        if (target.startsWith("/files/sorvel/api_yahoo.php?")) {
            std::lock_guard lock(mutex);
            const QUrlQuery query(QString::fromLatin1(target.mid(target.indexOf('?') + 1)));
            const int count = query.queryItemValue(QStringLiteral("results")).toInt();
            const int start = query.queryItemValue(QStringLiteral("start")).toInt();
            const int n = rows >= 0 ? rows : std::clamp(total - start + 1, 0, count);
            QByteArray blocks;
            for (int i = 0; i < n; ++i) {
                const Row r = row ? row(i) : Row();
                const QByteArray id = QByteArray::number(start + i);
                blocks +=
                    "<Result><Title>T" + id + "</Title>" +
                    (r.videoUrl ? "<Url>" + host + "/videos/" + id + "</Url>" : QByteArray()) +
                    "<RefererUrl>" + (r.referer.isEmpty() ? host + "/watch/" + id : r.referer) +
                    "</RefererUrl><Duration>" + r.duration + "</Duration>" +
                    (r.thumbnail.isEmpty()
                         ? QByteArray()
                         : "<Thumbnail><Url>" + host + r.thumbnail + "</Url></Thumbnail>") +
                    "<Copyright>" + r.site + "</Copyright></Result>";
            }
            c.send(ScriptedHttpServer::response(200, answerOf(total, blocks)));
        } else if (target == "/thumbs/good.jpg") {
            c.send(ScriptedHttpServer::response(200, jpegOf(ThumbnailColour)));
        } else if (target == "/thumbs/cut.jpg") {
            const QByteArray jpeg = jpegOf(ThumbnailColour, 120, 90, true);
            c.send(ScriptedHttpServer::response(200, jpeg.left(jpeg.size() * 4 / 5)));
        } else if (target == "/thumbs/text.jpg") {
            c.send(ScriptedHttpServer::response(200, "this is no picture"));
        } else if (target == "/thumbs/slow.jpg") {
            slowRequested = true;
            // Ten seconds at most; at once when the server stops.
            for (int i = 0; i < 2000 && !slowReleased; ++i)
                c.stall(std::chrono::milliseconds(5));
            c.send(ScriptedHttpServer::response(200, jpegOf(ThumbnailColour)));
        } else if (target.startsWith("/watch/") || target.startsWith("/files/sorvel/")) {
            c.send(ScriptedHttpServer::response(
                200, "<html><head><meta charset=\"utf-8\"></head><body>page</body></html>",
                {"Content-Type: text/html; charset=utf-8"}));
        } else {
            c.send(ScriptedHttpServer::response(404, "<html>Not Found</html>"));
        }
    }

    std::mutex mutex;
    int total = 0;
    int rows = -1;
    std::function<Row(int)> row;
};
