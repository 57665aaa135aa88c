#include "services/evm/TypedDataJSON.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace qm {
namespace {

using json = nlohmann::json;

// True when no array or object inside `value` lies deeper than `remaining` levels.
bool nestsWithin(const json& value, std::size_t remaining) {
    if (!value.is_structured()) {
        return true;
    }
    if (remaining == 0) {
        return false;
    }
    return std::all_of(value.begin(), value.end(),
                       [&](const json& child) { return nestsWithin(child, remaining - 1); });
}

std::optional<EIP712Types> typesFromJSON(const json& object) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    EIP712Types types;
    for (const auto& [name, fields] : object.items()) {
        if (!fields.is_array()) {
            return std::nullopt;
        }
        std::vector<EIP712Field> declared;
        declared.reserve(fields.size());
        for (const auto& field : fields) {
            if (!field.is_object() ||
                !std::all_of(field.begin(), field.end(),
                             [](const json& member) { return member.is_string(); })) {
                return std::nullopt;
            }
            const auto fieldName = field.find("name");
            const auto fieldType = field.find("type");
            if (fieldName == field.end() || fieldType == field.end()) {
                return std::nullopt;
            }
            declared.push_back({fieldName->get<std::string>(), fieldType->get<std::string>()});
        }
        types.emplace(name, std::move(declared));
    }
    return types;
}

} // namespace

std::optional<nlohmann::json> parseJSONKeepingBigIntegers(std::string_view text) {
    return JSONReader::tryReadKeepingBigIntegers(text, kTypedDataLimits);
}

std::optional<EIP712TypedData> typedDataFromJSON(const nlohmann::json& request) {
    if (!request.is_object()) {
        return std::nullopt;
    }
    const auto types = request.find("types");
    const auto primaryType = request.find("primaryType");
    const auto domain = request.find("domain");
    const auto message = request.find("message");
    if (types == request.end() || primaryType == request.end() || domain == request.end() ||
        message == request.end() || !primaryType->is_string() || !domain->is_object() ||
        !message->is_object()) {
        return std::nullopt;
    }
    // The encoder recurses once per level of a value.
    if (!nestsWithin(*domain, kMaxTypedDataNesting) ||
        !nestsWithin(*message, kMaxTypedDataNesting)) {
        return std::nullopt;
    }
    auto declared = typesFromJSON(*types);
    if (!declared) {
        return std::nullopt;
    }
    return EIP712TypedData{std::move(*declared), primaryType->get<std::string>(),
                           domain->get<json::object_t>(), message->get<json::object_t>()};
}

std::optional<EIP712TypedData> parseTypedData(std::string_view text) {
    const auto request = parseJSONKeepingBigIntegers(text);
    if (!request) {
        return std::nullopt;
    }
    return typedDataFromJSON(*request);
}

} // namespace qm
