#include "net/TcpClient.h"

#include "platform/MessageService.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Components alive that have started the socket layer; the first one fills its SocketInfo.
int g_startedComponents = 0;

struct ErrorText {
    int number;
    const char* text;
};

constexpr ErrorText ErrorTexts[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};

// The Winsock number of an errno value, so that the error texts stay those of the table.
int WinsockError(int error) {
    switch (error) {
    case 0:
        return 0;
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EAGAIN:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case EPIPE:
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    case EUSERS:
        return 10068;
    case EDQUOT:
        return 10069;
    case ESTALE:
        return 10070;
    case EREMOTE:
        return 10071;
    default:
        return 20000 + error;
    }
}

int LastSocketError() {
    return WinsockError(errno);
}

// Outcomes of a connection attempt that Winsock reports through the connect notification
// rather than from the call itself.
bool IsConnectOutcome(int error) {
    return error == ECONNREFUSED || error == ECONNRESET || error == ETIMEDOUT ||
           error == ENETUNREACH || error == EHOSTUNREACH || error == EAGAIN;
}

template <typename F> void Swallow(F&& f) {
    try {
        f();
    } catch (...) {
    }
}

} // namespace

// --- TThreadTimer ---------------------------------------------------------------------------

TThreadTimer::TThreadTimer()
    : m_timer(std::make_unique<QTimer>()) {
    // A coarse timer may fire 5 % late: a 60-second time-out would grow by 3 seconds.
    m_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
        if (m_onTimer)
            runCommand([this] { m_onTimer(this); });
    });
}

TThreadTimer::~TThreadTimer() {
    m_enabled = false;
    m_timer->stop();
}

void TThreadTimer::SetEnabled(bool value) {
    if (value == m_enabled)
        return;
    m_enabled = value;
    UpdateTimer();
}

void TThreadTimer::SetInterval(quint32 value) {
    if (value == m_interval)
        return;
    m_interval = value;
    UpdateTimer();
}

void TThreadTimer::SetOnTimer(TNotifyEvent handler) {
    m_onTimer = std::move(handler);
    UpdateTimer();
}

void TThreadTimer::UpdateTimer() {
    m_timer->stop();
    if (m_interval == 0 || !m_enabled || !m_onTimer)
        return;
    m_timer->start(static_cast<int>(std::min<quint32>(m_interval, INT_MAX)));
    if (!m_timer->isActive())
        throw Exception(QStringLiteral("No Timer"));
}

// --- scopes ---------------------------------------------------------------------------------

// Marks a read operation as running: read notifications are then left to it.
class TPowersock::ReadScope {
public:
    explicit ReadScope(TPowersock& owner)
        : m_owner(owner) {
        ++m_owner.m_readers;
    }
    ~ReadScope() { --m_owner.m_readers; }
    Q_DISABLE_COPY_MOVE(ReadScope)

private:
    TPowersock& m_owner;
};

// TimerOn now, TimerOff on every exit. DeadlineOnly arms the timer for the deadline alone, and
// only while there is one.
class TPowersock::TimerScope {
public:
    explicit TimerScope(TPowersock& owner, Period period = Period::TimeOut)
        : m_owner(owner)
        , m_armed(period == Period::TimeOut || !owner.m_deadline.isForever()) {
        if (period == Period::TimeOut) {
            m_owner.TimerOn();
        } else if (m_armed) {
            m_owner.StatusMessage(8, "Timer On");
            m_owner.ArmTimer(0);
        }
    }
    ~TimerScope() {
        if (m_armed)
            Swallow([this] { m_owner.TimerOff(); });
    }
    Q_DISABLE_COPY_MOVE(TimerScope)

private:
    TPowersock& m_owner;
    bool m_armed;
};

class TPowersock::NotificationScope {
public:
    explicit NotificationScope(TPowersock& owner)
        : m_owner(owner) {
        ++m_owner.m_notificationDepth;
    }
    ~NotificationScope() { --m_owner.m_notificationDepth; }
    Q_DISABLE_COPY_MOVE(NotificationScope)

private:
    TPowersock& m_owner;
};

// --- TPowersock: life -----------------------------------------------------------------------

