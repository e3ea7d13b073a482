#include "net/TcpClient.h"

#include "net/TlsSession.h"
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
#include <optional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Clients alive that have started the socket layer; the first one fills its socketInfo.
int g_startedClients = 0;

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
int winsockError(int error) {
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

int lastSocketError() {
    return winsockError(errno);
}

// Outcomes of a connection attempt that Winsock reports through the connect notification
// rather than from the call itself.
bool isConnectOutcome(int error) {
    return error == ECONNREFUSED || error == ECONNRESET || error == ETIMEDOUT ||
           error == ENETUNREACH || error == EHOSTUNREACH || error == EAGAIN;
}

// The kind of failure a socket error number stands for.
TransferFailure failureOf(int errorNo) {
    switch (errorNo) {
    case 10050: // network is down
    case 10051: // network is unreachable
    case 10061: // connection refused
    case 10064: // host is down
    case 10065: // no route to host
        return TransferFailure::NoConnection;
    case 10060:
        return TransferFailure::TimedOut;
    default:
        return TransferFailure::Other;
    }
}

template <typename F> void swallow(F&& f) {
    try {
        f();
    } catch (...) {
    }
}

} // namespace

// --- IntervalTimer ---------------------------------------------------------------------------

IntervalTimer::IntervalTimer()
    : m_timer(std::make_unique<QTimer>()) {
    // A coarse timer may fire 5 % late: a 60-second time-out would grow by 3 seconds.
    m_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
        if (m_handler)
            runCommand([this] { m_handler(this); });
    });
}

IntervalTimer::~IntervalTimer() {
    m_enabled = false;
    m_timer->stop();
}

void IntervalTimer::setEnabled(bool value) {
    if (value == m_enabled)
        return;
    m_enabled = value;
    restartTimer();
}

void IntervalTimer::setInterval(quint32 value) {
    if (value == m_interval)
        return;
    m_interval = value;
    restartTimer();
}

void IntervalTimer::setHandler(Handler handler) {
    m_handler = std::move(handler);
    restartTimer();
}

void IntervalTimer::restartTimer() {
    m_timer->stop();
    if (m_interval == 0 || !m_enabled || !m_handler)
        return;
    m_timer->start(static_cast<int>(std::min<quint32>(m_interval, INT_MAX)));
    if (!m_timer->isActive())
        throw Exception(QStringLiteral("No Timer"));
}

// --- scopes ---------------------------------------------------------------------------------

// Marks a read operation as running: read notifications are then left to it.
class TcpClient::ReadScope {
public:
    explicit ReadScope(TcpClient& owner)
        : m_owner(owner) {
        ++m_owner.m_readers;
    }
    ~ReadScope() { --m_owner.m_readers; }
    Q_DISABLE_COPY_MOVE(ReadScope)

private:
    TcpClient& m_owner;
};

// startTimeout() now, stopTimeout() on every exit. DeadlineOnly arms the timer for the deadline
// alone, and only while there is one.
class TcpClient::TimerScope {
public:
    explicit TimerScope(TcpClient& owner, Period period = Period::TimeOut)
        : m_owner(owner)
        , m_armed(period == Period::TimeOut || !owner.m_deadline.isForever()) {
        if (period == Period::TimeOut) {
            m_owner.startTimeout();
        } else if (m_armed) {
            m_owner.reportStatus(8, "Timer On");
            m_owner.armTimer(0);
        }
    }
    ~TimerScope() {
        if (m_armed)
            swallow([this] { m_owner.stopTimeout(); });
    }
    Q_DISABLE_COPY_MOVE(TimerScope)

private:
    TcpClient& m_owner;
    bool m_armed;
};

class TcpClient::NotificationScope {
public:
    explicit NotificationScope(TcpClient& owner)
        : m_owner(owner) {
        ++m_owner.m_notificationDepth;
    }
    ~NotificationScope() { --m_owner.m_notificationDepth; }
    Q_DISABLE_COPY_MOVE(NotificationScope)

private:
    TcpClient& m_owner;
};

