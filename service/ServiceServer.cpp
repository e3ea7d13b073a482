#include "service/ServiceServer.h"

#include "service/HttpServer.h"
#include "service/Pages.h"
#include "service/SearchAnswer.h"
#include "service/ServicePaths.h"
#include "service/Text.h"
#include "service/Thumbnail.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string_view>
#include <sys/socket.h>

namespace {

const char* const Html = "text/html; charset=utf-8";

// The newest videos the top page shows.
constexpr int NewestOnTopPage = 8;

bool IsHostName(const std::string& host) {
    if (host.empty() || host.size() > 253)
        return false;
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

bool IsIpv6Literal(const std::string& host) {
    if (host.size() < 2 || host.size() > 47)
        return false;
    for (const char c : host) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                        (c >= 'A' && c <= 'F') || c == ':' || c == '.' || c == '%';
        if (!ok)
            return false;
    }
    return true;
}

// Splits a Host header into a host (an IPv6 literal with its brackets) and a port; false when it
// is no plain host name or address, so that nothing of it reaches the answer or a page.
bool ParseHostHeader(const std::string& header, std::string& host, int& port) {
    std::string rest;
    if (!header.empty() && header.front() == '[') {
        const std::size_t close = header.find(']');
        if (close == std::string::npos || !IsIpv6Literal(header.substr(1, close - 1)))
            return false;
        host = header.substr(0, close + 1);
        rest = header.substr(close + 1);
    } else {
        const std::size_t colon = header.find(':');
        host = header.substr(0, colon);
        if (!IsHostName(host))
            return false;
        rest = colon == std::string::npos ? std::string() : header.substr(colon);
    }
    port = -1;
    if (rest.empty())
        return true;
    if (rest.front() != ':' || rest.size() > 6)
        return false;
    int value = 0;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        if (rest[i] < '0' || rest[i] > '9')
            return false;
        value = value * 10 + (rest[i] - '0');
    }
    if (rest.size() == 1 || value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

std::string Timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

bool IsInstallationIdKey(std::string_view key) {
    return AsciiLower(key) == "uniqueid";
}

// The request target as the log shows it: without the installation id (the uniqueid key, which
// the service never reads), so that the log keeps no record of who searched for what.
std::string TargetForLog(const std::string& target) {
    const std::size_t query = target.find('?');
    if (query == std::string::npos)
        return target;
    std::string logged = target.substr(0, query + 1);
    std::string_view rest(target);
    rest.remove_prefix(query + 1);
    for (bool first = true;;) {
        const std::size_t ampersand = rest.find('&');
        const std::string_view pair = rest.substr(0, ampersand);
        if (!IsInstallationIdKey(pair.substr(0, pair.find('=')))) {
            if (!first)
                logged += '&';
            logged += pair;
            first = false;
        }
        if (ampersand == std::string_view::npos)
            return logged;
        rest.remove_prefix(ampersand + 1);
    }
}

// The first of a header's comma-separated values, without surrounding blanks (a chain of
// proxies appends; the first names what the client reached).
std::string FirstValue(std::string_view header) {
    return std::string(TrimBlanks(header.substr(0, header.find(','))));
}

int DefaultPort(const std::string& scheme) {
    return scheme == "https" ? 443 : 80;
}

std::string Origin(const std::string& scheme, const std::string& host, int port) {
    std::string url = scheme;
    url += "://";
    url += host;
    if (port != DefaultPort(scheme))
        url.append(":").append(std::to_string(port));
    return url;
}

int IdOf(const httplib::Request& request) {
    int id = 0;
    return ParseInt(request.matches[1].str(), id) ? id : 0;
}

} // namespace

bool NormalisePublicUrl(const std::string& url, std::string& normalised) {
    const std::size_t separator = url.find("://");
    if (separator == std::string::npos)
        return false;
    const std::string scheme = AsciiLower(url.substr(0, separator));
    if (scheme != "http" && scheme != "https")
        return false;
    const std::size_t pathStart = url.find('/', separator + 3);
    const std::string authority = url.substr(separator + 3, pathStart - (separator + 3));
    std::string host;
    int port = -1;
    if (!ParseHostHeader(authority, host, port))
        return false;
    std::string path = pathStart == std::string::npos ? std::string() : url.substr(pathStart);
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F || c == '?' || c == '#' || c == '"' || c == '<' || c == '>' ||
            c == '\\')
            return false;
    }
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    normalised = Origin(scheme, AsciiLower(host), port < 0 ? DefaultPort(scheme) : port) + path;
    return true;
}

