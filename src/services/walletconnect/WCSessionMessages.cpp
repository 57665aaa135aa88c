#include "services/walletconnect/WCSessionMessages.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace qm {
namespace {

using json = nlohmann::json;

constexpr Chain kWalletChains[] = {Chain::ethereum, Chain::arbitrum, Chain::polygon};

const json* member(const json& object, const char* key) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

const json* objectAt(const json& object, const char* key) {
    const json* value = member(object, key);
    return value && value->is_object() ? value : nullptr;
}

std::optional<std::string> textAt(const json& object, const char* key) {
    const json* value = member(object, key);
    if (!value || !value->is_string()) {
        return std::nullopt;
    }
    return value->get<std::string>();
}

std::optional<std::vector<std::string>> textsIn(const json* value) {
    if (!value || !value->is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    for (const json& element : *value) {
        if (!element.is_string()) {
            return std::nullopt;
        }
        out.push_back(element.get<std::string>());
    }
    return out;
}

// Seconds since 1970 as a date; none for anything but a whole number in a sane range.
std::optional<WCDate> dateAt(const json& object, const char* key) {
    const json* value = member(object, key);
    if (!value || !value->is_number()) {
        return std::nullopt;
    }
    const double seconds = value->get<double>();
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 1e12) {
        return std::nullopt;
    }
    return WCDate(std::chrono::milliseconds(std::llround(seconds * 1000.0)));
}

std::string caip2(Chain chain) {
    return "eip155:" + std::to_string(evmChainID(chain));
}

bool contains(const std::vector<std::string>& list, const std::string& text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

} // namespace

WCProtocolError WCProtocolError::userRejected() {
    return {5000, "User rejected"};
}
WCProtocolError WCProtocolError::unsupportedChains() {
    return {5100, "Unsupported chains."};
}
WCProtocolError WCProtocolError::unsupportedMethods() {
    return {5101, "Unsupported methods."};
}
WCProtocolError WCProtocolError::unsupportedEvents() {
    return {5102, "Unsupported events."};
}
WCProtocolError WCProtocolError::unsupportedAccounts() {
    return {5103, "Unsupported accounts."};
}
WCProtocolError WCProtocolError::unsupportedNamespaceKey() {
    return {5104, "Unsupported namespace key."};
}
WCProtocolError WCProtocolError::expired() {
    return {8000, "Request expired."};
}
WCProtocolError WCProtocolError::invalidParams(const std::string& why) {
    return {-32602, "Invalid params: " + why};
}

const std::vector<std::string>& walletMethods() {
    static const std::vector<std::string> methods = {"personal_sign", "eth_signTypedData_v4",
                                                     "eth_sendTransaction", "eth_signTransaction"};
    return methods;
}

const std::vector<std::string>& walletEvents() {
    static const std::vector<std::string> events = {"chainChanged", "accountsChanged"};
    return events;
}

std::vector<std::string> walletChainIds(const std::vector<Chain>& chains) {
    std::vector<std::string> out;
    for (const Chain chain : chains) {
        if (isEVMChain(chain)) {
            out.push_back(caip2(chain));
        }
    }
    return out;
}

std::vector<std::string> walletAccounts(const std::vector<Chain>& chains,
                                        const std::string& address) {
    std::vector<std::string> out = walletChainIds(chains);
    for (std::string& chainId : out) {
        chainId += ":" + address;
    }
    return out;
}

json walletNamespaces(const std::vector<Chain>& chains, const std::string& address) {
    return {{"eip155",
             {{"chains", walletChainIds(chains)},
              {"accounts", walletAccounts(chains, address)},
              {"methods", walletMethods()},
              {"events", walletEvents()}}}};
}

json walletMetadata() {
    return {{"name", "Quillmark"},
            {"description", "Multi-chain wallet"},
            {"url", "https://quillmark.app"},
            {"icons", json::array({"https://quillmark.app/icon.png"})}};
}

WCNamespaces parseNamespaces(const json& value) {
    WCNamespaces out;
    if (!value.is_object()) {
        return out;
    }
    for (const auto& [key, space] : value.items()) {
        if (!space.is_object()) {
            return {};
        }
        WCNamespace parsed;
        parsed.chains = textsIn(member(space, "chains"));
        parsed.methods = textsIn(member(space, "methods")).value_or(std::vector<std::string>{});
        parsed.events = textsIn(member(space, "events")).value_or(std::vector<std::string>{});
        out.emplace(key, std::move(parsed));
    }
    return out;
}

std::optional<WCProtocolError> requiredNamespacesRefusal(const WCNamespaces& required) {
    for (const auto& [key, space] : required) {
        std::vector<std::string> chains = space.chains.value_or(std::vector<std::string>{});
        if (key.starts_with("eip155:")) {
            chains.push_back(key); // a chain-specific key names its chain
        } else if (key != "eip155") {
            return WCProtocolError::unsupportedNamespaceKey();
        }
        for (const std::string& chain : chains) {
            if (!chainForCAIP2(chain)) {
                return WCProtocolError::unsupportedChains();
            }
        }
        for (const std::string& method : space.methods) {
            if (!contains(walletMethods(), method)) {
                return WCProtocolError::unsupportedMethods();
            }
        }
        for (const std::string& event : space.events) {
            if (!contains(walletEvents(), event)) {
                return WCProtocolError::unsupportedEvents();
            }
        }
    }
    return std::nullopt;
}

std::optional<Chain> chainForCAIP2(std::string_view chainId) {
    for (const Chain chain : kWalletChains) {
        if (chainId == caip2(chain)) {
            return chain;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> messageId(const json& body) {
    const json* id = member(body, "id");
    if (!id) {
        return std::nullopt;
    }
    if (id->is_number_unsigned()) {
        const auto value = id->get<std::uint64_t>();
        return value <= std::uint64_t(INT64_MAX) ? std::optional<std::int64_t>(std::int64_t(value))
                                                 : std::nullopt;
    }
    if (id->is_number_integer()) {
        return id->get<std::int64_t>();
    }
    if (id->is_number_float()) {
        const double value = id->get<double>();
        // Below 2^63 in magnitude: the conversion is exact for an integral double there.
        if (std::isfinite(value) && std::trunc(value) == value && value >= -9.2233720368547758e18 &&
            value < 9.2233720368547758e18) {
            return static_cast<std::int64_t>(value);
        }
        return std::nullopt;
    }
    if (id->is_string()) {
        std::string_view text = id->get_ref<const std::string&>();
        if (!text.ends_with('n')) {
            return std::nullopt;
        }
        text.remove_suffix(1);
        std::int64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || text.front() == '+' || error != std::errc() ||
            end != text.data() + text.size()) {
            return std::nullopt;
        }
        return value;
    }
    return std::nullopt;
}

std::optional<WCSessionProposal> readProposal(const json& body, const std::string& pairingTopic) {
    const auto id = messageId(body);
    const json* params = id ? objectAt(body, "params") : nullptr;
    const json* proposer = params ? objectAt(*params, "proposer") : nullptr;
    const auto publicKey = proposer ? textAt(*proposer, "publicKey") : std::nullopt;
    const json* metadata = publicKey ? objectAt(*proposer, "metadata") : nullptr;
    const auto name = metadata ? textAt(*metadata, "name") : std::nullopt;
    if (!name) {
        return std::nullopt;
    }
    WCSessionProposal proposal;
    proposal.id = *id;
    proposal.pairingTopic = pairingTopic;
    proposal.proposerPublicKey = *publicKey;
    proposal.metadata.name = *name;
    proposal.metadata.description = textAt(*metadata, "description").value_or("");
    proposal.metadata.url = textAt(*metadata, "url").value_or("");
    proposal.metadata.icons =
        textsIn(member(*metadata, "icons")).value_or(std::vector<std::string>{});
    if (const json* required = member(*params, "requiredNamespaces")) {
        proposal.requiredNamespaces = parseNamespaces(*required);
    }
    if (const json* optional = member(*params, "optionalNamespaces")) {
        proposal.optionalNamespaces = parseNamespaces(*optional);
    }
    proposal.expiry = dateAt(*params, "expiryTimestamp");
    return proposal;
}

std::optional<WCSessionRequest> readRequest(const json& body, const std::string& sessionTopic) {
    const auto id = messageId(body);
    const json* params = id ? objectAt(body, "params") : nullptr;
    const json* request = params ? objectAt(*params, "request") : nullptr;
    const auto method = request ? textAt(*request, "method") : std::nullopt;
    if (!method) {
        return std::nullopt;
    }
    WCSessionRequest out;
    out.id = *id;
    out.sessionTopic = sessionTopic;
    out.chainId = textAt(*params, "chainId").value_or("eip155:1");
    out.method = *method;
    if (const json* list = member(*request, "params"); list && list->is_array()) {
        out.params.assign(list->begin(), list->end());
    }
    out.expiry = dateAt(*request, "expiryTimestamp");
    return out;
}

json settlementMessage(std::int64_t id, const json& namespaces, const std::string& publicKeyHex,
                       std::int64_t expirySeconds) {
    return {{"id", id},
            {"jsonrpc", "2.0"},
            {"method", "wc_sessionSettle"},
            {"params",
             {{"relay", {{"protocol", "irn"}}},
              {"namespaces", namespaces},
              {"controller", {{"publicKey", publicKeyHex}, {"metadata", walletMetadata()}}},
              {"expiry", expirySeconds}}}};
}

json proposalAnswer(std::int64_t id, const std::string& publicKeyHex) {
    return {{"id", id},
            {"jsonrpc", "2.0"},
            {"result", {{"relay", {{"protocol", "irn"}}}, {"responderPublicKey", publicKeyHex}}}};
}

json resultMessage(std::int64_t id, const json& result) {
    return {{"id", id}, {"jsonrpc", "2.0"}, {"result", result}};
}

json errorMessage(std::int64_t id, const WCProtocolError& error) {
    return {{"id", id},
            {"jsonrpc", "2.0"},
            {"error", {{"code", error.code}, {"message", error.message}}}};
}

json deletionMessage(std::int64_t id) {
    return {{"id", id},
            {"jsonrpc", "2.0"},
            {"method", "wc_sessionDelete"},
            {"params", {{"code", 6000}, {"message", "User disconnected"}}}};
}

} // namespace qm
