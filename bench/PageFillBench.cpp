// How long a page of twenty results takes to fill, against curl fetching the same twenty
// pictures six at a time (curl --parallel --parallel-max 6), at 0, 20 and 100 ms of added
// latency. The latency is added by the server, for both clients alike: it answers every request
// that long after it has read it (this machine offers no netem). Every answer carries its
// length and closes its connection, as HTTP/1.0 answers do, so each request costs one
// connection for both clients.
//
// BM_PageFill reports the whole load (search command to the last picture in place) and its two
// parts as counters: answer_ms (until the page is laid out) and pictures_ms (from then to the
// last picture). BM_CurlPictures times curl over the twenty picture URLs, BM_CurlAnswer curl
// over the answer's URL, each as a whole process run.
#include "BenchMain.h"

#include "FakeSearchView.h"
#include "ScriptedHttpServer.h"
#include "SearchTestUtil.h"

#include "net/HttpClient.h"
#include "net/UrlEncoder.h"
#include "search/SearchController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

namespace {

constexpr int Pictures = 20;

QByteArray withLength(const QByteArray& body, const QByteArray& type) {
    return ScriptedHttpServer::response(
        200, body, {"Content-Type: " + type, "Content-Length: " + QByteArray::number(body.size())});
}

// The service and its thumbnails on one loopback server that answers each request after the
// latency.
class DelayingService {
public:
    explicit DelayingService(std::chrono::milliseconds latency)
        : m_picture(withLength(jpegOf(QColor(40, 90, 200)), "image/jpeg"))
        , m_server(
              [this, latency](ScriptedHttpServer::Connection& c) {
                  const QByteArray request = c.readRequest();
                  c.stall(latency);
                  c.send(request.contains("api_yahoo.php") ? m_answer : m_picture);
              },
              options()) {
        QByteArray blocks;
        for (int i = 0; i < Pictures; ++i)
            blocks += resultBlock("t" + QByteArray::number(i), "60", "Youtube", "", pictureUrl(i));
        m_answer = withLength(answerOf(100, blocks), "text/xml; charset=utf-8");
    }

    static ScriptedHttpServer::Options options() {
        ScriptedHttpServer::Options options;
        options.concurrent = true;
        return options;
    }

    QByteArray host() const { return m_server.hostAndPort(); }
    QByteArray pictureUrl(int i) const {
        return m_server.url("/t" + QByteArray::number(i) + ".jpg");
    }
    QByteArray answerUrl() const {
        return m_server.url("/files/sorvel/api_yahoo.php?&query=cat&results=20&start=1");
    }

private:
    QByteArray m_answer;
    QByteArray m_picture;
    ScriptedHttpServer m_server;
};

// Argument: the added latency in milliseconds.
void BM_PageFill(benchmark::State& state) {
    DelayingService service(std::chrono::milliseconds(state.range(0)));
    double answerMs = 0;
    double picturesMs = 0;
    for (auto _ : state) {
        FakeSearchView view;
        HttpClient http;
        UrlEncoder url;
        SearchController client(view, http, url, QString::fromLatin1(service.host()));
        // A first visit: nothing in the cache.
        QTemporaryDir cache;
        client.setThumbnailCacheDirectory(cache.path());
        client.settings.resultsPerPage = 20;
        view.keyword = QStringLiteral("cat");
        QElapsedTimer clock;
        clock.start();
        client.search();
        const qint64 laidOut = clock.nsecsElapsed();
        while (client.isLoading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const qint64 filled = clock.nsecsElapsed();
        state.SetIterationTime(static_cast<double>(filled) / 1e9);
        answerMs += static_cast<double>(laidOut) / 1e6;
        picturesMs += static_cast<double>(filled - laidOut) / 1e6;
        if (view.shownSlots() != Pictures)
            state.SkipWithError("the page was not filled");
    }
    state.counters["answer_ms"] = answerMs / static_cast<double>(state.iterations());
    state.counters["pictures_ms"] = picturesMs / static_cast<double>(state.iterations());
}

void runCurl(benchmark::State& state, const QStringList& arguments) {
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (curl.isEmpty()) {
        state.SkipWithError("curl is not installed");
        return;
    }
    for (auto _ : state) {
        QProcess process;
        QElapsedTimer clock;
        clock.start();
        process.start(curl, arguments);
        process.waitForFinished(60000);
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        if (process.exitCode() != 0)
            state.SkipWithError("curl failed");
    }
}

void BM_CurlPictures(benchmark::State& state) {
    DelayingService service(std::chrono::milliseconds(state.range(0)));
    QStringList arguments{QStringLiteral("--silent"), QStringLiteral("--fail"),
                          QStringLiteral("--parallel"), QStringLiteral("--parallel-max"),
                          QStringLiteral("6"),
                          // Six connections at once, rather than waiting to learn whether the
                          // first could carry the others (HTTP/2): its best on HTTP/1.
                          QStringLiteral("--parallel-immediate")};
    for (int i = 0; i < Pictures; ++i)
        arguments << QStringLiteral("--output") << QStringLiteral("/dev/null")
                  << QString::fromLatin1(service.pictureUrl(i));
    runCurl(state, arguments);
}

void BM_CurlAnswer(benchmark::State& state) {
    DelayingService service(std::chrono::milliseconds(state.range(0)));
    runCurl(state,
            {QStringLiteral("--silent"), QStringLiteral("--fail"), QStringLiteral("--output"),
             QStringLiteral("/dev/null"), QString::fromLatin1(service.answerUrl())});
}

void latencies(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgName("latency_ms")
        ->Arg(0)
        ->Arg(20)
        ->Arg(100)
        ->Iterations(10)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_PageFill)->Apply(latencies);
BENCHMARK(BM_CurlPictures)->Apply(latencies);
BENCHMARK(BM_CurlAnswer)->Apply(latencies);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarks<QApplication>(argc, argv);
}