// --- TcpClient: life -----------------------------------------------------------------------

TcpClient::TcpClient()
    : m_buffer(std::make_unique<char[]>(IoBufferSize + 1))
    , m_context(std::make_unique<QObject>())
    , m_timer(std::make_unique<IntervalTimer>()) {
    reportStatus(8, "Create");
    m_timer->setEnabled(false);
    m_timer->setHandler([this](IntervalTimer*) { handleTimeout(); });
    reportStatus(8, "Initializing Winsock");
    if (++g_startedClients == 1)
        fillSocketInfo();
    if (!makeSocket(true)) {
        --g_startedClients;
        throw SocketError(QStringLiteral("Initializaton of windows sockets failed"));
    }
}

TcpClient::~TcpClient() {
    // No handler runs from here on: what the handlers refer to may be gone already.
    m_destroying = true;
    swallow([this] {
        reportStatus(8, "Destroy");
        TcpClient::abort();
        cancel();
    });
    abortLookup();
    swallow([this] { closeSocket(); });
    --g_startedClients;
}

void TcpClient::fillSocketInfo() {
    rlimit files{};
    const qint64 maxSockets =
        ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
            ? static_cast<qint64>(files.rlim_cur)
            : -1;
    socketInfo = {
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

bool TcpClient::makeSocket(bool abortiveClose) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            abortiveClose ? IPPROTO_TCP : 0);
    if (fd < 0) {
        lastError = lastSocketError();
        return false;
    }
    if (abortiveClose) {
        // Closing the first socket resets its connection instead of lingering.
        const linger option{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    }
    adoptSocket(fd);
    return true;
}

// Makes fd the client's socket, watched by a read and a write notifier that are armed only
// while a wait needs them.
void TcpClient::adoptSocket(int fd) {
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
                     [this, serial] { handleReadable(serial); });
    m_writeNotifier = std::make_unique<QSocketNotifier>(QSocketNotifier::Write);
    m_writeNotifier->setSocket(fd);
    QObject::connect(m_writeNotifier.get(), &QSocketNotifier::activated,
                     [this, serial] { handleWritable(serial); });
}

// Notifiers of a closed socket never fire again; they are deleted once no notification of
// this client is being handled (one of them may be the caller).
void TcpClient::retireNotifiers() {
    for (auto* notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            m_retired.push_back(std::move(*notifier));
        }
    }
    purgeRetired();
}

void TcpClient::purgeRetired() {
    if (m_notificationDepth == 0)
        m_retired.clear();
}

// Closes the socket without status, notification or replacement.
void TcpClient::closeQuietly() {
    m_tls.reset();
    retireNotifiers();
    const int fd = m_socket;
    m_socket = -1;
    ++m_socketSerial;
    m_established = false;
    m_connectPending = false;
    m_listening = false;
    ::close(fd);
}

// --- status, errors -------------------------------------------------------------------------

void TcpClient::reportStatus(int level, const QByteArray& text) {
    if (level > reportLevel)
        return;
    swallow([&] {
        status = text;
        if (onStatus && !m_destroying)
            onStatus(this, text);
    });
}

QString TcpClient::errorMessage(int errorNo) {
    reportStatus(8, "Looking Up Error Message");
    if (errorNo == 0)
        return {};
    for (const ErrorText& entry : ErrorTexts) {
        if (entry.number == errorNo)
            return QString::number(errorNo) + u':' + QLatin1String(entry.text);
    }
    return QStringLiteral("Unknown Error No. ") + QString::number(errorNo);
}

void TcpClient::checkSocketError(int errorNo, int tolerated) {
    lastError = errorNo;
    if (errorNo == tolerated || errorNo <= 10000)
        return;
    const QString text = errorMessage(errorNo);
    if (onError)
        onError(this, static_cast<quint16>(errorNo), text);
    throw SocketError(text, failureOf(errorNo));
}

