#include "app/Startup.h"

#include "app/BundledService.h"
#include "app/QtTranslations.h"
#include "app/SearchSettingsDialog.h"
#include "app/Version.h"
#include "platform/AppDir.h"
#include "platform/Exception.h"
#include "platform/Fonts.h"
#include "platform/InstanceChannel.h"
#include "platform/MessageService.h"
#include "platform/TerminationSignals.h"
#include "platform/WindowActivation.h"

#include <QApplication>
#include <QDirIterator>
#include <QIcon>
#include <QLocale>

#include <chrono>
#include <cstdio>

namespace {

// A second start waits this long for a running program that has not begun to listen yet.
constexpr std::chrono::milliseconds HandOverWait{5000};

// The desktop entry the program is started from (sorvel.desktop): on Wayland the window's
// application id, which ties the window to the entry's name and icon.
const QString DesktopFileName = QStringLiteral("sorvel");

QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

CommandLine readThisCommandLine(const QStringList& arguments) {
    return readCommandLine(arguments, qEnvironmentVariable(ServiceHostVariable));
}

int reportCommandLineError(const QString& error) {
    std::fprintf(stderr, "sorvel: %s\nTry 'sorvel --help' for more information.\n",
                 error.toLocal8Bit().constData());
    return 2;
}

} // namespace

QIcon programIcon() {
    QIcon icon;
    // Each size the build drew, ":/icons/NxN/sorvel.png"; the icon reads its size from the file.
    QDirIterator sizes(QStringLiteral(":/icons"), {QStringLiteral("sorvel.png")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (sizes.hasNext())
        icon.addFile(sizes.next());
    return icon;
}

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

int runApplication(QApplication& app, const MainWindowOptions& options, const StartOptions& start) {
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
        MainWindow* window = windows.mainWindow.get();
        windows.mainWindow->show();
        window->searchFor(start.keyword);
        if (start.channel) {
            QObject::connect(
                start.channel, &InstanceChannel::requested, window,
                [window](const StartRequest& request) {
                    runCommand([&] {
                        bringForward(*window, request.activationToken, request.startupId);
                        const CommandLine line =
                            readThisCommandLine(QStringList{QString()} + request.arguments);
                        window->searchFor(line.keyword);
                    });
                });
            start.channel->deliver();
        }
        app.exec();
    } catch (const std::exception& e) {
        showApplicationError(exceptionMessage(e));
    } catch (...) {
        showApplicationError(QString());
    }
    return 0;
}

CommandLine readStartCommandLine(int argc, char* argv[]) {
    return readThisCommandLine(withoutQtOptions(argumentsOf(argc, argv)));
}

std::optional<int> answerWithoutWindow(const CommandLine& line, int argc, char* argv[]) {
    if (!line.error.isEmpty())
        return reportCommandLineError(line.error);
    if (line.request == CommandLine::Request::Run)
        return std::nullopt;
    // Read once more with the application's arguments: the help names the program as it was
    // called, which only an application object tells.
    const QCoreApplication app(argc, argv);
    const CommandLine named = readThisCommandLine(withoutQtOptions(QCoreApplication::arguments()));
    std::fputs(named.text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    return 0;
}

int handToRunningInstance(int argc, char* argv[]) {
    const QCoreApplication app(argc, argv);
    const QStringList arguments = withoutQtOptions(QCoreApplication::arguments());
    // A running program that does not take it (one that is ending) changes nothing: this start
    // ends as a second start always has.
    InstanceChannel::send(InstanceMarkerName, StartRequest::ofThisProcess(arguments.mid(1)),
                          HandOverWait);
    return 0;
}

int runProgram(QApplication& app, const CommandLine& line) {
    QApplication::setApplicationVersion(ProgramVersion);
    QGuiApplication::setDesktopFileName(DesktopFileName);
    QApplication::setWindowIcon(programIcon());
    const QtTranslations translations{QLocale()};

    // From now on a second start is heard, also while the service starts; what it asks waits
    // for the windows.
    InstanceChannel channel;
    channel.listen(InstanceMarkerName);
    // What cannot be made is reported when the settings are saved, with the file's name.
    makeConfigDir();

    BundledService service;
    bool ending = false;
    {
        TerminationSignals termination;
        QObject::connect(&termination, &TerminationSignals::received, &app, [&] {
            ending = true;
            service.abandonWait();
            // The box that says why the service cannot start may be open.
            QApplication::closeAllWindows();
        });
        runCommand([&] { service.ensureRunning(line.serviceHost); });
    }
    if (ending)
        return 0;

    MainWindowOptions options;
    options.serviceHost = line.serviceHost;
    return runApplication(app, options, StartOptions{line.keyword, &channel});
}
