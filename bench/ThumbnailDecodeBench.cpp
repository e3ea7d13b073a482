// A page of twenty thumbnails that each declare 4096 x 4096 (a few KB of JPEG apiece): the time
// to decode them and the memory the page holds afterwards, decoded at full size and at the size
// of the slot that shows them. Run one benchmark per process (--benchmark_filter) to read its
// own peak_rss_MB: the peak of a process only ever grows, and making the test picture already
// takes 64 MB (its 4096 x 4096 source) before anything is decoded.
#include "platform/Jpeg.h"

#include "../tests/support/TestImages.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

constexpr int PageSize = 20;

double peakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void decodePage(benchmark::State& state, QSize fitSize) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.jpg"));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(jpegOf(QColor(30, 160, 220), MaxJpegDimension, MaxJpegDimension));
    }
    qint64 held = 0;
    for (auto _ : state) {
        QList<QImage> page;
        for (int i = 0; i < PageSize; ++i)
            page.append(loadJpegFile(path, fitSize));
        held = 0;
        for (const QImage& image : page)
            held += image.sizeInBytes();
        benchmark::DoNotOptimize(page);
    }
    state.counters["file_KB"] = static_cast<double>(QFile(path).size()) / 1024.0;
    state.counters["page_held_MB"] = static_cast<double>(held) / (1024.0 * 1024.0);
    state.counters["peak_rss_MB"] = peakRssMegabytes();
}

void FullSize(benchmark::State& state) {
    decodePage(state, QSize());
}

void SlotSize(benchmark::State& state) {
    decodePage(state, QSize(120, 90));
}

} // namespace

BENCHMARK(FullSize)->Unit(benchmark::kMillisecond);
BENCHMARK(SlotSize)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
