#include "app/Startup.h"

#include "app/SearchSettingsDialog.h"
#include "platform/Exception.h"
#include "platform/Fonts.h"
#include "platform/MessageService.h"
#include "platform/TerminationSignals.h"

#include <QApplication>

TProgramWindows::TProgramWindows(const TMainFormOptions& options)
    : MainForm1(std::make_unique<TMainForm1>(options))
    , SettingForm1(std::make_unique<TSettingForm1>(MainForm1.get())) {
    SettingForm1->setObjectName(QStringLiteral("SettingForm1"));
    MainForm1->AttachSettingForm(*SettingForm1);
}

TProgramWindows::~TProgramWindows() {
    SettingForm1.reset();
    MainForm1.reset();
}

int RunApplication(QApplication& app, const TMainFormOptions& options) {
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
        TProgramWindows windows(options);
        windows.MainForm1->show();
        app.exec();
    } catch (const std::exception& e) {
        showApplicationError(exceptionMessage(e));
    } catch (...) {
        showApplicationError(QString());
    }
    return 0;
}
