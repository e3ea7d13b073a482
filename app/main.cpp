#include "app/Startup.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    try {
        // First of all, so that SIGTERM, SIGINT and SIGHUP close the window the normal way from
        // the start (one that comes early waits for the event loop).
        TerminationSignals::install();
        // Another instance runs: end at once, silently.
        SingleInstanceMarker marker;
        if (!marker.acquire(InstanceMarkerName))
            return 0;
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        QApplication app(argc, argv);
        return runApplication(app);
    } catch (...) {
        return 0;
    }
}