TPowersock::TPowersock()
    : m_buffer(std::make_unique<char[]>(IoBufferSize + 1))
    , m_context(std::make_unique<QObject>())
    , m_timer(std::make_unique<TThreadTimer>()) {
    StatusMessage(8, "Create");
    m_timer->SetEnabled(false);
    m_timer->SetOnTimer([this](TThreadTimer*) { TimerTriggered(); });
    StatusMessage(8, "Initializing Winsock");
    if (++g_startedComponents == 1)
        FillSocketInfo();
    if (!MakeSocket(true)) {
        --g_startedComponents;
        throw ESockError(QStringLiteral("Initializaton of windows sockets failed"));
    }
}

TPowersock::~TPowersock() {
    // No handler runs from here on: what the handlers refer to may be gone already.
    Destroying = true;
    Swallow([this] {
        StatusMessage(8, "Destroy");
        TPowersock::Abort();
        Cancel();
    });
    AbortLookup();
    Swallow([this] { RequestCloseSocket(); });
    --g_startedComponents;
}

void TPowersock::FillSocketInfo() {
    rlimit files{};
    const qint64 maxSockets =
        ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
            ? static_cast<qint64>(files.rlim_cur)
            : -1;
    SocketInfo = {
        "Version= 1.1",
        "High Version= 1.1",
        "Description= POSIX sockets, IPv4 stream, non-blocking",
        "System= Running on " + QSysInfo::kernelType().toUtf8() + " " +
            QSysInfo::kernelVersion().toUtf8(),
        "Max Sockets= " + QByteArray::number(maxSockets),
        // The largest UDP payload over IPv4.
        "Max Udp pack size= 65507",
    };
}

bool TPowersock::MakeSocket(bool abortiveClose) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            abortiveClose ? IPPROTO_TCP : 0);
    if (fd < 0) {
        LastErrorNo = LastSocketError();
        return false;
    }
    if (abortiveClose) {
        // Closing the first socket resets its connection instead of lingering.
        const linger option{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    }
    AdoptSocket(fd);
    return true;
}

// Makes fd the component's socket, watched by a read and a write notifier that are armed only
// while a wait needs them.
void TPowersock::AdoptSocket(int fd) {
    m_socket = fd;
    ++m_socketSerial;
    m_socketUsed = false;
    m_established = false;
    m_connectPending = false;
    m_listening = false;
    const quint64 serial = m_socketSerial;
    m_readNotifier = std::make_unique<QSocketNotifier>(QSocketNotifier::Read);
    m_readNotifier->setSocket(fd);
    QObject::connect(m_readNotifier.get(), &QSocketNotifier::activated,
                     [this, serial] { ReadNotification(serial); });
    m_writeNotifier = std::make_unique<QSocketNotifier>(QSocketNotifier::Write);
    m_writeNotifier->setSocket(fd);
    QObject::connect(m_writeNotifier.get(), &QSocketNotifier::activated,
                     [this, serial] { WriteNotification(serial); });
}

// Notifiers of a closed socket never fire again; they are deleted once no notification of
// this component is being handled (one of them may be the caller).
void TPowersock::RetireNotifiers() {
    for (auto* notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            m_retired.push_back(std::move(*notifier));
        }
    }
    PurgeRetired();
}

void TPowersock::PurgeRetired() {
    if (m_notificationDepth == 0)
        m_retired.clear();
}

// Closes the socket without status, notification or replacement.
void TPowersock::CloseQuietly() {
    RetireNotifiers();
    const int fd = m_socket;
    m_socket = -1;
    ++m_socketSerial;
    m_established = false;
    m_connectPending = false;
    m_listening = false;
    ::close(fd);
}

// --- status, errors -------------------------------------------------------------------------

void TPowersock::StatusMessage(int level, const QByteArray& text) {
    if (level > ReportLevel)
        return;
    Swallow([&] {
        Status = text;
        if (OnStatus && !Destroying)
            OnStatus(this, text);
    });
}

QString TPowersock::ErrorMessage(int errorNo) {
    StatusMessage(8, "Looking Up Error Message");
    if (errorNo == 0)
        return {};
    for (const ErrorText& entry : ErrorTexts) {
        if (entry.number == errorNo)
            return QString::number(errorNo) + u':' + QLatin1String(entry.text);
    }
    return QStringLiteral("Unknown Error No. ") + QString::number(errorNo);
}

void TPowersock::CheckSocketError(int errorNo, int tolerated) {
    LastErrorNo = errorNo;
    if (errorNo == tolerated || errorNo <= 10000)
        return;
    const QString text = ErrorMessage(errorNo);
    if (OnError)
        OnError(this, static_cast<quint16>(errorNo), text);
    throw ESockError(text);
}

