#include "ElectrumFixture.h"

#include "TestCertificates.h"
#include "services/bitcoin/ElectrumClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>
#include <algorithm>
#include <stdexcept>

namespace qm::test {

namespace {

std::string answerLine(const nlohmann::json& id, const char* key, nlohmann::json value) {
    nlohmann::json out = nlohmann::json::object();
    out["jsonrpc"] = "2.0";
    out["id"] = id;
    out[key] = std::move(value);
    return out.dump() + "\n";
}

bool spinUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace

void ElectrumFixture::trustAuthority() {
    static const bool once = [] {
        ElectrumClient::addTrustedCertificateAuthorityForTesting(testCertificates().authority);
        return true;
    }();
    (void)once;
}

ElectrumFixture::ElectrumFixture(Mode mode, QObject* parent) : QObject(parent), mode_(mode) {
    trustAuthority();
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

std::uint16_t ElectrumFixture::port() const {
    return server_->serverPort();
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
    const QByteArray data = socket->readAll();
    inbound_[socket].append(data.constData(), static_cast<std::size_t>(data.size()));
    for (;;) {
        // Answering can close the socket, which drops its buffer: look it up again each time.
        const auto it = inbound_.find(socket);
        if (it == inbound_.end() || !sockets_.contains(socket)) {
            return;
        }
        const std::size_t newline = it->second.find('\n');
        if (newline == std::string::npos) {
            return;
        }
        std::string line = it->second.substr(0, newline);
        it->second.erase(0, newline + 1);
        handleRequest(socket, line);
    }
}

void ElectrumFixture::handleRequest(QTcpSocket* socket, const std::string& line) {
    requestLines_.push_back(line);
    auto request = nlohmann::json::parse(line, nullptr, false);
    requests_.push_back(request);
    if (!request.is_object() || !request.contains("method") || !request["method"].is_string()) {
        return;
    }
    const std::string method = request["method"].get<std::string>();
    const nlohmann::json id = request.contains("id") ? request["id"] : nlohmann::json();
    emit requestReceived(QString::fromStdString(method));

    const auto it = scripts_.find(method);
    if (it == scripts_.end()) {
        deliver(socket, answerLine(id, "error", {{"code", -32601}, {"message", "unknown method"}}));
        return;
    }
    const Script& script = it->second;
    switch (script.kind) {
    case Script::Kind::result:
        deliver(socket, answerLine(id, "result", script.result));
        break;
    case Script::Kind::error:
        deliver(socket,
                answerLine(id, "error", {{"code", script.code}, {"message", script.message}}));
        break;
    case Script::Kind::raw:
        if (auto bytes = script.handler(request)) {
            deliver(socket, std::move(*bytes));
        }
        break;
    case Script::Kind::stall:
        break;
    case Script::Kind::close:
        sockets_.removeAll(socket);
        inbound_.erase(socket);
        QObject::disconnect(socket, nullptr, this, nullptr);
        socket->abort();
        socket->deleteLater();
        break;
    }
}

void ElectrumFixture::answer(const std::string& method, nlohmann::json result) {
    Script script;
    script.kind = Script::Kind::result;
    script.result = std::move(result);
    scripts_[method] = std::move(script);
}

void ElectrumFixture::answerError(const std::string& method, std::int64_t code,
                                  const std::string& message) {
    Script script;
    script.kind = Script::Kind::error;
    script.code = code;
    script.message = message;
    scripts_[method] = std::move(script);
}

void ElectrumFixture::answerRaw(const std::string& method, RawHandler handler) {
    Script script;
    script.kind = Script::Kind::raw;
    script.handler = std::move(handler);
    scripts_[method] = std::move(script);
}

void ElectrumFixture::stall(const std::string& method) {
    Script script;
    script.kind = Script::Kind::stall;
    scripts_[method] = std::move(script);
}

void ElectrumFixture::closeOn(const std::string& method) {
    Script script;
    script.kind = Script::Kind::close;
    scripts_[method] = std::move(script);
}

void ElectrumFixture::holdAnswers(bool hold) {
    hold_ = hold;
}

void ElectrumFixture::releaseHeld(bool reverse) {
    auto held = std::exchange(held_, {});
    if (reverse) {
        std::reverse(held.begin(), held.end());
    }
    // One write per client carrying every answer it is owed.
    std::vector<std::pair<QPointer<QTcpSocket>, std::string>> merged;
    for (auto& entry : held) {
        const QPointer<QTcpSocket> socket = entry.first;
        auto target = std::find_if(merged.begin(), merged.end(),
                                   [&](const auto& other) { return other.first == socket; });
        if (target == merged.end()) {
            merged.emplace_back(socket, std::move(entry.second));
        } else {
            target->second += entry.second;
        }
    }
    for (auto& [socket, bytes] : merged) {
        if (socket) {
            write(socket, std::move(bytes));
        }
    }
}

void ElectrumFixture::deliver(QTcpSocket* socket, std::string bytes) {
    if (hold_) {
        held_.emplace_back(socket, std::move(bytes));
    } else {
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
        pieces_.emplace_back(socket, bytes.substr(pos, pieceBytes_));
    }
    if (!pieceTimerRunning_) {
        pieceTimerRunning_ = true;
        QTimer::singleShot(5, this, &ElectrumFixture::writeNextPiece);
    }
}

void ElectrumFixture::writeNextPiece() {
    if (pieces_.empty()) {
        pieceTimerRunning_ = false;
        return;
    }
    auto [socket, bytes] = std::move(pieces_.front());
    pieces_.erase(pieces_.begin());
    if (socket) {
        socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
        socket->flush();
    }
    QTimer::singleShot(5, this, &ElectrumFixture::writeNextPiece);
}

void ElectrumFixture::flushWrites() {
    spinUntil([this] { return !pieceTimerRunning_; }, 10'000);
}

void ElectrumFixture::notify(const std::string& method, nlohmann::json params) {
    nlohmann::json out = nlohmann::json::object();
    out["jsonrpc"] = "2.0";
    out["method"] = method;
    out["params"] = std::move(params);
    sendRaw(out.dump() + "\n");
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
    if (method.empty()) {
        return static_cast<int>(requests_.size());
    }
    return static_cast<int>(std::count_if(requests_.begin(), requests_.end(), [&](const auto& r) {
        return r.is_object() && r.contains("method") && r["method"] == method;
    }));
}

bool ElectrumFixture::waitForRequests(int count, int timeoutMs) {
    return spinUntil([&] { return requestCount() >= count; }, timeoutMs);
}

bool ElectrumFixture::waitForConnections(int count, int timeoutMs) {
    return spinUntil([&] { return connectionCount_ >= count; }, timeoutMs);
}

} // namespace qm::test
