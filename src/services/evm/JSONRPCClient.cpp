#include "services/evm/JSONRPCClient.h"

#include "core/encoding/AsciiCase.h"
#include "core/encoding/Hex.h"
#include "services/network/DecodingTexts.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

namespace qm {
namespace {

[[noreturn]] void malformed() {
    throw std::invalid_argument(decodingMalformedText);
}

// An optional text member: absent or null give no value; anything but a string is malformed.
std::optional<std::string> optionalText(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return std::nullopt;
    }
    if (!it->is_string()) {
        malformed();
    }
    return it->get<std::string>();
}

UInt256 quantity256(const std::string& result, const char* failurePrefix) {
    const auto value = UInt256::fromHex(result);
    if (!value) {
        throw JSONRPCClientError::decodingError(failurePrefix + result);
    }
    return *value;
}

// A required text member.
const std::string& requiredText(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) {
        malformed();
    }
    return it->get_ref<const std::string&>();
}

std::uint64_t requiredQuantity(const nlohmann::json& object, const char* key) {
    const std::optional<std::uint64_t> value = hexToUInt64(requiredText(object, key));
    if (!value) {
        malformed();
    }
    return *value;
}

// Required hex of exactly `size` bytes (a hash, an address).
Bytes requiredBytes(const nlohmann::json& object, const char* key, std::size_t size) {
    std::optional<Bytes> value = hexToBytes(requiredText(object, key));
    if (!value || value->size() != size) {
        malformed();
    }
    return std::move(*value);
}

// A required quantity of up to 256 bits: "0x" and one to 64 hex digits.
UInt256 requiredQuantity256(const nlohmann::json& object, const char* key) {
    const std::string& text = requiredText(object, key);
    const std::optional<UInt256> value =
        text.size() > 2 && text.starts_with("0x") ? UInt256::fromHex(text) : std::nullopt;
    if (!value) {
        malformed();
    }
    return *value;
}

// Required hex of any length (call data).
Bytes requiredAnyBytes(const nlohmann::json& object, const char* key) {
    std::optional<Bytes> value = hexToBytes(requiredText(object, key));
    if (!value) {
        malformed();
    }
    return std::move(*value);
}

// An optional quantity: absent or null give none.
std::optional<std::uint64_t> optionalQuantity(const nlohmann::json& object, const char* key) {
    if (!optionalText(object, key)) {
        return std::nullopt;
    }
    return requiredQuantity(object, key);
}

const nlohmann::json& requiredArray(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_array()) {
        malformed();
    }
    return *it;
}

