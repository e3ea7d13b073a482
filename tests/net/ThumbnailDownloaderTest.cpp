#include "net/ThumbnailDownloader.h"

#include "ScriptedHttpServer.h"
#include "TestCertificates.h"
#include "TestUtil.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>

using namespace std::chrono_literals;
using Connection = ScriptedHttpServer::Connection;

namespace {

// The request target of a request header: "/x.jpg", or the whole URL sent to a proxy.
QByteArray targetOf(const QByteArray& request) {
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    return words.value(1);
}

bool hasHeader(const QByteArray& request, const QByteArray& line) {
    return request.toLower().contains("\r\n" + line.toLower() + "\r\n");
}

qint64 folderSize(const QString& path) {
    qint64 size = 0;
    for (QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        it.next();
        size += it.fileInfo().size();
    }
    return size;
}

// A downloader that records what it reports, with a cache in a folder of the test's own.
class ThumbnailDownloaderTest : public ::testing::Test {
protected:
    ThumbnailDownloaderTest() {
        downloader.setCacheDirectory(cache.path());
        QObject::connect(&downloader, &ThumbnailDownloader::finished,
                         [this](int id, const QByteArray& data) { results.insert(id, data); });
    }

    // Fetches the URLs and waits until every one is reported; returns their bytes in order.
    QList<QByteArray> fetchAll(const QList<QByteArray>& urls) {
        QList<int> ids;
        for (const QByteArray& url : urls)
            ids << downloader.fetch(QUrl::fromEncoded(url));
        EXPECT_TRUE(waitUntil([&] { return downloader.pendingCount() == 0; }, 20000));
        QList<QByteArray> data;
        for (const int id : ids)
            data << results.value(id, "<not reported>");
        return data;
    }

    QTemporaryDir cache;
    ThumbnailDownloader downloader;
    QMap<int, QByteArray> results;
};

} // namespace

// Twenty pictures, each answered after a pause: six are asked for at once, never more, also
// over two host names (Qt would open six to each).
TEST_F(ThumbnailDownloaderTest, AtMostSixDownloadsRunAtOnce) {
    ScriptedHttpServer server(
        [](Connection& c) {
            const QByteArray target = targetOf(c.readRequest());
            c.stall(300ms);
            c.send(ScriptedHttpServer::response(200, "picture " + target));
        },
        ScriptedHttpServer::concurrently());
    QList<QByteArray> urls;
    for (int i = 0; i < 20; ++i)
        urls << (i % 2 ? "http://localhost:" : "http://127.0.0.1:") +
                    QByteArray::number(server.port()) + "/" + QByteArray::number(i) + ".jpg";
    const QList<QByteArray> data = fetchAll(urls);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(data[i], "picture /" + QByteArray::number(i) + ".jpg");
    EXPECT_EQ(server.mostOpenAtOnce(), ThumbnailDownloader::MaxParallel);
    EXPECT_EQ(server.requests().size(), 20);
}

