// Wall time of transfers from servers that send their header at once and then their body one
// byte at a time, a few seconds apart, so that no single wait runs into a time-out of ten
// seconds: a get() with a 10 s timeout (with and without the overall deadline), and a result page
// whose twenty thumbnails come from such servers (from one host, and from twenty), until the
// last picture is in. Also the time a stop takes to give the controls back while a server holds
// its answer.
#include "BenchMain.h"

#include "FakeSearchView.h"
#include "ScriptedHttpServer.h"
#include "SearchTestUtil.h"

#include "net/HttpClient.h"
#include "net/UrlEncoder.h"
#include "search/SearchController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

using Connection = ScriptedHttpServer::Connection;

ScriptedHttpServer::Script trickle(const QByteArray& body, std::chrono::milliseconds pause) {
    return [body, pause](Connection& c) {
        c.readRequest();
        c.send(ScriptedHttpServer::response(200, ""));
        c.sendSlowly(body, 1, pause);
    };
}

// Arguments: the deadline in milliseconds (0: none, only the time-out of each wait), the
// number of body bytes.
void BM_GetFromATricklingServer(benchmark::State& state) {
    const auto deadline = static_cast<int>(state.range(0));
    ScriptedHttpServer server(
        trickle(QByteArray(static_cast<int>(state.range(1)), 'x'), std::chrono::seconds(4)));
    bool failed = false;
    for (auto _ : state) {
        HttpClient http;
        http.timeout = 10000;
        http.deadline = deadline;
        QElapsedTimer clock;
        clock.start();
        try {
            http.get(server.url("/"));
        } catch (const AbortedError&) {
            failed = true;
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    }
    state.counters["ended_by_time_out"] = failed ? 1 : 0;
}

// A search controller against the service at host, with no disk cache, twenty results a page
// and a keyword, and a way to wait until its load has ended.
struct BenchSearch {
    explicit BenchSearch(const QByteArray& host)
        : client(view, http, url, QString::fromLatin1(host)) {
        client.setThumbnailCacheDirectory(QString());
        client.settings.resultsPerPage = 20;
        view.keyword = QStringLiteral("cat");
    }

    void waitUntilLoaded() {
        while (client.isLoading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    FakeSearchView view;
    HttpClient http;
    UrlEncoder url;
    SearchController client;
};

// Arguments: the pause between two bytes in milliseconds, the number of thumbnail hosts.
void BM_PageOfTrickledThumbnails(benchmark::State& state) {
    const auto pause = std::chrono::milliseconds(state.range(0));
    const auto hostCount = static_cast<int>(state.range(1));
    ScriptedHttpServer::Options concurrent;
    concurrent.concurrent = true;
    std::vector<std::unique_ptr<ScriptedHttpServer>> hosts;
    for (int i = 0; i < hostCount; ++i)
        hosts.push_back(
            std::make_unique<ScriptedHttpServer>(trickle(jpegOf(Qt::red), pause), concurrent));
    QByteArray blocks;
    for (int i = 0; i < ISearchView::SlotCount; ++i)
        blocks += resultBlock("t" + QByteArray::number(i), "60", "Youtube", "",
                              hosts[i % hostCount]->url("/" + QByteArray::number(i) + ".jpg"));
    const QByteArray answer = answerOf(900, blocks);
    ScriptedHttpServer service(
        ScriptedHttpServer::reply(ScriptedHttpServer::response(200, answer)));

    for (auto _ : state) {
        BenchSearch page(service.hostAndPort());
        QElapsedTimer clock;
        clock.start();
        page.client.search();
        page.waitUntilLoaded();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        state.counters["slots_shown"] = page.view.shownSlots();
    }
    qsizetype asked = 0;
    for (const auto& host : hosts)
        asked += host->requests().size();
    state.counters["thumbnails_asked"] = static_cast<double>(asked);
}

// From stop() during a search whose answer the server holds, until the load has ended and the
// controls are back.
void BM_StopDuringAStalledAnswer(benchmark::State& state) {
    std::atomic<int> served{0};
    ScriptedHttpServer service(
        [&](Connection& c) {
            c.readRequest();
            if (served++ == 0)
                c.send(ScriptedHttpServer::response(
                    200, answerOf(45, resultBlock("first", "60", "Youtube", "", ""))));
            else
                c.stall(std::chrono::minutes(1));
        },
        ScriptedHttpServer::concurrently());
    BenchSearch page(service.hostAndPort());
    SearchController& client = page.client;
    client.search();
    page.waitUntilLoaded();

    for (auto _ : state) {
        const qsizetype asked = service.requests().size();
        QElapsedTimer sinceStop;
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (service.requests().size() > asked && !sinceStop.isValid()) {
                sinceStop.start();
                client.stop();
            }
        });
        stopper.start(1);
        client.search();
        if (!sinceStop.isValid() || !page.view.searchEnabled || client.isLoading()) {
            state.SkipWithError("the load was not stopped, or the controls did not come back");
            break;
        }
        state.SetIterationTime(static_cast<double>(sinceStop.nsecsElapsed()) / 1e9);
    }
}

BENCHMARK(BM_GetFromATricklingServer)
    ->ArgNames({"deadline_ms", "body_bytes"})
    ->Args({HttpClient::DefaultDeadline, 200})
    ->Args({0, 19})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK(BM_PageOfTrickledThumbnails)
    ->ArgNames({"pause_ms", "hosts"})
    ->Args({4000, 1})
    ->Args({4000, 20})
    ->Args({1000, 1})
    ->Args({1000, 20})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK(BM_StopDuringAStalledAnswer)
    ->Iterations(50)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return runBenchmarks<QApplication>(argc, argv);
}
