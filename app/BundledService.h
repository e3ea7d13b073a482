#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class QEventLoop;
class QProcess;

// The bundled search service as the program runs it for itself. When the service host is on
// this machine's loopback (localhost, 127.0.0.0/8) and nothing answers there, no other service can
// be meant than the one that came with the program: it starts sorvel-service on that address and
// port and ends it when the program ends. A service that answers there, whoever runs it, is used
// as it is. What the service writes on its standard error goes on to the program's.
class BundledService final : public QObject {
    Q_OBJECT
public:
    // How long the service may take to start listening.
    static constexpr std::chrono::milliseconds StartTimeout{10000};

    explicit BundledService(QObject* parent = nullptr);
    // Ends the service it started: SIGTERM, then a wait (SIGKILL for one that does not end).
    ~BundledService() override;
    Q_DISABLE_COPY_MOVE(BundledService)

    // Whether a service host (HOST[:PORT]) names this machine's loopback.
    static bool isLoopbackHost(const QString& serviceHost);
    // Whether something accepts connections at a loopback service host.
    static bool answers(const QString& serviceHost);
    // sorvel-service beside the program's executable, else the one on PATH; empty for none.
    static QString findExecutable();

    // Makes sure that a service answers at serviceHost when it is a loopback host: when nothing
    // answers there, starts executable (findExecutable() when empty) on its address and port and
    // waits, handling events, until it listens. Raises Exception with a message for the user
    // when it cannot; a service that did not listen in time is ended.
    void ensureRunning(const QString& serviceHost, const QString& executable = QString(),
                       std::chrono::milliseconds timeout = StartTimeout);

    // Whether a service that this object started runs.
    bool isRunning() const;

    // Ends a wait of ensureRunning() at once, for a program that is asked to end.
    void abandonWait();

private:
    void start(const QString& executable, const QString& address, int port);
    // Ends the started service: SIGTERM, then SIGKILL for one that does not end in time; what it
    // wrote last on its standard error is passed on.
    void stopProcess();
    void forwardStandardError();

    std::unique_ptr<QProcess> m_process;
    QEventLoop* m_wait = nullptr;
    bool m_abandoned = false;
    // The service's last line on its standard error, for a message when it fails.
    QByteArray m_lastErrorLine;
    QByteArray m_pendingError;
};
