#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <functional>
#include <optional>

// A proxy server as a proxy variable names it: "[scheme://][user[:password]@]host[:port]".
struct ProxyServer final {
    // "http" (also when the value names none), "https", "socks4", "socks4a", "socks5" or
    // "socks5h", in lower case.
    QByteArray scheme;
    QByteArray host;
    int port = 0;
    QByteArray userName;
    QByteArray password;

    // "host:port", with an IPv6 address in brackets.
    QByteArray authority() const;
    // "scheme://host:port", without the credentials.
    QByteArray url() const;

    friend bool operator==(const ProxyServer&, const ProxyServer&) = default;
};

// Which proxy a request goes through, decided as curl decides it from its environment:
// http_proxy for http (never HTTP_PROXY, which a web server's CGI could set from a request's
// "Proxy:" header), https_proxy or HTTPS_PROXY for https, all_proxy or ALL_PROXY for either when
// its own is not set; an empty variable counts as not set. no_proxy (or NO_PROXY) lists the
// hosts reached directly: "*" alone for every host; otherwise names separated by commas, each
// matching itself and every name below it ("example.com" and ".example.com" match
// www.example.com, not nonexample.com), and IP addresses, optionally as CIDR ranges
// ("192.168.0.0/16"). A port without a value defaults to 1080, as in curl.
class ProxyRules final {
public:
    using Environment = std::function<QByteArray(const char* name)>;

    // No proxy for any request.
    ProxyRules() = default;

    // Read from the process's environment.
    static ProxyRules fromEnvironment();
    // Read from the given variables (a variable that is missing reads as empty).
    static ProxyRules fromVariables(const Environment& variable);

    // The proxy for a request with the scheme ("http" or "https") to the host, or none.
    std::optional<ProxyServer> proxyFor(const QByteArray& scheme, const QByteArray& host) const;
    // Whether no_proxy sends requests to the host directly.
    bool bypasses(const QByteArray& host) const;
    bool isEmpty() const { return !m_http && !m_https; }

    // The Chromium switches that give the web engine the same proxies: --proxy-server and
    // --proxy-bypass-list, or --no-proxy-server when there is none.
    QStringList chromiumSwitches() const;

private:
    std::optional<ProxyServer> m_http;
    std::optional<ProxyServer> m_https;
    QByteArray m_noProxy;
};

// Parses a proxy variable's value; none when it names no usable host and port.
std::optional<ProxyServer> parseProxyServer(const QByteArray& value);

// Hands the rules to Qt WebEngine, which reads its switches from QTWEBENGINE_CHROMIUM_FLAGS
// once, when the first page is made; left alone when the variable names proxy switches of its
// own. Without this the engine would read the proxy variables by rules of its own (HTTP_PROXY
// included). Returns whether the variable was changed.
bool passProxiesToWebEngine(const ProxyRules& rules);
