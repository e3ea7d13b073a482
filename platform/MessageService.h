#pragma once

#include <QString>

#include <functional>

// The application title: task bar text and the caption of every message box.
inline const QString ApplicationTitle = QStringLiteral("Sorvel Browser");

// Every message box of the program goes through one service, so that a test can read what
// would have been shown instead of running a modal loop. The default shows real boxes.
class MessageService {
public:
    virtual ~MessageService() = default;
    // A plain modal box with an OK button and the application title as caption.
    virtual void showInformation(const QString& text) = 0;
    // The application's error box: error icon, OK button, the application title as caption.
    virtual void showError(const QString& text) = 0;
};

// The service in use. Never null: the built-in one shows QMessageBox boxes.
MessageService& messageService();
// Installs a service (a test's recorder); nullptr restores the built-in one. The caller keeps
// ownership and must restore the default before the service dies.
void setMessageService(MessageService* service);

// A service that shows no box: each message goes to the standard error as a line, prefixed with
// the application title. For a run that ends on a signal, when nobody may be at the screen to
// answer a box that would hold the process.
MessageService& standardErrorMessageService();

// The message as the error box shows it: a full stop is appended when the text is not empty
// and its last character sorts above "." (so ".", "!", "," and ")" get none).
QString errorBoxText(const QString& message);

// Shows an exception's message in the application's error box.
void showApplicationError(const QString& message);

// Runs one command of the user interface. No exception may cross a Qt signal, slot or event
// boundary, so every entry point runs its work through here: an exception ends the command and
// its message goes to the application's error box; anything not derived from std::exception is
// shown with an empty message.
void runCommand(const std::function<void()>& command);