void TcpClient::throwAborted(const char* operation) {
    m_canceled = false;
    throw AbortedError(QStringLiteral("Socket %1 aborted").arg(QLatin1String(operation)),
                       timedOut ? TransferFailure::TimedOut : TransferFailure::Canceled);
}

// --- waiting --------------------------------------------------------------------------------

void TcpClient::armRead() {
    if (m_readNotifier && (m_established || m_listening))
        m_readNotifier->setEnabled(true);
}

void TcpClient::armWrite() {
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(true);
}

// Sleeps in the event loop until something happens: the socket becomes readable or writable
// (as asked), the time-out timer fires, the host lookup answers, or the user does anything.
// The caller re-checks its condition after every wake.
void TcpClient::sleepUntilWoken(Wake wake) {
    if (!QAbstractEventDispatcher::instance())
        throw SocketError(QStringLiteral("Socket wait without an event loop"));
    purgeRetired();
    if (wake == Wake::Readable)
        armRead();
    else if (wake == Wake::Writable)
        armWrite();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Runs what is pending in the event queue without waiting.
void TcpClient::processPendingEvents() {
    if (QAbstractEventDispatcher::instance())
        QCoreApplication::processEvents();
}

// The read notifier fires when data arrived, the peer closed, the connection broke, or a
// connection waits on a listening socket. It is level-triggered, so it is switched off here and
// armed again by the next wait that wants to read.
void TcpClient::handleReadable(quint64 serial) {
    if (serial != m_socketSerial || m_socket < 0)
        return;
    NotificationScope scope(*this);
    m_readNotifier->setEnabled(false);
    swallow([this] {
        if (m_listening) {
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length);
            m_asyncOk = error == 0;
            connected = true;
            m_lookupDone = true;
            if (onAccept)
                onAccept(this);
            return;
        }
        // A running read takes the data, the end or the error itself.
        if (m_readers > 0)
            return;
        char byte;
        const ssize_t n = ::recv(m_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) {
            m_asyncOk = true;
            if (onRead)
                onRead(this);
            return;
        }
        if (n < 0 && errno == EAGAIN) {
            armRead();
            return;
        }
        // The peer closed, or the connection broke.
        m_asyncOk = n == 0;
        if (n < 0)
            lastError = lastSocketError();
        if (!dataAvailable())
            closeSocket();
    });
}

void TcpClient::handleWritable(quint64 serial) {
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
    m_asyncOk = error == 0;
    if (!m_asyncOk) {
        lastError = winsockError(error);
        return;
    }
    m_established = true;
    connected = true;
    armRead();
    swallow([this] {
        if (onConnect)
            onConnect(this);
    });
}

// --- time-out -------------------------------------------------------------------------------

void TcpClient::startTimeout() {
    reportStatus(8, "Timer On");
    armTimer(timeout > 0 ? static_cast<quint32>(timeout) : 0);
}

// Starts the time-out period anew (0: none), cut to what remains of the deadline. A deadline
// that has passed ends the running operation at once, as the time-out would: data that keeps
// arriving must not hold an operation beyond it.
void TcpClient::armTimer(quint32 period) {
    timedOut = false;
    // Switching it off first makes every start begin the period anew.
    m_timer->setEnabled(false);
    if (!m_deadline.isForever()) {
        const qint64 left = m_deadline.remainingTime();
        if (left <= 0) {
            handleTimeout();
            return;
        }
        const auto leftPeriod = static_cast<quint32>(std::min<qint64>(left, UINT_MAX));
        period = period == 0 ? leftPeriod : std::min(period, leftPeriod);
    }
    m_timer->setInterval(period);
    m_timer->setEnabled(true);
}

void TcpClient::startDeadline(int milliseconds) {
    m_deadline = milliseconds > 0 ? QDeadlineTimer(milliseconds, Qt::PreciseTimer)
                                  : QDeadlineTimer(QDeadlineTimer::Forever);
}

void TcpClient::endDeadline() {
    m_deadline = QDeadlineTimer(QDeadlineTimer::Forever);
}

