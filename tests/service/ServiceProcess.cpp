#include "ServiceProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

constexpr int TimeoutMs = 20000;

} // namespace

ServiceProcess::ServiceProcess(const std::vector<std::string>& arguments,
                               const std::string& workingDirectory, const std::string& executable) {
    char path[] = "/tmp/sorvel-service-stderr-XXXXXX";
    const int errFd = mkstemp(path);
    if (errFd < 0)
        throw std::runtime_error("mkstemp failed");
    m_stderrPath = path;
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("pipe failed");

    std::vector<std::string> argv = {executable};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> cargv;
    for (std::string& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);

    m_pid = fork();
    if (m_pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        close(errFd);
        if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0)
            _exit(126);
        execv(cargv[0], cargv.data());
        _exit(127);
    }
    close(out[1]);
    close(errFd);
    if (m_pid < 0) {
        close(out[0]);
        throw std::runtime_error("fork failed");
    }

    // Read standard output until the "listening on" line is complete or the service ends.
    const std::string marker = "listening on http://";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (m_stdout.find(marker) == std::string::npos ||
           m_stdout.find('\n', m_stdout.find(marker)) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buffer[256];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_stdout.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    const std::size_t at = m_stdout.find(marker);
    const std::size_t end = m_stdout.find("/\n", at == std::string::npos ? 0 : at);
    if (at != std::string::npos && end != std::string::npos) {
        const std::size_t colon = m_stdout.rfind(':', end);
        m_port = std::atoi(m_stdout.substr(colon + 1, end - colon - 1).c_str());
    }
}

ServiceProcess::~ServiceProcess() {
    if (!m_ended && m_pid > 0) {
        kill(m_pid, SIGKILL);
        WaitForExit(std::chrono::milliseconds(TimeoutMs));
    }
    if (!m_stderrPath.empty())
        unlink(m_stderrPath.c_str());
}

int ServiceProcess::Stop(int signal, std::chrono::milliseconds within) {
    Signal(signal);
    return WaitForExit(within);
}

int ServiceProcess::Wait() {
    return WaitForExit(std::chrono::milliseconds(TimeoutMs));
}

void ServiceProcess::Signal(int signal) {
    if (!m_ended)
        kill(m_pid, signal);
}

int ServiceProcess::WaitForExit(std::chrono::milliseconds within) {
    if (m_ended)
        return m_exitCode;
    const auto deadline = std::chrono::steady_clock::now() + within;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid)
            break;
        if (done < 0 || std::chrono::steady_clock::now() > deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            m_ended = true;
            return m_exitCode = -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_ended = true;
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m_exitCode;
}

