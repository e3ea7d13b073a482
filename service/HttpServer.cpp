#include "service/HttpServer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Why a request could not be read whole.
enum class ReadFailure { None, TimedOut, TooLarge, Other };

// Threads that grow with the work: a job starts a thread when no idle thread is there to take it
// (up to the most), and threads above the kept number end after a minute without work.
class WorkerPool final : public httplib::TaskQueue {
public:
    WorkerPool(std::size_t kept, std::size_t most)
        : m_kept(kept)
        , m_most(most) {}
    ~WorkerPool() override { shutdown(); }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void enqueue(std::function<void()> job) override {
        std::vector<std::thread> finished;
        bool runHere = false;
        {
            const std::lock_guard lock(m_mutex);
            finished.swap(m_finished);
            if (m_jobs.size() >= m_idle && m_threads.size() < m_most) {
                try {
                    std::thread thread(&WorkerPool::Work, this);
                    const std::thread::id id = thread.get_id();
                    m_threads.emplace(id, std::move(thread));
                } catch (const std::system_error&) {
                    // No new thread to be had: a running one takes the job, or this one.
                    runHere = m_threads.empty();
                }
            }
            if (!runHere)
                m_jobs.push_back(std::move(job));
        }
        m_wake.notify_one();
        for (std::thread& thread : finished)
            thread.join();
        if (runHere)
            job();
    }

    // Runs the jobs still queued, then ends every thread.
    void shutdown() override {
        std::vector<std::thread> finished;
        {
            std::unique_lock lock(m_mutex);
            m_shutdown = true;
            m_wake.notify_all();
            m_allEnded.wait(lock, [this] { return m_threads.empty(); });
            finished.swap(m_finished);
        }
        for (std::thread& thread : finished)
            thread.join();
    }

private:
    static constexpr std::chrono::seconds IdleLifetime{60};

    void Work() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_jobs.empty()) {
                if (m_shutdown)
                    break;
                ++m_idle;
                const bool woken = m_wake.wait_for(
                    lock, IdleLifetime, [this] { return !m_jobs.empty() || m_shutdown; });
                --m_idle;
                if (!woken && m_threads.size() > m_kept)
                    break;
                continue;
            }
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            job = nullptr;
            lock.lock();
        }
        // The thread cannot join itself: whoever comes next does.
        const auto self = m_threads.find(std::this_thread::get_id());
        m_finished.push_back(std::move(self->second));
        m_threads.erase(self);
        if (m_threads.empty())
            m_allEnded.notify_all();
    }

    const std::size_t m_kept;
    const std::size_t m_most;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_allEnded;
    std::deque<std::function<void()>> m_jobs;
    std::map<std::thread::id, std::thread> m_threads;
    std::vector<std::thread> m_finished;
    std::size_t m_idle = 0;
    bool m_shutdown = false;
};

// One client connection as the library's request parser reads and writes it: buffered reads
// that end at the request's deadline or byte limit, writes that end at the response's deadline,
// and both ending when the server stops (the wake descriptor turns readable).
class Connection final : public httplib::Stream {
public:
    Connection(int socket, int wake)
        : m_socket(socket)
        , m_wake(wake) {}

    // Waits until the next request begins (its first byte is there); false when none comes
    // before `until`, or the server stops.
    bool AwaitRequest(Clock::time_point until) const {
        return m_begin < m_end || Wait(POLLIN, until) == Ready::Yes;
    }

    void BeginRequest(Clock::time_point deadline) {
        m_readDeadline = deadline;
        m_requestBytes = 0;
        m_responding = false;
    }

    // Set by the first read that fails; the connection is of no further use then.
    ReadFailure Failure() const { return m_failure; }

