#include "net/CookieJar.h"

#include <QNetworkCookie>

#include <algorithm>

namespace {

// Control characters make a cookie unusable: it is ignored rather than sent back.
bool hasControlCharacter(const QByteArray& text) {
    return std::any_of(text.begin(), text.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return (c < 0x20 && c != '\t') || c == 0x7F;
    });
}

} // namespace

QByteArray CookieJar::origin(const QByteArray& scheme, const QByteArray& host, int port) {
    return scheme.toLower() + "://" + host.toLower() + ':' + QByteArray::number(port);
}

void CookieJar::store(const QByteArray& origin, const QByteArray& setCookie) {
    // One Set-Cookie line sets one cookie; a line break would smuggle in more.
    if (setCookie.contains('\n'))
        return;
    const QList<QNetworkCookie> parsed = QNetworkCookie::parseCookies(setCookie);
    if (parsed.size() != 1)
        return;
    const QNetworkCookie& cookie = parsed.front();
    if (cookie.name().isEmpty() || cookie.name().size() + cookie.value().size() > MaxCookieSize ||
        hasControlCharacter(cookie.name()) || hasControlCharacter(cookie.value()) ||
        (cookie.isSecure() && !origin.startsWith("https://")))
        return;

    const auto same = std::find_if(m_cookies.begin(), m_cookies.end(), [&](const Cookie& c) {
        return c.origin == origin && c.name == cookie.name();
    });
    const QDateTime expires = cookie.expirationDate();
    if (expires.isValid() && expires <= QDateTime::currentDateTimeUtc()) {
        // An expiry in the past deletes the cookie.
        if (same != m_cookies.end())
            m_cookies.erase(same);
        return;
    }
    if (same != m_cookies.end()) {
        same->value = cookie.value();
        same->expires = expires;
        return;
    }
    m_cookies.push_back({origin, cookie.name(), cookie.value(), expires});

    const auto ofOrigin = [&](const Cookie& c) { return c.origin == origin; };
    if (std::count_if(m_cookies.begin(), m_cookies.end(), ofOrigin) > MaxCookiesPerOrigin)
        m_cookies.erase(std::find_if(m_cookies.begin(), m_cookies.end(), ofOrigin));
    if (m_cookies.size() > MaxCookies)
        m_cookies.erase(m_cookies.begin());
}

QByteArray CookieJar::cookiesFor(const QByteArray& origin) {
    dropExpired();
    QByteArray line;
    for (const Cookie& cookie : m_cookies) {
        if (cookie.origin != origin)
            continue;
        if (!line.isEmpty())
            line += "; ";
        line += cookie.name + '=' + cookie.value;
    }
    return line;
}

void CookieJar::dropExpired() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::erase_if(m_cookies,
                  [&](const Cookie& c) { return c.expires.isValid() && c.expires <= now; });
}
