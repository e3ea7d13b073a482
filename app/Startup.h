#pragma once

#include "app/MainWindow.h"

#include <memory>

class QApplication;
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

// Start-up after the single-instance check: the application title and fonts, the two windows,
// the message loop until the main window has closed, then the windows' teardown. A termination
// signal (TerminationSignals) closes every window as the user would. Whatever is raised on the
// way is shown in the application's error box. Returns 0 in every case.
int runApplication(QApplication& app, const MainWindowOptions& options = MainWindowOptions());
