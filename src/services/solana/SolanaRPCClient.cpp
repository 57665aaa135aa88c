#include "services/solana/SolanaRPCClient.h"

#include "services/network/DecodingTexts.h"
#include "services/network/UTF8.h"

#include <limits>

namespace qm {
namespace {

bool isInt64(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>() <=
               static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    }
    return value.is_number_integer();
}

nlohmann::json commitment() {
    return {{"commitment", "confirmed"}};
}

} // namespace

SolanaRPCClient::SolanaRPCClient(QUrl url, HttpTimeouts timeouts, QObject* parent)
    : QObject(parent), m_url(url), m_session(std::move(url), timeouts) {}

QCoro::Task<QByteArray> SolanaRPCClient::exchange(std::string method, nlohmann::json params) {
    const std::int64_t id = ++m_requestID;
    nlohmann::json request = nlohmann::json::object();
    request["jsonrpc"] = "2.0";
    request["id"] = id;
    request["method"] = std::move(method);
    request["params"] = std::move(params);

    HttpRequestOptions options;
    options.idleTimeout = std::chrono::seconds(60); // every request carries its own limit too
    QByteArray body = QByteArray::fromStdString(request.dump());
    QByteArray contentType("application/json");
    const HttpResponse response =
        co_await m_session.post(m_url, std::move(body), std::move(contentType), options);
    // Only locals from here on: the client may be gone.
    if (response.status != 200) {
        throw SolanaRPCError::httpError(response.status);
    }
    co_return response.body;
}

SolanaRPCClient::Envelope SolanaRPCClient::decodeEnvelope(const QByteArray& body) {
    const nlohmann::json json = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        throwDecodingError(decodingMalformedText, body);
    }
    const auto jsonrpc = json.find("jsonrpc");
    const auto id = json.find("id");
    if (jsonrpc == json.end() || id == json.end() || jsonrpc->is_null() || id->is_null()) {
        throwDecodingError(decodingMissingText, body);
    }
    if (!jsonrpc->is_string() || !isInt64(*id)) {
        throwDecodingError(decodingMalformedText, body);
    }

    Envelope envelope;
    if (const auto error = json.find("error"); error != json.end() && !error->is_null()) {
        if (!error->is_object()) {
            throwDecodingError(decodingMalformedText, body);
        }
        const auto code = error->find("code");
        const auto message = error->find("message");
        if (code == error->end() || message == error->end() || code->is_null() ||
            message->is_null()) {
            throwDecodingError(decodingMissingText, body);
        }
        if (!isInt64(*code) || !message->is_string()) {
            throwDecodingError(decodingMalformedText, body);
        }
        envelope.error.emplace(code->get<std::int64_t>(), message->get<std::string>());
    }
    if (const auto result = json.find("result"); result != json.end()) {
        envelope.result = *result;
    }
    return envelope;
}

void SolanaRPCClient::throwDecodingError(const std::string& reason, const QByteArray& body) {
    const auto text = utf8Text(ByteView(reinterpret_cast<const std::uint8_t*>(body.constData()),
                                        static_cast<std::size_t>(body.size())));
    throw SolanaRPCError::decodingError(reason + " \u2014 body: " + text.value_or("<non-UTF8>"));
}

// Arguments are built outside the co_await: gcc 12 miscompiles string literals inside it.

QCoro::Task<std::uint64_t> SolanaRPCClient::getBalance(std::string address) {
    nlohmann::json params = nlohmann::json::array({std::move(address), commitment()});
    const auto result = co_await call<BalanceResult>(std::string("getBalance"), std::move(params));
    co_return result.value;
}

QCoro::Task<LatestBlockhashValue> SolanaRPCClient::getLatestBlockhash() {
    nlohmann::json params = nlohmann::json::array({commitment()});
    auto result =
        co_await call<LatestBlockhashResult>(std::string("getLatestBlockhash"), std::move(params));
    co_return std::move(result.value);
}

QCoro::Task<std::string> SolanaRPCClient::sendTransaction(std::string transaction) {
    nlohmann::json config = nlohmann::json::object();
    config["encoding"] = "base64";
    config["skipPreflight"] = false;
    config["preflightCommitment"] = "confirmed";
    nlohmann::json params = nlohmann::json::array({std::move(transaction), std::move(config)});
    co_return co_await call<std::string>(std::string("sendTransaction"), std::move(params));
}

QCoro::Task<std::vector<SPLTokenAccountInfo>>
SolanaRPCClient::getTokenAccountsByOwner(std::string owner) {
    nlohmann::json program = {{"programId", "TokenkegQfeZyiNwAJbNbGKPFXCWuBvf9Ss623VQ5DA"}};
    nlohmann::json config = {{"encoding", "jsonParsed"}, {"commitment", "confirmed"}};
    nlohmann::json params =
        nlohmann::json::array({std::move(owner), std::move(program), std::move(config)});
    auto result = co_await call<TokenAccountsResult>(std::string("getTokenAccountsByOwner"),
                                                     std::move(params));
    co_return std::move(result.value);
}

QCoro::Task<std::vector<SolanaTransactionInfo>>
SolanaRPCClient::getSignaturesForAddress(std::string address, int limit) {
    nlohmann::json config = {{"limit", limit}, {"commitment", "confirmed"}};
    nlohmann::json params = nlohmann::json::array({std::move(address), std::move(config)});
    co_return co_await call<std::vector<SolanaTransactionInfo>>(
        std::string("getSignaturesForAddress"), std::move(params));
}

} // namespace qm
