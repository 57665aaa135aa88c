#include "services/bitcoin/ElectrumClient.h"

#include "core/json/JSONReader.h"

#include <QSslConfiguration>
#include <QTimer>

namespace qm {

namespace {

QList<QSslCertificate>& extraAuthorities() {
    static QList<QSslCertificate> authorities;
    return authorities;
}

ByteView bytesOf(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

template <typename T> std::vector<T> decodeList(const nlohmann::json& json) {
    if (!json.is_array()) {
        throw ElectrumError::decodingFailed("expected an array");
    }
    std::vector<T> out;
    out.reserve(json.size());
    for (const auto& element : json) {
        out.push_back(T::fromJson(element));
    }
    return out;
}

constexpr qint64 kReadChunkBytes = 65'536;

} // namespace

void ElectrumClient::addTrustedCertificateAuthorityForTesting(const QSslCertificate& authority) {
    extraAuthorities().append(authority);
}

ElectrumClient::ElectrumClient(std::string host, std::uint16_t port, bool useTLS, Limits limits,
                               QObject* parent)
    : QObject(parent), host_(std::move(host)), port_(port), useTLS_(useTLS), limits_(limits),
      pendingRequests_([] { return std::make_exception_ptr(ElectrumError::timeout()); }),
      receiveBuffer_(limits.maxLineBytes) {}

ElectrumClient::~ElectrumClient() {
    if (connectReply_) {
        connectReply_->fail(std::make_exception_ptr(ElectrumError::connectionFailed("Cancelled")));
    }
    disconnect();
}

QCoro::Task<void> ElectrumClient::connect() {
    // A second connect replaces the first connection, as a fresh start.
    if (connectReply_) {
        failConnect(ElectrumError::connectionFailed("Cancelled"));
    }
    disconnect();

    QPointer<ElectrumClient> self(this);
    const OneShot<void> reply;
    connectReply_ = reply;
    auto* socket = new QSslSocket(this);
    socket_ = socket;

    if (useTLS_ && !extraAuthorities().isEmpty()) {
        auto config = socket->sslConfiguration();
        config.setCaCertificates(QSslConfiguration::systemCaCertificates() + extraAuthorities());
        socket->setSslConfiguration(config);
    }
    const auto onError = [this, socket] {
        if (socket != socket_) {
            return;
        }
        if (connected_) {
            onStreamEnded();
        } else {
            failConnect(ElectrumError::connectionFailed(socket->errorString().toStdString()));
        }
    };
    QObject::connect(socket, &QAbstractSocket::errorOccurred, this, onError);
    QObject::connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
        if (socket != socket_) {
            return;
        }
        if (connected_) {
            onStreamEnded();
        } else {
            failConnect(ElectrumError::connectionFailed("Connection closed by the server"));
        }
    });
    QObject::connect(socket, &QIODevice::readyRead, this, [this, socket] {
        if (socket == socket_ && connected_) {
            onReadyRead();
        }
    });
    if (useTLS_) {
        QObject::connect(socket, &QSslSocket::encrypted, this, [this, socket] {
            if (socket == socket_) {
                onConnectionReady();
            }
        });
    } else {
        QObject::connect(socket, &QAbstractSocket::connected, this, [this, socket] {
            if (socket == socket_) {
                onConnectionReady();
            }
        });
    }
    // Qt sets no limit of its own on a connect or a handshake; ours covers both.
    QTimer::singleShot(limits_.connectTimeout, this, [this, reply] {
        if (reply == connectReply_) {
            failConnect(ElectrumError::connectionFailed("Connection timed out"));
        }
    });

    const QString host = QString::fromStdString(host_);
    if (useTLS_) {
        socket->connectToHostEncrypted(host, port_);
    } else {
        socket->connectToHost(host, port_);
    }

    co_await reply.wait();
    if (!self) {
        throw ElectrumError::connectionFailed("Cancelled");
    }
}

void ElectrumClient::onConnectionReady() {
    const auto reply = std::exchange(connectReply_, std::nullopt);
    connected_ = true;
    if (reply) {
        reply->succeed();
    }
    // Bytes that came with the end of the handshake are already waiting.
    if (socket_ && socket_->bytesAvailable() > 0) {
        onReadyRead();
    }
}

