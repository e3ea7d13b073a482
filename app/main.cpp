#include "app/Startup.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    try {
        // First of all, so that SIGTERM, SIGINT and SIGHUP close the window the normal way from
        // the start (one that comes early waits for the event loop).
        TerminationSignals::install();
        const CommandLine line = readStartCommandLine(argc, argv);
        if (const std::optional<int> exitCode = answerWithoutWindow(line, argc, argv))
            return *exitCode;
        // Another instance runs: it takes this start's command line.
        SingleInstanceMarker marker;
        if (!marker.acquire(InstanceMarkerName))
            return handToRunningInstance(argc, argv);
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        QApplication app(argc, argv);
        return runProgram(app, line);
    } catch (...) {
        return 0;
    }
}
