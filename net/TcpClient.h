#pragma once

#include "platform/Exception.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QHostInfo;
class QObject;
class QSocketNotifier;
class QTimer;
class TlsSession;

// What ended a transfer, so that a caller can tell the user what happened without reading the
// error's text.
enum class TransferFailure {
    // Anything the others do not name.
    Other,
    // The host's name was not found, the connection was refused, the network is unreachable.
    NoConnection,
    // The time-out of a wait or the deadline of the whole command passed.
    TimedOut,
    // cancel() or abort().
    Canceled,
    // The server's certificate was refused: not issued by a trusted authority, not for this
    // host, expired.
    Certificate,
    // The secure connection could not be made for another reason.
    Tls,
    // The proxy could not be reached or did not pass the request on.
    Proxy,
    // The server's answer broke the protocol: a line or body too long, too many redirects.
    Protocol,
};

// A failure of the socket layer: a named failure ("Connection Failed") or a socket error in the
// form number ":" text ("10061:Connection refused"), with the kind of failure it is.
class SocketError : public Exception {
public:
    explicit SocketError(QString message, TransferFailure failure = TransferFailure::Other)
        : Exception(std::move(message))
        , m_failure(failure) {}

    TransferFailure failure() const noexcept { return m_failure; }

private:
    TransferFailure m_failure;
};

// An operation ended by cancel(), abort() or the time-out, or a capture that passed its ceiling.
class AbortedError : public SocketError {
public:
    using SocketError::SocketError;
};

// A periodic timer of the thread's event loop. It runs while it is enabled, its interval is not 0
// and it has a handler; every change of one of them restarts it. An exception from the handler
// goes to the application's error box.
class IntervalTimer final {
public:
    using Handler = std::function<void(IntervalTimer* sender)>;

    IntervalTimer();
    ~IntervalTimer();
    Q_DISABLE_COPY_MOVE(IntervalTimer)

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool value);
    quint32 interval() const { return m_interval; }
    void setInterval(quint32 value);
    const Handler& handler() const { return m_handler; }
    void setHandler(Handler handler);

private:
    void restartTimer();

    bool m_enabled = true;
    quint32 m_interval = 1000;
    Handler m_handler;
    std::unique_ptr<QTimer> m_timer;
};

// One TCP stream socket (IPv4, non-blocking) with blocking-style operations for the user
// interface thread. Every wait sleeps in the thread's event loop until the socket, the time-out
// timer, the host lookup or the user wakes it, so repaints, clicks and menu commands run while
// an operation waits (and may call cancel() or abort()). Socket errors carry the Winsock numbers
// (errno values without a Winsock counterpart become 20000 + errno).
class TcpClient {
public:
    using Handler = std::function<void(TcpClient* sender)>;
    using StatusHandler = std::function<void(TcpClient* sender, const QByteArray& status)>;
    using DecisionHandler = std::function<void(bool& handled)>;
    using ErrorHandler =
        std::function<void(TcpClient* sender, quint16 errorNo, const QString& message)>;

    // The I/O buffer: the longest text write() sends is one byte shorter, the longest line readLine
    // returns is this long; a longer line ends with "Socket readln aborted".
    static constexpr int IoBufferSize = 65536;
    // Default ceilings of the captures; past them a capture ends with "Socket capture aborted".
    static constexpr qint64 DefaultStringCaptureCeiling = 16 * 1024 * 1024;
    static constexpr qint64 DefaultFileCaptureCeiling = 256 * 1024 * 1024;

    static constexpr int WouldBlock = 10035;
    static constexpr int NotConnected = 10057;

    TcpClient();
    virtual ~TcpClient();
    Q_DISABLE_COPY_MOVE(TcpClient)

    QByteArray host;
    int port = 0;
    // Milliseconds; 0 = no time-out.
    int timeout = 0;
    int reportLevel = 0;
    // When not empty, connectToHost() goes to proxy:proxyPort instead of host:port.
    QByteArray proxy;
    int proxyPort = 0;

    Handler onDisconnect;
    Handler onConnect;
    DecisionHandler onInvalidHost;
    Handler onHostResolved;
    StatusHandler onStatus;
    Handler onConnectionFailed;
    Handler onPacketReceived;
    Handler onPacketSent;
    // For derived classes: data arrived while no read of this client runs, a connection
    // waits on the listening socket, a socket error is about to be raised.
    Handler onRead;
    Handler onAccept;
    ErrorHandler onError;

    // Ceilings of captureString and captureFile, in bytes.
    qint64 stringCaptureCeiling = DefaultStringCaptureCeiling;
    qint64 fileCaptureCeiling = DefaultFileCaptureCeiling;

    // Results.
    QByteArray status;
    int lastError = 0;
    bool timedOut = false;
    bool connected = false;
    qint16 replyNumber = 0;
    QByteArray transactionReply;
    qint32 bytesSent = 0;
    qint32 bytesTotal = 0;
    qint32 bytesReceived = 0;
    // Six lines about the socket layer, filled by the first client of the process.
    QList<QByteArray> socketInfo;

