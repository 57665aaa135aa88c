#include "services/evm/TypedDataJSON.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace qm {
namespace {

using json = nlohmann::json;

bool isIntegerLiteral(std::string_view text) {
    if (text.starts_with('-')) {
        text.remove_prefix(1);
    }
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Builds the document from parser events, as nlohmann's own DOM parser does, with two
// differences: integer literals that overflowed 64 bits keep their text, and the nesting
// depth is bounded.
class KeepingBuilder {
public:
    bool null() { return add(nullptr) != nullptr; }
    bool boolean(bool value) { return add(value) != nullptr; }
    bool number_integer(json::number_integer_t value) { return add(value) != nullptr; }
    bool number_unsigned(json::number_unsigned_t value) { return add(value) != nullptr; }
    bool number_float(json::number_float_t value, const std::string& literal) {
        // The lexer hands an integer that overflowed 64 bits over as a double; its text
        // is still exact.
        if (isIntegerLiteral(literal)) {
            return add(json::binary(std::vector<std::uint8_t>(literal.begin(), literal.end()),
                                    kBigIntegerLiteralSubtype)) != nullptr;
        }
        return add(value) != nullptr;
    }
    bool string(std::string& value) { return add(std::move(value)) != nullptr; }
    bool binary(json::binary_t&) { return false; } // JSON text has no binary values
    bool start_object(std::size_t) { return open(json::object()); }
    bool key(std::string& name) {
        key_ = std::move(name);
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(json::array()); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t, const std::string&, const json::exception&) { return false; }

    json takeRoot() { return std::move(root_); }

private:
    // Pointers on the stack stay valid: values are only ever added to the innermost
    // open container, so its ancestors never move while it is open.
    json* add(json value) {
        if (open_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        json& parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        json& slot = parent[key_];
        slot = std::move(value);
        return &slot;
    }
    bool open(json container) {
        if (open_.size() >= kMaxTypedDataNesting) {
            return false;
        }
        open_.push_back(add(std::move(container)));
        return true;
    }
    bool close() {
        open_.pop_back();
        return true;
    }

    json root_;
    std::vector<json*> open_;
    std::string key_;
};

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
            if (!field.is_object()) {
                return std::nullopt;
            }
            const auto fieldName = field.find("name");
            const auto fieldType = field.find("type");
            if (fieldName == field.end() || fieldType == field.end() || !fieldName->is_string() ||
                !fieldType->is_string()) {
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
    KeepingBuilder builder;
    try {
        if (!json::sax_parse(text, &builder)) {
            return std::nullopt;
        }
    } catch (const json::exception&) {
        return std::nullopt;
    }
    return builder.takeRoot();
}

std::optional<std::string_view> bigIntegerLiteral(const nlohmann::json& value) {
    if (!value.is_binary()) {
        return std::nullopt;
    }
    const auto& bytes = value.get_binary();
    if (!bytes.has_subtype() || bytes.subtype() != kBigIntegerLiteralSubtype) {
        return std::nullopt;
    }
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
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