void TcpClient::stopTimeout() {
    reportStatus(8, "Timer Off");
    m_timer->setEnabled(false);
}

void TcpClient::handleTimeout() {
    reportStatus(8, "Timer Triggered");
    stopTimeout();
    timedOut = true;
    m_lookupDone = true;
    abort();
}

// --- host lookup and connection -------------------------------------------------------------

void TcpClient::handleLookupResult(const QHostInfo& info) {
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
    m_asyncOk = info.error() == QHostInfo::NoError && m_lookupAddress != 0;
    if (!m_asyncOk)
        lastError = info.error() == QHostInfo::HostNotFound || info.error() == QHostInfo::NoError
                        ? 11001
                        : 11003;
    m_lookupDone = true;
}

void TcpClient::abortLookup() {
    if (m_lookupId != -1) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
}

void TcpClient::resolveHost() {
    reportStatus(8, "Resolve Host");
    const QByteArray name = connectionHost();
    in_addr dotted{};
    if (!name.contains('\0') && ::inet_aton(name.constData(), &dotted) != 0) {
        m_remoteAddress = dotted.s_addr;
        return;
    }
    m_remoteAddress = 0;
    {
        TimerScope timer(*this);
        m_lookupDone = false;
        abortLookup();
        m_lookupId =
            QHostInfo::lookupHost(QString::fromUtf8(name), m_context.get(),
                                  [this](const QHostInfo& info) { handleLookupResult(info); });
        while (!m_lookupDone && !timedOut && !m_canceled)
            sleepUntilWoken(Wake::Anything);
        abortLookup();
    }
    if (timedOut)
        throw SocketError(QStringLiteral("Host Lookup Timed Out"), TransferFailure::TimedOut);
    if (m_canceled)
        throw SocketError(QStringLiteral("Host Lookup Canceled"), TransferFailure::Canceled);
    if (!m_asyncOk)
        throw SocketError(QStringLiteral("Host Lookup Failed"), TransferFailure::NoConnection);
    m_remoteAddress = m_lookupAddress;
    if (onHostResolved)
        onHostResolved(this);
}

void TcpClient::connectToHost() {
    reportStatus(8, "Connecting");
    m_canceled = false;
    if (connected)
        throw SocketError(QStringLiteral("Already connected"));
    purgeRetired();
    // A socket that already saw a connection attempt is not reused.
    if (m_socket >= 0 && (m_socketUsed || m_listening))
        closeQuietly();
    if (m_socket < 0 && !makeSocket(false))
        checkSocketError(lastError, 0);

    for (int attempt = 1;; ++attempt) {
        try {
            resolveHost();
        } catch (const SocketError& e) {
            if (e.failure() == TransferFailure::TimedOut ||
                e.failure() == TransferFailure::Canceled)
                throw;
        }
        if (m_remoteAddress != 0)
            break;
        if (attempt == 2 || !onInvalidHost)
            throw SocketError(QStringLiteral("Null Remote Address"), TransferFailure::NoConnection);
        bool handled = false;
        onInvalidHost(handled);
        if (!handled)
            throw SocketError(QStringLiteral("Null Remote Address"), TransferFailure::NoConnection);
    }

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<quint16>(connectionPort()));
    address.sin_addr.s_addr = m_remoteAddress;
    m_lookupDone = false;
    m_asyncOk = true;
    m_socketUsed = true;
    // Success at once is handled like the usual asynchronous completion: the write notifier
    // fires at the first wait.
    if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
        errno == EINPROGRESS || errno == EINTR) {
        m_connectPending = true;
    } else if (isConnectOutcome(errno)) {
        m_asyncOk = false;
        lastError = lastSocketError();
    } else {
        checkSocketError(lastSocketError());
    }

    {
        TimerScope timer(*this);
        while (!connected && !timedOut && !m_canceled && m_asyncOk)
            sleepUntilWoken(Wake::Writable);
    }
    if (!timedOut && !m_canceled && m_asyncOk)
        return;
    m_connectPending = false;
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    if (onConnectionFailed)
        onConnectionFailed(this);
    if (timedOut)
        throw SocketError(QStringLiteral("Connection Timed out"), TransferFailure::TimedOut);
    if (m_canceled)
        throw SocketError(QStringLiteral("Connection Canceled"), TransferFailure::Canceled);
    throw SocketError(QStringLiteral("Connection Failed"), TransferFailure::NoConnection);
}