void ElectrumClient::failConnect(const ElectrumError& error) {
    const auto reply = std::exchange(connectReply_, std::nullopt);
    // A failed attempt keeps nothing: later requests fail with notConnected.
    dropSocket();
    if (reply) {
        reply->fail(std::make_exception_ptr(error));
    }
}

void ElectrumClient::dropSocket() {
    connected_ = false;
    receiveBuffer_.clear();
    if (QSslSocket* socket = socket_) {
        socket_ = nullptr;
        QObject::disconnect(socket, nullptr, this, nullptr);
        socket->abort();
        // Deleted later: this may run inside one of the socket's own signals.
        socket->setParent(nullptr);
        socket->deleteLater();
    }
}

void ElectrumClient::disconnect() {
    dropSocket();
    pendingRequests_.failAll(std::make_exception_ptr(ElectrumError::notConnected()));
}

QCoro::Task<nlohmann::json> ElectrumClient::call(std::string method,
                                                 std::vector<JSONValue> params) {
    if (!connected_ || !socket_) {
        throw ElectrumError::notConnected();
    }
    const std::int64_t id = nextID_++;
    const RPCRequest request{"2.0", id, std::move(method), std::move(params)};
    const std::string line = request.encodeLine();

    // One unanswered request on a half-open connection must not stall its caller for good.
    const OneShot<nlohmann::json> reply = pendingRequests_.add(id, limits_.requestTimeout);
    const auto size = static_cast<qint64>(line.size());
    if (socket_->write(line.data(), size) != size) {
        failRequest(id, ElectrumError::connectionFailed(socket_->errorString().toStdString()));
    }
    co_return co_await reply.take();
}

void ElectrumClient::failRequest(std::int64_t id, const ElectrumError& error) {
    // Harmless when it was answered or failed already.
    pendingRequests_.fail(id, std::make_exception_ptr(error));
}

void ElectrumClient::onReadyRead() {
    if (processing_) {
        return; // a callback spun the event loop; the outer loop reads what came meanwhile
    }
    while (socket_ && socket_->bytesAvailable() > 0) {
        const QByteArray chunk = socket_->read(kReadChunkBytes);
        if (chunk.isEmpty()) {
            break;
        }
        const bool fits = receiveBuffer_.append(bytesOf(chunk));
        if (!processBuffer()) {
            return;
        }
        if (!fits) {
            // A server that never ends its line would otherwise grow the buffer without end.
            disconnect();
            return;
        }
    }
}

void ElectrumClient::onStreamEnded() {
    QPointer<ElectrumClient> self(this);
    // Lines that came with the end of the stream are answered first.
    if (!processing_ && socket_ && socket_->bytesAvailable() > 0) {
        onReadyRead();
        if (!self) {
            return;
        }
    }
    disconnect();
}

bool ElectrumClient::processBuffer() {
    QPointer<ElectrumClient> self(this);
    processing_ = true;
    while (auto line = receiveBuffer_.nextLine()) {
        handleLine(*line);
        if (!self) {
            return false;
        }
        if (!connected_) {
            processing_ = false;
            return false;
        }
    }
    processing_ = false;
    return true;
}

void ElectrumClient::handleLine(const std::string& line) {
    const auto json = JSONReader::tryRead(line, JSONReader::network);
    if (!json || !json->is_object()) {
        // Whose answer it was cannot be told: every waiting request fails now, not at its
        // time-out.
        pendingRequests_.failAll(std::make_exception_ptr(ElectrumError::invalidResponse()));
        return;
    }
    if (auto response = RPCResponse::decode(*json)) {
        if (response->id) {
            if (response->error) {
                pendingRequests_.fail(*response->id,
                                      std::make_exception_ptr(ElectrumError::serverError(
                                          response->error->code, response->error->message)));
            } else {
                pendingRequests_.succeed(*response->id,
                                         std::move(response->result).value_or(nlohmann::json()));
            }
        }
    } else if (json->is_object()) {
        // A malformed answer to a waiting request ends it now rather than at its time-out.
        if (const auto idIt = json->find("id"); idIt != json->end()) {
            if (const auto id = jsonInt64(*idIt)) {
                failRequest(*id, ElectrumError::invalidResponse());
            }
        }
    }
    handleNotification(*json);
}

