// Reading a service answer (normalisation, total, result table) against a real XML parser
// (pugixml) parsing the same document. Figures are bytes per second of the answer.
#include "search/AnswerExtraction.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

namespace {

QByteArray makeAnswer(int results) {
    QByteArray answer =
        R"(<?xml version="1.0" encoding="UTF-8"?><ResultSet xmlns="urn:yahoo:srch" totalResultsAvailable=")" +
        QByteArray::number(results) + R"(" totalResultsReturned=")" + QByteArray::number(results) +
        R"(" firstResultPosition="1">)";
    for (int i = 0; i < results; ++i) {
        const QByteArray id = QByteArray::number(i);
        answer += "<Result><Title>猫と犬の動画 &amp; その他 " + id +
                  "</Title><Summary>毎日の猫の様子を撮影した動画です。A cat video, part " + id +
                  ".</Summary><Url>http://127.0.0.1:8780/video/" + id +
                  ".flv</Url><ClickUrl>http://127.0.0.1:8780/video/" + id +
                  ".flv</ClickUrl><RefererUrl>http://127.0.0.1:8780/watch/" + id +
                  "</RefererUrl><FileSize>1234567</FileSize><FileFormat>flash</FileFormat>"
                  "<Height>360</Height><Width>480</Width><Duration>" +
                  QByteArray::number(i * 7 % 3600) +
                  "</Duration><Streaming>true</Streaming><Channels>2</Channels>"
                  "<Thumbnail><Url>http://127.0.0.1:8780/thumbs/" +
                  id +
                  ".jpg</Url><Height>90</Height><Width>120</Width></Thumbnail>"
                  "<Copyright>ニコニコ動画</Copyright></Result>";
    }
    return answer + "</ResultSet>";
}

void readAnswer(benchmark::State& state) {
    const QByteArray answer = makeAnswer(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const QByteArray normalized = normalizeAnswer(answer);
        benchmark::DoNotOptimize(extractTotal(normalized));
        benchmark::DoNotOptimize(extractResults(normalized));
    }
    state.SetBytesProcessed(state.iterations() * answer.size());
    state.counters["answer_bytes"] = static_cast<double>(answer.size());
}

// The two passes of readAnswer on their own.
void normalizeOnly(benchmark::State& state) {
    const QByteArray answer = makeAnswer(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(normalizeAnswer(answer));
    state.SetBytesProcessed(state.iterations() * answer.size());
}

void extractOnly(benchmark::State& state) {
    const QByteArray answer = normalizeAnswer(makeAnswer(static_cast<int>(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(extractResults(answer));
    state.SetBytesProcessed(state.iterations() * answer.size());
}

void pugixmlParse(benchmark::State& state) {
    const QByteArray answer = makeAnswer(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        pugi::xml_document document;
        benchmark::DoNotOptimize(document.load_buffer(answer.constData(), answer.size()));
    }
    state.SetBytesProcessed(state.iterations() * answer.size());
}

} // namespace

BENCHMARK(readAnswer)->Arg(20)->Arg(5000);
BENCHMARK(pugixmlParse)->Arg(20)->Arg(5000);
BENCHMARK(normalizeOnly)->Arg(5000);
BENCHMARK(extractOnly)->Arg(5000);

BENCHMARK_MAIN();
