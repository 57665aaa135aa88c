#include "LaggingBackend.h"

#include "NodeRequest.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Keccak.h"
#include "core/crypto/UInt256.h"
#include "core/encoding/Base64.h"
#include "core/encoding/Hex.h"

#include <optional>
#include <stdexcept>

namespace qm::test {
namespace {

using json = nlohmann::json;

// The node's whole answer to one request; throws when none came.
json ask(const QUrl& node, const std::string& method, const json& params) {
    json answer = nodeRequest(node, method, params);
    if (answer.is_null()) {
        throw std::runtime_error("LaggingBackend: no answer to " + method);
    }
    return answer;
}

HttpFixtureResponse errorObject(std::int64_t code, const std::string& message) {
    return HttpFixtureResponse::json(QByteArray::fromStdString(json{
        {"jsonrpc", "2.0"},
        {"id", 1},
        {"error", {{"code", code}, {"message", message}}}}.dump()));
}

// The id of a raw transaction as its chain knows it.
std::string evmHash(const json& params) {
    return bytesToHex(keccak256(hexToBytes(params.at(0).get<std::string>()).value()));
}

std::string solanaSignature(const json& params) {
    const Bytes wire = base64Decode(params.at(0).get<std::string>()).value();
    // One signature: its count (one byte), then its 64 bytes.
    return base58Encode(ByteView(wire.data() + 1, 64));
}

} // namespace

LaggingBackend::LaggingBackend(RPCProxy& proxy, QUrl node, Family family, std::string refusal,
                               std::chrono::milliseconds lag, Count count)
    : m_node(std::move(node)), m_family(family), m_refusal(std::move(refusal)), m_lag(lag) {
    if (family == Family::evm) {
        proxy.setOverride("eth_sendRawTransaction", [this](const json& params) {
            return keep(evmHash(params), params, "eth_sendRawTransaction");
        });
        for (const char* lookup : {"eth_getTransactionByHash", "eth_getTransactionReceipt"}) {
            proxy.setOverride(lookup, [this](const json& params) {
                return lags(params.at(0).get<std::string>())
                           ? std::optional(HttpFixtureResponse::jsonRPCResult(nullptr))
                           : std::nullopt;
            });
        }
        proxy.setOverride("eth_getBlockByNumber",
                          [this](const json& params) { return evmBlock(params); });
        if (count == Count::lagging) {
            proxy.setOverride("eth_getTransactionCount",
                              [this](const json& params) { return evmCount(params); });
        }
    } else {
        proxy.setOverride("sendTransaction", [this](const json& params) {
            return keep(solanaSignature(params), params, "sendTransaction");
        });
        proxy.setOverride("getSignatureStatuses",
                          [this](const json& params) { return solanaStatuses(params); });
    }
}

bool LaggingBackend::lags(const std::string& id) const {
    const auto found = m_firstSeen.find(id);
    return !m_caughtUp && found != m_firstSeen.end() &&
           found->second.msecsTo(QDateTime::currentDateTimeUtc()) < m_lag.count();
}

std::optional<HttpFixtureResponse> LaggingBackend::keep(const std::string& id, const json& params,
                                                        const std::string& method) {
    if (m_answersNew && !m_firstSeen.contains(id)) {
        return std::nullopt;
    }
    if (m_firstSeen.emplace(id, QDateTime::currentDateTimeUtc()).second) {
        m_order.push_back(id);
    }
    // The real node keeps it (or says why not: this backend's answer is the refusal anyway).
    ask(m_node, method, params);
    if (m_refusal.empty()) {
        return HttpFixtureResponse::withStatus(504);
    }
    return errorObject(m_family == Family::evm ? -32000 : -32002, m_refusal);
}

std::optional<HttpFixtureResponse> LaggingBackend::evmCount(const json& params) {
    if (params.size() < 2 || params.at(1) != "latest") {
        return std::nullopt;
    }
    std::uint64_t count =
        hexToUInt64(ask(m_node, "eth_getTransactionCount", params).at("result").get<std::string>())
            .value();
    // The mined transactions this backend has not seen yet are not counted.
    for (const std::string& id : m_order) {
        if (lags(id) && count > 0 &&
            !ask(m_node, "eth_getTransactionReceipt", json::array({id})).at("result").is_null()) {
            --count;
        }
    }
    return HttpFixtureResponse::jsonRPCResult(UInt256(0, 0, 0, count).description());
}

std::optional<HttpFixtureResponse> LaggingBackend::evmBlock(const json& params) {
    const json answer = ask(m_node, "eth_getBlockByNumber", params);
    const json block = answer.value("result", json());
    if (block.is_object()) {
        for (const json& transaction : block.value("transactions", json::array())) {
            // Hashes, or whole transactions when asked for them.
            const json& hash = transaction.is_object() ? transaction.at("hash") : transaction;
            if (lags(hash.get<std::string>())) {
                return HttpFixtureResponse::jsonRPCResult(nullptr);
            }
        }
    }
    return HttpFixtureResponse::json(QByteArray::fromStdString(answer.dump()));
}

std::optional<HttpFixtureResponse> LaggingBackend::solanaStatuses(const json& params) {
    json answer = ask(m_node, "getSignatureStatuses", params);
    json& statuses = answer.at("result").at("value");
    json& slot = answer.at("result").at("context").at("slot");
    for (std::size_t i = 0; i < statuses.size() && i < params.at(0).size(); ++i) {
        if (lags(params.at(0).at(i).get<std::string>()) && !statuses[i].is_null()) {
            const std::uint64_t landed = statuses[i].at("slot").get<std::uint64_t>();
            if (landed > 0 && landed - 1 < slot.get<std::uint64_t>()) {
                slot = landed - 1;
            }
            statuses[i] = nullptr;
        }
    }
    return HttpFixtureResponse::jsonRPCResult(answer.at("result"));
}

} // namespace qm::test
