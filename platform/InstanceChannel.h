#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

class QLocalServer;
class QLocalSocket;

// What a second start hands to the running program: its command line and the tokens its
// launcher gave it to bring a window forward (empty when there were none).
struct StartRequest {
    // The arguments after the program's name.
    QStringList arguments;
    // XDG_ACTIVATION_TOKEN (Wayland) and DESKTOP_STARTUP_ID (X11) of the second start.
    QString activationToken;
    QString startupId;

    // The request of this process: the given arguments and the tokens in its environment.
    static StartRequest ofThisProcess(const QStringList& arguments);
    QByteArray toBytes() const;
    // Reads what toBytes() wrote; false for anything else.
    static bool fromBytes(const QByteArray& bytes, StartRequest& request);

    bool operator==(const StartRequest&) const = default;
};

// The per-user local socket beside the single-instance lock, over which a second start hands
// its command line to the running program. The running program listens; the second start
// sends one request and ends.
class InstanceChannel final : public QObject {
    Q_OBJECT
public:
    explicit InstanceChannel(QObject* parent = nullptr);
    ~InstanceChannel() override;
    Q_DISABLE_COPY_MOVE(InstanceChannel)

    // The socket of a marker name, beside its lock file.
    static QString socketPath(const QString& name);

    // Listens for second starts. Only the holder of the single-instance marker may call it: a
    // socket file that is there already was left by a run that crashed, and goes. False when
    // the socket cannot be made (second starts then end without being heard).
    bool listen(const QString& name);

    // Hands request to the program that listens on name's socket. A program that holds the
    // marker but does not listen yet (it is starting) is tried again until `wait` has passed.
    // False when no program took the request.
    static bool send(const QString& name, const StartRequest& request,
                     std::chrono::milliseconds wait);

    // Requests that arrive before deliver() is first called are kept; deliver() emits them in
    // their order and every later one as it arrives.
    void deliver();

signals:
    void requested(const StartRequest& request);

private:
    void accept();
    void read(QLocalSocket* socket);
    // Closes a connection without reading from it any further.
    void drop(QLocalSocket* socket);
    void receive(const StartRequest& request);

    std::unique_ptr<QLocalServer> m_server;
    bool m_delivering = false;
    QList<StartRequest> m_kept;
};
