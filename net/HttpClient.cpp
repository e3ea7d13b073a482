#include "net/HttpClient.h"

#include "net/UrlEncoder.h"
#include "net/UuEncoder.h"
#include "platform/Convert.h"
#include "platform/Exception.h"

#include <QBuffer>
#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <cctype>
#include <climits>
#include <optional>

namespace {

constexpr const char* Verbs[] = {"GET ",  "OPTIONS ", "HEAD ",   "POST ", "PUT ",    "PATCH ",
                                 "COPY ", "MOVE ",    "DELETE ", "LINK ", "UNLINK ", "TRACE "};

// Index of the n-th (1-based) occurrence of ch, or -1.
qsizetype nthIndexOf(const QByteArray& text, char ch, int n) {
    qsizetype at = -1;
    for (int i = 0; i < n; ++i) {
        at = text.indexOf(ch, at + 1);
        if (at < 0)
            return -1;
    }
    return at;
}

QByteArray withoutLineEnd(QByteArray line) {
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The status line's second space-separated field as a number; 0 when it is none. A status line
// without a space before the reason phrase gives 0, as its field then carries the line end.
qint16 statusCode(const QByteArray& line) {
    const qsizetype first = line.indexOf(' ');
    if (first < 0)
        return 0;
    const qsizetype second = line.indexOf(' ', first + 1);
    const QByteArray field = line.mid(first + 1, second < 0 ? -1 : second - first - 1);
    const std::optional<int> value = tryParseInt(QString::fromLatin1(field));
    if (!value || *value < SHRT_MIN || *value > SHRT_MAX)
        return 0;
    return static_cast<qint16>(*value);
}

// The first run of decimal digits in text, 0 when there is none.
qint32 firstNumber(const QByteArray& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] < '0' || text[i] > '9'))
        ++i;
    qint64 value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<qint64>(value * 10 + (text[i] - '0'), INT_MAX);
    return static_cast<qint32>(value);
}

QString localFileName(const QByteArray& name) {
    return QFile::decodeName(name);
}

// "Basic " and the base64 text of "user:password", unbroken.
QByteArray basicCredentials(const QByteArray& user, const QByteArray& password) {
    QBuffer input;
    input.setData(user + ':' + password);
    input.open(QIODevice::ReadOnly);
    QBuffer output;
    output.open(QIODevice::ReadWrite);
    UuEncoder encoder;
    encoder.format = UuEncoder::Format::Base64;
    encoder.input = &input;
    encoder.output = &output;
    encoder.encode();
    return "Basic " + QByteArray(output.data()).replace("\r\n", "");
}

int defaultPort(bool secure) {
    return secure ? 443 : 80;
}

// The command a redirect asks for: 303 turns every command but Head into a Get, 301 and 302 a
// Post (as browsers do), and every other redirect keeps the command as it was.
HttpClient::Method redirectedMethod(HttpClient::Method method, int status) {
    if (status == 303 && method != HttpClient::Method::Head)
        return HttpClient::Method::Get;
    if ((status == 301 || status == 302) && method == HttpClient::Method::Post)
        return HttpClient::Method::Get;
    return method;
}

// The parts of a URL reference (RFC 3986, 3), without its fragment; an empty scheme is an absent
// one.
struct UrlParts {
    QByteArray scheme;
    bool hasAuthority = false;
    QByteArray authority;
    QByteArray path;
    bool hasQuery = false;
    QByteArray query;
};

UrlParts splitUrl(QByteArray text) {
    UrlParts parts;
    const qsizetype hash = text.indexOf('#');
    if (hash >= 0)
        text.truncate(hash);
    // A scheme is a letter, then letters, digits, "+", "-" or ".", then ":".
    qsizetype i = 0;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) ||
                               text[i] == '+' || text[i] == '-' || text[i] == '.'))
        ++i;
    if (i > 0 && i < text.size() && text[i] == ':' &&
        std::isalpha(static_cast<unsigned char>(text[0]))) {
        parts.scheme = text.left(i);
        text.remove(0, i + 1);
    }
    if (text.startsWith("//")) {
        qsizetype end = 2;
        while (end < text.size() && text[end] != '/' && text[end] != '?')
            ++end;
        parts.hasAuthority = true;
        parts.authority = text.mid(2, end - 2);
        text.remove(0, end);
    }
    const qsizetype question = text.indexOf('?');
    if (question >= 0) {
        parts.hasQuery = true;
        parts.query = text.mid(question + 1);
        text.truncate(question);
    }
    parts.path = text;
    return parts;
}

