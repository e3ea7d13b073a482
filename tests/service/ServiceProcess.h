#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// The real sorvel-service executable in a child process, with its standard error in a file.
class ServiceProcess final {
public:
    // Starts the service with these arguments (after the program name), in the given working
    // directory when one is given, and waits for its "listening on" line.
    explicit ServiceProcess(const std::vector<std::string>& arguments,
                            const std::string& workingDirectory = {});
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // The port from the "listening on" line; 0 when the service ended without one.
    int Port() const { return m_port; }
    // Sends the signal and waits for the end; the exit code, or -1 for an abnormal end.
    int Stop(int signal);
    // Waits for the end without a signal (for a service that fails to start).
    int Wait();
    std::string Stdout() const { return m_stdout; }
    std::string Stderr() const;

private:
    int WaitForExit();

    int m_pid = -1;
    int m_port = 0;
    int m_exitCode = -1;
    bool m_ended = false;
    std::string m_stdout;
    std::string m_stderrPath;
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
