#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The real sorvel-service executable in a child process, with its standard error in a file.
class ServiceProcess final {
public:
    // Starts the service with these arguments (after the program name), in the given working
    // directory when one is given, and waits for its "listening on" line (or its end). The
    // executable is the build's unless another is given.
    explicit ServiceProcess(const std::vector<std::string>& arguments,
                            const std::string& workingDirectory = {},
                            const std::string& executable = SORVEL_SERVICE_EXE);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // The port from the "listening on" line; 0 when the service ended without one.
    int Port() const { return m_port; }
    // Sends the signal and waits for the end; the exit code, or -1 for an abnormal end or none
    // within the time (the service is killed then).
    int Stop(int signal, std::chrono::milliseconds within = std::chrono::seconds(20));
    // Waits for the end without a signal (for a service that fails to start).
    int Wait();
    // Sends the signal and returns at once.
    void Signal(int signal);
    std::string Stdout() const { return m_stdout; }
    std::string Stderr() const;

private:
    int WaitForExit(std::chrono::milliseconds within);

    int m_pid = -1;
    int m_port = 0;
    int m_exitCode = -1;
    bool m_ended = false;
    std::string m_stdout;
    std::string m_stderrPath;
};

// A file of the test's temporary folder (with the content, when there is any), removed at the end
// with the files SQLite keeps beside it; named after the process too, since CTest runs tests side
// by side.
class TemporaryFile final {
public:
    explicit TemporaryFile(const std::string& name, const std::string& content = {});
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

struct HttpResponse {
    int status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

// One request as Sorvel Browser sends it: "GET target HTTP/1.0", a Host line (none when host
// is empty), then the answer read until the server closes the connection. The target's bytes go
// out unchanged (raw tabs and other bytes included).
HttpResponse HttpGet(int port, const std::string& target,
                     const std::optional<std::string>& host = std::string("127.0.0.1"));

// Sends the request's bytes as they are to the service at the address (IPv4 or IPv6), then reads
// the answer until the server closes the connection.
HttpResponse HttpRequest(int port, const std::string& request,
                         const std::string& address = "127.0.0.1");

// Clients that each send a request line and then one header line every interval, never ending
// their request: from a thread of their own, until the service closes the connection (each
// reads whatever answer comes before the close) or they are destroyed.
class SlowClients final {
public:
    SlowClients(int port, int count, std::chrono::milliseconds interval);
    ~SlowClients();
    SlowClients(const SlowClients&) = delete;
    SlowClients& operator=(const SlowClients&) = delete;

    // Waits until the service has closed every connection or the time has passed; how many
    // it closed.
    int WaitUntilClosed(std::chrono::milliseconds within);
    // What the service sent to each client before it closed the connection.
    std::vector<std::string> Answers();

private:
    void Trickle();

    std::chrono::milliseconds m_interval;
    std::vector<int> m_sockets;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_answers;
    std::vector<bool> m_closed;
    int m_closedCount = 0;
    bool m_ending = false;
    std::thread m_thread;
};

// What the program takes from an answer: it puts a line break into every "><", deletes every
// "amp;", reads the total between two fixed markers and one row per "<Result>" ... "</Result>",
// where the last line of the block holding both tags of a field decides it.
struct ProgramRow {
    std::string title, duration, copyright, refererUrl, url;
};
struct ProgramView {
    std::string total;
    std::vector<ProgramRow> rows;
};
ProgramView ReadAsProgram(std::string body);
std::vector<std::string> Titles(const ProgramView& view);

// The program's URL encoding of the keyword: letters and digits stay, a space becomes "+",
// every other byte "%XX".
std::string Encode(const std::string& utf8);

inline const std::string Ideographic = "\u3000";

// The search request as the program sends it.
std::string SearchTarget(const std::string& keyword, const std::string& results = "20",
                         const std::string& start = "1", const std::string& adult = "0",
                         const std::string& site = "");