QByteArray TcpClient::connectionHost() const {
    return proxy.isEmpty() ? host : proxy;
}

int TcpClient::connectionPort() const {
    return proxy.isEmpty() ? port : proxyPort;
}

void TcpClient::startTls(const QByteArray& serverName, const QByteArray& trustedCertificates) {
    reportStatus(8, "Start TLS");
    if (!connected || m_socket < 0)
        throw SocketError(errorMessage(NotConnected));
    m_tls = std::make_unique<TlsSession>(m_socket, serverName, trustedCertificates);
    try {
        TimerScope timer(*this);
        // Nothing but the handshake reads the socket meanwhile.
        ReadScope reading(*this);
        for (;;) {
            const TlsSession::Need need = m_tls->handshake();
            if (need == TlsSession::Need::Nothing)
                return;
            if (m_canceled)
                throwAborted("handshake");
            sleepUntilWoken(need == TlsSession::Need::Readable ? Wake::Readable : Wake::Writable);
            if (m_canceled)
                throwAborted("handshake");
        }
    } catch (...) {
        m_tls.reset();
        throw;
    }
}

quint16 TcpClient::listen(const QByteArray& address, quint16 localPort) {
    if (connected || m_listening)
        throw SocketError(QStringLiteral("Already connected"));
    if (m_socket >= 0 && m_socketUsed)
        closeQuietly();
    if (m_socket < 0 && !makeSocket(false))
        checkSocketError(lastError, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(localPort);
    if (::inet_aton(address.constData(), &local.sin_addr) == 0)
        throw SocketError(QStringLiteral("Null Remote Address"), TransferFailure::NoConnection);
    m_socketUsed = true;
    const int yes = 1;
    ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(m_socket, 1) != 0)
        checkSocketError(lastSocketError(), 0);
    socklen_t length = sizeof local;
    ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &length);
    m_listening = true;
    m_lookupDone = false;
    m_asyncOk = true;
    armRead();
    return ntohs(local.sin_port);
}

int TcpClient::acceptConnection() {
    reportStatus(4, "Accepting");
    for (;;) {
        while (!m_lookupDone && !m_canceled)
            sleepUntilWoken(Wake::Readable);
        if (m_canceled) {
            m_canceled = false;
            throw SocketError(QStringLiteral("Accepting Canceled"), TransferFailure::Canceled);
        }
        if (!m_asyncOk || !m_listening)
            throw SocketError(QStringLiteral("Error creating Data Connection"));
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(m_socket, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = lastSocketError();
            checkSocketError(error);
            // Nothing waits after all (the peer gave up): wait again.
            m_lookupDone = false;
            continue;
        }
        // The accepted connection becomes this client's socket.
        closeQuietly();
        adoptSocket(fd);
        m_socketUsed = true;
        m_established = true;
        connected = true;
        m_remoteAddress = peer.sin_addr.s_addr;
        armRead();
        return fd;
    }
}

// --- closing, cancelling --------------------------------------------------------------------

void TcpClient::closeSocket() {
    reportStatus(4, "Request Close Socket");
    connected = false;
    if (m_socket < 0)
        return;
    const int fd = m_socket;
    m_tls.reset();
    retireNotifiers();
    m_socket = -1;
    ++m_socketSerial;
    m_established = false;
    m_connectPending = false;
    m_listening = false;
    if (::close(fd) != 0 && errno != EINTR)
        checkSocketError(lastSocketError());
    if (onDisconnect && !m_destroying)
        onDisconnect(this);
    // A socket that cannot be made now is made again (or its error raised) by the next
    // connectToHost().
    if (!m_destroying)
        makeSocket(false);
}

