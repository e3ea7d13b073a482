#include "service/ServiceServer.h"

#include "service/HttpServer.h"
#include "service/Pages.h"
#include "service/SearchAnswer.h"
#include "service/ServicePaths.h"
#include "service/Text.h"
#include "service/Thumbnail.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <sys/socket.h>

namespace {

const char* const Html = "text/html; charset=utf-8";

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
    static constexpr std::string_view Id = "uniqueid";
    return key.size() == Id.size() &&
           std::equal(key.begin(), key.end(), Id.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
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

int IdOf(const httplib::Request& request) {
    int id = 0;
    return ParseInt(request.matches[1].str(), id) ? id : 0;
}

} // namespace

ServiceServer::ServiceServer(const Catalog& catalog)
    : m_catalog(catalog)
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

std::string ServiceServer::BaseUrl(const httplib::Request& request) const {
    // The program sends its Host line without the port; the port is the one the connection
    // came in on then, so that every address of the answer leads back to this server.
    std::string host;
    int port = -1;
    if (!ParseHostHeader(request.get_header_value("Host"), host, port)) {
        host = request.local_addr.empty() ? m_address : request.local_addr;
        if (host.find(':') != std::string::npos)
            host = "[" + host + "]";
        port = -1;
    }
    if (port < 0)
        port = request.local_port > 0 ? request.local_port : m_port;
    // Appended, not "literal" + std::string: GCC 12 at -O3 warns falsely (-Wrestrict) there.
    std::string url = "http://";
    url += host;
    if (port != 80)
        url.append(":").append(std::to_string(port));
    return url;
}

void ServiceServer::Route() {
    HttpServer& server = *m_server;

    server.Get(SearchPath, [this](const httplib::Request& request, httplib::Response& response) {
        const SearchParameters p = ReadSearchParameters(request.params);
        const std::vector<const CatalogEntry*> found =
            m_catalog.Search({p.keyword, p.adult, p.site});
        std::vector<const CatalogEntry*> page;
        for (std::size_t i = static_cast<std::size_t>(p.start) - 1;
             i < found.size() && page.size() < static_cast<std::size_t>(p.results); ++i)
            page.push_back(found[i]);
        response.set_content(BuildAnswer(found.size(), p.start, page, BaseUrl(request)),
                             "text/xml; charset=utf-8");
    });

    server.Get(TopPagePath, [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(TopPage(m_catalog), Html);
    });
    server.Get("/files/sorvel",
               [this](const httplib::Request& request, httplib::Response& response) {
                   response.set_redirect(BaseUrl(request) + TopPagePath);
               });

    server.Get(InfoPagePath, [this](const httplib::Request& request, httplib::Response& response) {
        std::string html;
        if (!InfoPage(m_catalog, request.get_param_value("sn"), html))
            response.status = 404;
        response.set_content(html, Html);
    });

    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(MakerPage(), Html);
    });

    server.Get(R"(/watch/(\d{1,9}))",
               [this](const httplib::Request& request, httplib::Response& response) {
                   const CatalogEntry* entry = m_catalog.Find(IdOf(request));
                   if (!entry) {
                       response.status = 404;
                       return;
                   }
                   response.set_content(WatchPage(*entry), Html);
               });

    // The catalogue holds no media: a video's own address leads to its page.
    server.Get(R"(/videos/(\d{1,9}))",
               [this](const httplib::Request& request, httplib::Response& response) {
                   const CatalogEntry* entry = m_catalog.Find(IdOf(request));
                   if (!entry) {
                       response.status = 404;
                       return;
                   }
                   response.set_redirect(BaseUrl(request) + WatchPath(entry->id));
               });

    server.Get(R"(/thumbs/(\d{1,9})(-large)?\.jpg)",
               [this](const httplib::Request& request, httplib::Response& response) {
                   const CatalogEntry* entry = m_catalog.Find(IdOf(request));
                   if (!entry) {
                       response.status = 404;
                       return;
                   }
                   const bool large = request.matches[2].matched;
                   response.set_content(
                       RenderThumbnail(entry->id, large ? LargeThumbnailWidth : ThumbnailWidth,
                                       large ? LargeThumbnailHeight : ThumbnailHeight),
                       "image/jpeg");
                   response.set_header("Cache-Control", "max-age=86400");
               });

    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request& request, httplib::Response& response) {
            const HttpServer::ReadFailure failure = HttpServer::CurrentReadFailure();
            if (response.status == 400 && failure != HttpServer::ReadFailure::None) {
                if (failure == HttpServer::ReadFailure::TimedOut)
                    response.status = 408;
                else if (failure == HttpServer::ReadFailure::TooLarge)
                    response.status = 431;
                response.set_header("Connection", "close");
            }
            if (!response.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            response.set_content(response.status == 404 ? NotFoundPage(request.path)
                                                        : ErrorPage(response.status),
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