// RFC 3986, 5.2.4.
QByteArray removeDotSegments(QByteArray input) {
    QByteArray output;
    const auto dropLastSegment = [&output] {
        const qsizetype slash = output.lastIndexOf('/');
        output.truncate(slash < 0 ? 0 : slash);
    };
    while (!input.isEmpty()) {
        if (input.startsWith("../")) {
            input.remove(0, 3);
        } else if (input.startsWith("./")) {
            input.remove(0, 2);
        } else if (input.startsWith("/./")) {
            input.remove(0, 2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.startsWith("/../")) {
            input.remove(0, 3);
            dropLastSegment();
        } else if (input == "/..") {
            input = "/";
            dropLastSegment();
        } else if (input == "." || input == "..") {
            input.clear();
        } else {
            const qsizetype next = input.indexOf('/', input.startsWith('/') ? 1 : 0);
            const qsizetype length = next < 0 ? input.size() : next;
            output += input.left(length);
            input.remove(0, length);
        }
    }
    return output;
}

} // namespace

QByteArray resolveUrl(const QByteArray& base, const QByteArray& reference) {
    const QByteArray trimmed = reference.trimmed();
    const UrlParts ref = splitUrl(trimmed);
    // An absolute reference is taken as it is.
    if (!ref.scheme.isEmpty()) {
        const qsizetype hash = trimmed.indexOf('#');
        return hash < 0 ? trimmed : trimmed.left(hash);
    }
    const UrlParts from = splitUrl(base);
    UrlParts target = from;
    if (ref.hasAuthority) {
        target.authority = ref.authority;
        target.path = removeDotSegments(ref.path);
        target.hasQuery = ref.hasQuery;
        target.query = ref.query;
    } else if (ref.path.isEmpty()) {
        if (ref.hasQuery) {
            target.hasQuery = true;
            target.query = ref.query;
        }
    } else {
        if (ref.path.startsWith('/')) {
            target.path = removeDotSegments(ref.path);
        } else {
            const qsizetype slash = from.path.lastIndexOf('/');
            const QByteArray directory = slash < 0 ? QByteArray("/") : from.path.left(slash + 1);
            target.path = removeDotSegments(directory + ref.path);
        }
        target.hasQuery = ref.hasQuery;
        target.query = ref.query;
    }
    QByteArray url = target.scheme + "://" + target.authority;
    url += target.path.isEmpty() ? QByteArray("/") : target.path;
    if (target.hasQuery)
        url += '?' + target.query;
    return url;
}

HttpClient::HttpClient() = default;

HttpClient::~HttpClient() = default;

void HttpClient::abort() {
    m_lookupDone = true;
    cancel();
}

// --- commands -------------------------------------------------------------------------------

void HttpClient::run(Method method, const QByteArray& url) {
    m_currentMethod = method;
    m_url = url;
    executeCommand();
}

void HttpClient::get(const QByteArray& url) {
    run(Method::Get, url);
}

void HttpClient::options(const QByteArray& url) {
    run(Method::Options, url);
}

void HttpClient::head(const QByteArray& url) {
    run(Method::Head, url);
}

void HttpClient::deleteResource(const QByteArray& url) {
    run(Method::Delete, url);
}

void HttpClient::post(const QByteArray& url, const QByteArray& data) {
    m_sendData = data;
    if (m_encodePostData && !dataFromFile) {
        UrlEncoder encoder;
        encoder.input = data;
        m_sendData = encoder.encode();
    }
    run(Method::Post, url);
}

void HttpClient::put(const QByteArray& url, const QByteArray& data) {
    m_sendData = data;
    run(Method::Put, url);
}

void HttpClient::patch(const QByteArray& url, const QByteArray& data) {
    m_sendData = data;
    run(Method::Patch, url);
}

void HttpClient::trace(const QByteArray& url, const QByteArray& data) {
    m_sendData = data;
    run(Method::Trace, url);
}

void HttpClient::copy(const QByteArray& url, const QByteArray& target) {
    m_uriValue = target;
    run(Method::Copy, url);
}