// --- waiting --------------------------------------------------------------------------------

void TPowersock::ArmRead() {
    if (m_readNotifier && (m_established || m_listening))
        m_readNotifier->setEnabled(true);
}

void TPowersock::ArmWrite() {
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(true);
}

// Sleeps in the event loop until something happens: the socket becomes readable or writable
// (as asked), the time-out timer fires, the host lookup answers, or the user does anything.
// The caller re-checks its condition after every wake.
void TPowersock::SleepUntilWoken(Wake wake) {
    if (!QAbstractEventDispatcher::instance())
        throw ESockError(QStringLiteral("Socket wait without an event loop"));
    PurgeRetired();
    if (wake == Wake::Readable)
        ArmRead();
    else if (wake == Wake::Writable)
        ArmWrite();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Runs what is pending in the event queue without waiting.
void TPowersock::ServiceQueue() {
    if (QAbstractEventDispatcher::instance())
        QCoreApplication::processEvents();
}

// The read notifier fires when data arrived, the peer closed, the connection broke, or a
// connection waits on a listening socket. It is level-triggered, so it is switched off here and
// armed again by the next wait that wants to read.
void TPowersock::ReadNotification(quint64 serial) {
    if (serial != m_socketSerial || m_socket < 0)
        return;
    NotificationScope scope(*this);
    m_readNotifier->setEnabled(false);
    Swallow([this] {
        if (m_listening) {
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length);
            AsyncOk = error == 0;
            Connected = true;
            LookupDone = true;
            if (OnAccept)
                OnAccept(this);
            return;
        }
        // A running read takes the data, the end or the error itself.
        if (m_readers > 0)
            return;
        char byte;
        const ssize_t n = ::recv(m_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) {
            AsyncOk = true;
            if (OnRead)
                OnRead(this);
            return;
        }
        if (n < 0 && errno == EAGAIN) {
            ArmRead();
            return;
        }
        // The peer closed, or the connection broke.
        AsyncOk = n == 0;
        if (n < 0)
            LastErrorNo = LastSocketError();
        if (!DataAvailable())
            RequestCloseSocket();
    });
}

void TPowersock::WriteNotification(quint64 serial) {
    if (serial != m_socketSerial || m_socket < 0)
        return;
    NotificationScope scope(*this);
    m_writeNotifier->setEnabled(false);
    if (!m_connectPending)
        return;
    m_connectPending = false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    AsyncOk = error == 0;
    if (!AsyncOk) {
        LastErrorNo = WinsockError(error);
        return;
    }
    m_established = true;
    Connected = true;
    ArmRead();
    Swallow([this] {
        if (OnConnect)
            OnConnect(this);
    });
}

// --- time-out -------------------------------------------------------------------------------

void TPowersock::TimerOn() {
    StatusMessage(8, "Timer On");
    ArmTimer(TimeOut > 0 ? static_cast<quint32>(TimeOut) : 0);
}

// Starts the time-out period anew (0: none), cut to what remains of the deadline. A deadline
// that has passed ends the running operation at once, as the time-out would: data that keeps
// arriving must not hold an operation beyond it.
void TPowersock::ArmTimer(quint32 period) {
    TimedOut = false;
    // Switching it off first makes every start begin the period anew.
    m_timer->SetEnabled(false);
    if (!m_deadline.isForever()) {
        const qint64 left = m_deadline.remainingTime();
        if (left <= 0) {
            TimerTriggered();
            return;
        }
        const auto leftPeriod = static_cast<quint32>(std::min<qint64>(left, UINT_MAX));
        period = period == 0 ? leftPeriod : std::min(period, leftPeriod);
    }
    m_timer->SetInterval(period);
    m_timer->SetEnabled(true);
}

void TPowersock::StartDeadline(int milliseconds) {
    m_deadline = milliseconds > 0 ? QDeadlineTimer(milliseconds, Qt::PreciseTimer)
                                  : QDeadlineTimer(QDeadlineTimer::Forever);
}

void TPowersock::EndDeadline() {
    m_deadline = QDeadlineTimer(QDeadlineTimer::Forever);
}

void TPowersock::TimerOff() {
    StatusMessage(8, "Timer Off");
    m_timer->SetEnabled(false);
}

void TPowersock::TimerTriggered() {
    StatusMessage(8, "Timer Triggered");
    TimerOff();
    TimedOut = true;
    LookupDone = true;
    Abort();
}

