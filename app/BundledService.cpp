#include "app/BundledService.h"

#include "platform/AppDir.h"
#include "platform/Exception.h"
#include "search/ServiceHost.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

namespace {

const QString ServiceProgram = QStringLiteral("sorvel-service");
// What the service prints on its standard output once it serves.
const QByteArray ListeningLine = "listening on http://";

// A service at a loopback address takes a connection at once or refuses it.
constexpr int ConnectTimeoutMs = 2000;
// How long an ended service may take to stop.
constexpr int StopTimeoutMs = 5000;

struct HostAndPort {
    QHostAddress address;
    int port = 80;
};

// The loopback address and port of a service host, read from the address the program's requests
// go to; a null address for any other host. The bundled service speaks plain HTTP: a host named
// with "https://" is never it.
HostAndPort loopbackAddress(const QString& serviceHost) {
    const QUrl url(makerSiteUrl(serviceHost));
    HostAndPort result;
    result.port = url.port(result.port);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || result.port < 1)
        return {};
    // QUrl gives the host in lower case.
    if (url.host() == QLatin1String("localhost")) {
        result.address = QHostAddress(QHostAddress::LocalHost);
        return result;
    }
    const QHostAddress address(url.host());
    if (address.protocol() == QAbstractSocket::IPv4Protocol && address.isLoopback())
        result.address = address;
    return result;
}

// Whether something accepts connections there.
bool somethingAnswersAt(const HostAndPort& target) {
    if (target.address.isNull())
        return false;
    QTcpSocket socket;
    socket.connectToHost(target.address, quint16(target.port));
    const bool connected = socket.waitForConnected(ConnectTimeoutMs);
    socket.abort();
    return connected;
}

QString cannotStart(const QString& executable, const QString& why) {
    return QStringLiteral("検索サービス %1 を起動できません: %2").arg(executable, why);
}

} // namespace

BundledService::BundledService(QObject* parent)
    : QObject(parent) {}

BundledService::~BundledService() {
    if (m_process)
        stopProcess();
}

bool BundledService::isLoopbackHost(const QString& serviceHost) {
    return !loopbackAddress(serviceHost).address.isNull();
}

bool BundledService::answers(const QString& serviceHost) {
    return somethingAnswersAt(loopbackAddress(serviceHost));
}

QString BundledService::findExecutable() {
    const QFileInfo beside(programFilePath(ServiceProgram));
    if (beside.isFile() && beside.isExecutable())
        return beside.filePath();
    return QStandardPaths::findExecutable(ServiceProgram);
}

bool BundledService::isRunning() const {
    return m_process && m_process->state() != QProcess::NotRunning;
}

void BundledService::abandonWait() {
    m_abandoned = true;
    if (m_wait)
        m_wait->quit();
}

void BundledService::ensureRunning(const QString& serviceHost, const QString& executable,
                                   std::chrono::milliseconds timeout) {
    const HostAndPort target = loopbackAddress(serviceHost);
    if (target.address.isNull() || isRunning() || somethingAnswersAt(target))
        return;
    const QString program = executable.isEmpty() ? findExecutable() : executable;
    if (program.isEmpty())
        throw Exception(QStringLiteral("検索サービス %1 が見つかりません").arg(ServiceProgram));
    start(program, target.address.toString(), target.port);

    bool listening = false;
    QByteArray output;
    {
        QEventLoop wait;
        QTimer deadline;
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, &wait, &QEventLoop::quit);
        connect(m_process.get(), &QProcess::readyReadStandardOutput, &wait, [&] {
            output += m_process->readAllStandardOutput();
            if (output.contains(ListeningLine)) {
                listening = true;
                wait.quit();
            }
        });
        connect(m_process.get(), &QProcess::finished, &wait, &QEventLoop::quit);
        connect(m_process.get(), &QProcess::errorOccurred, &wait, &QEventLoop::quit);
        deadline.start(timeout);
        m_wait = &wait;
        if (!m_abandoned && m_process->state() != QProcess::NotRunning)
            wait.exec();
        m_wait = nullptr;
    }
    // Nothing else is read from the standard output; it must not fill up.
    connect(m_process.get(), &QProcess::readyReadStandardOutput, this,
            [this] { m_process->readAllStandardOutput(); });
    if (listening || m_abandoned)
        return;

    const bool running = m_process->state() != QProcess::NotRunning;
    stopProcess();
    if (running) {
        throw Exception(QStringLiteral("検索サービス %1 が %2 秒のうちに動き始めませんでした")
                            .arg(program)
                            .arg(timeout.count() / 1000.0));
    }
    if (m_process->error() == QProcess::FailedToStart)
        throw Exception(cannotStart(program, m_process->errorString()));
    // Another service may have taken the port meanwhile: then that one serves.
    if (somethingAnswersAt(target))
        return;
    throw Exception(
        cannotStart(program, m_lastErrorLine.isEmpty()
                                 ? QStringLiteral("終了コード %1").arg(m_process->exitCode())
                                 : QString::fromLocal8Bit(m_lastErrorLine)));
}

void BundledService::start(const QString& executable, const QString& address, int port) {
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(executable);
    // The service finds its catalogue by itself.
    m_process->setArguments(
        {QStringLiteral("--listen"), address, QStringLiteral("--port"), QString::number(port)});
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    // Should the program die without ending it, the service ends too.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    connect(m_process.get(), &QProcess::readyReadStandardError, this,
            [this] { forwardStandardError(); });
    m_process->start();
}

void BundledService::stopProcess() {
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(StopTimeoutMs)) {
            m_process->kill();
            m_process->waitForFinished(StopTimeoutMs);
        }
    }
    forwardStandardError();
}

void BundledService::forwardStandardError() {
    if (!m_process)
        return;
    const QByteArray text = m_process->readAllStandardError();
    if (text.isEmpty())
        return;
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
    m_pendingError += text;
    // Only the last line is wanted; a line without end keeps no more than this.
    constexpr qsizetype Kept = 4096;
    if (m_pendingError.size() > Kept)
        m_pendingError.remove(0, m_pendingError.size() - Kept);
    const qsizetype end = m_pendingError.lastIndexOf('\n');
    if (end < 0)
        return;
    const qsizetype start = m_pendingError.lastIndexOf('\n', end - 1) + 1;
    m_lastErrorLine = m_pendingError.mid(start, end - start);
    m_pendingError.remove(0, end + 1);
}