void HttpClient::move(const QByteArray& url, const QByteArray& target) {
    m_uriValue = target;
    run(Method::Move, url);
}

void HttpClient::link(const QByteArray& url, const QByteArray& link) {
    m_uriValue = link;
    m_sendData = "Send.dat";
    run(Method::Link, url);
}

void HttpClient::unlink(const QByteArray& url, const QByteArray& link) {
    m_uriValue = link;
    m_sendData = "Send.dat";
    run(Method::Unlink, url);
}

// link() and unlink() carry no data, so they announce none either.
bool HttpClient::sendsData() const {
    return m_requestMethod == Method::Post || m_requestMethod == Method::Put ||
           m_requestMethod == Method::Patch || m_requestMethod == Method::Trace;
}

// --- the exchange ---------------------------------------------------------------------------

void HttpClient::executeCommand() {
    startDeadline(deadline);
    const auto deadlineEnd = qScopeGuard([this] { endDeadline(); });
    m_requestMethod = m_currentMethod;
    for (int redirects = 0;; ++redirects) {
        parseUrl();
        chooseRoute();
        buildRequestHeader();
        if (onAboutToSend)
            onAboutToSend(this);
        try {
            openConnection();
            sendRequest();
            replyNumber = 0;
            readResponseHeader();
            for (const QByteArray& cookie : m_setCookies)
                m_cookies.store(origin(), cookie);
            if (bodyToFile)
                captureFile(body);
            else
                captureString(body, -1);
            if (replyNumber <= 298) {
                if (onSuccess)
                    onSuccess(m_currentMethod);
                reportStatus(2, "Transaction Completed");
            } else if (replyNumber >= 400 && onFailure) {
                onFailure(m_currentMethod);
            }
        } catch (...) {
            try {
                disconnectFromHost();
            } catch (...) {
            }
            throw;
        }
        disconnectFromHost();

        if (replyNumber == 401 && onAuthenticationNeeded)
            onAuthenticationNeeded(this);
        if (!isRedirect())
            return;
        const QByteArray answered = answeredUrl();
        m_url = m_redirectLocation;
        if (onRedirect) {
            bool handled = false;
            onRedirect(handled);
            if (handled)
                return;
        }
        if (redirects == MaxRedirects)
            throw SocketError(QStringLiteral("Too many redirects (more than %1)").arg(MaxRedirects),
                              TransferFailure::Protocol);
        m_url = resolveUrl(answered, m_url);
        m_requestMethod = redirectedMethod(m_requestMethod, replyNumber);
    }
}

bool HttpClient::isRedirect() const {
    static constexpr int followed[] = {300, 301, 302, 303, 307, 308};
    return m_locationInResponse && !m_redirectLocation.trimmed().isEmpty() &&
           std::find(std::begin(followed), std::end(followed), replyNumber) != std::end(followed);
}

QByteArray HttpClient::authority() const {
    if (host.isEmpty())
        return {};
    return port == defaultPort(m_secure) ? host : host + ':' + QByteArray::number(port);
}

QByteArray HttpClient::proxyAuthority() const {
    if (!proxy.isEmpty())
        return proxy + ':' + QByteArray::number(proxyPort);
    return m_route ? m_route->authority() : QByteArray();
}

QByteArray HttpClient::answeredUrl() const {
    return (m_secure ? "https://" : "http://") + authority() + m_requestPath;
}

QByteArray HttpClient::origin() const {
    return CookieJar::origin(m_secure ? "https" : "http", host, port);
}

void HttpClient::chooseRoute() {
    m_route.reset();
    if (!proxy.isEmpty())
        return;
    m_route = proxyRules.proxyFor(m_secure ? "https" : "http", host);
    if (m_route && m_route->scheme != "http")
        throw SocketError(
            QStringLiteral("Proxy not supported: %1").arg(QString::fromLatin1(m_route->url())),
            TransferFailure::Proxy);
}

QByteArray HttpClient::connectionHost() const {
    return m_route ? m_route->host : TcpClient::connectionHost();
}

int HttpClient::connectionPort() const {
    return m_route ? m_route->port : TcpClient::connectionPort();
}

QByteArray HttpClient::proxyCredentials() const {
    if (!m_route || m_route->userName.isEmpty())
        return {};
    return basicCredentials(m_route->userName, m_route->password);
}