std::string ServiceProcess::Stderr() const {
    std::ifstream in(m_stderrPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TemporaryFile::TemporaryFile(const std::string& name, const std::string& content)
    : m_path(::testing::TempDir() + "/sorvel-" + std::to_string(getpid()) + "-" + name) {
    std::remove(m_path.c_str());
    if (!content.empty())
        std::ofstream(m_path, std::ios::binary) << content;
}

TemporaryFile::~TemporaryFile() {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        std::remove((m_path + suffix).c_str());
}

namespace {

// A connection to the service at the address, with the receive time-out of every test wait.
int Connect(int port, const std::string& address = "127.0.0.1") {
    sockaddr_in6 v6{};
    sockaddr_in v4{};
    const bool ipv6 = inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1;
    if (!ipv6 && inet_pton(AF_INET, address.c_str(), &v4.sin_addr) != 1)
        throw std::runtime_error("no IP address: " + address);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(static_cast<uint16_t>(port));
    v4.sin_family = AF_INET;
    v4.sin_port = htons(static_cast<uint16_t>(port));
    const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    timeval timeout{TimeoutMs / 1000, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const int connected = ipv6 ? connect(fd, reinterpret_cast<sockaddr*>(&v6), sizeof v6)
                               : connect(fd, reinterpret_cast<sockaddr*>(&v4), sizeof v4);
    if (connected != 0) {
        close(fd);
        throw std::runtime_error("cannot connect to the service at " + address);
    }
    return fd;
}

} // namespace

HttpResponse HttpGet(int port, const std::string& target, const std::optional<std::string>& host) {
    std::string request = "GET " + target + " HTTP/1.0\r\n";
    if (host && !host->empty())
        request += "Host: " + *host + "\r\n";
    request += "\r\n";
    return HttpRequest(port, request);
}

HttpResponse HttpRequest(int port, const std::string& request, const std::string& address) {
    const int fd = Connect(port, address);
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string raw;
    char buffer[65536];
    for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        raw.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);

    HttpResponse response;
    const std::size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return response;
    std::istringstream head(raw.substr(0, headEnd));
    std::string line;
    std::getline(head, line);
    if (line.size() > 12)
        response.status = std::atoi(line.substr(9, 3).c_str());
    while (std::getline(head, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = line.substr(0, colon);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::size_t value = colon + 1;
        while (value < line.size() && line[value] == ' ')
            ++value;
        response.headers[name] = line.substr(value);
    }
    response.body = raw.substr(headEnd + 4);
    return response;
}

SlowClients::SlowClients(int port, int count, std::chrono::milliseconds interval)
    : m_interval(interval)
    , m_answers(static_cast<std::size_t>(count))
    , m_closed(static_cast<std::size_t>(count)) {
    const std::string requestLine = "GET /files/sorvel/ HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (int i = 0; i < count; ++i) {
        m_sockets.push_back(Connect(port));
        send(m_sockets.back(), requestLine.data(), requestLine.size(), MSG_NOSIGNAL);
    }
    m_thread = std::thread(&SlowClients::Trickle, this);
}

SlowClients::~SlowClients() {
    {
        const std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    m_thread.join();
    for (const int fd : m_sockets)
        close(fd);
}

int SlowClients::WaitUntilClosed(std::chrono::milliseconds within) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, within,
                       [this] { return m_closedCount == static_cast<int>(m_sockets.size()); });
    return m_closedCount;
}

std::vector<std::string> SlowClients::Answers() {
    const std::lock_guard lock(m_mutex);
    return m_answers;
}

void SlowClients::Trickle() {
    using Clock = std::chrono::steady_clock;
    auto nextLine = Clock::now() + m_interval;
    for (int line = 1;;) {
        std::vector<pollfd> open;
        {
            const std::lock_guard lock(m_mutex);
            if (m_ending)
                return;
            for (std::size_t i = 0; i < m_sockets.size(); ++i) {
                if (!m_closed[i])
                    open.push_back({m_sockets[i], POLLIN, 0});
            }
        }
        // Wait briefly for whatever the service sends, so that a due line and the end of the
        // test are not late.
        poll(open.data(), open.size(), 20);
        const std::string header = "X-Trickle-" + std::to_string(line) + ": yes\r\n";
        const bool lineDue = Clock::now() >= nextLine;
        const std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < m_sockets.size(); ++i) {
            if (m_closed[i])
                continue;
            bool closed = false;
            char buffer[4096];
            const ssize_t n = recv(m_sockets[i], buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
                m_answers[i].append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                closed = true;
            if (!closed && lineDue &&
                send(m_sockets[i], header.data(), header.size(), MSG_NOSIGNAL) < 0)
                closed = true;
            if (closed) {
                m_closed[i] = true;
                ++m_closedCount;
                m_changed.notify_all();
            }
        }
        if (lineDue) {
            ++line;
            nextLine += m_interval;
        }
    }
}

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

ProgramView ReadAsProgram(std::string body) {
    ReplaceAll(body, "><", ">\n<");
    for (std::size_t at = body.find("amp;"); at != std::string::npos; at = body.find("amp;"))
        body.erase(at, 4);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = body.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(body.substr(start, end - start));
    lines.push_back(body.substr(start));

    ProgramView view;
    const std::string open = "totalResultsAvailable=\"", close = "\" totalResultsReturned";
    const std::size_t a = body.find(open), b = body.find(close);
    if (a != std::string::npos && b != std::string::npos && b >= a + open.size())
        view.total = body.substr(a + open.size(), b - a - open.size());

    const auto field = [&](std::size_t from, std::size_t to, const std::string& tag) {
        std::string value;
        for (std::size_t k = from; k < to; ++k) {
            const std::size_t o = lines[k].find("<" + tag + ">");
            const std::size_t c = lines[k].find("</" + tag + ">");
            if (o == std::string::npos || c == std::string::npos)
                continue;
            const std::size_t begin = o + tag.size() + 2;
            value = c > begin ? lines[k].substr(begin, c - begin) : std::string();
        }
        return value;
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("<Result>") == std::string::npos)
            continue;
        for (std::size_t j = i; j < lines.size(); ++j) {
            if (lines[j].find("</Result>") != std::string::npos) {
                view.rows.push_back({field(i, j, "Title"), field(i, j, "Duration"),
                                     field(i, j, "Copyright"), field(i, j, "RefererUrl"),
                                     field(i, j, "Url")});
                i = j;
                break;
            }
        }
    }
    return view;
}

std::string Encode(const std::string& utf8) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z')) {
            out += c;
        } else if (b == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

std::string SearchTarget(const std::string& keyword, const std::string& results,
                         const std::string& start, const std::string& adult,
                         const std::string& site) {
    return "/files/sorvel/api_yahoo.php?&query=" + Encode(keyword) + "&results=" + results +
           "&start=" + start + "&adult_ok=" + adult + "&site=" + site +
           "&uniqueid=1234-5678-9012-3456&ver=3.2";
}

std::vector<std::string> Titles(const ProgramView& view) {
    std::vector<std::string> titles;
    for (const ProgramRow& row : view.rows)
        titles.push_back(row.title);
    return titles;
}
