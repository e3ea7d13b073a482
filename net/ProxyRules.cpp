#include "net/ProxyRules.h"

#include <QHostAddress>
#include <QUrl>

#include <cctype>

namespace {

// curl's port for a proxy variable without one.
constexpr int DefaultProxyPort = 1080;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray variable(const ProxyRules::Environment& environment, const char* name) {
    return environment(name).trimmed();
}

// The first of the variables that is set and not empty.
QByteArray firstSet(const ProxyRules::Environment& environment,
                    std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const QByteArray value = variable(environment, name);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

// The host without the brackets of an IPv6 address and without a trailing dot.
QByteArray bareHost(QByteArray host) {
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    if (host.endsWith('.'))
        host.chop(1);
    return host;
}

// Whether address lies in the range "network" or "network/bits" (a bare address matches only
// itself).
bool inRange(const QHostAddress& address, const QByteArray& entry) {
    const qsizetype slash = entry.indexOf('/');
    const QHostAddress network(QString::fromLatin1(slash < 0 ? entry : entry.left(slash)));
    if (network.isNull() || network.protocol() != address.protocol())
        return false;
    const int fullLength = address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    bool ok = true;
    const int bits = slash < 0 ? fullLength : entry.mid(slash + 1).toInt(&ok);
    if (!ok || bits < 0 || bits > fullLength)
        return false;
    // A range of no bits is no range: curl then compares the whole address.
    return address.isInSubnet(network, bits == 0 ? fullLength : bits);
}

// A no_proxy entry without the dot that may end it or begin it (".example.com" is the same
// domain as "example.com").
QByteArray withoutOuterDots(QByteArray entry) {
    if (entry.endsWith('.'))
        entry.chop(1);
    if (entry.startsWith('.'))
        entry.remove(0, 1);
    return entry;
}

// Whether a no_proxy entry names the host: the host itself or a domain it lies in.
bool entryMatchesName(QByteArray entry, const QByteArray& host) {
    entry = withoutOuterDots(entry);
    if (entry.isEmpty())
        return false;
    const QByteArray name = host.toLower();
    entry = entry.toLower();
    if (entry == name)
        return true;
    return name.size() > entry.size() && name.endsWith(entry) &&
           name[name.size() - entry.size() - 1] == '.';
}

// The entries of a no_proxy value: separated by commas, with blanks around them; an entry
// followed by a blank and no comma ends the list, as in curl.
QList<QByteArray> noProxyEntries(const QByteArray& value) {
    QList<QByteArray> entries;
    qsizetype i = 0;
    while (i < value.size()) {
        while (i < value.size() && isBlank(value[i]))
            ++i;
        const qsizetype start = i;
        while (i < value.size() && !isBlank(value[i]) && value[i] != ',')
            ++i;
        if (i > start)
            entries << value.mid(start, i - start);
        while (i < value.size() && isBlank(value[i]))
            ++i;
        if (i >= value.size() || value[i] != ',')
            break;
        while (i < value.size() && value[i] == ',')
            ++i;
    }
    return entries;
}

// A Chromium proxy rule for one server: "scheme://host:port".
QString chromiumServer(const ProxyServer& server) {
    QByteArray scheme = server.scheme;
    if (scheme == "socks5h")
        scheme = "socks5";
    else if (scheme == "socks4a")
        scheme = "socks4";
    return QString::fromLatin1(scheme + "://" + server.authority());
}

} // namespace

QByteArray ProxyServer::authority() const {
    const QByteArray name = host.contains(':') ? '[' + host + ']' : host;
    return name + ':' + QByteArray::number(port);
}

QByteArray ProxyServer::url() const {
    return scheme + "://" + authority();
}

std::optional<ProxyServer> parseProxyServer(const QByteArray& value) {
    QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (!text.contains("://"))
        text.prepend("http://");
    const QUrl url = QUrl::fromEncoded(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    ProxyServer server;
    server.scheme = url.scheme().toLower().toLatin1();
    static const QByteArray known[] = {"http", "https", "socks4", "socks4a", "socks5", "socks5h"};
    if (std::find(std::begin(known), std::end(known), server.scheme) == std::end(known))
        return std::nullopt;
    server.host = url.host(QUrl::FullyEncoded).toLatin1();
    server.port = url.port(DefaultProxyPort);
    if (server.port <= 0 || server.port > 65535)
        return std::nullopt;
    server.userName = QByteArray::fromPercentEncoding(url.userName(QUrl::FullyEncoded).toLatin1());
    server.password = QByteArray::fromPercentEncoding(url.password(QUrl::FullyEncoded).toLatin1());
    return server;
}

ProxyRules ProxyRules::fromEnvironment() {
    return fromVariables([](const char* name) { return qgetenv(name); });
}

ProxyRules ProxyRules::fromVariables(const Environment& environment) {
    ProxyRules rules;
    const QByteArray all = firstSet(environment, {"all_proxy", "ALL_PROXY"});
    const QByteArray http = variable(environment, "http_proxy");
    const QByteArray https = firstSet(environment, {"https_proxy", "HTTPS_PROXY"});
    rules.m_http = parseProxyServer(http.isEmpty() ? all : http);
    rules.m_https = parseProxyServer(https.isEmpty() ? all : https);
    rules.m_noProxy = firstSet(environment, {"no_proxy", "NO_PROXY"});
    return rules;
}

bool ProxyRules::bypasses(const QByteArray& host) const {
    if (m_noProxy.isEmpty() || host.isEmpty())
        return false;
    if (m_noProxy == "*")
        return true;
    const QByteArray name = bareHost(host);
    const QHostAddress address(QString::fromLatin1(name));
    for (const QByteArray& entry : noProxyEntries(m_noProxy)) {
        if (address.isNull() ? entryMatchesName(entry, name) : inRange(address, entry))
            return true;
    }
    return false;
}

std::optional<ProxyServer> ProxyRules::proxyFor(const QByteArray& scheme,
                                                const QByteArray& host) const {
    const std::optional<ProxyServer>& server = scheme.toLower() == "https" ? m_https : m_http;
    if (!server || bypasses(host))
        return std::nullopt;
    return server;
}

QStringList ProxyRules::chromiumSwitches() const {
    if (isEmpty() || m_noProxy == "*")
        return {QStringLiteral("--no-proxy-server")};
    QStringList rules;
    if (m_http)
        rules << QStringLiteral("http=") + chromiumServer(*m_http);
    if (m_https)
        rules << QStringLiteral("https=") + chromiumServer(*m_https);
    QStringList switches{QStringLiteral("--proxy-server=") + rules.join(u';')};
    QStringList bypass;
    for (const QByteArray& entry : noProxyEntries(m_noProxy)) {
        const QByteArray name = withoutOuterDots(entry);
        if (name.isEmpty())
            continue;
        const QHostAddress address(QString::fromLatin1(name.split('/').first()));
        if (address.protocol() == QAbstractSocket::IPv6Protocol && !name.contains('/')) {
            bypass << u'[' + QString::fromLatin1(name) + u']';
        } else {
            bypass << QString::fromLatin1(name);
            // Chromium's rule for a name matches that name alone; curl's also the names below.
            if (address.isNull())
                bypass << QStringLiteral("*.") + QString::fromLatin1(name);
        }
    }
    if (!bypass.isEmpty())
        switches << QStringLiteral("--proxy-bypass-list=") + bypass.join(u',');
    return switches;
}

bool passProxiesToWebEngine(const ProxyRules& rules) {
    const QByteArray name = "QTWEBENGINE_CHROMIUM_FLAGS";
    QByteArray flags = qgetenv(name.constData());
    if (flags.contains("--proxy-") || flags.contains("--no-proxy-server"))
        return false;
    for (const QString& item : rules.chromiumSwitches())
        flags += ' ' + item.toUtf8();
    return qputenv(name.constData(), flags.trimmed());
}