void HttpClient::openConnection() {
    try {
        connectToHost();
    } catch (const SocketError& e) {
        // A proxy that cannot be reached says nothing about the server or the network beyond.
        if (viaProxy() && e.failure() == TransferFailure::NoConnection)
            throw SocketError(e.message(), TransferFailure::Proxy);
        throw;
    }
    if (!m_secure)
        return;
    if (viaProxy())
        openTunnel();
    startTls(host, trustedCertificates);
}

// Asks the proxy for a connection to the server, which then carries TLS end to end.
void HttpClient::openTunnel() {
    const QByteArray target = host + ':' + QByteArray::number(port);
    QByteArray request = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
    const QByteArray credentials = proxyCredentials();
    if (!credentials.isEmpty())
        request += "Proxy-Authorization: " + credentials + "\r\n";
    write(request + "\r\n");
    const QByteArray status = readLine();
    qint64 read = status.size();
    for (QByteArray line = status; !line.isEmpty() && line != "\n" && line != "\r\n";) {
        line = readLine();
        read += line.size();
        if (read > headerCeiling)
            throw SocketError(QStringLiteral("Proxy answer too long"), TransferFailure::Proxy);
    }
    const int code = statusCode(status);
    if (code < 200 || code > 299)
        throw SocketError(QStringLiteral("Proxy refused the tunnel to %1: %2")
                              .arg(QString::fromLatin1(target),
                                   status.isEmpty() ? QStringLiteral("no answer")
                                                    : QString::fromLatin1(withoutLineEnd(status))),
                          TransferFailure::Proxy);
}

void HttpClient::parseUrl() {
    if (m_url.isEmpty())
        throw Exception(QStringLiteral("Empty URL"));
    if (port == 0)
        port = 80;

    const bool hasScheme = m_url.contains("//");
    const qsizetype pathStart = hasScheme ? nthIndexOf(m_url, '/', 3) : m_url.indexOf('/');
    // Bytes that may not stand in a request line are encoded: a control byte would end the line
    // early or start a header line of its own. The host keeps its non-ASCII bytes for the lookup.
    const QByteArray head = requestLineBytes(m_url.left(pathStart < 0 ? m_url.size() : pathStart),
                                             /*keepNonAscii=*/true);
    m_requestPath = pathStart < 0 ? QByteArray() : requestLineBytes(m_url.mid(pathStart));
    m_url = head + m_requestPath;

    // A URL without any scheme keeps the port of the last request, and goes out as plain HTTP.
    m_secure = false;
    const qsizetype colon = m_url.indexOf(':');
    if (colon >= 0) {
        const QByteArray scheme = m_url.left(colon).toLower();
        m_secure = scheme == "https";
        if (scheme == "gopher")
            port = 70;
        else if (scheme == "ftp")
            port = 21;
        else
            port = defaultPort(m_secure);
    }

    QByteArray hostPart;
    if (hasScheme) {
        const qsizetype second = nthIndexOf(m_url, '/', 2);
        const qsizetype third = nthIndexOf(m_url, '/', 3);
        hostPart = m_url.mid(second + 1, third < 0 ? -1 : third - second - 1);
    } else if (!m_url.startsWith('/')) {
        const qsizetype slash = m_url.indexOf('/');
        hostPart = slash < 0 ? m_url : m_url.left(slash);
    }
    const qsizetype portColon = hostPart.indexOf(':');
    if (portColon >= 0) {
        port = parseInt(QString::fromLatin1(hostPart.mid(portColon + 1)));
        hostPart.truncate(portColon);
    }
    if (!hostPart.isEmpty())
        host = hostPart;

    if (m_requestPath.isEmpty()) {
        m_requestPath = "/";
        m_url += '/';
    }
}

