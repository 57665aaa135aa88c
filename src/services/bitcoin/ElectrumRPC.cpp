#include "services/bitcoin/ElectrumRPC.h"

#include "services/bitcoin/ElectrumResults.h"

namespace qm {

nlohmann::json ElectrumJSONValue::toJson() const {
    return std::visit([](const auto& v) { return nlohmann::json(v); }, value);
}

std::string ElectrumRPCRequest::encodeLine() const {
    // Built by hand: the key order is part of the wire format and nlohmann sorts keys.
    auto params = nlohmann::json::array();
    for (const auto& p : this->params) {
        params.push_back(p.toJson());
    }
    std::string line =
        "{\"jsonrpc\":" + nlohmann::json(jsonrpc).dump() + ",\"id\":" + std::to_string(id) +
        ",\"method\":" + nlohmann::json(method).dump() + ",\"params\":" + params.dump() + "}";
    line.push_back('\n');
    return line;
}

std::optional<ElectrumRPCResponse> ElectrumRPCResponse::decode(const nlohmann::json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    ElectrumRPCResponse response;
    if (const auto it = json.find("id"); it != json.end() && !it->is_null()) {
        response.id = jsonInt64(*it);
        if (!response.id) {
            return std::nullopt;
        }
    }
    if (const auto it = json.find("error"); it != json.end() && !it->is_null()) {
        if (!it->is_object()) {
            return std::nullopt;
        }
        const auto code = it->find("code");
        const auto message = it->find("message");
        if (code == it->end() || message == it->end() || !message->is_string()) {
            return std::nullopt;
        }
        const auto codeValue = jsonInt64(*code);
        if (!codeValue) {
            return std::nullopt;
        }
        response.error = RPCError{*codeValue, message->get<std::string>()};
    }
    if (const auto it = json.find("result"); it != json.end() && !it->is_null()) {
        response.result = *it;
    }
    return response;
}

std::optional<ElectrumNotification> ElectrumNotification::decode(const nlohmann::json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    const auto method = json.find("method");
    const auto params = json.find("params");
    if (method == json.end() || !method->is_string() || params == json.end() ||
        !params->is_array()) {
        return std::nullopt;
    }
    return ElectrumNotification{method->get<std::string>(), *params};
}

} // namespace qm
