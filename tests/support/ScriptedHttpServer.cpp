#include "ScriptedHttpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
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

// A server context with the PEM certificate chain (the server's own first) and key.
SSL_CTX* serverContext(const QByteArray& certificates, const QByteArray& key) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    BIO* input = BIO_new_mem_buf(certificates.constData(), static_cast<int>(certificates.size()));
    bool first = true;
    while (X509* certificate = PEM_read_bio_X509(input, nullptr, nullptr, nullptr)) {
        if (first) {
            SSL_CTX_use_certificate(context, certificate);
            X509_free(certificate);
        } else {
            SSL_CTX_add_extra_chain_cert(context, certificate);
        }
        first = false;
    }
    BIO_free(input);
    input = BIO_new_mem_buf(key.constData(), static_cast<int>(key.size()));
    EVP_PKEY* privateKey = PEM_read_bio_PrivateKey(input, nullptr, nullptr, nullptr);
    BIO_free(input);
    const bool usable = privateKey && SSL_CTX_use_PrivateKey(context, privateKey) == 1;
    EVP_PKEY_free(privateKey);
    ERR_clear_error();
    if (first || !usable) {
        SSL_CTX_free(context);
        throw std::runtime_error("unusable test certificate or key");
    }
    return context;
}

} // namespace

ScriptedHttpServer::ScriptedHttpServer(Script script)
    : ScriptedHttpServer(std::move(script), Options()) {}

ScriptedHttpServer::ScriptedHttpServer(Script script, Options options)
    : m_script(std::move(script))
    , m_options(std::move(options)) {
    if (!m_options.certificatePem.isEmpty())
        m_tls = serverContext(m_options.certificatePem, m_options.keyPem);
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
    {
        // Under the lock, so that a stall between its check and its wait still hears the stop.
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFds[1], &byte, 1);
    m_stopped.notify_all();
    m_thread.join();
    for (std::thread& worker : m_workers)
        worker.join();
    SSL_CTX_free(m_tls);
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

QList<QByteArray> ScriptedHttpServer::serverNames() const {
    std::lock_guard lock(m_mutex);
    return m_serverNames;
}

QByteArray ScriptedHttpServer::target(const QByteArray& request) {
    const qsizetype start = request.indexOf(' ') + 1;
    const qsizetype end = request.indexOf(' ', start);
    return start > 0 && end > start ? request.mid(start, end - start) : QByteArray();
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

ScriptedHttpServer::Options ScriptedHttpServer::concurrently() {
    Options options;
    options.concurrent = true;
    return options;
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
        const int open = ++m_open;
        for (int most = m_mostOpen; open > most && !m_mostOpen.compare_exchange_weak(most, open);)
            ;
        if (m_options.concurrent)
            m_workers.emplace_back([this, fd] { serve(fd); });
        else
            serve(fd);
    }
}

void ScriptedHttpServer::serve(int fd) {
    Connection connection(*this, fd);
    bool ready = true;
    if (m_tls) {
        // A client that never finishes its handshake holds this connection ten seconds at most.
        const timeval limit{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        SSL* ssl = SSL_new(m_tls);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
            connection.m_ssl = ssl;
            const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
            std::lock_guard lock(m_mutex);
            m_serverNames.append(QByteArray(name ? name : ""));
        } else {
            ++m_failedHandshakes;
            SSL_free(ssl);
            ready = false;
        }
        ERR_clear_error();
    }
    if (ready) {
        try {
            m_script(connection);
        } catch (...) {
            // A script that fails just drops the connection.
        }
    }
    connection.close();
    --m_open;
}

qsizetype ScriptedHttpServer::Connection::receive(char* buffer, qsizetype size, int timeoutMs) {
    if (m_fd < 0)
        return 0;
    if (m_ssl && SSL_pending(m_ssl) > 0)
        return std::max(SSL_read(m_ssl, buffer, static_cast<int>(size)), 0);
    if (!waitReadable(m_fd, m_server.m_wakeFds[0], timeoutMs))
        return 0;
    const qsizetype n =
        m_ssl ? SSL_read(m_ssl, buffer, static_cast<int>(size)) : ::recv(m_fd, buffer, size, 0);
    return std::max<qsizetype>(n, 0);
}

QByteArray ScriptedHttpServer::Connection::readRequest() {
    char buffer[4096];
    qsizetype headerEnd = -1;
    while ((headerEnd = m_pending.indexOf("\r\n\r\n")) < 0) {
        const qsizetype n = receive(buffer, sizeof buffer, 30000);
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
        const qsizetype n = receive(buffer, sizeof buffer, 30000);
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
        const ssize_t n =
            m_ssl
                ? SSL_write(m_ssl, bytes.constData() + sent, static_cast<int>(bytes.size() - sent))
                : ::send(m_fd, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
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
    if (m_ssl) {
        SSL_free(m_ssl);
        m_ssl = nullptr;
    }
    if (m_fd >= 0) {
        const linger option{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
        close();
    }
}

void ScriptedHttpServer::Connection::close() {
    if (m_ssl) {
        SSL_shutdown(m_ssl);
        SSL_free(m_ssl);
        m_ssl = nullptr;
        ERR_clear_error();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void ScriptedHttpServer::Connection::relayTo(quint16 port) {
    const int upstream = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(upstream);
        return;
    }
    bool open = ::send(upstream, m_pending.constData(), m_pending.size(), MSG_NOSIGNAL) >= 0;
    m_pending.clear();
    char buffer[16384];
    while (open && m_fd >= 0 && !m_server.stopping()) {
        pollfd fds[3] = {
            {m_fd, POLLIN, 0}, {upstream, POLLIN, 0}, {m_server.m_wakeFds[0], POLLIN, 0}};
        if (::poll(fds, 3, 30000) <= 0 || (fds[2].revents & POLLIN))
            break;
        for (int side = 0; side < 2 && open; ++side) {
            if (!(fds[side].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::recv(fds[side].fd, buffer, sizeof buffer, 0);
            open = n > 0 && ::send(fds[1 - side].fd, buffer, n, MSG_NOSIGNAL) == n;
        }
    }
    ::close(upstream);
}