void HttpClient::buildRequestHeader() {
    // An https request goes through the proxy's tunnel as it would go to the server. A plain one
    // names the whole URL: as given with `proxy`, as answered with a proxy of proxyRules.
    QByteArray target = m_requestPath;
    if (!m_secure && !proxy.isEmpty())
        target = m_url;
    else if (!m_secure && m_route)
        target = answeredUrl();
    if (target.size() > MaxRequestTarget)
        throw Exception(QStringLiteral("Request target too long: %1 bytes, at most %2")
                            .arg(target.size())
                            .arg(MaxRequestTarget));
    m_requestHeader.clear();
    m_requestHeader.append(Verbs[static_cast<int>(m_requestMethod)] + target + " HTTP/1.0");
    if (!m_secure && !proxy.isEmpty()) {
        m_requestHeader.append("Proxy-Connection: Keep-Alive");
        m_requestHeader.append("Host: " + host);
    }
    m_requestHeader.setHeader("Host", host);
    m_requestHeader.append("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    m_requestHeader.append(
        "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
    if (!headerFields.userAgent.isEmpty())
        m_requestHeader.setHeader("User-Agent", headerFields.userAgent);
    if (!headerFields.fromAddress.isEmpty())
        m_requestHeader.setHeader("From", headerFields.fromAddress);
    QByteArray cookies = headerFields.cookie;
    const QByteArray received = m_cookies.cookiesFor(origin());
    if (!received.isEmpty())
        cookies += (cookies.isEmpty() ? "" : "; ") + received;
    if (!cookies.isEmpty())
        m_requestHeader.setHeader("Cookie", cookies);
    if (!headerFields.referer.isEmpty())
        m_requestHeader.setHeader("Referer", headerFields.referer);
    if (!headerFields.userName.isEmpty() && !headerFields.password.isEmpty())
        m_requestHeader.setHeader("Authorization",
                                  basicCredentials(headerFields.userName, headerFields.password));
    if (const QByteArray credentials = m_secure ? QByteArray() : proxyCredentials();
        !credentials.isEmpty())
        m_requestHeader.setHeader("Proxy-Authorization", credentials);
    m_requestHeader.append("Content-type: application/x-www-form-urlencoded");
    if (m_requestMethod == Method::Copy || m_requestMethod == Method::Move)
        m_requestHeader.append("URI-header: " + m_uriValue);
    else if (m_requestMethod == Method::Link || m_requestMethod == Method::Unlink)
        m_requestHeader.append("Link: " + m_uriValue);
    if (sendsData()) {
        qint64 length = m_sendData.size();
        if (dataFromFile) {
            QFile file(localFileName(m_sendData));
            if (!file.open(QIODevice::ReadOnly))
                throw Exception(QStringLiteral("Cannot open file \"%1\". %2")
                                    .arg(localFileName(m_sendData), file.errorString()));
            length = file.size();
        }
        m_requestHeader.append("Content-Length: " + QByteArray::number(length));
    }
}

void HttpClient::sendRequest() {
    write(m_requestHeader.text());
    writeLine(QByteArray());
    if (sendsData()) {
        if (dataFromFile)
            sendFile(m_sendData);
        else
            write(m_sendData);
    }
}

void HttpClient::readResponseHeader() {
    bytesTotal = 0;
    m_setCookies.clear();
    m_locationInResponse = false;
    std::optional<QFile> file;
    if (dataFromFile) {
        file.emplace(localFileName(header));
        if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw Exception(QStringLiteral("Cannot create file \"%1\". %2")
                                .arg(localFileName(header), file->errorString()));
    } else {
        header.clear();
    }
    qint64 stored = 0;
    const auto store = [&](const QByteArray& line) {
        stored += line.size();
        if (stored > headerCeiling)
            throw AbortedError(QStringLiteral("Socket capture aborted"), TransferFailure::Protocol);
        if (file) {
            if (file->write(line) != line.size())
                throw Exception(QStringLiteral("Stream write error"));
        } else {
            header += line;
        }
    };

    QByteArray line = readLine();
    if (!line.isEmpty())
        replyNumber = statusCode(line);
    store(line);
    for (;;) {
        line = readLine();
        const QByteArray name = line.toUpper().split(' ').first();
        // Values are taken whole (a line is bounded by readLine): a cut one would be a wrong one.
        if (name == "SET-COOKIE:") {
            m_setCookies << withoutLineEnd(line.mid(12));
        } else if (name == "LOCATION:") {
            m_redirectLocation = withoutLineEnd(line.mid(10));
            m_locationInResponse = true;
        } else if (name == "CONTENT-LENGTH:") {
            bytesTotal = firstNumber(line.mid(15));
        }
        store(line);
        if (line.isEmpty() || line == "\n" || line == "\r\n")
            return;
    }
}
