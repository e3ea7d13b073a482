#include "TestCertificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <memory>
#include <stdexcept>

namespace {

template <class T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;

void check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("test certificate: ") + what);
}

Key newKey() {
    Key key(EVP_EC_gen("P-256"));
    check(key != nullptr, "key");
    return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const QByteArray& value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData());
    check(extension != nullptr, "extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for key, named commonName, valid from an hour ago for a day, signed by
// issuerKey (with issuer's name; none: itself).
Certificate makeCertificate(EVP_PKEY* key, const QByteArray& commonName, X509* issuer,
                            EVP_PKEY* issuerKey, bool authority, const QList<QByteArray>& names) {
    static long serial = 1;
    Certificate certificate(X509_new());
    X509* x = certificate.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial++);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 24 * 3600);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.constData()), -1,
                               -1, 0);
    X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer ? issuer : x;
    if (authority) {
        addExtension(x, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(x, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(x, signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(x, signer, NID_ext_key_usage, "serverAuth");
        QByteArray alternatives;
        for (const QByteArray& entry : names) {
            in_addr address{};
            const bool isAddress = ::inet_pton(AF_INET, entry.constData(), &address) == 1;
            alternatives += (alternatives.isEmpty() ? "" : ",") +
                            QByteArray(isAddress ? "IP:" : "DNS:") + entry;
        }
        addExtension(x, signer, NID_subject_alt_name, alternatives);
    }
    addExtension(x, signer, NID_subject_key_identifier, "hash");
    check(X509_sign(x, issuerKey ? issuerKey : key, EVP_sha256()) > 0, "signature");
    return certificate;
}

QByteArray pemOf(X509* certificate) {
    BIO* output = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(output, certificate);
    char* data = nullptr;
    const long size = BIO_get_mem_data(output, &data);
    QByteArray pem(data, size);
    BIO_free(output);
    return pem;
}

QByteArray pemOf(EVP_PKEY* key) {
    BIO* output = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(output, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(output, &data);
    QByteArray pem(data, size);
    BIO_free(output);
    return pem;
}

Key keyOf(const QByteArray& pem) {
    BIO* input = BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size()));
    Key key(PEM_read_bio_PrivateKey(input, nullptr, nullptr, nullptr));
    BIO_free(input);
    return key;
}

Certificate certificateOf(const QByteArray& pem) {
    BIO* input = BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size()));
    Certificate certificate(PEM_read_bio_X509(input, nullptr, nullptr, nullptr));
    BIO_free(input);
    return certificate;
}

} // namespace

TestAuthority::TestAuthority() {
    const Key key = newKey();
    const Certificate certificate =
        makeCertificate(key.get(), "Sorvel Test Authority", nullptr, nullptr, true, {});
    m_authority = {pemOf(certificate.get()), pemOf(key.get())};
}

TestCertificate TestAuthority::issue(const QList<QByteArray>& names) const {
    const Key key = newKey();
    const Key authorityKey = keyOf(m_authority.keyPem);
    const Certificate authority = certificateOf(m_authority.certificatePem);
    const Certificate certificate = makeCertificate(key.get(), names.value(0), authority.get(),
                                                    authorityKey.get(), false, names);
    return {pemOf(certificate.get()), pemOf(key.get())};
}

TestCertificate TestAuthority::selfSigned(const QList<QByteArray>& names) {
    const Key key = newKey();
    const Certificate certificate =
        makeCertificate(key.get(), names.value(0), nullptr, nullptr, false, names);
    return {pemOf(certificate.get()), pemOf(key.get())};
}