    // Ends the sending side and reads on for a moment, before the connection is closed after
    // the answer to a request too large to read whole: the client may still be sending, and
    // closing with its bytes unread would reset the connection, which can destroy the answer
    // before the client has read it.
    void Linger() {
        shutdown(m_socket, SHUT_WR);
        const Clock::time_point until = Clock::now() + LingerTime;
        std::array<char, 4096> discarded;
        while (Wait(POLLIN, until) == Ready::Yes) {
            const ssize_t got = recv(m_socket, discarded.data(), discarded.size(), MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                return;
        }
    }

    bool is_readable() const override { return AwaitRequest(m_readDeadline); }

    bool is_writable() const override {
        const Clock::time_point until =
            m_responding ? m_writeDeadline : Clock::now() + HttpServer::ResponseDeadline;
        return Wait(POLLOUT, until) == Ready::Yes;
    }

    ssize_t read(char* data, size_t size) override {
        const std::size_t allowed = HttpServer::RequestMaxBytes - m_requestBytes;
        if (allowed == 0)
            return Fail(ReadFailure::TooLarge, -1);
        while (m_begin == m_end) {
            const Ready ready = Wait(POLLIN, m_readDeadline);
            if (ready != Ready::Yes) {
                return Fail(ready == Ready::TimedOut ? ReadFailure::TimedOut : ReadFailure::Other,
                            -1);
            }
            const ssize_t got = recv(m_socket, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                continue;
            if (got <= 0)
                return Fail(ReadFailure::Other, got);
            m_begin = 0;
            m_end = static_cast<std::size_t>(got);
        }
        const std::size_t n = std::min({size, m_end - m_begin, allowed});
        std::copy_n(m_buffer.data() + m_begin, n, data);
        m_begin += n;
        m_requestBytes += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* data, size_t size) override {
        if (!m_responding) {
            m_responding = true;
            m_writeDeadline = Clock::now() + HttpServer::ResponseDeadline;
        }
        for (;;) {
            if (Wait(POLLOUT, m_writeDeadline) != Ready::Yes)
                return -1;
            const ssize_t sent = send(m_socket, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                continue;
            return sent;
        }
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        Address(getpeername, ip, port);
    }

    void get_local_ip_and_port(std::string& ip, int& port) const override {
        Address(getsockname, ip, port);
    }

    socket_t socket() const override { return m_socket; }

private:
    enum class Ready { Yes, TimedOut, Stopped };

    static constexpr std::chrono::seconds LingerTime{2};

    ssize_t Fail(ReadFailure failure, ssize_t result) {
        if (m_failure == ReadFailure::None)
            m_failure = failure;
        return result;
    }

    // Waits for the socket to become ready for `events` until `until`. A stop ends a wait to
    // read even when the client is still sending; a wait to write ends only when the client takes
    // nothing, so that an answer on its way still goes out whole.
    Ready Wait(short events, Clock::time_point until) const {
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
            if (left.count() <= 0)
                return Ready::TimedOut;
            std::array<pollfd, 2> fds{{{m_socket, events, 0}, {m_wake, POLLIN, 0}}};
            const int n = poll(fds.data(), fds.size(),
                               static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
            if (n < 0 && errno != EINTR)
                return Ready::Stopped;
            const bool stopped = fds[1].revents != 0;
            if (stopped && events == POLLIN)
                return Ready::Stopped;
            if (fds[0].revents != 0)
                return Ready::Yes;
            if (stopped)
                return Ready::Stopped;
        }
    }

    void Address(int (*name)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        ip.clear();
        port = -1;
        if (name(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        std::array<char, NI_MAXHOST> host{};
        std::array<char, NI_MAXSERV> service{};
        if (getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host.data(), host.size(),
                        service.data(), service.size(), NI_NUMERICHOST | NI_NUMERICSERV) != 0)
            return;
        ip = host.data();
        port = std::atoi(service.data());
    }

    const int m_socket;
    const int m_wake;
    std::array<char, 4096> m_buffer{};
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    Clock::time_point m_readDeadline;
    Clock::time_point m_writeDeadline;
    std::size_t m_requestBytes = 0;
    ReadFailure m_failure = ReadFailure::None;
    bool m_responding = false;
};

// The connection a worker thread serves, for the error handler.
thread_local const Connection* t_connection = nullptr;

// The library answers a request it could not read as a bad one (400); the status says why it
// could not, when the connection knows.
void RefineReadFailureStatus(httplib::Response& response) {
    const ReadFailure failure = t_connection ? t_connection->Failure() : ReadFailure::None;
    if (response.status != 400 || failure == ReadFailure::None)
        return;
    if (failure == ReadFailure::TimedOut)
        response.status = 408;
    else if (failure == ReadFailure::TooLarge)
        response.status = 431;
    response.set_header("Connection", "close");
}

} // namespace

HttpServer::HttpServer()
    : m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_wake < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    new_task_queue = [] { return new WorkerPool(KeptWorkers, MaxWorkers); };
    set_error_handler(nullptr);
}

HttpServer::~HttpServer() {
    close(m_wake);
}

int HttpServer::Bind(const std::string& address, int port) {
    const int bound =
        port == 0 ? bind_to_any_port(address) : (bind_to_port(address, port) ? port : -1);
    // The library listens with the backlog it was compiled with; listen() on a listening socket
    // sets the backlog anew.
    if (bound >= 0 && ::listen(svr_sock_, ListenBacklog) != 0)
        return -1;
    return bound;
}

bool HttpServer::Listen() {
    return listen_after_bind();
}

void HttpServer::Stop() {
    m_stopping = true;
    const std::uint64_t one = 1;
    if (::write(m_wake, &one, sizeof one) < 0) {
        // Only an overflowing counter fails, and then the descriptor is readable already.
    }
    stop();
}

bool HttpServer::IsRunning() const {
    return is_running();
}

void HttpServer::set_error_handler(HandlerWithResponse handler) {
    httplib::Server::set_error_handler(
        HandlerWithResponse([handler = std::move(handler)](const httplib::Request& request,
                                                           httplib::Response& response) {
            RefineReadFailureStatus(response);
            return handler ? handler(request, response) : HandlerResponse::Unhandled;
        }));
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    // Without it, every answer after the first on a kept-alive connection waits for the client's
    // delayed acknowledgement (about 40 ms): the library writes the header and the body apart.
    const int yes = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);

    Connection connection(sock, m_wake);
    t_connection = &connection;
    bool served = false;
    // The first request must be whole within the deadline from the connection on; a later one
    // may begin within the keep-alive time-out and must then be whole within the deadline.
    Clock::time_point deadline = Clock::now() + RequestDeadline;
    for (std::size_t left = keep_alive_max_count_; left > 0 && !m_stopping; --left) {
        const bool first = left == keep_alive_max_count_;
        if (!connection.AwaitRequest(
                first ? deadline : Clock::now() + std::chrono::seconds(keep_alive_timeout_sec_)))
            break;
        if (!first)
            deadline = Clock::now() + RequestDeadline;
        connection.BeginRequest(deadline);
        bool closed = false;
        served = process_request(connection, left == 1, closed, nullptr);
        if (!served || closed || connection.Failure() != ReadFailure::None)
            break;
    }
    t_connection = nullptr;
    // A client that ran out of time has sent its last bytes long ago: no lingering for it.
    if (connection.Failure() == ReadFailure::TooLarge)
        connection.Linger();
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return served;
}
