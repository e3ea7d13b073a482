#pragma once

#include <QString>

class QWidget;

// Brings a top-level window forward as a second start of the program asks: shown again when
// minimised, raised and activated. Window managers refuse to hand the focus to a program the user
// did not just start unless the launcher's token of that start comes along: on Wayland the XDG
// activation token, on X11 the startup notification id, whose time stamp the activation carries
// and whose launch feedback (a busy cursor) this ends. Either token may be empty.
void bringForward(QWidget& window, const QString& activationToken, const QString& startupId);

// The time stamp of an X11 startup notification id ("..._TIME<number>"); 0 when it has none.
quint32 startupIdTime(const QString& startupId);

// The startup notification message that ends the launch feedback of a startup id.
QByteArray startupRemoveMessage(const QString& startupId);