// --- host lookup and connection -------------------------------------------------------------

void TPowersock::LookupFinished(const QHostInfo& info) {
    if (info.lookupId() != m_lookupId)
        return;
    m_lookupId = -1;
    m_lookupAddress = 0;
    for (const QHostAddress& address : info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            m_lookupAddress = htonl(address.toIPv4Address());
            break;
        }
    }
    AsyncOk = info.error() == QHostInfo::NoError && m_lookupAddress != 0;
    if (!AsyncOk)
        LastErrorNo = info.error() == QHostInfo::HostNotFound || info.error() == QHostInfo::NoError
                          ? 11001
                          : 11003;
    LookupDone = true;
}

void TPowersock::AbortLookup() {
    if (m_lookupId != -1) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
}

void TPowersock::ResolveHost() {
    StatusMessage(8, "Resolve Host");
    const QByteArray name = Proxy.isEmpty() ? Host : Proxy;
    in_addr dotted{};
    if (!name.contains('\0') && ::inet_aton(name.constData(), &dotted) != 0) {
        m_remoteAddress = dotted.s_addr;
        return;
    }
    m_remoteAddress = 0;
    {
        TimerScope timer(*this);
        LookupDone = false;
        AbortLookup();
        m_lookupId = QHostInfo::lookupHost(QString::fromUtf8(name), m_context.get(),
                                           [this](const QHostInfo& info) { LookupFinished(info); });
        while (!LookupDone && !TimedOut && !Canceled)
            SleepUntilWoken(Wake::Anything);
        AbortLookup();
    }
    if (TimedOut)
        throw ESockError(QStringLiteral("Host Lookup Timed Out"));
    if (Canceled)
        throw ESockError(QStringLiteral("Host Lookup Canceled"));
    if (!AsyncOk)
        throw ESockError(QStringLiteral("Host Lookup Failed"));
    m_remoteAddress = m_lookupAddress;
    if (OnHostResolved)
        OnHostResolved(this);
}

void TPowersock::Connect() {
    StatusMessage(8, "Connecting");
    Canceled = false;
    if (Connected)
        throw ESockError(QStringLiteral("Already connected"));
    PurgeRetired();
    // A socket that already saw a connection attempt is not reused.
    if (m_socket >= 0 && (m_socketUsed || m_listening))
        CloseQuietly();
    if (m_socket < 0 && !MakeSocket(false))
        CheckSocketError(LastErrorNo, 0);

    for (int attempt = 1;; ++attempt) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            if (e.message() == QLatin1String("Host Lookup Timed Out") ||
                e.message() == QLatin1String("Host Lookup Canceled"))
                throw;
        }
        if (m_remoteAddress != 0)
            break;
        if (attempt == 2 || !OnInvalidHost)
            throw ESockError(QStringLiteral("Null Remote Address"));
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled)
            throw ESockError(QStringLiteral("Null Remote Address"));
    }

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<quint16>(Proxy.isEmpty() ? Port : ProxyPort));
    address.sin_addr.s_addr = m_remoteAddress;
    LookupDone = false;
    AsyncOk = true;
    m_socketUsed = true;
    // Success at once is handled like the usual asynchronous completion: the write notifier
    // fires at the first wait.
    if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
        errno == EINPROGRESS || errno == EINTR) {
        m_connectPending = true;
    } else if (IsConnectOutcome(errno)) {
        AsyncOk = false;
        LastErrorNo = LastSocketError();
    } else {
        CheckSocketError(LastSocketError());
    }

    {
        TimerScope timer(*this);
        while (!Connected && !TimedOut && !Canceled && AsyncOk)
            SleepUntilWoken(Wake::Writable);
    }
    if (!TimedOut && !Canceled && AsyncOk)
        return;
    m_connectPending = false;
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (TimedOut)
        throw ESockError(QStringLiteral("Connection Timed out"));
    if (Canceled)
        throw ESockError(QStringLiteral("Connection Canceled"));
    throw ESockError(QStringLiteral("Connection Failed"));
}

quint16 TPowersock::Listen(const QByteArray& address, quint16 port) {
    if (Connected || m_listening)
        throw ESockError(QStringLiteral("Already connected"));
    if (m_socket >= 0 && m_socketUsed)
        CloseQuietly();
    if (m_socket < 0 && !MakeSocket(false))
        CheckSocketError(LastErrorNo, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (::inet_aton(address.constData(), &local.sin_addr) == 0)
        throw ESockError(QStringLiteral("Null Remote Address"));
    m_socketUsed = true;
    const int yes = 1;
    ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(m_socket, 1) != 0)
        CheckSocketError(LastSocketError(), 0);
    socklen_t length = sizeof local;
    ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &length);
    m_listening = true;
    LookupDone = false;
    AsyncOk = true;
    ArmRead();
    return ntohs(local.sin_port);
}

