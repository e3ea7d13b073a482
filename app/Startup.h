#pragma once

#include "app/CommandLine.h"
#include "app/MainWindow.h"

#include <memory>
#include <optional>

class InstanceChannel;
class QApplication;
class QIcon;
class SearchSettingsDialog;

// The name of the single-instance marker.
inline const QString InstanceMarkerName = QStringLiteral("sorvel");

// The program's two windows, made as start-up makes them: the main window, then the settings
// dialog, hidden, as a dialog of the main window (shown centred over it). The dialog goes
// before the main window.
class ProgramWindows final {
public:
    // Raises what the main window's construction raises.
    explicit ProgramWindows(const MainWindowOptions& options = MainWindowOptions());
    ~ProgramWindows();
    Q_DISABLE_COPY_MOVE(ProgramWindows)

    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<SearchSettingsDialog> settingsDialog;
};

// The window icon: the program's icon (packaging/sorvel.svg) as drawn at build time, in the
// sizes a window system asks for.
QIcon programIcon();

// What a run starts with besides the windows' options.
struct StartOptions {
    // The search of the command line, run once the settings are applied; empty for none.
    QString keyword;
    // The channel over which second starts arrive; none when null. Each brings the main window
    // forward and runs the search its command line names.
    InstanceChannel* channel = nullptr;
};

// Start-up after the single-instance check: the application title and fonts, the two windows,
// the message loop until the main window has closed, then the windows' teardown. A termination
// signal (TerminationSignals) closes every window as the user would. Whatever is raised on the
// way is shown in the application's error box. Returns 0 in every case.
int runApplication(QApplication& app, const MainWindowOptions& options = MainWindowOptions(),
                   const StartOptions& start = StartOptions());

// The command line of this start as main reads it, once, before the application object: the
// arguments without the options that the application object takes for itself, with
// SORVEL_SERVICE_HOST.
CommandLine readStartCommandLine(int argc, char* argv[]);

// What main does with it before the application object, without a display and whether or not
// another instance runs: answers --help and --version on the standard output (0), and refuses a
// command line or a SORVEL_SERVICE_HOST it cannot use with the reason on the standard error (2).
// The exit code when the run ends here.
std::optional<int> answerWithoutWindow(const CommandLine& line, int argc, char* argv[]);

// A second start whose command line answerWithoutWindow() let run: hands the command line to the
// running program and returns 0 at once.
int handToRunningInstance(int argc, char* argv[]);

// The program once it holds the single-instance marker, with the command line that
// answerWithoutWindow() let run: listens for second starts, loads Qt's translations, makes the
// settings folder, starts the bundled service where nothing answers at a loopback service host,
// then runApplication().
int runProgram(QApplication& app, const CommandLine& line);
