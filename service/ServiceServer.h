#pragma once

#include "service/Catalog.h"
#include "service/ThumbnailCache.h"

#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <string_view>
#include <vector>

class HttpServer;
namespace httplib {
struct Request;
} // namespace httplib

struct ServiceOptions {
    // "scheme://host[:port][/path]" without a final slash: the address every absolute address
    // of the answer and the pages starts with. Empty: the address the request came in on.
    std::string publicUrl;
    // Clients (reverse proxies, by IP address as ParseIpAddress reads it) whose
    // X-Forwarded-Proto and X-Forwarded-Host say how the request reached them.
    std::vector<in6_addr> trustedProxies;
    std::size_t thumbnailCacheBytes = 64 * 1024 * 1024;
};

// Checks and normalises a public address ("https://Example.org/videos/" gives
// "https://example.org/videos"); false when it is no http or https address of a host (with an
// optional port and path, no query, no user).
bool NormalisePublicUrl(const std::string& url, std::string& normalised);

// Reads an IPv4 or IPv6 address in any of its written forms as one IPv6 address, an IPv4 address
// as its IPv4-mapped form (::ffff:192.0.2.1, which is how a client of a dual-stack listener
// shows), so that every form of one address compares equal. A zone ("fe80::1%eth0") is left
// aside. False for anything else.
bool ParseIpAddress(std::string_view text, in6_addr& address);

// The search service over HTTP: the search answer, the pages, the thumbnails and /healthz, one log
// line per request on standard error (without the installation id the program sends). Listen
// blocks until Stop, which any thread may call.
class ServiceServer final {
public:
    ServiceServer(Catalog& catalog, ServiceOptions options);
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
    // The address the client reached this service at ("http://host:port", or the public
    // address): the start of every absolute address of the answer and the pages.
    std::string BaseUrl(const httplib::Request& request) const;
    bool FromTrustedProxy(const httplib::Request& request) const;

    Catalog& m_catalog;
    const ServiceOptions m_options;
    ThumbnailCache m_thumbnails;
    std::unique_ptr<HttpServer> m_server;
    std::string m_address;
    int m_port = -1;
    std::mutex m_logMutex;
};