void TcpClient::disconnectFromHost() {
    reportStatus(8, "Disconnecting");
    closeSocket();
}

void TcpClient::cancel() {
    reportStatus(8, "Canceling");
    m_canceled = true;
}

void TcpClient::abort() {
    reportStatus(8, "Abort");
    cancel();
}

// --- sending --------------------------------------------------------------------------------

ssize_t TcpClient::sendSome(const char* data, qsizetype size) {
    if (!m_tls)
        return ::send(m_socket, data, size, MSG_NOSIGNAL);
    TlsSession::Need need = TlsSession::Need::Nothing;
    const qsizetype n = m_tls->write(data, size, need);
    if (n < 0) {
        m_tlsWake = need == TlsSession::Need::Readable ? Wake::Readable : Wake::Writable;
        errno = EAGAIN;
    }
    return n;
}

ssize_t TcpClient::receive(char* data, qsizetype size, bool peek) {
    if (!m_tls)
        return ::recv(m_socket, data, size, peek ? MSG_PEEK : 0);
    TlsSession::Need need = TlsSession::Need::Nothing;
    const qsizetype n = m_tls->read(data, size, peek, need);
    if (n < 0) {
        m_tlsWake = need == TlsSession::Need::Writable ? Wake::Writable : Wake::Readable;
        errno = EAGAIN;
    }
    return n;
}

void TcpClient::sendAll(const char* data, qsizetype count,
                        const std::function<void(qsizetype)>& afterSend) {
    // TLS may have to read while it sends: the bytes are then left to it.
    std::optional<ReadScope> reading;
    if (m_tls)
        reading.emplace(*this);
    qsizetype sent = 0;
    while (sent < count && !m_canceled) {
        const ssize_t n = sendSome(data + sent, count - sent);
        if (n == 0)
            break;
        if (n > 0) {
            sent += n;
            if (afterSend)
                afterSend(n);
            continue;
        }
        checkSocketError(lastSocketError());
        sleepUntilWoken(m_tls ? m_tlsWake : Wake::Writable);
    }
}

void TcpClient::sendBuffer(const char* data, quint16 length) {
    reportStatus(4, "Sending Buffer");
    TimerScope timer(*this);
    if (!m_canceled) {
        const qsizetype count = length != 0 ? length : ::strnlen(data, 65535);
        sendAll(data, count, {});
    }
    if (m_canceled)
        throwAborted("send");
}

void TcpClient::write(const QByteArray& text) {
    reportStatus(8, "Write");
    if (text.size() > 65535)
        throw SocketError(
            QStringLiteral("Text too long to send: %1 bytes, at most 65535").arg(text.size()));
    std::memcpy(m_buffer.get(), text.constData(), text.size());
    m_buffer[text.size()] = '\0';
    sendBuffer(m_buffer.get(), 0);
}

void TcpClient::writeLine(const QByteArray& text) {
    reportStatus(8, "Writeln");
    write(text + "\r\n");
}

void TcpClient::sendFile(const QByteArray& name) {
    reportStatus(8, "SendFile");
    // No time-out applies to a file's bytes; a deadline does.
    TimerScope timer(*this, Period::DeadlineOnly);
    QFile file(QFile::decodeName(name));
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file \"%1\". %2")
                            .arg(QFile::decodeName(name), file.errorString()));
    while (file.pos() < file.size() && !m_canceled) {
        const qint64 count = file.read(m_buffer.get(), IoBufferSize);
        if (count < 0)
            throw Exception(QStringLiteral("Stream read error"));
        if (count == 0)
            break;
        sendAll(m_buffer.get(), count, [this](qsizetype sent) {
            bytesSent += static_cast<qint32>(sent);
            if (onPacketSent)
                onPacketSent(this);
            processPendingEvents();
        });
    }
    if (m_canceled)
        throwAborted("send");
}

// --- receiving ------------------------------------------------------------------------------

