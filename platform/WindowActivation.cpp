#include "platform/WindowActivation.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

xcb_client_message_event_t clientMessage(xcb_window_t window, xcb_atom_t type) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    return event;
}

// The startup notification on X11: the id on the window, the activation with the time of the
// launch, then the end of the launch feedback.
void activateOnX11(QWidget& window, const QString& startupId) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;

    const QByteArray idBytes = startupId.toUtf8();
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id,
                        internAtom(connection, "_NET_STARTUP_ID"),
                        internAtom(connection, "UTF8_STRING"), 8,
                        static_cast<uint32_t>(idBytes.size()), idBytes.constData());

    xcb_client_message_event_t activate =
        clientMessage(id, internAtom(connection, "_NET_ACTIVE_WINDOW"));
    activate.data.data32[0] = 1; // from an application
    activate.data.data32[1] = startupIdTime(startupId);
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&activate));

    // The message goes in pieces of 20 bytes, its closing NUL included.
    const QByteArray message = startupRemoveMessage(startupId) + '\0';
    const xcb_atom_t begin = internAtom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = internAtom(connection, "_NET_STARTUP_INFO");
    for (qsizetype offset = 0; offset < message.size(); offset += 20) {
        xcb_client_message_event_t piece = clientMessage(id, offset == 0 ? begin : more);
        piece.format = 8;
        std::memcpy(piece.data.data8, message.constData() + offset,
                    size_t(std::min<qsizetype>(20, message.size() - offset)));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&piece));
    }
    xcb_flush(connection);
}

} // namespace

quint32 startupIdTime(const QString& startupId) {
    static const QRegularExpression time(QStringLiteral("_TIME([0-9]+)$"));
    const QRegularExpressionMatch match = time.match(startupId);
    bool ok = false;
    const quint32 value = match.hasMatch() ? match.captured(1).toUInt(&ok) : 0;
    return ok ? value : 0;
}

QByteArray startupRemoveMessage(const QString& startupId) {
    QByteArray value = startupId.toUtf8();
    // A value with a blank, a quote or a backslash goes in quotes, those two escaped.
    if (value.contains(' ') || value.contains('"') || value.contains('\\')) {
        value.replace('\\', "\\\\").replace('"', "\\\"");
        value = '"' + value + '"';
    }
    return "remove: ID=" + value;
}

void bringForward(QWidget& window, const QString& activationToken, const QString& startupId) {
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb") && !startupId.isEmpty())
        activateOnX11(window, startupId);
    // Qt's Wayland client takes the token from the environment for the next activation.
    if (platform.startsWith(QLatin1String("wayland")) && !activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    window.activateWindow();
}
