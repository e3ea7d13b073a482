#include "platform/ExternalPlayer.h"

#include <QProcess>
#include <QStandardPaths>

QStringList knownPlayers() {
    return {QStringLiteral("mpv"), QStringLiteral("vlc"), QStringLiteral("smplayer")};
}

QStringList playerCommand(const QString& configured) {
    QStringList command = QProcess::splitCommand(configured);
    if (!command.isEmpty()) {
        const QString found = QStandardPaths::findExecutable(command.front());
        if (!found.isEmpty())
            command.front() = found;
        return command;
    }
    for (const QString& player : knownPlayers()) {
        const QString found = QStandardPaths::findExecutable(player);
        if (!found.isEmpty())
            return {found};
    }
    return {};
}

void startPlayer(const QStringList& command, const QString& url) {
    const QString program = command.value(0);
    QProcess process;
    process.setProgram(program);
    process.setArguments(command.mid(1) << url);
    process.setStandardInputFile(QProcess::nullDevice());
    if (program.isEmpty() || !process.startDetached())
        throw PlayerStartError(QStringLiteral("外部プレーヤー「%1」を起動できません").arg(program));
}