void ElectrumClient::handleNotification(const nlohmann::json& json) {
    const auto notification = ElectrumNotification::decode(json);
    if (!notification) {
        return;
    }
    const auto& params = notification->params;
    if (notification->method == "blockchain.scripthash.subscribe") {
        if (params.empty() || !params[0].is_string()) {
            return;
        }
        std::optional<std::string> status;
        if (params.size() >= 2 && params[1].is_string()) {
            status = params[1].get<std::string>();
        }
        // A copy: the callback may replace itself.
        if (auto callback = onScriptHashNotification) {
            callback(params[0].get<std::string>(), status);
        }
    } else if (notification->method == "blockchain.headers.subscribe") {
        if (params.empty()) {
            return;
        }
        ElectrumBlockHeader header;
        try {
            header = ElectrumBlockHeader::fromJson(params[0]);
        } catch (const ElectrumError&) {
            return;
        }
        if (auto callback = onHeaderNotification) {
            callback(header);
        }
    }
}

// The typed requests build their parameters in a local: gcc 12 rejects a braced list or a
// string literal converted inside a co_await expression ("array used as initializer").

QCoro::Task<ElectrumBalance> ElectrumClient::getBalance(std::string scriptHash) {
    std::vector<JSONValue> params;
    params.push_back(JSONValue::string(std::move(scriptHash)));
    const nlohmann::json raw =
        co_await call(std::string("blockchain.scripthash.get_balance"), std::move(params));
    co_return ElectrumBalance::fromJson(raw);
}

QCoro::Task<std::vector<ElectrumUTXO>> ElectrumClient::listUnspent(std::string scriptHash) {
    std::vector<JSONValue> params;
    params.push_back(JSONValue::string(std::move(scriptHash)));
    const nlohmann::json raw =
        co_await call(std::string("blockchain.scripthash.listunspent"), std::move(params));
    co_return decodeList<ElectrumUTXO>(raw);
}

QCoro::Task<std::vector<ElectrumTxRef>> ElectrumClient::getHistory(std::string scriptHash) {
    std::vector<JSONValue> params;
    params.push_back(JSONValue::string(std::move(scriptHash)));
    const nlohmann::json raw =
        co_await call(std::string("blockchain.scripthash.get_history"), std::move(params));
    co_return decodeList<ElectrumTxRef>(raw);
}

QCoro::Task<std::string> ElectrumClient::broadcast(std::string rawTransactionHex) {
    std::vector<JSONValue> params;
    params.push_back(JSONValue::string(std::move(rawTransactionHex)));
    const nlohmann::json raw =
        co_await call(std::string("blockchain.transaction.broadcast"), std::move(params));
    if (raw.is_string()) {
        co_return raw.get<std::string>();
    }
    // An answer, but no id: the caller shows it as the server's refusal.
    co_return raw.dump();
}

QCoro::Task<double> ElectrumClient::estimateFee(std::int64_t blocks) {
    std::vector<JSONValue> params;
    params.push_back(JSONValue::int64(blocks));
    const nlohmann::json raw =
        co_await call(std::string("blockchain.estimatefee"), std::move(params));
    if (raw.is_number()) {
        co_return raw.get<double>();
    }
    throw ElectrumError::invalidResponse();
}

QCoro::Task<std::optional<std::string>> ElectrumClient::subscribe(std::string scriptHash) {
    std::vector<JSONValue> params;
    params.push_back(JSONValue::string(std::move(scriptHash)));
    const nlohmann::json raw =
        co_await call(std::string("blockchain.scripthash.subscribe"), std::move(params));
    if (raw.is_string()) {
        co_return raw.get<std::string>();
    }
    co_return std::nullopt;
}

QCoro::Task<ElectrumBlockHeader> ElectrumClient::subscribeHeaders() {
    std::vector<JSONValue> params;
    const nlohmann::json raw =
        co_await call(std::string("blockchain.headers.subscribe"), std::move(params));
    co_return ElectrumBlockHeader::fromJson(raw);
}

} // namespace qm
