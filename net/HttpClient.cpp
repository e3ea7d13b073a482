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
qsizetype NthIndexOf(const QByteArray& text, char ch, int n) {
    qsizetype at = -1;
    for (int i = 0; i < n; ++i) {
        at = text.indexOf(ch, at + 1);
        if (at < 0)
            return -1;
    }
    return at;
}

QByteArray WithoutLineEnd(QByteArray line) {
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The status line's second space-separated field as a number; 0 when it is none. A status line
// without a space before the reason phrase gives 0, as its field then carries the line end.
qint16 StatusCode(const QByteArray& line) {
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
qint32 FirstNumber(const QByteArray& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] < '0' || text[i] > '9'))
        ++i;
    qint64 value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<qint64>(value * 10 + (text[i] - '0'), INT_MAX);
    return static_cast<qint32>(value);
}

QString FileName(const QByteArray& name) {
    return QFile::decodeName(name);
}

// The command a redirect asks for: 303 turns every command but Head into a Get, 301 and 302 a
// Post (as browsers do), and every other redirect keeps the command as it was.
CmdType RedirectedCommand(CmdType cmd, int status) {
    if (status == 303 && cmd != CmdType::Head)
        return CmdType::Get;
    if ((status == 301 || status == 302) && cmd == CmdType::Post)
        return CmdType::Get;
    return cmd;
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

UrlParts SplitUrl(QByteArray text) {
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
QByteArray RemoveDotSegments(QByteArray input) {
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

QByteArray ResolveUrl(const QByteArray& base, const QByteArray& reference) {
    const QByteArray trimmed = reference.trimmed();
    const UrlParts ref = SplitUrl(trimmed);
    // An absolute reference is taken as it is (any scheme but http is refused when it is asked).
    if (!ref.scheme.isEmpty()) {
        const qsizetype hash = trimmed.indexOf('#');
        return hash < 0 ? trimmed : trimmed.left(hash);
    }
    const UrlParts from = SplitUrl(base);
    UrlParts target = from;
    if (ref.hasAuthority) {
        target.authority = ref.authority;
        target.path = RemoveDotSegments(ref.path);
        target.hasQuery = ref.hasQuery;
        target.query = ref.query;
    } else if (ref.path.isEmpty()) {
        if (ref.hasQuery) {
            target.hasQuery = true;
            target.query = ref.query;
        }
    } else {
        if (ref.path.startsWith('/')) {
            target.path = RemoveDotSegments(ref.path);
        } else {
            const qsizetype slash = from.path.lastIndexOf('/');
            const QByteArray directory = slash < 0 ? QByteArray("/") : from.path.left(slash + 1);
            target.path = RemoveDotSegments(directory + ref.path);
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

TNMHTTP::TNMHTTP() = default;

TNMHTTP::~TNMHTTP() = default;

void TNMHTTP::Abort() {
    LookupDone = true;
    Cancel();
}

// --- commands -------------------------------------------------------------------------------

void TNMHTTP::Run(CmdType cmd, const QByteArray& url) {
    m_currentCmd = cmd;
    m_url = url;
    ExecuteCommand();
}

void TNMHTTP::Get(const QByteArray& url) {
    Run(CmdType::Get, url);
}

void TNMHTTP::Options(const QByteArray& url) {
    Run(CmdType::Options, url);
}

void TNMHTTP::Head(const QByteArray& url) {
    Run(CmdType::Head, url);
}

void TNMHTTP::Delete(const QByteArray& url) {
    Run(CmdType::Delete, url);
}

void TNMHTTP::Post(const QByteArray& url, const QByteArray& data) {
    m_sendData = data;
    if (EncodePostData && !OutputFileMode) {
        TNMURL encoder;
        encoder.InputString = data;
        m_sendData = encoder.encode();
    }
    Run(CmdType::Post, url);
}

void TNMHTTP::Put(const QByteArray& url, const QByteArray& data) {
    m_sendData = data;
    Run(CmdType::Put, url);
}

void TNMHTTP::Patch(const QByteArray& url, const QByteArray& data) {
    m_sendData = data;
    Run(CmdType::Patch, url);
}

void TNMHTTP::Trace(const QByteArray& url, const QByteArray& data) {
    m_sendData = data;
    Run(CmdType::Trace, url);
}

void TNMHTTP::Copy(const QByteArray& url, const QByteArray& target) {
    m_uriValue = target;
    Run(CmdType::Copy, url);
}

void TNMHTTP::Move(const QByteArray& url, const QByteArray& target) {
    m_uriValue = target;
    Run(CmdType::Move, url);
}

void TNMHTTP::Link(const QByteArray& url, const QByteArray& link) {
    m_uriValue = link;
    m_sendData = "Send.dat";
    Run(CmdType::Link, url);
}

void TNMHTTP::Unlink(const QByteArray& url, const QByteArray& link) {
    m_uriValue = link;
    m_sendData = "Send.dat";
    Run(CmdType::Unlink, url);
}

// Link and Unlink carry no data, so they announce none either.
bool TNMHTTP::SendsData() const {
    return m_requestCmd == CmdType::Post || m_requestCmd == CmdType::Put ||
           m_requestCmd == CmdType::Patch || m_requestCmd == CmdType::Trace;
}

// --- the exchange ---------------------------------------------------------------------------

void TNMHTTP::ExecuteCommand() {
    StartDeadline(Deadline);
    const auto endDeadline = qScopeGuard([this] { EndDeadline(); });
    m_requestCmd = m_currentCmd;
    for (int redirects = 0;; ++redirects) {
        ParseURL();
        BuildRequestHeader();
        if (OnAboutToSend)
            OnAboutToSend(this);
        try {
            Connect();
            SendRequest();
            ReplyNumber = 0;
            ReadResponseHeader();
            for (const QByteArray& cookie : m_setCookies)
                m_cookies.Store(Origin(), cookie);
            if (InputFileMode)
                CaptureFile(Body);
            else
                CaptureString(Body, -1);
            if (ReplyNumber <= 298) {
                if (OnSuccess)
                    OnSuccess(m_currentCmd);
                StatusMessage(2, "Transaction Completed");
            } else if (ReplyNumber >= 400 && OnFailure) {
                OnFailure(m_currentCmd);
            }
        } catch (...) {
            try {
                Disconnect();
            } catch (...) {
            }
            throw;
        }
        Disconnect();

        if (ReplyNumber == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(this);
        if (!IsRedirect())
            return;
        const QByteArray answered = AnsweredUrl();
        m_url = m_redirectLocation;
        if (OnRedirect) {
            bool handled = false;
            OnRedirect(handled);
            if (handled)
                return;
        }
        if (redirects == MaxRedirects)
            throw Exception(QStringLiteral("Too many redirects (more than %1)").arg(MaxRedirects));
        m_url = ResolveUrl(answered, m_url);
        m_requestCmd = RedirectedCommand(m_requestCmd, ReplyNumber);
    }
}

bool TNMHTTP::IsRedirect() const {
    static constexpr int followed[] = {300, 301, 302, 303, 307, 308};
    return m_locationInResponse && !m_redirectLocation.trimmed().isEmpty() &&
           std::find(std::begin(followed), std::end(followed), ReplyNumber) != std::end(followed);
}

QByteArray TNMHTTP::AnsweredUrl() const {
    QByteArray server = Host;
    if (Port != 80)
        server += ':' + QByteArray::number(Port);
    return "http://" + server + m_requestPath;
}

QByteArray TNMHTTP::Origin() const {
    return CookieJar::Origin("http", Host, Port);
}

void TNMHTTP::ParseURL() {
    if (m_url.isEmpty())
        throw Exception(QStringLiteral("Empty URL"));
    if (Port == 0)
        Port = 80;

    const bool hasScheme = m_url.contains("//");
    const qsizetype pathStart = hasScheme ? NthIndexOf(m_url, '/', 3) : m_url.indexOf('/');
    // Bytes that may not stand in a request line are encoded: a control byte would end the line
    // early or start a header line of its own. The host keeps its non-ASCII bytes for the lookup.
    const QByteArray head = RequestLineBytes(m_url.left(pathStart < 0 ? m_url.size() : pathStart),
                                             /*keepNonAscii=*/true);
    m_requestPath = pathStart < 0 ? QByteArray() : RequestLineBytes(m_url.mid(pathStart));
    m_url = head + m_requestPath;

    const qsizetype colon = m_url.indexOf(':');
    if (colon >= 0) {
        const QByteArray scheme = m_url.left(colon).toLower();
        if (scheme == "gopher")
            Port = 70;
        else if (scheme == "ftp")
            Port = 21;
        else if (scheme == "https")
            throw Exception(QStringLiteral("HTTP Secure Socket is not supported"));
        else
            Port = 80;
    }

    QByteArray hostPart;
    if (hasScheme) {
        const qsizetype second = NthIndexOf(m_url, '/', 2);
        const qsizetype third = NthIndexOf(m_url, '/', 3);
        hostPart = m_url.mid(second + 1, third < 0 ? -1 : third - second - 1);
    } else if (!m_url.startsWith('/')) {
        const qsizetype slash = m_url.indexOf('/');
        hostPart = slash < 0 ? m_url : m_url.left(slash);
    }
    const qsizetype portColon = hostPart.indexOf(':');
    if (portColon >= 0) {
        Port = parseInt(QString::fromLatin1(hostPart.mid(portColon + 1)));
        hostPart.truncate(portColon);
    }
    if (!hostPart.isEmpty())
        Host = hostPart;

    if (m_requestPath.isEmpty()) {
        m_requestPath = "/";
        m_url += '/';
    }
}

void TNMHTTP::BuildRequestHeader() {
    const QByteArray& target = Proxy.isEmpty() ? m_requestPath : m_url;
    if (target.size() > MaxRequestTarget)
        throw Exception(QStringLiteral("Request target too long: %1 bytes, at most %2")
                            .arg(target.size())
                            .arg(MaxRequestTarget));
    m_requestHeader.Clear();
    m_requestHeader.Add(Verbs[static_cast<int>(m_requestCmd)] + target + " HTTP/1.0");
    if (!Proxy.isEmpty()) {
        m_requestHeader.Add("Proxy-Connection: Keep-Alive");
        m_requestHeader.Add("Host: " + Host);
    }
    m_requestHeader.SetHeader("Host", Host);
    m_requestHeader.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    m_requestHeader.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
    if (!HeaderInfo.LocalProgram.isEmpty())
        m_requestHeader.SetHeader("User-Agent", HeaderInfo.LocalProgram);
    if (!HeaderInfo.LocalMailAddress.isEmpty())
        m_requestHeader.SetHeader("From", HeaderInfo.LocalMailAddress);
    QByteArray cookies = HeaderInfo.Cookie;
    const QByteArray received = m_cookies.CookiesFor(Origin());
    if (!received.isEmpty())
        cookies += (cookies.isEmpty() ? "" : "; ") + received;
    if (!cookies.isEmpty())
        m_requestHeader.SetHeader("Cookie", cookies);
    if (!HeaderInfo.Referer.isEmpty())
        m_requestHeader.SetHeader("Referer", HeaderInfo.Referer);
    if (!HeaderInfo.UserId.isEmpty() && !HeaderInfo.Password.isEmpty()) {
        QBuffer input;
        input.setData(HeaderInfo.UserId + ':' + HeaderInfo.Password);
        input.open(QIODevice::ReadOnly);
        QBuffer output;
        output.open(QIODevice::ReadWrite);
        TNMUUProcessor encoder;
        encoder.Method = UUMethods::uuMime;
        encoder.InputStream = &input;
        encoder.OutputStream = &output;
        encoder.encode();
        const QByteArray encoded = QByteArray(output.data()).replace("\r\n", "");
        m_requestHeader.SetHeader("Authorization", "Basic " + encoded);
    }
    m_requestHeader.Add("Content-type: application/x-www-form-urlencoded");
    if (m_requestCmd == CmdType::Copy || m_requestCmd == CmdType::Move)
        m_requestHeader.Add("URI-header: " + m_uriValue);
    else if (m_requestCmd == CmdType::Link || m_requestCmd == CmdType::Unlink)
        m_requestHeader.Add("Link: " + m_uriValue);
    if (SendsData()) {
        qint64 length = m_sendData.size();
        if (OutputFileMode) {
            QFile file(FileName(m_sendData));
            if (!file.open(QIODevice::ReadOnly))
                throw Exception(QStringLiteral("Cannot open file \"%1\". %2")
                                    .arg(FileName(m_sendData), file.errorString()));
            length = file.size();
        }
        m_requestHeader.Add("Content-Length: " + QByteArray::number(length));
    }
}

void TNMHTTP::SendRequest() {
    write(m_requestHeader.Text());
    Writeln(QByteArray());
    if (SendsData()) {
        if (OutputFileMode)
            SendFile(m_sendData);
        else
            write(m_sendData);
    }
}

void TNMHTTP::ReadResponseHeader() {
    BytesTotal = 0;
    m_receivedCookie.clear();
    m_setCookies.clear();
    m_locationInResponse = false;
    std::optional<QFile> file;
    if (OutputFileMode) {
        file.emplace(FileName(Header));
        if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw Exception(QStringLiteral("Cannot create file \"%1\". %2")
                                .arg(FileName(Header), file->errorString()));
    } else {
        Header.clear();
    }
    qint64 stored = 0;
    const auto store = [&](const QByteArray& line) {
        stored += line.size();
        if (stored > HeaderCeiling)
            throw EAbortError(QStringLiteral("Socket capture aborted"));
        if (file) {
            if (file->write(line) != line.size())
                throw Exception(QStringLiteral("Stream write error"));
        } else {
            Header += line;
        }
    };

    QByteArray line = ReadLn();
    if (!line.isEmpty())
        ReplyNumber = StatusCode(line);
    store(line);
    for (;;) {
        line = ReadLn();
        const QByteArray name = line.toUpper().split(' ').first();
        // Values are taken whole (a line is bounded by ReadLn): a cut one would be a wrong one.
        if (name == "SET-COOKIE:") {
            m_receivedCookie = WithoutLineEnd(line.mid(12));
            m_setCookies << m_receivedCookie;
        } else if (name == "LOCATION:") {
            m_redirectLocation = WithoutLineEnd(line.mid(10));
            m_locationInResponse = true;
        } else if (name == "CONTENT-LENGTH:") {
            BytesTotal = FirstNumber(line.mid(15));
        }
        store(line);
        if (line.isEmpty() || line == "\n" || line == "\r\n")
            return;
    }
}