std::vector<ETHAccessListEntry> accessList(const nlohmann::json& object) {
    std::vector<ETHAccessListEntry> entries;
    for (const auto& element : requiredArray(object, "accessList")) {
        if (!element.is_object()) {
            malformed();
        }
        ETHAccessListEntry entry{requiredBytes(element, "address", 20), {}};
        for (const auto& key : requiredArray(element, "storageKeys")) {
            const std::optional<Bytes> bytes =
                key.is_string() ? hexToBytes(key.get_ref<const std::string&>()) : std::nullopt;
            if (!bytes || bytes->size() != 32) {
                malformed();
            }
            entry.storageKeys.push_back(*bytes);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The fields and signature of a type-2 transaction object.
ETHSignedTransaction signedTypeTwo(const nlohmann::json& object) {
    ETHSignedTransaction out;
    ETHTransaction& fields = out.fields;
    fields.chainID = requiredQuantity(object, "chainId");
    fields.nonce = requiredQuantity(object, "nonce");
    fields.maxPriorityFeePerGas = requiredQuantity256(object, "maxPriorityFeePerGas");
    fields.maxFeePerGas = requiredQuantity256(object, "maxFeePerGas");
    fields.gasLimit = requiredQuantity(object, "gas");
    if (optionalText(object, "to")) {
        fields.to = requiredBytes(object, "to", 20);
    }
    fields.value = requiredQuantity256(object, "value");
    fields.data = requiredAnyBytes(object, "input");
    fields.accessList = accessList(object);
    out.yParity = requiredQuantity(object, "v");
    if (optionalQuantity(object, "yParity").value_or(out.yParity) != out.yParity) {
        malformed();
    }
    out.r = requiredQuantity256(object, "r");
    out.s = requiredQuantity256(object, "s");
    return out;
}

std::uint64_t quantity64(const std::string& result, const char* failurePrefix) {
    const auto value = hexToUInt64(result);
    if (!value) {
        throw JSONRPCClientError::decodingError(failurePrefix + result);
    }
    return *value;
}

} // namespace

std::string JSONRPCError::description() const {
    return "JSON-RPC error " + std::to_string(code) + ": " + message;
}

JSONRPCClientError JSONRPCClientError::httpError(int status) {
    JSONRPCClientError error(Kind::httpError,
                             "JSONRPCClient: HTTP error " + std::to_string(status));
    error.m_httpStatus = status;
    return error;
}

JSONRPCClientError JSONRPCClientError::decodingError(const std::string& text) {
    return {Kind::decodingError, "JSONRPCClient: decoding error \u2014 " + text};
}

JSONRPCClientError JSONRPCClientError::rpcError(JSONRPCError rpc) {
    JSONRPCClientError error(Kind::rpcError, "JSONRPCClient: " + rpc.description());
    error.m_rpc = std::move(rpc);
    return error;
}

JSONRPCClientError JSONRPCClientError::unexpectedResponse(const std::string& text) {
    return {Kind::unexpectedResponse, "JSONRPCClient: unexpected response \u2014 " + text};
}

JSONRPCClientError JSONRPCClientError::invalidURL() {
    return {Kind::invalidURL, "JSONRPCClient: invalid URL"};
}

JSONRPCClientError JSONRPCClientError::noResult() {
    return {Kind::noResult, "JSONRPCClient: response contained no result"};
}

void fromRPCResult(const nlohmann::json& json, std::string& out) {
    if (!json.is_string()) {
        malformed();
    }
    out = json.get<std::string>();
}

void fromRPCResult(const nlohmann::json& json, nlohmann::json& out) {
    out = json;
}

void fromRPCResult(const nlohmann::json& json, ETHBlock& out) {
    if (!json.is_object()) {
        malformed();
    }
    out.number = optionalText(json, "number");
    out.baseFeePerGas = optionalText(json, "baseFeePerGas");
    out.timestamp = optionalText(json, "timestamp");
    out.gasLimit = optionalText(json, "gasLimit");
}

void fromRPCResult(const nlohmann::json& json, ETHNodeTransaction& out) {
    // A block read without its transactions lists only their hashes.
    if (!json.is_object()) {
        malformed();
    }
    out.hash = requiredBytes(json, "hash", 32);
    out.from = requiredBytes(json, "from", 20);
    out.nonce = requiredQuantity(json, "nonce");
    out.blockNumber = optionalQuantity(json, "blockNumber");
    out.signedForm.reset();
    if (optionalQuantity(json, "type") == 2) {
        out.signedForm = signedTypeTwo(json);
    }
}

void fromRPCResult(const nlohmann::json& json, ETHBlockTransactions& out) {
    if (!json.is_object()) {
        malformed();
    }
    out.number = requiredQuantity(json, "number");
    const auto transactions = json.find("transactions");
    if (transactions == json.end() || !transactions->is_array()) {
        malformed();
    }
    out.transactions.clear();
    out.transactions.reserve(transactions->size());
    for (const auto& element : *transactions) {
        fromRPCResult(element, out.transactions.emplace_back());
    }
}

void fromRPCResult(const nlohmann::json& json, ETHReceipt& out) {
    if (!json.is_object()) {
        malformed();
    }
    out.status.reset();
    if (const std::optional<std::string> status = optionalText(json, "status")) {
        out.status = hexToUInt64(*status);
        if (!out.status) {
            malformed();
        }
    }
    out.blockNumber = optionalText(json, "blockNumber");
    out.gasUsed = optionalText(json, "gasUsed");
    out.effectiveGasPrice = optionalText(json, "effectiveGasPrice");
}

void fromRPCResult(const nlohmann::json& json, std::vector<ETHLog>& out) {
    if (!json.is_array()) {
        malformed();
    }
    out.clear();
    out.reserve(json.size());
    for (const auto& element : json) {
        if (!element.is_object()) {
            malformed();
        }
        ETHLog log;
        log.address = optionalText(element, "address");
        if (const auto topics = element.find("topics");
            topics != element.end() && !topics->is_null()) {
            if (!topics->is_array()) {
                malformed();
            }
            log.topics.emplace();
            for (const auto& topic : *topics) {
                if (!topic.is_string()) {
                    malformed();
                }
                log.topics->push_back(topic.get<std::string>());
            }
        }
        log.data = optionalText(element, "data");
        log.blockNumber = optionalText(element, "blockNumber");
        log.transactionHash = optionalText(element, "transactionHash");
        log.logIndex = optionalText(element, "logIndex");
        out.push_back(std::move(log));
    }
}

JSONRPCClient::JSONRPCClient(QUrl url, HttpTimeouts timeouts, QObject* parent)
    : QObject(parent), m_transport(std::move(url), timeouts, maxReplyBytes) {}

void JSONRPCClient::Failures::http(int status) {
    throw JSONRPCClientError::httpError(status);
}

void JSONRPCClient::Failures::decoding(std::string text) {
    throw JSONRPCClientError::decodingError(std::move(text));
}

void JSONRPCClient::Failures::rpc(std::int64_t code, std::string message) {
    throw JSONRPCClientError::rpcError(JSONRPCError{code, std::move(message)});
}

void JSONRPCClient::Failures::noResult() {
    throw JSONRPCClientError::noResult();
}

template <typename Result>
QCoro::Task<std::optional<Result>>
JSONRPCClient::callOrNone(std::string method, nlohmann::json params, CancellationToken cancel) {
    try {
        co_return co_await call<Result>(std::move(method), std::move(params), std::move(cancel));
    } catch (const JSONRPCClientError& error) {
        if (error.kind() != JSONRPCClientError::Kind::noResult) {
            throw;
        }
    }
    co_return std::nullopt;
}

QCoro::Task<UInt256> JSONRPCClient::getBalance(std::string address, CancellationToken cancel) {
    // Arguments are built outside the co_await: gcc 12 rejects string literals inside it.
    nlohmann::json params = nlohmann::json::array({std::move(address), "latest"});
    const auto result = co_await call<std::string>(std::string("eth_getBalance"), std::move(params),
                                                   std::move(cancel));
    co_return quantity256(result, "Cannot parse balance: ");
}

QCoro::Task<std::uint64_t> JSONRPCClient::getTransactionCount(std::string address,
                                                              CancellationToken cancel) {
    QCoro::Task<std::uint64_t> counting =
        transactionCount(std::move(address), "pending", std::move(cancel));
    co_return co_await std::move(counting);
}

QCoro::Task<std::uint64_t> JSONRPCClient::minedTransactionCount(std::string address,
                                                                CancellationToken cancel) {
    QCoro::Task<std::uint64_t> counting =
        transactionCount(std::move(address), "latest", std::move(cancel));
    co_return co_await std::move(counting);
}

QCoro::Task<std::uint64_t> JSONRPCClient::transactionCountAt(std::string address,
                                                             std::uint64_t block,
                                                             CancellationToken cancel) {
    QCoro::Task<std::uint64_t> counting = transactionCount(
        std::move(address), UInt256(0, 0, 0, block).description(), std::move(cancel));
    co_return co_await std::move(counting);
}

QCoro::Task<std::uint64_t> JSONRPCClient::transactionCount(std::string address, std::string block,
                                                           CancellationToken cancel) {
    nlohmann::json params = nlohmann::json::array({std::move(address), std::move(block)});
    const auto result = co_await call<std::string>(std::string("eth_getTransactionCount"),
                                                   std::move(params), std::move(cancel));
    co_return quantity64(result, "Cannot parse nonce: ");
}

QCoro::Task<std::uint64_t> JSONRPCClient::blockNumber(CancellationToken cancel) {
    const auto result = co_await call<std::string>(std::string("eth_blockNumber"),
                                                   nlohmann::json::array(), std::move(cancel));
    co_return quantity64(result, "Cannot parse block number: ");
}

QCoro::Task<std::optional<ETHBlockTransactions>>
JSONRPCClient::blockWithTransactions(std::uint64_t number, CancellationToken cancel) {
    nlohmann::json params = nlohmann::json::array({UInt256(0, 0, 0, number).description(), true});
    // None: the node does not have that block (yet).
    co_return co_await callOrNone<ETHBlockTransactions>(std::string("eth_getBlockByNumber"),
                                                        std::move(params), std::move(cancel));
}

QCoro::Task<std::string> JSONRPCClient::ethCall(std::string to, std::string data,
                                                CancellationToken cancel) {
    nlohmann::json transaction = nlohmann::json::object();
    transaction["to"] = std::move(to);
    transaction["data"] = std::move(data);
    nlohmann::json params = nlohmann::json::array({std::move(transaction), "latest"});
    co_return co_await call<std::string>(std::string("eth_call"), std::move(params),
                                         std::move(cancel));
}

QCoro::Task<UInt256> JSONRPCClient::gasPrice(CancellationToken cancel) {
    const auto result = co_await call<std::string>(std::string("eth_gasPrice"),
                                                   nlohmann::json::array(), std::move(cancel));
    co_return quantity256(result, "Cannot parse gas price: ");
}

QCoro::Task<std::uint64_t> JSONRPCClient::estimateGas(std::optional<std::string> from,
                                                      std::string to,
                                                      std::optional<std::string> value,
                                                      std::optional<std::string> data,
                                                      CancellationToken cancel) {
    nlohmann::json transaction = nlohmann::json::object();
    transaction["to"] = std::move(to);
    if (from) {
        transaction["from"] = std::move(*from);
    }
    if (value) {
        transaction["value"] = std::move(*value);
    }
    if (data) {
        transaction["data"] = std::move(*data);
    }
    nlohmann::json params = nlohmann::json::array({std::move(transaction)});
    const auto result = co_await call<std::string>(std::string("eth_estimateGas"),
                                                   std::move(params), std::move(cancel));
    co_return quantity64(result, "Cannot parse gas estimate: ");
}

QCoro::Task<UInt256> JSONRPCClient::maxPriorityFeePerGas(CancellationToken cancel) {
    const auto result = co_await call<std::string>(std::string("eth_maxPriorityFeePerGas"),
                                                   nlohmann::json::array(), std::move(cancel));
    co_return quantity256(result, "Cannot parse priority fee: ");
}

QCoro::Task<std::string> JSONRPCClient::sendRawTransaction(std::string signedHex,
                                                           CancellationToken cancel) {
    nlohmann::json params = nlohmann::json::array({std::move(signedHex)});
    co_return co_await call<std::string>(std::string("eth_sendRawTransaction"), std::move(params),
                                         std::move(cancel));
}

QCoro::Task<std::optional<ETHReceipt>>
JSONRPCClient::getTransactionReceipt(std::string transactionHash, CancellationToken cancel) {
    nlohmann::json params = nlohmann::json::array({std::move(transactionHash)});
    // None: the transaction is not mined (yet).
    co_return co_await callOrNone<ETHReceipt>(std::string("eth_getTransactionReceipt"),
                                              std::move(params), std::move(cancel));
}

QCoro::Task<std::optional<ETHNodeTransaction>>
JSONRPCClient::transactionByHash(std::string transactionHash, CancellationToken cancel) {
    nlohmann::json params = nlohmann::json::array({std::move(transactionHash)});
    co_return co_await callOrNone<ETHNodeTransaction>(std::string("eth_getTransactionByHash"),
                                                      std::move(params), std::move(cancel));
}

QCoro::Task<bool> JSONRPCClient::hasTransaction(std::string transactionHash,
                                                CancellationToken cancel) {
    nlohmann::json params = nlohmann::json::array({transactionHash});
    const std::optional<nlohmann::json> found = co_await callOrNone<nlohmann::json>(
        std::string("eth_getTransactionByHash"), std::move(params), std::move(cancel));
    if (!found) {
        // The node has never seen it.
        co_return false;
    }
    // Only an object with our hash is the node's word that it holds ours; another transaction
    // (or anything else) says nothing either way.
    const auto hash = found->is_object() ? found->find("hash") : found->end();
    if (!found->is_object() || hash == found->end() || !hash->is_string() ||
        !equalIgnoringASCIICase(hash->get_ref<const std::string&>(), transactionHash)) {
        throw JSONRPCClientError::unexpectedResponse("another transaction than " + transactionHash);
    }
    co_return true;
}

} // namespace qm
