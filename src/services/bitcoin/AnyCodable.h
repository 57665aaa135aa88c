#pragma once
// Any JSON value, as the raw "result" of an Electrum response reaches its callers.

#include "platform/Error.h"

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qm {

class AnyCodableError : public Error {
public:
    enum class Code { unsupportedValue, unsupportedType };
    explicit AnyCodableError(Code code)
        : Error(code == Code::unsupportedValue ? "Unsupported JSON value" : "Unsupported type"),
          code_(code) {}
    Code code() const { return code_; }

private:
    Code code_;
};

struct AnyCodable {
    struct Null {
        bool operator==(const Null&) const = default;
    };
    using List = std::vector<AnyCodable>;
    using Dictionary = std::map<std::string, AnyCodable>;
    using Value = std::variant<Null, bool, std::int64_t, double, std::string, List, Dictionary>;

    Value value = Null{};

    AnyCodable() = default;
    AnyCodable(Value v) : value(std::move(v)) {} // NOLINT: a value is its own wrapper

    bool isNull() const { return std::holds_alternative<Null>(value); }
    const std::string* string() const { return std::get_if<std::string>(&value); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&value); }
    const double* number() const { return std::get_if<double>(&value); }
    const List* list() const { return std::get_if<List>(&value); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&value); }

    // Integers that fit in signed 64 bits stay integers; every other number is a double.
    // Throws AnyCodableError(unsupportedValue) for a value that is none of the seven kinds
    // (a discarded or binary nlohmann value) or a number beyond the double range.
    static AnyCodable fromJson(const nlohmann::json& json);
    // Throws AnyCodableError(unsupportedType) for a double that JSON cannot hold (NaN, infinity).
    nlohmann::json toJson() const;

    bool operator==(const AnyCodable&) const = default;
};

// Deepest array/object nesting accepted from the network; deeper texts would exhaust the
// stack of any recursive walk (conversion, serialisation, destruction).
inline constexpr int kMaxJsonNesting = 256;

// Parses one JSON text from the network: absent when it is not valid JSON or nests deeper
// than kMaxJsonNesting.
std::optional<nlohmann::json> parseNetworkJson(std::string_view text);

} // namespace qm
