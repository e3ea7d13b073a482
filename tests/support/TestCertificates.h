#pragma once

#include "ScriptedHttpServer.h"

#include <QByteArray>
#include <QList>

// Certificates made for one test run with OpenSSL: a certificate authority of the test's own
// and server certificates it issues, or that sign themselves. Nothing outside the test trusts
// them.
struct TestCertificate {
    QByteArray certificatePem;
    QByteArray keyPem;
};

// The options of a scripted server that speaks TLS with the certificate.
inline ScriptedHttpServer::Options tlsServerOptions(const TestCertificate& certificate,
                                                    bool concurrent = false) {
    ScriptedHttpServer::Options options;
    options.concurrent = concurrent;
    options.certificatePem = certificate.certificatePem;
    options.keyPem = certificate.keyPem;
    return options;
}

class TestAuthority final {
public:
    TestAuthority();

    // The authority's certificate, to be trusted by the client under test.
    QByteArray certificatePem() const { return m_authority.certificatePem; }
    // A server certificate for the names (DNS names, or IPv4 addresses such as "127.0.0.1"),
    // issued by this authority; the PEM holds the server's certificate.
    TestCertificate issue(const QList<QByteArray>& names) const;
    // A server certificate for the names that signs itself.
    static TestCertificate selfSigned(const QList<QByteArray>& names);

private:
    TestCertificate m_authority;
};
