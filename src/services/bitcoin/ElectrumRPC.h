#pragma once
// Electrum's newline-delimited JSON-RPC 2.0 messages: request parameters, the request line,
// the response record and the shape of a notification.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qm {

// One request parameter; only ever encoded.
struct ElectrumJSONValue {
    std::variant<std::string, std::int64_t, std::uint64_t, bool> value;

    static ElectrumJSONValue string(std::string s) { return {std::move(s)}; }
    static ElectrumJSONValue int64(std::int64_t i) { return {i}; }
    static ElectrumJSONValue uint64(std::uint64_t u) { return {u}; }
    static ElectrumJSONValue boolean(bool b) { return {b}; }

    nlohmann::json toJson() const;
};

struct ElectrumRPCRequest {
    std::string jsonrpc = "2.0";
    std::int64_t id = 0;
    std::string method;
    std::vector<ElectrumJSONValue> params;

    // The compact JSON object with keys "jsonrpc", "id", "method", "params" in that order,
    // followed by one 0x0A. Throws nlohmann's type_error for text that is not UTF-8.
    std::string encodeLine() const;
};

struct ElectrumRPCResponse {
    struct RPCError {
        std::int64_t code = 0;
        std::string message;
    };
    std::optional<std::int64_t> id;
    std::optional<nlohmann::json> result; // the value as the line carried it
    std::optional<RPCError> error;

    // Absent when the value is not an object, "id" is neither an integer nor null, or
    // "error" is neither null nor an object with an integer "code" and a string "message".
    static std::optional<ElectrumRPCResponse> decode(const nlohmann::json& json);
};

struct ElectrumNotification {
    std::string method;
    nlohmann::json params; // an array

    // Absent unless the value is an object with a string "method" and an array "params".
    static std::optional<ElectrumNotification> decode(const nlohmann::json& json);
};

} // namespace qm
