#pragma once

// The main() of the benchmarks that need a Qt event loop: App is QCoreApplication or
// QApplication, the latter on the offscreen platform unless another is named.

#include <QByteArray>
#include <QtGlobal>

#include <benchmark/benchmark.h>

template <typename App>
int runBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