    virtual void connectToHost();
    virtual void disconnectFromHost();
    void cancel();
    virtual void abort();
    void resolveHost();
    // length 0: the bytes up to the first zero byte, at most 65,535.
    void sendBuffer(const char* data, quint16 length);
    // Sends the text up to its first zero byte; a text over 65,535 bytes is refused.
    void write(const QByteArray& text);
    void writeLine(const QByteArray& text);
    void sendFile(const QByteArray& name);
    // The next line with its line end; empty when the connection ended.
    QByteArray readLine();
    // limit -1: until the connection ends; otherwise until target holds at least limit bytes.
    void captureString(QByteArray& target, qint64 limit = -1);
    void captureFile(const QByteArray& name);
    virtual void transaction(const QByteArray& command);
    // Waits for a connection on the listening socket set up by listen() and makes it this
    // client's socket; returns its handle.
    virtual int acceptConnection();
    bool dataAvailable();
    QString errorMessage(int errorNo);

    // Makes the connected socket a TLS connection to serverName (a host name or an IPv4
    // address): the handshake, under the time-out, after which every send and receive is
    // encrypted until the socket is closed. trustedCertificates: PEM certificates of the
    // authorities to trust instead of the system's (empty: the system's).
    void startTls(const QByteArray& serverName, const QByteArray& trustedCertificates = {});

protected:
    // Reports a status text of the given level (see reportLevel).
    void reportStatus(int level, const QByteArray& text);
    void closeSocket();
    void startTimeout();
    void stopTimeout();
    void handleTimeout();
    // Bounds everything that follows as a whole, until endDeadline: each wait ends, as by the
    // time-out, when the deadline passes (timeout still bounds each wait on its own).
    // milliseconds <= 0: no deadline.
    void startDeadline(int milliseconds);
    void endDeadline();
    // Raises SocketError for an error number above 10000 other than the tolerated one.
    void checkSocketError(int errorNo, int tolerated = WouldBlock);
    // Turns the socket into a listening one on the dotted IPv4 address; returns the port.
    quint16 listen(const QByteArray& address, quint16 localPort);
    // Where connectToHost() connects: proxy:proxyPort when a proxy is set, else host:port.
    virtual QByteArray connectionHost() const;
    virtual int connectionPort() const;

    bool m_canceled = false;
    bool m_destroying = false;
    bool m_asyncOk = false;
    bool m_lookupDone = false;

private:
    enum class Wake { Anything, Readable, Writable };
    enum class Period { TimeOut, DeadlineOnly };
    class ReadScope;
    class TimerScope;
    class NotificationScope;

    void armTimer(quint32 period);
    bool makeSocket(bool abortiveClose);
    void adoptSocket(int fd);
    void closeQuietly();
    void retireNotifiers();
    void purgeRetired();
    void armRead();
    void armWrite();
    void sleepUntilWoken(Wake wake);
    void processPendingEvents();
    // Sends count bytes, waiting while the socket cannot take more, until all are sent or the
    // operation is canceled; afterSend runs after each successful send with its byte count.
    void sendAll(const char* data, qsizetype count,
                 const std::function<void(qsizetype)>& afterSend);
    void handleReadable(quint64 serial);
    void handleWritable(quint64 serial);
    void handleLookupResult(const QHostInfo& info);
    void abortLookup();
    void capture(qint64 limit, qint64 ceiling,
                 const std::function<void(const char*, qint64)>& sink);
    void fillSocketInfo();
    // The failure that cancel(), abort() or the time-out made: "Socket ... aborted".
    [[noreturn]] void throwAborted(const char* operation);
    // Receives (or peeks at) up to size bytes through TLS when it is on: as ::recv() does,
    // with errno EAGAIN when nothing is there yet.
    ssize_t receive(char* data, qsizetype size, bool peek);
    ssize_t sendSome(const char* data, qsizetype size);

    std::unique_ptr<char[]> m_buffer;
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<IntervalTimer> m_timer;
    QDeadlineTimer m_deadline{QDeadlineTimer::Forever};
    int m_socket = -1;
    quint64 m_socketSerial = 0;
    bool m_socketUsed = false;
    bool m_established = false;
    bool m_connectPending = false;
    bool m_listening = false;
    int m_readers = 0;
    int m_notificationDepth = 0;
    std::unique_ptr<TlsSession> m_tls;
    // What the last TLS operation waits for before it can go on.
    Wake m_tlsWake = Wake::Anything;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    std::vector<std::unique_ptr<QSocketNotifier>> m_retired;
    int m_lookupId = -1;
    quint32 m_lookupAddress = 0;
    // Network byte order; 0 = none.
    quint32 m_remoteAddress = 0;
};
