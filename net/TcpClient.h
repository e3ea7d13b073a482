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

// A failure of the socket layer: a named failure ("Connection Failed") or a socket error in the
// form number ":" text ("10061:Connection refused").
class ESockError : public Exception {
public:
    using Exception::Exception;
};

// An operation ended by Cancel, Abort or the time-out, or a capture that passed its ceiling.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

// A periodic timer of the thread's event loop. It runs while Enabled, Interval is not 0 and
// OnTimer is assigned; every change of one of them restarts it. An exception from the handler
// goes to the application's error box.
class TThreadTimer final {
public:
    using TNotifyEvent = std::function<void(TThreadTimer* sender)>;

    TThreadTimer();
    ~TThreadTimer();
    Q_DISABLE_COPY_MOVE(TThreadTimer)

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool value);
    quint32 Interval() const { return m_interval; }
    void SetInterval(quint32 value);
    const TNotifyEvent& OnTimer() const { return m_onTimer; }
    void SetOnTimer(TNotifyEvent handler);

private:
    void UpdateTimer();

    bool m_enabled = true;
    quint32 m_interval = 1000;
    TNotifyEvent m_onTimer;
    std::unique_ptr<QTimer> m_timer;
};

// One TCP stream socket (IPv4, non-blocking) with blocking-style operations for the user
// interface thread. Every wait sleeps in the thread's event loop until the socket, the time-out
// timer, the host lookup or the user wakes it, so repaints, clicks and menu commands run while
// an operation waits (and may call Cancel or Abort). Socket errors carry the Winsock numbers
// (errno values without a Winsock counterpart become 20000 + errno).
class TPowersock {
public:
    using TNotifyEvent = std::function<void(TPowersock* sender)>;
    using TOnStatus = std::function<void(TPowersock* sender, const QByteArray& status)>;
    using TOnHostResolved = std::function<void(TPowersock* sender)>;
    using THandlerEvent = std::function<void(bool& handled)>;
    using TOnErrorEvent =
        std::function<void(TPowersock* sender, quint16 errorNo, const QString& message)>;

    // The I/O buffer: the longest text Write sends is one byte shorter, the longest line ReadLn
    // returns is this long; a longer line ends with "Socket readln aborted".
    static constexpr int IoBufferSize = 65536;
    // Default ceilings of the captures; past them a capture ends with "Socket capture aborted".
    static constexpr qint64 DefaultStringCaptureCeiling = 16 * 1024 * 1024;
    static constexpr qint64 DefaultFileCaptureCeiling = 256 * 1024 * 1024;

    static constexpr int WouldBlock = 10035;
    static constexpr int NotConnected = 10057;

    TPowersock();
    virtual ~TPowersock();
    Q_DISABLE_COPY_MOVE(TPowersock)

    QByteArray Host;
    int Port = 0;
    // Milliseconds; 0 = no time-out.
    int TimeOut = 0;
    int ReportLevel = 0;
    // When not empty, Connect goes to Proxy:ProxyPort instead of Host:Port.
    QByteArray Proxy;
    int ProxyPort = 0;

    TNotifyEvent OnDisconnect;
    TNotifyEvent OnConnect;
    THandlerEvent OnInvalidHost;
    TOnHostResolved OnHostResolved;
    TOnStatus OnStatus;
    TNotifyEvent OnConnectionFailed;
    TNotifyEvent OnPacketRecvd;
    TNotifyEvent OnPacketSent;
    // For derived components: data arrived while no read of this component runs, a connection
    // waits on the listening socket, a socket error is about to be raised.
    TNotifyEvent OnRead;
    TNotifyEvent OnAccept;
    TOnErrorEvent OnError;

    // Ceilings of CaptureString and CaptureFile, in bytes.
    qint64 StringCaptureCeiling = DefaultStringCaptureCeiling;
    qint64 FileCaptureCeiling = DefaultFileCaptureCeiling;

