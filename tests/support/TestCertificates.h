#pragma once
// A throwaway certificate authority and a server certificate it signed, for TLS servers
// in tests. Made once per process with OpenSSL; valid for 127.0.0.1 and localhost.

#include <QSslCertificate>
#include <QSslKey>

namespace qm::test {

struct TestCertificates {
    QSslCertificate authority;
    QSslCertificate server;
    QSslKey serverKey;
    // Self-signed for the same names: no client trusts it.
    QSslCertificate untrustedServer;
    QSslKey untrustedServerKey;
};

const TestCertificates& testCertificates();

} // namespace qm::test