bool ParseIpAddress(std::string_view text, in6_addr& address) {
    const std::string plain(text.substr(0, text.find('%')));
    if (inet_pton(AF_INET6, plain.c_str(), &address) == 1)
        return true;
    in_addr v4{};
    if (plain.size() != text.size() || inet_pton(AF_INET, plain.c_str(), &v4) != 1)
        return false;
    address = in6_addr{};
    address.s6_addr[10] = 0xff;
    address.s6_addr[11] = 0xff;
    std::memcpy(&address.s6_addr[12], &v4, sizeof v4);
    return true;
}

ServiceServer::ServiceServer(Catalog& catalog, ServiceOptions options)
    : m_catalog(catalog)
    , m_options(std::move(options))
    , m_thumbnails(m_options.thumbnailCacheBytes)
    , m_server(std::make_unique<HttpServer>()) {
    // The library's default takes SO_REUSEPORT, with which a second service on the same port
    // starts without complaint and gets half of the connections. Reusing the address after a
    // restart is all we want.
    m_server->set_socket_options([](int socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    Route();
}

ServiceServer::~ServiceServer() = default;

int ServiceServer::Bind(const std::string& address, int port) {
    m_address = address;
    m_port = m_server->Bind(address, port);
    return m_port;
}

bool ServiceServer::Listen() {
    return m_server->Listen();
}

void ServiceServer::Stop() {
    m_server->Stop();
}

bool ServiceServer::IsRunning() const {
    return m_server->IsRunning();
}

bool ServiceServer::FromTrustedProxy(const httplib::Request& request) const {
    in6_addr client{};
    if (!ParseIpAddress(request.remote_addr, client))
        return false;
    const auto& proxies = m_options.trustedProxies;
    return std::any_of(proxies.begin(), proxies.end(),
                       [&](const in6_addr& proxy) { return IN6_ARE_ADDR_EQUAL(&proxy, &client); });
}

std::string ServiceServer::BaseUrl(const httplib::Request& request) const {
    if (!m_options.publicUrl.empty())
        return m_options.publicUrl;
    // The program sends its Host line without the port; the port is the one the connection
    // came in on then, so that every address of the answer leads back to this server. What a
    // trusted proxy forwards without a port is reached on the scheme's own port.
    std::string scheme = "http";
    std::string host;
    int port = -1;
    if (!ParseHostHeader(request.get_header_value("Host"), host, port)) {
        host.clear();
        port = -1;
    }
    bool forwarded = false;
    if (FromTrustedProxy(request)) {
        const std::string proto =
            AsciiLower(FirstValue(request.get_header_value("X-Forwarded-Proto")));
        if (proto == "http" || proto == "https") {
            scheme = proto;
            forwarded = true;
        }
        std::string forwardedHost;
        int forwardedPort = -1;
        if (ParseHostHeader(FirstValue(request.get_header_value("X-Forwarded-Host")), forwardedHost,
                            forwardedPort)) {
            host = forwardedHost;
            port = forwardedPort;
            forwarded = true;
        }
    }
    if (host.empty()) {
        host = request.local_addr.empty() ? m_address : request.local_addr;
        if (host.find(':') != std::string::npos)
            host = "[" + host + "]";
        port = -1;
    }
    if (port < 0)
        port = forwarded ? DefaultPort(scheme)
                         : (request.local_port > 0 ? request.local_port : m_port);
    return Origin(scheme, host, port);
}

void ServiceServer::Route() {
    HttpServer& server = *m_server;

    server.Get(SearchPath, [this](const httplib::Request& request, httplib::Response& response) {
        const SearchParameters p = ReadSearchParameters(request.params);
        const SearchPage page = m_catalog.Search({p.keyword, p.adult, p.site, p.start, p.results});
        response.set_content(BuildAnswer(page.total, p.start, page.entries, BaseUrl(request)),
                             "text/xml; charset=utf-8");
    });

    server.Get(TopPagePath, [this](const httplib::Request& request, httplib::Response& response) {
        response.set_content(
            TopPage(m_catalog.Sites(), m_catalog.Newest(NewestOnTopPage), BaseUrl(request)), Html);
    });
    server.Get("/files/sorvel",
               [this](const httplib::Request& request, httplib::Response& response) {
                   response.set_redirect(BaseUrl(request) + TopPagePath);
               });

    server.Get(InfoPagePath, [this](const httplib::Request& request, httplib::Response& response) {
        std::string html;
        if (!InfoPage(EntryCount(m_catalog.Sites()), request.get_param_value("sn"), html,
                      BaseUrl(request)))
            response.status = 404;
        response.set_content(html, Html);
    });

    server.Get("/", [this](const httplib::Request& request, httplib::Response& response) {
        response.set_content(MakerPage(BaseUrl(request)), Html);
    });

    // For a load balancer or a service manager: 200 while the catalogue answers.
    server.Get("/healthz", [this](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        try {
            m_catalog.Check();
            response.set_content("ok\n", "text/plain; charset=utf-8");
        } catch (const CatalogError& e) {
            response.status = 503;
            response.set_content("the catalogue cannot be read\n", "text/plain; charset=utf-8");
            const std::lock_guard lock(m_logMutex);
            std::fprintf(stderr, "sorvel-service: %s\n", e.what());
        }
    });

    server.Get(R"(/watch/(\d{1,9}))",
               [this](const httplib::Request& request, httplib::Response& response) {
                   const std::optional<CatalogEntry> entry = m_catalog.Find(IdOf(request));
                   if (!entry) {
                       response.status = 404;
                       return;
                   }
                   response.set_content(WatchPage(*entry, BaseUrl(request)), Html);
               });

    // The catalogue holds no media: a video's own address leads to its page.
    server.Get(R"(/videos/(\d{1,9}))",
               [this](const httplib::Request& request, httplib::Response& response) {
                   const std::optional<CatalogEntry> entry = m_catalog.Find(IdOf(request));
                   if (!entry) {
                       response.status = 404;
                       return;
                   }
                   response.set_redirect(BaseUrl(request) + WatchPath(entry->id));
               });

    server.Get(R"(/thumbs/(\d{1,9})(-large)?\.jpg)",
               [this](const httplib::Request& request, httplib::Response& response) {
                   const int id = IdOf(request);
                   if (!m_catalog.Find(id)) {
                       response.status = 404;
                       return;
                   }
                   const bool large = request.matches[2].matched;
                   const std::string tag = ThumbnailCache::ETag(id, large);
                   response.set_header("Cache-Control", "public, max-age=86400");
                   response.set_header("ETag", tag);
                   if (ThumbnailCache::Matches(request.get_header_value("If-None-Match"), tag)) {
                       response.status = 304;
                       return;
                   }
                   const std::shared_ptr<const std::string> jpeg = m_thumbnails.Get(id, large);
                   response.set_content(*jpeg, "image/jpeg");
               });

    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [this](const httplib::Request& request, httplib::Response& response) {
            if (!response.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            const std::string base = BaseUrl(request);
            response.set_content(response.status == 404 ? NotFoundPage(request.path, base)
                                                        : ErrorPage(response.status, base),
                                 Html);
            return httplib::Server::HandlerResponse::Handled;
        }));

    server.set_exception_handler(
        [this](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
            std::string what = "unknown error";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            {
                const std::lock_guard lock(m_logMutex);
                std::fprintf(stderr, "sorvel-service: %s\n", what.c_str());
            }
            response.status = 500;
            response.body.clear();
        });

    server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        const std::string line = Timestamp() + " " + request.remote_addr + " \"" + request.method +
                                 " " + PrintableAscii(TargetForLog(request.target)) + " " +
                                 request.version + "\" " + std::to_string(response.status) + " " +
                                 std::to_string(response.body.size()) + "\n";
        const std::lock_guard lock(m_logMutex);
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    });
}
