#pragma once

#include "net/CookieJar.h"
#include "net/HeaderLines.h"
#include "net/TcpClient.h"

#include <QByteArray>

#include <functional>

// The command codes of TNMHTTP.
enum class CmdType : quint8 {
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

// Optional values for request-header lines; an empty one adds no line. UserId and Password
// together add the Basic Authorization line. Cookie is the caller's own: it goes with every
// request; the cookies that responses set stay with the origin that set them.
struct THeaderInfo final {
    QByteArray LocalMailAddress;
    QByteArray LocalProgram;
    QByteArray Cookie;
    QByteArray Referer;
    QByteArray UserId;
    QByteArray Password;
};

// The HTTP/1.0 client: one command per call, on a fresh connection, reading the body until the
// server closes. The body goes into Body (memory mode) or into the file that Body names
// (InputFileMode). Everything is bytes; nothing is converted. HTTP error statuses are no
// exceptions: OnFailure is called and the server's page stays in Body.
//
// A 300, 301, 302, 303, 307 or 308 answer with a Location is followed, the Location resolved
// against the URL that answered; 303 turns every command but Head into a Get, 301 and 302 turn
// a Post into a Get, and 307 and 308 repeat the command as it was. Any other answer, and a
// redirect without a Location, is the final one. The cookies that responses set go back only
// to the host and port that set them (CookieJar). TimeOut bounds each wait, Deadline the whole
// command.
class TNMHTTP : public TPowersock {
public:
    using TResultEvent = std::function<void(CmdType cmd)>;

    // Redirects (and other 3xx answers) followed by one command; one more ends it with
    // "Too many redirects".
    static constexpr int MaxRedirects = 20;
    // Ceiling of the response header (status line, header lines and the empty line).
    static constexpr qint64 DefaultHeaderCeiling = 256 * 1024;
    // The longest request target sent (the path and query, or the whole URL to a proxy): the
    // common limit of web servers. A longer one is refused, never cut.
    static constexpr int MaxRequestTarget = 8192;
    // Milliseconds a command may take in all, redirects included, however steadily the server
    // sends: the minute the search answer may wait for one silent read.
    static constexpr int DefaultDeadline = 60000;

    TNMHTTP();
    ~TNMHTTP() override;

    // Memory mode: receives the response body. InputFileMode: the name of the file that does.
    QByteArray Body = "Default.htm";
    // Receives the response header text; with OutputFileMode: the name of the file that does.
    QByteArray Header = "Head.txt";
    THeaderInfo HeaderInfo;
    bool InputFileMode = false;
    // The data of Post, Put, Patch and Trace is the name of a file to send, and the header
    // goes into the file named by Header.
    bool OutputFileMode = false;
    qint64 HeaderCeiling = DefaultHeaderCeiling;
    // Milliseconds one command may take in all (its waits end as by the time-out when it has
    // passed); 0: no bound beyond TimeOut.
    int Deadline = DefaultDeadline;

    TNotifyEvent OnAboutToSend;
    TResultEvent OnSuccess;
    TResultEvent OnFailure;
    THandlerEvent OnRedirect;
    TNotifyEvent OnAuthenticationNeeded;

    // Ends the running command (its wait fails with its cancel failure); no "Abort" status.
    void Abort() override;

    virtual void Get(const QByteArray& url);
    virtual void Options(const QByteArray& url);
    virtual void Head(const QByteArray& url);
    virtual void Delete(const QByteArray& url);
    // Post URL-encodes data unless OutputFileMode is set.
    virtual void Post(const QByteArray& url, const QByteArray& data);
    virtual void Put(const QByteArray& url, const QByteArray& data);
    virtual void Patch(const QByteArray& url, const QByteArray& data);
    virtual void Trace(const QByteArray& url, const QByteArray& data);
    virtual void Copy(const QByteArray& url, const QByteArray& target);
    virtual void Move(const QByteArray& url, const QByteArray& target);
    virtual void Link(const QByteArray& url, const QByteArray& link);
    virtual void Unlink(const QByteArray& url, const QByteArray& link);

    // State of the last command.
    const QByteArray& URL() const { return m_url; }
    const QByteArray& RequestPath() const { return m_requestPath; }
    const TExStringList& RequestHeader() const { return m_requestHeader; }
    const QByteArray& RedirectLocation() const { return m_redirectLocation; }
    // The value of the last Set-Cookie line of the last response.
    const QByteArray& ReceivedCookie() const { return m_receivedCookie; }
    CmdType CurrentCmd() const { return m_currentCmd; }

protected:
    virtual void ExecuteCommand();
    virtual void ParseURL();
    virtual void BuildRequestHeader();
    virtual void SendRequest();
    virtual void ReadResponseHeader();

    bool EncodePostData = true;

private:
    void Run(CmdType cmd, const QByteArray& url);
    bool SendsData() const;
    bool IsRedirect() const;
    // The absolute URL of the request just answered.
    QByteArray AnsweredUrl() const;
    QByteArray Origin() const;

    QByteArray m_url;
    QByteArray m_requestPath;
    TExStringList m_requestHeader;
    QByteArray m_redirectLocation;
    bool m_locationInResponse = false;
    QByteArray m_receivedCookie;
    QList<QByteArray> m_setCookies;
    CookieJar m_cookies;
    QByteArray m_sendData;
    QByteArray m_uriValue;
    CmdType m_currentCmd = CmdType::Get;
    // The command on the wire: CurrentCmd, or what a redirect turned it into.
    CmdType m_requestCmd = CmdType::Get;
};

// RFC 3986 resolution of a reference (a Location's value) against an absolute http URL: an
// absolute reference stays as it is, a relative one ("/x", "x", "../x", "?q", "//host/x") takes
// what it lacks from the base. The fragment is dropped.
QByteArray ResolveUrl(const QByteArray& base, const QByteArray& reference);
