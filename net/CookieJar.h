#pragma once

#include <QByteArray>
#include <QDateTime>

#include <vector>

// The cookies that responses set, in memory, each kept for the origin (scheme, host and port)
// that set it and sent back only there: a cookie never reaches another host, nor another port
// of the same host. Its Domain and Path attributes are not honoured (it is always host-only and
// goes to every path of its origin); Max-Age and Expires end it early; a Secure cookie is taken
// only from an https origin.
class CookieJar final {
public:
    // The least limits a user agent is to support (RFC 6265, 6.1); past the two counts the
    // oldest cookie goes, and a larger cookie is refused rather than cut.
    static constexpr int MaxCookieSize = 4096; // name and value, in bytes
    static constexpr int MaxCookiesPerOrigin = 50;
    static constexpr int MaxCookies = 3000;

    // "http://host:port", the host in lower case.
    static QByteArray origin(const QByteArray& scheme, const QByteArray& host, int port);

    // Takes the value of one Set-Cookie line of a response from origin.
    void store(const QByteArray& origin, const QByteArray& setCookie);
    // The value of the Cookie line for a request to origin ("a=1; b=2", in the order the
    // cookies were first set), empty when there is none.
    QByteArray cookiesFor(const QByteArray& origin);
    int count() const { return static_cast<int>(m_cookies.size()); }

private:
    struct Cookie {
        QByteArray origin;
        QByteArray name;
        QByteArray value;
        QDateTime expires; // invalid: until the jar goes
    };

    void dropExpired();

    // Oldest first.
    std::vector<Cookie> m_cookies;
};
