#include "ScriptedHttpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Waits until fd is readable, or the wake pipe fires; false on wake or time-out.
bool waitReadable(int fd, int wakeFd, int timeoutMs) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 2, timeoutMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || (fds[1].revents & POLLIN))
            return false;
        return (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    }
}

} // namespace

ScriptedHttpServer::ScriptedHttpServer(Script script)
    : m_script(std::move(script)) {
    if (::pipe(m_wakeFds) != 0)
        throw std::runtime_error("pipe failed");
    m_listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 16) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { run(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    m_stop = true;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFds[1], &byte, 1);
    m_stopped.notify_all();
    m_thread.join();
    ::close(m_listenFd);
    ::close(m_wakeFds[0]);
    ::close(m_wakeFds[1]);
}

QByteArray ScriptedHttpServer::hostAndPort() const {
    return "127.0.0.1:" + QByteArray::number(m_port);
}

QByteArray ScriptedHttpServer::url(const QByteArray& path) const {
    return "http://" + hostAndPort() + path;
}

QList<QByteArray> ScriptedHttpServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

QByteArray ScriptedHttpServer::response(int status, const QByteArray& body,
                                        const QList<QByteArray>& headers) {
    QByteArray response = "HTTP/1.0 " + QByteArray::number(status) + " Status\r\n";
    for (const QByteArray& header : headers)
        response += header + "\r\n";
    response += "\r\n";
    response += body;
    return response;
}

ScriptedHttpServer::Script ScriptedHttpServer::reply(const QByteArray& bytes) {
    return [bytes](Connection& c) {
        c.readRequest();
        c.send(bytes);
    };
}

quint16 ScriptedHttpServer::closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

void ScriptedHttpServer::run() {
    while (!stopping()) {
        if (!waitReadable(m_listenFd, m_wakeFds[0], -1))
            break;
        const int fd = ::accept(m_listenFd, nullptr, nullptr);
        if (fd < 0)
            continue;
        ++m_connections;
        Connection connection(*this, fd);
        try {
            m_script(connection);
        } catch (...) {
            // A script that fails just drops the connection.
        }
        if (connection.m_fd >= 0)
            ::close(connection.m_fd);
    }
}

QByteArray ScriptedHttpServer::Connection::readRequest() {
    char buffer[4096];
    qsizetype headerEnd = -1;
    while ((headerEnd = m_pending.indexOf("\r\n\r\n")) < 0) {
        if (m_fd < 0 || !waitReadable(m_fd, m_server.m_wakeFds[0], 30000))
            return {};
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return {};
        m_pending.append(buffer, n);
    }
    const QByteArray header = m_pending.left(headerEnd + 4);
    m_pending.remove(0, headerEnd + 4);
    qsizetype length = 0;
    for (const QByteArray& line : header.split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toLongLong();
    }
    while (m_pending.size() < length) {
        if (!waitReadable(m_fd, m_server.m_wakeFds[0], 30000))
            break;
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        m_pending.append(buffer, n);
    }
    m_body = m_pending.left(length);
    m_pending.remove(0, m_body.size());
    {
        std::lock_guard lock(m_server.m_mutex);
        m_server.m_requests.append(header);
    }
    return header;
}

void ScriptedHttpServer::Connection::send(const QByteArray& bytes) {
    qsizetype sent = 0;
    while (m_fd >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += n;
    }
}

void ScriptedHttpServer::Connection::sendSlowly(const QByteArray& bytes, int packetSize,
                                                std::chrono::milliseconds pause) {
    int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    for (qsizetype i = 0; i < bytes.size() && !m_server.stopping(); i += packetSize) {
        send(bytes.mid(i, packetSize));
        stall(pause);
    }
}

void ScriptedHttpServer::Connection::stall(std::chrono::milliseconds duration) {
    std::unique_lock lock(m_server.m_mutex);
    m_server.m_stopped.wait_for(lock, duration, [this] { return m_server.stopping(); });
}

void ScriptedHttpServer::Connection::reset() {
    if (m_fd >= 0) {
        const linger option{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
        close();
    }
}

void ScriptedHttpServer::Connection::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}
