#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

// httplib's server with connection handling that slow and idle clients cannot exhaust:
// - a request (its line, its header and any body) must arrive whole within RequestDeadline,
//   counted from the connection for its first request and from the first byte for each later
//   one, and within RequestMaxBytes, however slowly it trickles; else the connection is closed;
// - a request that cannot be read whole is answered 408 when it ran out of time and 431 when it
//   grew too large (the library answers 400 for either), and its connection closes;
// - a response must be taken within ResponseDeadline;
// - the workers grow with the connections, up to MaxWorkers;
// - the listen backlog is ListenBacklog, and every connection has TCP_NODELAY;
// - Stop wakes every connection that waits for its client, so that Listen returns at once.
// The library as Debian ships it (0.11, compiled) reads with a time-out per read only, runs a
// fixed pool of eight workers and listens with a backlog of five; the one place to change how it
// reads is its connection handler, which this class replaces (the parsing stays the library's).
class HttpServer final : private httplib::Server {
public:
    static constexpr std::chrono::seconds RequestDeadline{5};
    // Far above any request of the program or a browser; the service takes no request bodies.
    static constexpr std::size_t RequestMaxBytes = 64 * 1024;
    static constexpr std::chrono::seconds ResponseDeadline{10};
    // Workers kept when idle, and the most there may be: each connection holds one, and a slow
    // client holds its worker until its deadline.
    static constexpr std::size_t KeptWorkers = 8;
    static constexpr std::size_t MaxWorkers = 512;
    // The kernel caps it at net.core.somaxconn.
    static constexpr int ListenBacklog = 1024;

    HttpServer();
    ~HttpServer() override;
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens; port 0 takes a free port. Returns the port, or -1.
    int Bind(const std::string& address, int port);
    // Serves until Stop; false when it could not run.
    bool Listen();
    // Any thread may call it. It stops a running server only: a caller that may come before Listen
    // waits for IsRunning.
    void Stop();
    bool IsRunning() const;

    // The handler of every answer with a status of 400 and above; it sees the status of a
    // request that could not be read whole as 408 or 431 already.
    void set_error_handler(HandlerWithResponse handler);

    using httplib::Server::Get;
    using httplib::Server::set_exception_handler;
    using httplib::Server::set_logger;
    using httplib::Server::set_socket_options;

private:
    bool process_and_close_socket(socket_t sock) override;

    int m_wake = -1; // an eventfd, readable from Stop on
    std::atomic<bool> m_stopping{false};
};