QByteArray TcpClient::readLine() {
    reportStatus(8, "ReadLn");
    TimerScope timer(*this);
    ReadScope reading(*this);
    QByteArray line;
    int taken = 0;
    char* const buffer = m_buffer.get();
    for (;;) {
        // A line longer than the buffer is refused.
        if (taken == IoBufferSize)
            throw AbortedError(QStringLiteral("Socket readln aborted"), TransferFailure::Protocol);
        const ssize_t n = receive(buffer + taken, IoBufferSize - taken, /*peek=*/true);
        if (n == 0)
            return {};
        if (n < 0) {
            const int error = lastSocketError();
            lastError = error;
            if (error == NotConnected)
                return {};
            checkSocketError(error);
            sleepUntilWoken(m_tls ? m_tlsWake : Wake::Readable);
        } else {
            const void* end = std::memchr(buffer + taken, '\n', n);
            const ssize_t wanted = end ? static_cast<const char*>(end) - (buffer + taken) + 1 : n;
            const ssize_t got = receive(buffer + taken, wanted, /*peek=*/false);
            if (got > 0) {
                line.append(buffer + taken, got);
                taken += static_cast<int>(got);
                if (end && got == wanted)
                    return line;
            }
            processPendingEvents();
        }
        if (m_canceled)
            throwAborted("readln");
    }
}

void TcpClient::capture(qint64 limit, qint64 ceiling,
                        const std::function<void(const char*, qint64)>& sink) {
    ReadScope reading(*this);
    qint64 stored = 0;
    while (!m_canceled && (limit == -1 || stored < limit)) {
        const ssize_t n = receive(m_buffer.get(), IoBufferSize, /*peek=*/false);
        if (n == 0)
            break;
        if (n > 0) {
            if (n > ceiling - stored) {
                sink(m_buffer.get(), std::max<qint64>(ceiling - stored, 0));
                throw AbortedError(QStringLiteral("Socket capture aborted"),
                                   TransferFailure::Protocol);
            }
            sink(m_buffer.get(), n);
            stored += n;
            bytesReceived = static_cast<qint32>(std::min<qint64>(stored, INT_MAX));
            if (onPacketReceived)
                onPacketReceived(this);
            startTimeout();
            processPendingEvents();
            continue;
        }
        const int error = lastSocketError();
        lastError = error;
        if (error == NotConnected)
            break;
        checkSocketError(error);
        sleepUntilWoken(m_tls ? m_tlsWake : Wake::Readable);
    }
    if (m_canceled)
        throwAborted("capture");
}

void TcpClient::captureString(QByteArray& target, qint64 limit) {
    reportStatus(8, "Capture String");
    target.clear();
    bytesReceived = 0;
    TimerScope timer(*this);
    capture(limit, stringCaptureCeiling,
            [&target](const char* data, qint64 count) { target.append(data, count); });
}

void TcpClient::captureFile(const QByteArray& name) {
    reportStatus(8, "CaptureFile");
    bytesReceived = 0;
    TimerScope timer(*this);
    QFile file(QFile::decodeName(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Exception(QStringLiteral("Cannot create file \"%1\". %2")
                            .arg(QFile::decodeName(name), file.errorString()));
    capture(-1, fileCaptureCeiling, [&file](const char* data, qint64 count) {
        if (count > 0 && file.write(data, count) != count)
            throw Exception(QStringLiteral("Stream write error"));
    });
}

bool TcpClient::dataAvailable() {
    reportStatus(8, "Data Available");
    if (m_tls && m_tls->hasPendingData())
        return true;
    char byte;
    return ::recv(m_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
}

void TcpClient::transaction(const QByteArray& command) {
    reportStatus(8, "Transaction");
    writeLine(command);
    transactionReply = readLine();
    qint64 number = 0;
    const QByteArray head = transactionReply.left(10);
    for (qsizetype i = 0; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i)
        number = number * 10 + (head[i] - '0');
    replyNumber = number <= SHRT_MAX ? static_cast<qint16>(number) : 0;
    reportStatus(1, transactionReply);
}
