#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A test-only HTTP server on 127.0.0.1 that runs on its own thread and answers every
// connection through a script: it can send any bytes, one byte per packet, stall, or close
// early. Connections are served one after the other, in the order they arrive.
class ScriptedHttpServer final {
public:
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

    private:
        friend class ScriptedHttpServer;
        Connection(ScriptedHttpServer& server, int fd)
            : m_server(server)
            , m_fd(fd) {}
        ScriptedHttpServer& m_server;
        int m_fd;
        QByteArray m_pending;
        QByteArray m_body;
    };

    using Script = std::function<void(Connection&)>;

    explicit ScriptedHttpServer(Script script);
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

    // A whole HTTP/1.0 response: status line, the given header lines, an empty line, the body.
    static QByteArray response(int status, const QByteArray& body,
                               const QList<QByteArray>& headers = {});
    // A script that reads the request and answers with fixed bytes.
    static Script reply(const QByteArray& bytes);
    // A port on 127.0.0.1 where nothing listens (a connection there is refused).
    static quint16 closedPort();

private:
    void run();
    bool stopping() const { return m_stop.load(); }

    Script m_script;
    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    QList<QByteArray> m_requests;
    std::thread m_thread;
};