// What a second fetch of the same picture asks of the server, by the caching headers of the
// first answer: nothing while it is fresh (a day when the server says nothing), a revalidation
// when it must, everything when it may not be kept.
TEST_F(ThumbnailDownloaderTest, TheCacheKeepsWhatTheServerAllows) {
    const struct {
        const char* name;
        QList<QByteArray> headers;
        int requests;     // by the second fetch
        bool revalidated; // the second request carried the ETag
    } cases[] = {
        {"no caching headers", {}, 0, false},
        {"fresh for a day", {"Cache-Control: public, max-age=86400", "ETag: \"v1\""}, 0, false},
        {"to be revalidated", {"Cache-Control: no-cache", "ETag: \"v1\""}, 1, true},
        {"not to be kept", {"Cache-Control: no-store"}, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        downloader.setCacheDirectory(folder.path());
        // With its length, as servers send pictures: Qt asks again now and then for a body that
        // only the end of the connection ends.
        ScriptedHttpServer server([&](Connection& c2) {
            const QByteArray request = c2.readRequest();
            if (hasHeader(request, "If-None-Match: \"v1\""))
                c2.send(ScriptedHttpServer::response(304, "", c.headers));
            else
                c2.send(ScriptedHttpServer::response(
                    200, "the picture", c.headers + QList<QByteArray>{"Content-Length: 11"}));
        });
        EXPECT_EQ(fetchAll({server.url("/p.jpg")}), QList<QByteArray>{"the picture"});
        EXPECT_EQ(fetchAll({server.url("/p.jpg")}), QList<QByteArray>{"the picture"});
        const QList<QByteArray> requests = server.requests();
        ASSERT_EQ(requests.size(), 1 + c.requests);
        if (c.requests > 0) {
            EXPECT_EQ(hasHeader(requests.back(), "If-None-Match: \"v1\""), c.revalidated);
        }
    }

    // Bounded: past its size (by at most the entry that passes it) the oldest entries go.
    QTemporaryDir folder;
    downloader.setCacheDirectory(folder.path(), 200 * 1024);
    // Nothing is made on disk before a download needs it.
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
    ScriptedHttpServer large(
        ScriptedHttpServer::reply(ScriptedHttpServer::response(200, QByteArray(60 * 1024, 'x'))));
    for (int i = 0; i < 10; ++i)
        fetchAll({large.url("/" + QByteArray::number(i) + ".jpg")});
    EXPECT_LE(folderSize(folder.path()), (200 + 64) * 1024);
    EXPECT_GT(folderSize(folder.path()), 0);
}

// A host that runs out of time, on one wait or on the whole picture, is not asked again: its
// pictures still queued fail at once, and those of other hosts come.
TEST_F(ThumbnailDownloaderTest, ASlowHostIsNotAskedAgain) {
    const struct {
        const char* name;
        int waitTimeout;
        int deadline;
        ScriptedHttpServer::Script script;
    } cases[] = {
        {"steady but slow", 2000, 300,
         [](Connection& c) {
             c.readRequest();
             c.sendSlowly(ScriptedHttpServer::response(200, QByteArray(40, 's')), 2, 150ms);
         }},
        {"silent", 200, 5000,
         [](Connection& c) {
             c.readRequest();
             c.stall(10s);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        downloader.waitTimeout = c.waitTimeout;
        downloader.deadline = c.deadline;
        ScriptedHttpServer slow(c.script, ScriptedHttpServer::concurrently());
        ScriptedHttpServer fast(
            ScriptedHttpServer::reply(ScriptedHttpServer::response(200, "fast")));
        QList<QByteArray> urls;
        for (int i = 0; i < 10; ++i)
            urls << slow.url("/" + QByteArray::number(i) + ".jpg");
        urls << fast.url("/f.jpg");
        const QList<QByteArray> data = fetchAll(urls);
        for (int i = 0; i < 10; ++i)
            EXPECT_TRUE(data[i].isEmpty()) << i;
        EXPECT_EQ(data[10], "fast");
        EXPECT_LE(slow.connectionCount(), ThumbnailDownloader::MaxParallel);
        downloader.cancelAll();
    }
}

TEST_F(ThumbnailDownloaderTest, HttpsWithTheTrustedAuthorityOnlyAndRedirectsBothWays) {
    const TestAuthority authority;
    downloader.setTrustedCertificates(authority.certificatePem());
    ScriptedHttpServer trusted(ScriptedHttpServer::reply(ScriptedHttpServer::response(200, "tls")),
                               tlsServerOptions(authority.issue({"localhost"}), true));
    ScriptedHttpServer otherName(
        ScriptedHttpServer::reply(ScriptedHttpServer::response(200, "wrong name")),
        tlsServerOptions(authority.issue({"other.test"}), true));
    ScriptedHttpServer selfSigned(
        ScriptedHttpServer::reply(ScriptedHttpServer::response(200, "self-signed")),
        tlsServerOptions(TestAuthority::selfSigned({"localhost"}), true));
    ScriptedHttpServer plain(ScriptedHttpServer::reply(ScriptedHttpServer::response(200, "plain")));
    const QByteArray secureUrl = "https://localhost:" + QByteArray::number(trusted.port());
    ScriptedHttpServer toHttps(ScriptedHttpServer::reply(
        ScriptedHttpServer::response(302, "", {"Location: " + secureUrl + "/r.jpg"})));
    ScriptedHttpServer toHttp(ScriptedHttpServer::reply(ScriptedHttpServer::response(
                                  301, "", {"Location: " + plain.url("/p.jpg")})),
                              tlsServerOptions(authority.issue({"localhost"}), true));

    const QList<QByteArray> data = fetchAll({
        secureUrl + "/a.jpg",
        "https://localhost:" + QByteArray::number(otherName.port()) + "/b.jpg",
        "https://localhost:" + QByteArray::number(selfSigned.port()) + "/c.jpg",
        toHttps.url("/d.jpg"),
        "https://localhost:" + QByteArray::number(toHttp.port()) + "/e.jpg",
    });
    EXPECT_EQ(data, (QList<QByteArray>{"tls", "", "", "tls", "plain"}));
    EXPECT_TRUE(otherName.requests().isEmpty());
    EXPECT_TRUE(selfSigned.requests().isEmpty());
    EXPECT_TRUE(trusted.serverNames().contains("localhost"));
}

TEST_F(ThumbnailDownloaderTest, TheProxyOfTheRulesSeesTheRequests) {
    const TestAuthority authority;
    downloader.setTrustedCertificates(authority.certificatePem());
    ScriptedHttpServer secure(ScriptedHttpServer::reply(ScriptedHttpServer::response(200, "tls")),
                              tlsServerOptions(authority.issue({"pics.test"}), true));
    ScriptedHttpServer direct(
        ScriptedHttpServer::reply(ScriptedHttpServer::response(200, "direct")));
    ScriptedHttpServer proxy(
        [&](Connection& c) {
            const QByteArray request = c.readRequest();
            if (request.startsWith("CONNECT ")) {
                c.send("HTTP/1.1 200 Connection established\r\n\r\n");
                c.relayTo(secure.port());
            } else {
                c.send(ScriptedHttpServer::response(200, "via proxy"));
            }
        },
        ScriptedHttpServer::concurrently());
    const QByteArray proxyUrl = "http://" + proxy.hostAndPort();
    downloader.setProxies(ProxyRules::fromVariables([&](const char* name) -> QByteArray {
        if (qstrcmp(name, "all_proxy") == 0)
            return proxyUrl;
        if (qstrcmp(name, "no_proxy") == 0)
            return "localhost";
        return {};
    }));
    const QByteArray closed = QByteArray::number(ScriptedHttpServer::closedPort());
    const QList<QByteArray> data = fetchAll({
        "http://pics.test/1.jpg",
        "https://pics.test/2.jpg",
        // Loopback too goes through the proxy unless no_proxy names it.
        "http://127.0.0.1:" + closed + "/3.jpg",
        "http://localhost:" + QByteArray::number(direct.port()) + "/4.jpg",
    });
    EXPECT_EQ(data, (QList<QByteArray>{"via proxy", "tls", "via proxy", "direct"}));
    QList<QByteArray> targets;
    for (const QByteArray& request : proxy.requests())
        targets << targetOf(request);
    std::sort(targets.begin(), targets.end());
    EXPECT_EQ(targets, (QList<QByteArray>{"http://127.0.0.1:" + closed + "/3.jpg",
                                          "http://pics.test/1.jpg", "pics.test:443"}));
    EXPECT_EQ(secure.serverNames(), QList<QByteArray>{"pics.test"});
}

TEST_F(ThumbnailDownloaderTest, OnlyWebAddressesAreFetchedAndFailuresComeLater) {
    bool returned = false;
    QList<int> reportedBeforeReturn;
    QObject::connect(&downloader, &ThumbnailDownloader::finished, [&](int id, const QByteArray&) {
        if (!returned)
            reportedBeforeReturn << id;
    });
    QList<int> ids;
    for (const char* url : {"", "ftp://h/x.jpg", "file:///etc/passwd", "javascript:alert(1)",
                            "host-without-scheme/x.jpg"})
        ids << downloader.fetch(QUrl(QString::fromLatin1(url)));
    returned = true;
    EXPECT_EQ(downloader.pendingCount(), 5);
    ASSERT_TRUE(waitUntil([&] { return downloader.pendingCount() == 0; }));
    EXPECT_TRUE(reportedBeforeReturn.isEmpty());
    for (const int id : ids)
        EXPECT_TRUE(results.contains(id) && results[id].isEmpty()) << id;

    // Downloads ended by cancelAll() are never reported.
    ScriptedHttpServer silent([](Connection& c) {
        c.readRequest();
        c.stall(10s);
    });
    const int id = downloader.fetch(QUrl::fromEncoded(silent.url("/x.jpg")));
    ASSERT_TRUE(waitUntil([&] { return silent.connectionCount() == 1; }));
    const int failing = downloader.fetch(QUrl(QStringLiteral("ftp://h/")));
    downloader.cancelAll();
    EXPECT_EQ(downloader.pendingCount(), 0);
    waitUntil([] { return false; }, 200);
    EXPECT_FALSE(results.contains(id));
    EXPECT_FALSE(results.contains(failing));
}
