#include "TestCertificates.h"

#include <memory>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>
#include <utility>
#include <vector>

namespace qm::test {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertFree {
    void operator()(X509* x) const { X509_free(x); }
};
struct BioFree {
    void operator()(BIO* b) const { BIO_free(b); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertPtr = std::unique_ptr<X509, CertFree>;

void check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("test certificate: ") + what);
    }
}

KeyPtr makeKey() {
    KeyPtr key(EVP_EC_gen("P-256"));
    check(key != nullptr, "key generation");
    return key;
}

// issuer == nullptr makes a self-signed certificate.
CertPtr makeCertificate(EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, const char* commonName,
                        long serial, const std::vector<std::pair<int, const char*>>& extensions) {
    CertPtr cert(X509_new());
    check(cert != nullptr, "X509_new");
    X509* x = cert.get();
    check(X509_set_version(x, 2) == 1, "version");
    check(ASN1_INTEGER_set(X509_get_serialNumber(x), serial) == 1, "serial");
    check(X509_gmtime_adj(X509_getm_notBefore(x), -3600) != nullptr, "notBefore");
    check(X509_gmtime_adj(X509_getm_notAfter(x), 30L * 24 * 3600) != nullptr, "notAfter");
    check(X509_set_pubkey(x, key) == 1, "pubkey");
    X509_NAME* name = X509_get_subject_name(x);
    check(X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                     reinterpret_cast<const unsigned char*>("Quillmark tests"), -1,
                                     -1, 0) == 1,
          "O");
    check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                     reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                                     0) == 1,
          "CN");
    check(X509_set_issuer_name(x, issuer != nullptr ? X509_get_subject_name(issuer) : name) == 1,
          "issuer");
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer != nullptr ? issuer : x, x, nullptr, nullptr, 0);
    for (const auto& [nid, value] : extensions) {
        X509_EXTENSION* ext = X509V3_EXT_nconf_nid(nullptr, &ctx, nid, value);
        check(ext != nullptr, "extension");
        const int added = X509_add_ext(x, ext, -1);
        X509_EXTENSION_free(ext);
        check(added == 1, "add extension");
    }
    check(X509_sign(x, issuerKey, EVP_sha256()) > 0, "sign");
    return cert;
}

QByteArray pem(X509* cert) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    check(bio && PEM_write_bio_X509(bio.get(), cert) == 1, "PEM certificate");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<qsizetype>(size));
}

QByteArray pem(EVP_PKEY* key) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    check(bio &&
              PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
          "PEM key");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<qsizetype>(size));
}

TestCertificates make() {
    const KeyPtr caKey = makeKey();
    const CertPtr ca = makeCertificate(caKey.get(), nullptr, caKey.get(), "Quillmark test CA", 1,
                                       {{NID_basic_constraints, "critical,CA:TRUE"},
                                        {NID_key_usage, "critical,keyCertSign,cRLSign"},
                                        {NID_subject_key_identifier, "hash"}});
    const KeyPtr serverKey = makeKey();
    const CertPtr server = makeCertificate(serverKey.get(), ca.get(), caKey.get(), "127.0.0.1", 2,
                                           {{NID_basic_constraints, "critical,CA:FALSE"},
                                            {NID_key_usage, "critical,digitalSignature"},
                                            {NID_ext_key_usage, "serverAuth"},
                                            {NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"},
                                            {NID_authority_key_identifier, "keyid"}});
    const KeyPtr untrustedKey = makeKey();
    const CertPtr untrusted =
        makeCertificate(untrustedKey.get(), nullptr, untrustedKey.get(), "127.0.0.1", 3,
                        {{NID_basic_constraints, "critical,CA:FALSE"},
                         {NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"}});
    TestCertificates out;
    out.authority = QSslCertificate(pem(ca.get()), QSsl::Pem);
    out.server = QSslCertificate(pem(server.get()), QSsl::Pem);
    out.serverKey = QSslKey(pem(serverKey.get()), QSsl::Ec, QSsl::Pem);
    out.untrustedServer = QSslCertificate(pem(untrusted.get()), QSsl::Pem);
    out.untrustedServerKey = QSslKey(pem(untrustedKey.get()), QSsl::Ec, QSsl::Pem);
    check(!out.untrustedServer.isNull() && !out.untrustedServerKey.isNull() &&
              !out.authority.isNull() && !out.server.isNull() && !out.serverKey.isNull(),
          "Qt load");
    return out;
}

} // namespace

const TestCertificates& testCertificates() {
    static const TestCertificates certificates = make();
    return certificates;
}

} // namespace qm::test
