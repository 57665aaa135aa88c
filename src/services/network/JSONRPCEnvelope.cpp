#include "services/network/JSONRPCEnvelope.h"

#include "core/json/JSONReader.h"
#include "services/network/DecodingTexts.h"

#include <limits>
#include <stdexcept>

namespace qm {
namespace {

bool missing(const nlohmann::json& object, nlohmann::json::const_iterator it) {
    return it == object.end() || it->is_null();
}

} // namespace

bool isJSONInt64(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>() <=
               static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    }
    return value.is_number_integer();
}

QByteArray jsonRPCRequestBody(std::int64_t id, std::string method, nlohmann::json params) {
    nlohmann::json request = nlohmann::json::object();
    request["jsonrpc"] = "2.0";
    request["method"] = std::move(method);
    request["params"] = std::move(params);
    request["id"] = id;
    return QByteArray::fromStdString(request.dump());
}

JSONRPCEnvelope decodeJSONRPCEnvelope(const QByteArray& body) {
    const std::optional<nlohmann::json> parsed = JSONReader::tryRead(
        std::string_view(body.constData(), static_cast<std::size_t>(body.size())),
        JSONReader::network);
    if (!parsed || !parsed->is_object()) {
        throw std::invalid_argument(decodingMalformedText);
    }
    const nlohmann::json& json = *parsed;
    const auto jsonrpc = json.find("jsonrpc");
    const auto id = json.find("id");
    if (missing(json, jsonrpc) || missing(json, id)) {
        throw std::invalid_argument(decodingMissingText);
    }
    if (!jsonrpc->is_string() || !isJSONInt64(*id)) {
        throw std::invalid_argument(decodingMalformedText);
    }

    JSONRPCEnvelope envelope;
    if (const auto error = json.find("error"); !missing(json, error)) {
        if (!error->is_object()) {
            throw std::invalid_argument(decodingMalformedText);
        }
        const auto code = error->find("code");
        const auto message = error->find("message");
        if (missing(*error, code) || missing(*error, message)) {
            throw std::invalid_argument(decodingMissingText);
        }
        if (!isJSONInt64(*code) || !message->is_string()) {
            throw std::invalid_argument(decodingMalformedText);
        }
        envelope.error.emplace(code->get<std::int64_t>(), message->get<std::string>());
    }
    if (const auto result = json.find("result"); result != json.end()) {
        envelope.result = *result;
    }
    return envelope;
}

std::string decodingFailureText(const std::string& reason, const QByteArray& body) {
    return reason + " \u2014 body of " + std::to_string(body.size()) + " bytes";
}

} // namespace qm