    // Results.
    QByteArray Status;
    int LastErrorNo = 0;
    bool TimedOut = false;
    bool Connected = false;
    qint16 ReplyNumber = 0;
    QByteArray TransactionReply;
    qint32 BytesSent = 0;
    qint32 BytesTotal = 0;
    qint32 BytesRecvd = 0;
    // Six lines about the socket layer, filled by the first component of the process.
    QList<QByteArray> SocketInfo;

    virtual void Connect();
    virtual void Disconnect();
    void Cancel();
    virtual void Abort();
    void ResolveHost();
    // length 0: the bytes up to the first zero byte, at most 65,535.
    void SendBuffer(const char* data, quint16 length);
    // Sends the text up to its first zero byte; a text over 65,535 bytes is refused.
    void write(const QByteArray& text);
    void Writeln(const QByteArray& text);
    void SendFile(const QByteArray& name);
    // The next line with its line end; empty when the connection ended.
    QByteArray ReadLn();
    // limit -1: until the connection ends; otherwise until target holds at least limit bytes.
    void CaptureString(QByteArray& target, qint64 limit = -1);
    void CaptureFile(const QByteArray& name);
    virtual void Transaction(const QByteArray& command);
    // Waits for a connection on the listening socket set up by Listen and makes it this
    // component's socket; returns its handle.
    virtual int Accept();
    bool DataAvailable();
    QString ErrorMessage(int errorNo);

protected:
    // Reports a status text of the given level (see ReportLevel).
    void StatusMessage(int level, const QByteArray& text);
    void RequestCloseSocket();
    void TimerOn();
    void TimerOff();
    void TimerTriggered();
    // Bounds everything that follows as a whole, until EndDeadline: each wait ends, as by the
    // time-out, when the deadline passes (TimeOut still bounds each wait on its own).
    // milliseconds <= 0: no deadline.
    void StartDeadline(int milliseconds);
    void EndDeadline();
    // Raises ESockError for an error number above 10000 other than the tolerated one.
    void CheckSocketError(int errorNo, int tolerated = WouldBlock);
    // Turns the socket into a listening one on the dotted IPv4 address; returns the port.
    quint16 Listen(const QByteArray& address, quint16 port);

    bool Canceled = false;
    bool Destroying = false;
    bool AsyncOk = false;
    bool LookupDone = false;

private:
    enum class Wake { Anything, Readable, Writable };
    enum class Period { TimeOut, DeadlineOnly };
    class ReadScope;
    class TimerScope;
    class NotificationScope;

    void ArmTimer(quint32 period);
    bool MakeSocket(bool abortiveClose);
    void AdoptSocket(int fd);
    void CloseQuietly();
    void RetireNotifiers();
    void PurgeRetired();
    void ArmRead();
    void ArmWrite();
    void SleepUntilWoken(Wake wake);
    void ServiceQueue();
    // Sends count bytes, waiting while the socket cannot take more, until all are sent or the
    // operation is canceled; afterSend runs after each successful send with its byte count.
    void SendAll(const char* data, qsizetype count,
                 const std::function<void(qsizetype)>& afterSend);
    void ReadNotification(quint64 serial);
    void WriteNotification(quint64 serial);
    void LookupFinished(const QHostInfo& info);
    void AbortLookup();
    void Capture(qint64 limit, qint64 ceiling,
                 const std::function<void(const char*, qint64)>& sink);
    void FillSocketInfo();

    std::unique_ptr<char[]> m_buffer;
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<TThreadTimer> m_timer;
    QDeadlineTimer m_deadline{QDeadlineTimer::Forever};
    int m_socket = -1;
    quint64 m_socketSerial = 0;
    bool m_socketUsed = false;
    bool m_established = false;
    bool m_connectPending = false;
    bool m_listening = false;
    int m_readers = 0;
    int m_notificationDepth = 0;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    std::vector<std::unique_ptr<QSocketNotifier>> m_retired;
    int m_lookupId = -1;
    quint32 m_lookupAddress = 0;
    // Network byte order; 0 = none.
    quint32 m_remoteAddress = 0;
};
