#include "app/Startup.h"

#include "app/SearchSettingsDialog.h"
#include "platform/Exception.h"
#include "platform/Fonts.h"
#include "platform/MessageService.h"
#include "platform/TerminationSignals.h"

#include <QApplication>

ProgramWindows::ProgramWindows(const MainWindowOptions& options)
    : mainWindow(std::make_unique<MainWindow>(options))
    , settingsDialog(std::make_unique<SearchSettingsDialog>(mainWindow.get())) {
    settingsDialog->setObjectName(QStringLiteral("settingsDialog"));
    mainWindow->setSearchSettingsDialog(*settingsDialog);
}

ProgramWindows::~ProgramWindows() {
    settingsDialog.reset();
    mainWindow.reset();
}

int runApplication(QApplication& app, const MainWindowOptions& options) {
    try {
        QApplication::setApplicationName(ApplicationTitle);
        installFontSubstitutions();
        // A request to end the program closes its windows the normal way: open boxes first,
        // then the main window, which saves the settings; the history goes with the windows.
        // Nobody may be at the screen (a logout, a service manager), so what the close has to
        // report goes to the standard error rather than into a box that would hold the process.
        TerminationSignals termination;
        QObject::connect(&termination, &TerminationSignals::received, &app, [] {
            setMessageService(&standardErrorMessageService());
            QApplication::closeAllWindows();
        });
        // The windows are torn down only after the loop has ended, and the loop ends only
        // between events: a close during a page load ends the load's transfer, and the loop
        // ends once the load has returned.
        ProgramWindows windows(options);
        windows.mainWindow->show();
        app.exec();
    } catch (const std::exception& e) {
        showApplicationError(exceptionMessage(e));
    } catch (...) {
        showApplicationError(QString());
    }
    return 0;
}
