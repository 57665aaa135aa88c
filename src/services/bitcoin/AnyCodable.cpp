#include "services/bitcoin/AnyCodable.h"

#include <cmath>
#include <limits>

namespace qm {

AnyCodable AnyCodable::fromJson(const nlohmann::json& json) {
    using Type = nlohmann::json::value_t;
    switch (json.type()) {
    case Type::null:
        return AnyCodable{Null{}};
    case Type::boolean:
        return AnyCodable{json.get<bool>()};
    case Type::number_integer:
        return AnyCodable{json.get<std::int64_t>()};
    case Type::number_unsigned: {
        const auto u = json.get<std::uint64_t>();
        if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return AnyCodable{static_cast<std::int64_t>(u)};
        }
        return AnyCodable{static_cast<double>(u)};
    }
    case Type::number_float: {
        // A literal beyond the double range (1e400) parses as infinity: no JSON value.
        const double d = json.get<double>();
        if (!std::isfinite(d)) {
            throw AnyCodableError(AnyCodableError::Code::unsupportedValue);
        }
        return AnyCodable{d};
    }
    case Type::string:
        return AnyCodable{json.get<std::string>()};
    case Type::array: {
        List list;
        list.reserve(json.size());
        for (const auto& element : json) {
            list.push_back(fromJson(element));
        }
        return AnyCodable{std::move(list)};
    }
    case Type::object: {
        Dictionary dictionary;
        for (const auto& [key, member] : json.items()) {
            dictionary.emplace(key, fromJson(member));
        }
        return AnyCodable{std::move(dictionary)};
    }
    default:
        throw AnyCodableError(AnyCodableError::Code::unsupportedValue);
    }
}

nlohmann::json AnyCodable::toJson() const {
    struct Encoder {
        nlohmann::json operator()(const Null&) const { return nullptr; }
        nlohmann::json operator()(bool b) const { return b; }
        nlohmann::json operator()(std::int64_t i) const { return i; }
        nlohmann::json operator()(double d) const {
            if (!std::isfinite(d)) {
                throw AnyCodableError(AnyCodableError::Code::unsupportedType);
            }
            return d;
        }
        nlohmann::json operator()(const std::string& s) const { return s; }
        nlohmann::json operator()(const List& list) const {
            auto out = nlohmann::json::array();
            for (const auto& element : list) {
                out.push_back(element.toJson());
            }
            return out;
        }
        nlohmann::json operator()(const Dictionary& dictionary) const {
            auto out = nlohmann::json::object();
            for (const auto& [key, member] : dictionary) {
                out[key] = member.toJson();
            }
            return out;
        }
    };
    return std::visit(Encoder{}, value);
}

namespace {

// Nesting depth of brackets outside strings; stops counting once past the limit.
bool nestsDeeperThan(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            if (++depth > limit) {
                return true;
            }
            break;
        case ']':
        case '}':
            --depth;
            break;
        default:
            break;
        }
    }
    return false;
}

} // namespace

std::optional<nlohmann::json> parseNetworkJson(std::string_view text) {
    if (nestsDeeperThan(text, kMaxJsonNesting)) {
        return std::nullopt;
    }
    auto json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded()) {
        return std::nullopt;
    }
    return json;
}

} // namespace qm
