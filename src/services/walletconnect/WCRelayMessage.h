#pragma once
// What one text frame from the WalletConnect relay says: the answer to one of our requests,
// a message delivered on a subscription, or nothing we act on. Pure; the relay client acts.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace qm {

// {"id": integer, "result": ...} or {"id": integer, "error": {"message": text}}, without
// "method": a frame that names a method is never an answer.
struct RelayResponse {
    std::int64_t id = 0;
    // The relay's message when "error" is an object with a "message" text.
    std::optional<std::string> errorMessage;
    // "result", or true when there is none.
    nlohmann::json result = true;
};

// {"method": "irn_subscription", "id": any, "params": {"id": subscription id,
//  "data": {"topic": text, "message": text}}}.
struct RelayDelivery {
    // The frame's own "id" exactly as received, echoed by the acknowledgement; absent when the
    // frame has none (then nothing is acknowledged).
    std::optional<nlohmann::json> ackId;
    std::string subscriptionId;
    std::string topic;
    std::string message; // Base64 of an envelope
};

using RelayMessage = std::variant<std::monostate, RelayResponse, RelayDelivery>;

// Reads one frame; std::monostate for anything that is neither (not JSON, not an object,
// another method, a member missing or of another kind).
RelayMessage parseRelayMessage(std::string_view text);

// The acknowledgement of a delivery: {"id": ackId, "jsonrpc": "2.0", "result": true}.
std::string relayAcknowledgement(const nlohmann::json& ackId);

// A request of ours: {"id", "jsonrpc": "2.0", "method", "params"}.
nlohmann::json relayRequest(std::int64_t id, std::string_view method, nlohmann::json params);

} // namespace qm
