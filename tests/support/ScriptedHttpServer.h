#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

// A test-only HTTP server on 127.0.0.1 that runs on its own thread and answers every
// connection through a script: it can send any bytes, one byte per packet, stall, or close
// early. Connections are served one after the other, in the order they arrive, or each on a
// thread of its own (Options::concurrent). With a certificate and key it speaks TLS.
class ScriptedHttpServer final {
public:
    struct Options {
        // Serve each connection on a thread of its own, so that several are open at once.
        bool concurrent = false;
        // PEM certificate (chain) and key: the server speaks TLS with them.
        QByteArray certificatePem;
        QByteArray keyPem;
    };

    // One accepted connection, handed to the script on the server's thread.
    class Connection {
    public:
        // The request header up to and including its empty line ("" when the peer closed
        // first). The request is also recorded for requests().
        QByteArray readRequest();
        // Bytes of the request body after the header, as many as Content-Length announced.
        QByteArray requestBody() const { return m_body; }
        void send(const QByteArray& bytes);
        // Sends the bytes in packets of the given size with a pause after each.
        void sendSlowly(const QByteArray& bytes, int packetSize,
                        std::chrono::milliseconds pause = std::chrono::milliseconds(1));
        // Waits without a word; ends early when the server stops.
        void stall(std::chrono::milliseconds duration);
        // Closes the connection now (the rest of the script sends nothing).
        void close();
        // Closes the connection with a reset instead of an orderly close.
        void reset();
        // Connects to 127.0.0.1:port and passes the bytes both ways until either side closes
        // (a proxy's tunnel); what the request read beyond its header goes first.
        void relayTo(quint16 port);

    private:
        friend class ScriptedHttpServer;
        Connection(ScriptedHttpServer& server, int fd)
            : m_server(server)
            , m_fd(fd) {}
        // Waits for bytes and reads them; 0 when the peer closed, the server stops or nothing
        // came within the time.
        qsizetype receive(char* buffer, qsizetype size, int timeoutMs);
        ScriptedHttpServer& m_server;
        int m_fd;
        SSL* m_ssl = nullptr;
        QByteArray m_pending;
        QByteArray m_body;
    };

    using Script = std::function<void(Connection&)>;

    explicit ScriptedHttpServer(Script script);
    ScriptedHttpServer(Script script, Options options);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    quint16 port() const { return m_port; }
    // "127.0.0.1:port"
    QByteArray hostAndPort() const;
    // "http://127.0.0.1:port" + path
    QByteArray url(const QByteArray& path) const;

    // The request headers received so far, in order.
    QList<QByteArray> requests() const;
    int connectionCount() const { return m_connections; }
    // The most connections that were open at the same time.
    int mostOpenAtOnce() const { return m_mostOpen; }
    // TLS: the server names the clients sent (SNI; empty for none), and the handshakes that
    // failed (a client that refused the certificate).
    QList<QByteArray> serverNames() const;
    int failedHandshakes() const { return m_failedHandshakes; }

    // A whole HTTP/1.0 response: status line, the given header lines, an empty line, the body.
    static QByteArray response(int status, const QByteArray& body,
                               const QList<QByteArray>& headers = {});
    // The target of a request header: "/path?query" of "GET /path?query HTTP/1.0"; empty for none.
    static QByteArray target(const QByteArray& request);
    // A script that reads the request and answers with fixed bytes.
    static Script reply(const QByteArray& bytes);
    // A port on 127.0.0.1 where nothing listens (a connection there is refused).
    static quint16 closedPort();
    // Options for a server that serves each connection on a thread of its own.
    static Options concurrently();

private:
    void run();
    void serve(int fd);
    bool stopping() const { return m_stop.load(); }

    Script m_script;
    Options m_options;
    SSL_CTX* m_tls = nullptr;
    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::atomic<int> m_open{0};
    std::atomic<int> m_mostOpen{0};
    std::atomic<int> m_failedHandshakes{0};
    QList<QByteArray> m_serverNames;
    std::list<std::thread> m_workers;
    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    QList<QByteArray> m_requests;
    std::thread m_thread;
};
