#pragma once

#include "net/CookieJar.h"
#include "net/HeaderLines.h"
#include "net/ProxyRules.h"
#include "net/TcpClient.h"

#include <QByteArray>

#include <functional>
#include <optional>

// Optional values for request-header lines; an empty one adds no line. userName and password
// together add the Basic Authorization line. cookie is the caller's own: it goes with every
// request; the cookies that responses set stay with the origin that set them.
struct RequestHeaderFields final {
    QByteArray fromAddress;
    QByteArray userAgent;
    QByteArray cookie;
    QByteArray referer;
    QByteArray userName;
    QByteArray password;
};

// The HTTP/1.0 client: one command per call, on a fresh connection, reading the body until the
// server closes. The body goes into `body`, or with bodyToFile into the file that `body` names.
// Everything is bytes; nothing is converted. HTTP error statuses are no exceptions: onFailure
// is called and the server's page stays in `body`.
//
// An https URL goes over TLS 1.2 or later (TcpClient::startTls()): the server's certificate must
// come from a trusted authority and name the host. A request goes through the proxy that
// `proxy` names, else through the one proxyRules chooses for its scheme and host: an http
// request as the whole URL to the proxy, an https one through a tunnel the proxy opens
// (CONNECT). Failures are raised as SocketError with the kind of failure they are.
//
// A 300, 301, 302, 303, 307 or 308 answer with a Location is followed, the Location resolved
// against the URL that answered; 303 turns every command but Head into a Get, 301 and 302 turn
// a Post into a Get, and 307 and 308 repeat the command as it was. Any other answer, and a
// redirect without a Location, is the final one. The cookies that responses set go back only
// to the scheme, host and port that set them (CookieJar). `timeout` bounds each wait, `deadline`
// the whole command; redirects between http and https are followed like any other.
class HttpClient : public TcpClient {
public:
    // The commands, in the order of their request-line verbs.
    enum class Method : quint8 {
        Get = 0,
        Options = 1,
        Head = 2,
        Post = 3,
        Put = 4,
        Patch = 5,
        Copy = 6,
        Move = 7,
        Delete = 8,
        Link = 9,
        Unlink = 10,
        Trace = 11,
    };

    using ResultHandler = std::function<void(Method method)>;

    // Redirects followed by one command; one more ends it with "Too many redirects".
    static constexpr int MaxRedirects = 20;
    // Ceiling of the response header (status line, header lines and the empty line).
    static constexpr qint64 DefaultHeaderCeiling = 256 * 1024;
    // The longest request target sent (the path and query, or the whole URL to a proxy): the
    // common limit of web servers. A longer one is refused, never cut.
    static constexpr int MaxRequestTarget = 8192;
    // Milliseconds a command may take in all, redirects included, however steadily the server
    // sends: the minute the search answer may wait for one silent read.
    static constexpr int DefaultDeadline = 60000;

    HttpClient();
    ~HttpClient() override;

    // Memory mode: receives the response body. bodyToFile: the name of the file that does.
    QByteArray body = "Default.htm";
    // Receives the response header text; with dataFromFile: the name of the file that does.
    QByteArray header = "Head.txt";
    RequestHeaderFields headerFields;
    bool bodyToFile = false;
    // The data of Post, Put, Patch and Trace is the name of a file to send, and the header
    // goes into the file named by `header`.
    bool dataFromFile = false;
    qint64 headerCeiling = DefaultHeaderCeiling;
    // Milliseconds one command may take in all (its waits end as by the time-out when it has
    // passed); 0: no bound beyond timeout.
    int deadline = DefaultDeadline;
    // The proxies of a request for which `proxy` names none; by default none.
    ProxyRules proxyRules;
    // PEM certificates of the authorities that an https server's certificate must come from,
    // instead of the system's (empty: the system's).
    QByteArray trustedCertificates;

    Handler onAboutToSend;
    ResultHandler onSuccess;
    ResultHandler onFailure;
    DecisionHandler onRedirect;
    Handler onAuthenticationNeeded;

    // Ends the running command (its wait fails with its cancel failure); no "Abort" status.
    void abort() override;

    virtual void get(const QByteArray& url);
    virtual void options(const QByteArray& url);
    virtual void head(const QByteArray& url);
    virtual void deleteResource(const QByteArray& url);
    // Post URL-encodes data unless dataFromFile is set.
    virtual void post(const QByteArray& url, const QByteArray& data);
    virtual void put(const QByteArray& url, const QByteArray& data);
    virtual void patch(const QByteArray& url, const QByteArray& data);
    virtual void trace(const QByteArray& url, const QByteArray& data);
    virtual void copy(const QByteArray& url, const QByteArray& target);
    virtual void move(const QByteArray& url, const QByteArray& target);
    virtual void link(const QByteArray& url, const QByteArray& link);
    virtual void unlink(const QByteArray& url, const QByteArray& link);

    // State of the last command.
    const QByteArray& url() const { return m_url; }
    const QByteArray& requestPath() const { return m_requestPath; }
    const HeaderLines& requestHeader() const { return m_requestHeader; }
    const QByteArray& redirectLocation() const { return m_redirectLocation; }
    // The value of the last Set-Cookie line of the last response.
    QByteArray receivedCookie() const {
        return m_setCookies.isEmpty() ? QByteArray() : m_setCookies.constLast();
    }
    Method currentMethod() const { return m_currentMethod; }
    // The server of the last request: "host", or "host:port" when the port is not its scheme's.
    QByteArray authority() const;
    // Whether the last request went over TLS.
    bool isSecure() const { return m_secure; }
    // "host:port" of the proxy the last request went through; empty when it went directly.
    QByteArray proxyAuthority() const;

protected:
    virtual void executeCommand();
    virtual void parseUrl();
    virtual void buildRequestHeader();
    virtual void sendRequest();
    virtual void readResponseHeader();
    QByteArray connectionHost() const override;
    int connectionPort() const override;

    bool m_encodePostData = true;

private:
    void run(Method method, const QByteArray& url);
    bool sendsData() const;
    bool isRedirect() const;
    // The absolute URL of the request just answered.
    QByteArray answeredUrl() const;
    QByteArray origin() const;
    // Chooses the proxy of the request that parseUrl() prepared.
    void chooseRoute();
    bool viaProxy() const { return !proxy.isEmpty() || m_route.has_value(); }
    // Connects to the server, or to the proxy and through its tunnel, and starts TLS for https.
    void openConnection();
    void openTunnel();
    // The value of a Proxy-Authorization line for the proxy of the request; empty when it
    // needs none.
    QByteArray proxyCredentials() const;

    QByteArray m_url;
    bool m_secure = false;
    // The proxy proxyRules chose for the running request; none when `proxy` is set.
    std::optional<ProxyServer> m_route;
    QByteArray m_requestPath;
    HeaderLines m_requestHeader;
    QByteArray m_redirectLocation;
    bool m_locationInResponse = false;
    QList<QByteArray> m_setCookies;
    CookieJar m_cookies;
    QByteArray m_sendData;
    QByteArray m_uriValue;
    Method m_currentMethod = Method::Get;
    // The command on the wire: currentMethod, or what a redirect turned it into.
    Method m_requestMethod = Method::Get;
};

// RFC 3986 resolution of a reference (a Location's value) against an absolute URL: an
// absolute reference stays as it is, a relative one ("/x", "x", "../x", "?q", "//host/x") takes
// what it lacks from the base. The fragment is dropped.
QByteArray resolveUrl(const QByteArray& base, const QByteArray& reference);
