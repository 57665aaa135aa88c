#include "services/walletconnect/WCRelayMessage.h"

#include "core/json/JSONReader.h"

#include <limits>

namespace qm {
namespace {

using nlohmann::json;

std::optional<std::int64_t> integerOf(const json& value) {
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_unsigned() &&
        value.get<std::uint64_t>() <=
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return static_cast<std::int64_t>(value.get<std::uint64_t>());
    }
    return std::nullopt;
}

const json* member(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const std::string* stringMember(const json& object, const char* key) {
    const json* value = member(object, key);
    return value != nullptr && value->is_string() ? value->get_ptr<const std::string*>() : nullptr;
}

RelayMessage parseDelivery(const json& frame) {
    const json* params = member(frame, "params");
    if (params == nullptr || !params->is_object()) {
        return {};
    }
    const json* data = member(*params, "data");
    if (data == nullptr || !data->is_object()) {
        return {};
    }
    const std::string* topic = stringMember(*data, "topic");
    const std::string* message = stringMember(*data, "message");
    const std::string* subscriptionId = stringMember(*params, "id");
    if (topic == nullptr || message == nullptr || subscriptionId == nullptr) {
        return {};
    }
    RelayDelivery delivery;
    if (const json* id = member(frame, "id")) {
        delivery.ackId = *id;
    }
    delivery.subscriptionId = *subscriptionId;
    delivery.topic = *topic;
    delivery.message = *message;
    return delivery;
}

} // namespace

RelayMessage parseRelayMessage(std::string_view text) {
    const auto frame = JSONReader::tryRead(text, JSONReader::network);
    if (!frame || !frame->is_object()) {
        return {};
    }
    if (const json* method = member(*frame, "method")) {
        if (method->is_string() && method->get_ref<const std::string&>() == "irn_subscription") {
            return parseDelivery(*frame);
        }
        return {};
    }
    const json* idValue = member(*frame, "id");
    const auto id = idValue != nullptr ? integerOf(*idValue) : std::nullopt;
    if (!id) {
        return {};
    }
    RelayResponse response;
    response.id = *id;
    if (const json* error = member(*frame, "error"); error != nullptr && error->is_object()) {
        if (const std::string* message = stringMember(*error, "message")) {
            response.errorMessage = *message;
            return response;
        }
    }
    if (const json* result = member(*frame, "result")) {
        response.result = *result;
    }
    return response;
}

std::string relayAcknowledgement(const json& ackId) {
    return json{{"id", ackId}, {"jsonrpc", "2.0"}, {"result", true}}.dump();
}

json relayRequest(std::int64_t id, std::string_view method, json params) {
    return {{"id", id}, {"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

} // namespace qm
