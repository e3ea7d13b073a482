#include "net/TlsSession.h"

#include "net/TcpClient.h"

#include <cerrno>
#include <climits>
#include <mutex>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

namespace {

// The text of the oldest error in OpenSSL's queue, which is then emptied.
QString openSslErrorText() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return QStringLiteral("connection closed");
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

bool isIpv4Address(const QByteArray& name) {
    in_addr address{};
    return ::inet_pton(AF_INET, name.constData(), &address) == 1;
}

// A store of the PEM certificates in pem; raises when it holds none.
X509_STORE* storeOf(const QByteArray& pem) {
    X509_STORE* store = X509_STORE_new();
    BIO* input = BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size()));
    int added = 0;
    while (X509* certificate = PEM_read_bio_X509(input, nullptr, nullptr, nullptr)) {
        added += X509_STORE_add_cert(store, certificate);
        X509_free(certificate);
    }
    BIO_free(input);
    ERR_clear_error();
    if (added == 0) {
        X509_STORE_free(store);
        throw SocketError(QStringLiteral("No certificate authority to trust"),
                          TransferFailure::Tls);
    }
    return store;
}

[[noreturn]] void failSetUp(const char* what) {
    throw SocketError(QStringLiteral("%1: %2").arg(QLatin1String(what), openSslErrorText()),
                      TransferFailure::Tls);
}

// A client context: TLS 1.2 or later, the server's certificate checked against the authorities
// in trustedCertificates (PEM), or the system's when it is empty.
SSL_CTX* newContext(const QByteArray& trustedCertificates) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context)
        failSetUp("TLS set-up failed");
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    // The body of an HTTP/1.0 answer ends where the connection ends; many servers close it
    // without a TLS close_notify, which is no fault of the data.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    try {
        if (trustedCertificates.isEmpty()) {
            if (SSL_CTX_set_default_verify_paths(context) != 1)
                failSetUp("The system's certificate authorities cannot be read");
        } else {
            SSL_CTX_set_cert_store(context, storeOf(trustedCertificates));
        }
    } catch (...) {
        SSL_CTX_free(context);
        throw;
    }
    return context;
}

// The context that trusts the system's authorities, made once (reading the system's bundle
// costs every https connection milliseconds); the caller owns one reference. A bundle changed
// while the program runs counts from the next start.
SSL_CTX* systemContext() {
    static std::mutex mutex;
    static SSL_CTX* context = nullptr;
    const std::lock_guard lock(mutex);
    if (!context)
        context = newContext({});
    SSL_CTX_up_ref(context);
    return context;
}

} // namespace

struct TlsSession::Handles {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;

    ~Handles() {
        SSL_free(ssl);
        SSL_CTX_free(context);
    }
};

TlsSession::TlsSession(int socket, const QByteArray& serverName,
                       const QByteArray& trustedCertificates)
    : m_handles(std::make_unique<Handles>()) {
    m_handles->context =
        trustedCertificates.isEmpty() ? systemContext() : newContext(trustedCertificates);
    SSL* ssl = SSL_new(m_handles->context);
    if (!ssl)
        failSetUp("TLS set-up failed");
    m_handles->ssl = ssl;
    SSL_set_fd(ssl, socket);
    // The certificate must name the host asked for; a name also goes out as the server name,
    // an address never does.
    if (isIpv4Address(serverName)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), serverName.constData()) != 1)
            failSetUp("TLS set-up failed");
    } else {
        SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(ssl, serverName.constData()) != 1 ||
            SSL_set_tlsext_host_name(ssl, serverName.constData()) != 1)
            failSetUp("TLS set-up failed");
    }
    SSL_set_connect_state(ssl);
}

TlsSession::~TlsSession() = default;

TlsSession::Need TlsSession::needOf(int result, const char* what, Need onInterrupt) {
    SSL* ssl = m_handles->ssl;
    switch (SSL_get_error(ssl, result)) {
    case SSL_ERROR_WANT_READ:
        return Need::Readable;
    case SSL_ERROR_WANT_WRITE:
        return Need::Writable;
    case SSL_ERROR_SYSCALL:
        if (errno == EAGAIN || errno == EINTR) {
            ERR_clear_error();
            return onInterrupt;
        }
        [[fallthrough]];
    default: {
        const long verification = SSL_get_verify_result(ssl);
        if (verification != X509_V_OK) {
            ERR_clear_error();
            throw SocketError(QString::fromLatin1(X509_verify_cert_error_string(verification)),
                              TransferFailure::Certificate);
        }
        throw SocketError(QStringLiteral("%1: %2").arg(QLatin1String(what), openSslErrorText()),
                          TransferFailure::Tls);
    }
    }
}

TlsSession::Need TlsSession::handshake() {
    ERR_clear_error();
    const int result = SSL_do_handshake(m_handles->ssl);
    return result == 1 ? Need::Nothing : needOf(result, "TLS handshake failed", Need::Readable);
}

qsizetype TlsSession::read(char* data, qsizetype size, bool peek, Need& need) {
    ERR_clear_error();
    size_t count = 0;
    const size_t wanted = static_cast<size_t>(std::min<qsizetype>(size, INT_MAX));
    const int result = peek ? SSL_peek_ex(m_handles->ssl, data, wanted, &count)
                            : SSL_read_ex(m_handles->ssl, data, wanted, &count);
    if (result == 1)
        return static_cast<qsizetype>(count);
    const int error = SSL_get_error(m_handles->ssl, result);
    if (error == SSL_ERROR_ZERO_RETURN) {
        ERR_clear_error();
        return 0;
    }
    need = needOf(result, "TLS receive failed", Need::Readable);
    return -1;
}

qsizetype TlsSession::write(const char* data, qsizetype size, Need& need) {
    ERR_clear_error();
    size_t count = 0;
    const size_t wanted = static_cast<size_t>(std::min<qsizetype>(size, INT_MAX));
    if (SSL_write_ex(m_handles->ssl, data, wanted, &count) == 1)
        return static_cast<qsizetype>(count);
    need = needOf(0, "TLS send failed", Need::Writable);
    return -1;
}

bool TlsSession::hasPendingData() const {
    return SSL_pending(m_handles->ssl) > 0;
}
