#include "ElectrumFixture.h"

#include "services/bitcoin/ElectrumClient.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <stdexcept>
#include <type_traits>

namespace qm::test {

namespace {

// A throwaway certificate authority, a server certificate it signed, and a self-signed one no
// client trusts; both for 127.0.0.1 and localhost.
struct Certificates {
    QSslCertificate authority, server, untrustedServer;
    QSslKey serverKey, untrustedServerKey;
};

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

void check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("test certificate: ") + what);
    }
}

KeyPtr makeKey() {
    KeyPtr key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    check(key != nullptr, "key generation");
    return key;
}

// issuer == nullptr makes a self-signed certificate.
CertPtr makeCertificate(EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, const char* commonName,
                        long serial, const std::vector<std::pair<int, const char*>>& extensions) {
    CertPtr cert(X509_new(), X509_free);
    check(cert != nullptr, "X509_new");
    X509* x = cert.get();
    check(X509_set_version(x, 2) == 1, "version");
    check(ASN1_INTEGER_set(X509_get_serialNumber(x), serial) == 1, "serial");
    check(X509_gmtime_adj(X509_getm_notBefore(x), -3600) != nullptr, "notBefore");
    check(X509_gmtime_adj(X509_getm_notAfter(x), 30L * 24 * 3600) != nullptr, "notAfter");
    check(X509_set_pubkey(x, key) == 1, "pubkey");
    X509_NAME* name = X509_get_subject_name(x);
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

// PEM text of a certificate or a private key.
template <typename T> QByteArray pem(T* item) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if constexpr (std::is_same_v<T, X509>) {
        check(bio && PEM_write_bio_X509(bio.get(), item) == 1, "PEM certificate");
    } else {
        check(bio && PEM_write_bio_PrivateKey(bio.get(), item, nullptr, nullptr, 0, nullptr,
                                              nullptr) == 1,
              "PEM key");
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<qsizetype>(size));
}

Certificates makeCertificates() {
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
    Certificates out;
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

// Made once per process; from then on ElectrumClient trusts the authority.
const Certificates& testCertificates() {
    static const Certificates certificates = [] {
        Certificates made = makeCertificates();
        ElectrumClient::addTrustedCertificateAuthorityForTesting(made.authority);
        return made;
    }();
    return certificates;
}

std::string answerLine(const nlohmann::json& id, const char* key, const nlohmann::json& value) {
    return nlohmann::json{{"jsonrpc", "2.0"}, {"id", id}, {key, value}}.dump() + "\n";
}

} // namespace

ElectrumFixture::ElectrumFixture(Mode mode) : mode_(mode) {
    testCertificates();
    if (mode == Mode::tls || mode == Mode::untrustedTls) {
        const bool trusted = mode == Mode::tls;
        auto server = std::make_unique<QSslServer>();
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(trusted ? testCertificates().server
                                           : testCertificates().untrustedServer);
        config.setPrivateKey(trusted ? testCertificates().serverKey
                                     : testCertificates().untrustedServerKey);
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        server->setSslConfiguration(config);
        server_ = std::move(server);
    } else {
        server_ = std::make_unique<QTcpServer>();
    }
    QObject::connect(server_.get(), &QTcpServer::pendingConnectionAvailable, this,
                     &ElectrumFixture::onNewConnection);
    if (!server_->listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("ElectrumFixture: cannot listen on 127.0.0.1");
    }
}

ElectrumFixture::~ElectrumFixture() {
    for (const auto& socket : sockets_) {
        if (socket) {
            QObject::disconnect(socket, nullptr, this, nullptr);
            socket->abort();
            socket->deleteLater();
        }
    }
    server_->close();
}

void ElectrumFixture::onNewConnection() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        ++connectionCount_;
        sockets_.append(socket);
        socket->setParent(this);
        if (mode_ == Mode::silent) {
            continue; // read nothing, answer nothing
        }
        QObject::connect(socket, &QIODevice::readyRead, this,
                         [this, socket] { onReadyRead(socket); });
        QObject::connect(socket, &QAbstractSocket::disconnected, this,
                         [this, socket] { inbound_.erase(socket); });
        if (socket->bytesAvailable() > 0) {
            onReadyRead(socket);
        }
    }
}

void ElectrumFixture::onReadyRead(QTcpSocket* socket) {
    std::string& buffer = inbound_[socket];
    buffer += socket->readAll().toStdString();
    for (std::size_t newline; (newline = buffer.find('\n')) != std::string::npos;) {
        const std::string line = buffer.substr(0, newline);
        buffer.erase(0, newline + 1);
        handleRequest(socket, line);
    }
}

