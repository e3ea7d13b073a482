#pragma once

#include "platform/Exception.h"

#include <QString>
#include <QStringList>

// A player that could not be started: "外部プレーヤー「%s」を起動できません".
class PlayerStartError : public Exception {
public:
    using Exception::Exception;
};

// The video players a result's page is handed to when the user has named none, in the order they
// are looked for on PATH.
QStringList knownPlayers();

// The command that plays an address: the user's choice when there is one (a program with any
// arguments of its own, separated by spaces, one with spaces in double quotes, as in
// mpv --fs --title="my videos"), else the first of knownPlayers() found on PATH. A program found
// on PATH is given with its full path; one that is not there is given as written, for starting it
// to fail. Empty when the user named none and no known player is installed.
QStringList playerCommand(const QString& configured);

// Starts the command detached, with the address appended as one more argument; no shell is
// involved. Raises PlayerStartError naming the program when it cannot be started.
void startPlayer(const QStringList& command, const QString& url);
