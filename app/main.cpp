#include "app/Startup.h"
#include "platform/SingleInstance.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    try {
        // Another instance runs: end at once, silently.
        SingleInstanceMarker marker;
        if (!marker.Acquire(InstanceMarkerName))
            return 0;
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        QApplication app(argc, argv);
        return RunApplication(app);
    } catch (...) {
        return 0;
    }
}