int TPowersock::Accept() {
    StatusMessage(4, "Accepting");
    for (;;) {
        while (!LookupDone && !Canceled)
            SleepUntilWoken(Wake::Readable);
        if (Canceled) {
            Canceled = false;
            throw ESockError(QStringLiteral("Accepting Canceled"));
        }
        if (!AsyncOk || !m_listening)
            throw ESockError(QStringLiteral("Error creating Data Connection"));
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(m_socket, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = LastSocketError();
            CheckSocketError(error);
            // Nothing waits after all (the peer gave up): wait again.
            LookupDone = false;
            continue;
        }
        // The accepted connection becomes this component's socket.
        CloseQuietly();
        AdoptSocket(fd);
        m_socketUsed = true;
        m_established = true;
        Connected = true;
        m_remoteAddress = peer.sin_addr.s_addr;
        ArmRead();
        return fd;
    }
}

// --- closing, cancelling --------------------------------------------------------------------

void TPowersock::RequestCloseSocket() {
    StatusMessage(4, "Request Close Socket");
    Connected = false;
    if (m_socket < 0)
        return;
    const int fd = m_socket;
    RetireNotifiers();
    m_socket = -1;
    ++m_socketSerial;
    m_established = false;
    m_connectPending = false;
    m_listening = false;
    if (::close(fd) != 0 && errno != EINTR)
        CheckSocketError(LastSocketError());
    if (OnDisconnect && !Destroying)
        OnDisconnect(this);
    // A socket that cannot be made now is made again (or its error raised) by the next Connect.
    if (!Destroying)
        MakeSocket(false);
}

void TPowersock::Disconnect() {
    StatusMessage(8, "Disconnecting");
    RequestCloseSocket();
}

void TPowersock::Cancel() {
    StatusMessage(8, "Canceling");
    Canceled = true;
}

void TPowersock::Abort() {
    StatusMessage(8, "Abort");
    Cancel();
}

// --- sending --------------------------------------------------------------------------------

void TPowersock::SendAll(const char* data, qsizetype count,
                         const std::function<void(qsizetype)>& afterSend) {
    qsizetype sent = 0;
    while (sent < count && !Canceled) {
        const ssize_t n = ::send(m_socket, data + sent, count - sent, MSG_NOSIGNAL);
        if (n == 0)
            break;
        if (n > 0) {
            sent += n;
            if (afterSend)
                afterSend(n);
            continue;
        }
        CheckSocketError(LastSocketError());
        SleepUntilWoken(Wake::Writable);
    }
}

void TPowersock::SendBuffer(const char* data, quint16 length) {
    StatusMessage(4, "Sending Buffer");
    TimerScope timer(*this);
    if (!Canceled) {
        const qsizetype count = length != 0 ? length : ::strnlen(data, 65535);
        SendAll(data, count, {});
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
}

void TPowersock::write(const QByteArray& text) {
    StatusMessage(8, "Write");
    if (text.size() > 65535)
        throw ESockError(
            QStringLiteral("Text too long to send: %1 bytes, at most 65535").arg(text.size()));
    std::memcpy(m_buffer.get(), text.constData(), text.size());
    m_buffer[text.size()] = '\0';
    SendBuffer(m_buffer.get(), 0);
}

void TPowersock::Writeln(const QByteArray& text) {
    StatusMessage(8, "Writeln");
    write(text + "\r\n");
}

void TPowersock::SendFile(const QByteArray& name) {
    StatusMessage(8, "SendFile");
    // No time-out applies to a file's bytes; a deadline does.
    TimerScope timer(*this, Period::DeadlineOnly);
    QFile file(QFile::decodeName(name));
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file \"%1\". %2")
                            .arg(QFile::decodeName(name), file.errorString()));
    while (file.pos() < file.size() && !Canceled) {
        const qint64 count = file.read(m_buffer.get(), IoBufferSize);
        if (count < 0)
            throw Exception(QStringLiteral("Stream read error"));
        if (count == 0)
            break;
        SendAll(m_buffer.get(), count, [this](qsizetype sent) {
            BytesSent += static_cast<qint32>(sent);
            if (OnPacketSent)
                OnPacketSent(this);
            ServiceQueue();
        });
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError(QStringLiteral("Socket send aborted"));
    }
}

