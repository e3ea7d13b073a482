#pragma once

#include "service/Catalog.h"

#include <memory>
#include <mutex>
#include <string>

class HttpServer;
namespace httplib {
struct Request;
} // namespace httplib

// The search service over HTTP: the search answer, the pages and the thumbnails, one log line per
// request on standard error (without the installation id the program sends). Listen blocks until
// Stop, which any thread may call.
class ServiceServer final {
public:
    explicit ServiceServer(const Catalog& catalog);
    ~ServiceServer();
    ServiceServer(const ServiceServer&) = delete;
    ServiceServer& operator=(const ServiceServer&) = delete;

    // Binds the listening socket; port 0 takes a free port. Returns the port, or -1.
    int Bind(const std::string& address, int port);
    // Serves until Stop; false when it could not run.
    bool Listen();
    void Stop();
    bool IsRunning() const;

private:
    void Route();
    // "http://host:port" as the client reached this server.
    std::string BaseUrl(const httplib::Request& request) const;

    const Catalog& m_catalog;
    std::unique_ptr<HttpServer> m_server;
    std::string m_address;
    int m_port = -1;
    std::mutex m_logMutex;
};
