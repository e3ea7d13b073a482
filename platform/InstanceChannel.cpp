#include "platform/InstanceChannel.h"

#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

namespace {

// A request is a command line and two tokens; anything longer is no request.
constexpr qint64 MaxRequestBytes = 64 * 1024;
// How long a connection may take to send its request.
constexpr int RequestTimeoutMs = 5000;

const QString ArgumentsKey = QStringLiteral("arguments");
const QString ActivationTokenKey = QStringLiteral("activationToken");
const QString StartupIdKey = QStringLiteral("startupId");

} // namespace

StartRequest StartRequest::ofThisProcess(const QStringList& arguments) {
    StartRequest request;
    request.arguments = arguments;
    request.activationToken = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    request.startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    return request;
}

QByteArray StartRequest::toBytes() const {
    QJsonObject object;
    object.insert(ArgumentsKey, QJsonArray::fromStringList(arguments));
    object.insert(ActivationTokenKey, activationToken);
    object.insert(StartupIdKey, startupId);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool StartRequest::fromBytes(const QByteArray& bytes, StartRequest& request) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    const QJsonValue arguments = object.value(ArgumentsKey);
    if (!arguments.isArray())
        return false;
    StartRequest read;
    for (const QJsonValue& argument : arguments.toArray()) {
        if (!argument.isString())
            return false;
        read.arguments << argument.toString();
    }
    read.activationToken = object.value(ActivationTokenKey).toString();
    read.startupId = object.value(StartupIdKey).toString();
    request = read;
    return true;
}

InstanceChannel::InstanceChannel(QObject* parent)
    : QObject(parent) {}

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::socketPath(const QString& name) {
    const QFileInfo lock(SingleInstanceMarker::lockFilePath(name));
    return lock.dir().filePath(name + QStringLiteral(".socket"));
}

bool InstanceChannel::listen(const QString& name) {
    const QString path = socketPath(name);
    QLocalServer::removeServer(path);
    m_server = std::make_unique<QLocalServer>();
    // Only the user reaches the runtime folder already; the socket says so too.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        m_server.reset();
        return false;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] { accept(); });
    return true;
}

void InstanceChannel::accept() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        // A client that never finishes its request is dropped.
        auto* timeout = new QTimer(socket);
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, this, [this, socket] { drop(socket); });
        timeout->start(RequestTimeoutMs);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > MaxRequestBytes)
                drop(socket);
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { read(socket); });
        // It may have sent its request and gone already.
        if (socket->state() != QLocalSocket::ConnectedState)
            read(socket);
    }
}

void InstanceChannel::read(QLocalSocket* socket) {
    const QByteArray bytes = socket->read(MaxRequestBytes + 1);
    drop(socket);
    StartRequest request;
    if (bytes.size() <= MaxRequestBytes && StartRequest::fromBytes(bytes, request))
        receive(request);
}

void InstanceChannel::drop(QLocalSocket* socket) {
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void InstanceChannel::receive(const StartRequest& request) {
    if (m_delivering)
        emit requested(request);
    else
        m_kept.append(request);
}

void InstanceChannel::deliver() {
    m_delivering = true;
    const QList<StartRequest> kept = std::exchange(m_kept, {});
    for (const StartRequest& request : kept)
        emit requested(request);
}

bool InstanceChannel::send(const QString& name, const StartRequest& request,
                           std::chrono::milliseconds wait) {
    const QDeadlineTimer deadline(wait);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath(name));
        if (socket.waitForConnected(int(std::max<qint64>(deadline.remainingTime(), 0))))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    socket.write(request.toBytes());
    const int remaining = int(std::max<qint64>(deadline.remainingTime(), 1000));
    if (!socket.waitForBytesWritten(remaining) && socket.bytesToWrite() > 0)
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(remaining);
    return true;
}