// --- receiving ------------------------------------------------------------------------------

QByteArray TPowersock::ReadLn() {
    StatusMessage(8, "ReadLn");
    TimerScope timer(*this);
    ReadScope reading(*this);
    QByteArray line;
    int taken = 0;
    char* const buffer = m_buffer.get();
    for (;;) {
        // A line longer than the buffer is refused.
        if (taken == IoBufferSize)
            throw EAbortError(QStringLiteral("Socket readln aborted"));
        const ssize_t n = ::recv(m_socket, buffer + taken, IoBufferSize - taken, MSG_PEEK);
        if (n == 0)
            return {};
        if (n < 0) {
            const int error = LastSocketError();
            LastErrorNo = error;
            if (error == NotConnected)
                return {};
            CheckSocketError(error);
            SleepUntilWoken(Wake::Readable);
        } else {
            const void* end = std::memchr(buffer + taken, '\n', n);
            const ssize_t wanted = end ? static_cast<const char*>(end) - (buffer + taken) + 1 : n;
            const ssize_t got = ::recv(m_socket, buffer + taken, wanted, 0);
            if (got > 0) {
                line.append(buffer + taken, got);
                taken += static_cast<int>(got);
                if (end && got == wanted)
                    return line;
            }
            ServiceQueue();
        }
        if (Canceled) {
            Canceled = false;
            throw EAbortError(QStringLiteral("Socket readln aborted"));
        }
    }
}

void TPowersock::Capture(qint64 limit, qint64 ceiling,
                         const std::function<void(const char*, qint64)>& sink) {
    ReadScope reading(*this);
    qint64 stored = 0;
    while (!Canceled && (limit == -1 || stored < limit)) {
        const ssize_t n = ::recv(m_socket, m_buffer.get(), IoBufferSize, 0);
        if (n == 0)
            break;
        if (n > 0) {
            if (n > ceiling - stored) {
                sink(m_buffer.get(), std::max<qint64>(ceiling - stored, 0));
                throw EAbortError(QStringLiteral("Socket capture aborted"));
            }
            sink(m_buffer.get(), n);
            stored += n;
            BytesRecvd = static_cast<qint32>(std::min<qint64>(stored, INT_MAX));
            if (OnPacketRecvd)
                OnPacketRecvd(this);
            TimerOn();
            ServiceQueue();
            continue;
        }
        const int error = LastSocketError();
        LastErrorNo = error;
        if (error == NotConnected)
            break;
        CheckSocketError(error);
        SleepUntilWoken(Wake::Readable);
    }
    if (Canceled) {
        Canceled = false;
        throw EAbortError(QStringLiteral("Socket capture aborted"));
    }
}

void TPowersock::CaptureString(QByteArray& target, qint64 limit) {
    StatusMessage(8, "Capture String");
    target.clear();
    BytesRecvd = 0;
    TimerScope timer(*this);
    Capture(limit, StringCaptureCeiling,
            [&target](const char* data, qint64 count) { target.append(data, count); });
}

void TPowersock::CaptureFile(const QByteArray& name) {
    StatusMessage(8, "CaptureFile");
    BytesRecvd = 0;
    TimerScope timer(*this);
    QFile file(QFile::decodeName(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Exception(QStringLiteral("Cannot create file \"%1\". %2")
                            .arg(QFile::decodeName(name), file.errorString()));
    Capture(-1, FileCaptureCeiling, [&file](const char* data, qint64 count) {
        if (count > 0 && file.write(data, count) != count)
            throw Exception(QStringLiteral("Stream write error"));
    });
}

bool TPowersock::DataAvailable() {
    StatusMessage(8, "Data Available");
    char byte;
    return ::recv(m_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
}

void TPowersock::Transaction(const QByteArray& command) {
    StatusMessage(8, "Transaction");
    Writeln(command);
    TransactionReply = ReadLn();
    qint64 number = 0;
    const QByteArray head = TransactionReply.left(10);
    for (qsizetype i = 0; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i)
        number = number * 10 + (head[i] - '0');
    ReplyNumber = number <= SHRT_MAX ? static_cast<qint16>(number) : 0;
    StatusMessage(1, TransactionReply);
}
