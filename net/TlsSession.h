#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The client side of a TLS connection (TLS 1.2 or later, OpenSSL) over a connected non-blocking
// socket that the caller owns and waits on. The server's certificate is checked against the
// system's certificate authorities (or the ones given) and against the host name or IP address
// the caller asked for; a host name also goes out as the server name (SNI). Every operation
// returns at once: when it needs the socket to become readable or writable first, it says so,
// and the caller waits and asks again.
class TlsSession final {
public:
    // What an operation waits for before it can go on.
    enum class Need { Nothing, Readable, Writable };

    // trustedCertificates: PEM certificates of the authorities to trust instead of the system's
    // (empty: the system's). Raises SocketError when OpenSSL cannot be set up.
    TlsSession(int socket, const QByteArray& serverName, const QByteArray& trustedCertificates);
    ~TlsSession();
    Q_DISABLE_COPY_MOVE(TlsSession)

    // One step of the handshake: Need::Nothing once it is done. Raises SocketError with the kind
    // Certificate when the server's certificate is refused (the text says why), Tls for any other
    // failure.
    Need handshake();
    // Reads (or with peek, looks at) up to size bytes: the count, 0 when the server has ended the
    // connection, or -1 with need set when nothing can be read yet. Raises SocketError on a
    // failure of the connection.
    qsizetype read(char* data, qsizetype size, bool peek, Need& need);
    // Sends up to size bytes (at least one when it returns a count), or -1 with need set.
    qsizetype write(const char* data, qsizetype size, Need& need);
    // Whether decrypted bytes wait that the socket no longer shows as readable.
    bool hasPendingData() const;

private:
    struct Handles;
    // What a failed operation waits for, or raises; onInterrupt when the socket call was only
    // interrupted or would have blocked.
    Need needOf(int result, const char* what, Need onInterrupt);
    std::unique_ptr<Handles> m_handles;
};