void ElectrumFixture::handleRequest(QTcpSocket* socket, const std::string& line) {
    requestLines_.push_back(line);
    const auto request = nlohmann::json::parse(line, nullptr, false);
    const bool valid =
        request.is_object() && request.contains("method") && request["method"].is_string();
    methods_.push_back(valid ? request["method"].get<std::string>() : std::string());
    if (!valid) {
        return;
    }
    const std::string method = methods_.back();
    const nlohmann::json id = request.contains("id") ? request["id"] : nlohmann::json();
    emit requestReceived(QString::fromStdString(method));

    const auto it = scripts_.find(method);
    const Script script =
        it != scripts_.end()
            ? it->second
            : Script{Script::Kind::error, {{"code", -32601}, {"message", "unknown method"}}, {}};
    std::optional<std::string> bytes;
    switch (script.kind) {
    case Script::Kind::result:
    case Script::Kind::error:
        bytes =
            answerLine(id, script.kind == Script::Kind::result ? "result" : "error", script.result);
        break;
    case Script::Kind::raw:
        bytes = script.handler(request);
        break;
    case Script::Kind::stall:
        break;
    }
    if (bytes && hold_) {
        held_.emplace_back(socket, std::move(*bytes));
    } else if (bytes) {
        write(socket, std::move(*bytes));
    }
}

void ElectrumFixture::answer(const std::string& method, nlohmann::json result) {
    scripts_[method] = {Script::Kind::result, std::move(result), {}};
}

void ElectrumFixture::answerError(const std::string& method, std::int64_t code,
                                  const std::string& message) {
    scripts_[method] = {Script::Kind::error, {{"code", code}, {"message", message}}, {}};
}

void ElectrumFixture::answerRaw(const std::string& method, RawHandler handler) {
    scripts_[method] = {Script::Kind::raw, {}, std::move(handler)};
}

void ElectrumFixture::stall(const std::string& method) {
    scripts_[method] = {Script::Kind::stall, {}, {}};
}

void ElectrumFixture::releaseHeld(bool reverse) {
    auto held = std::exchange(held_, {});
    if (reverse) {
        std::reverse(held.begin(), held.end());
    }
    // One write per client carrying every answer it is owed.
    std::map<QTcpSocket*, std::string> merged;
    for (auto& [socket, bytes] : held) {
        if (socket) {
            merged[socket] += bytes;
        }
    }
    for (auto& [socket, bytes] : merged) {
        write(socket, std::move(bytes));
    }
}

void ElectrumFixture::write(QTcpSocket* socket, std::string bytes) {
    if (pieceBytes_ == 0) {
        socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
        socket->flush();
        return;
    }
    for (std::size_t pos = 0; pos < bytes.size(); pos += pieceBytes_) {
        const int delayMs = static_cast<int>(5 * (pos / pieceBytes_ + 1));
        QTimer::singleShot(delayMs, socket, [socket, piece = bytes.substr(pos, pieceBytes_)] {
            socket->write(piece.data(), static_cast<qint64>(piece.size()));
            socket->flush();
        });
    }
}

void ElectrumFixture::notify(const std::string& method, nlohmann::json params) {
    sendRaw(nlohmann::json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump() +
            "\n");
}

void ElectrumFixture::sendRaw(const std::string& bytes) {
    for (const auto& socket : sockets_) {
        if (socket) {
            write(socket, bytes);
        }
    }
}

void ElectrumFixture::closeAll(bool abrupt) {
    const auto sockets = std::exchange(sockets_, {});
    for (const auto& socket : sockets) {
        if (!socket) {
            continue;
        }
        inbound_.erase(socket);
        QObject::disconnect(socket, nullptr, this, nullptr);
        if (abrupt) {
            socket->abort();
            socket->deleteLater();
        } else {
            // Deleted once closed: deleting earlier would drop what is still unwritten.
            QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
        }
    }
}

int ElectrumFixture::requestCount(const std::string& method) const {
    return method.empty() ? static_cast<int>(methods_.size())
                          : static_cast<int>(std::count(methods_.begin(), methods_.end(), method));
}

bool ElectrumFixture::waitForRequests(int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return requestCount() >= count; }, timeoutMs);
}

bool ElectrumFixture::waitForConnections(int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return connectionCount_ >= count; }, timeoutMs);
}

} // namespace qm::test
