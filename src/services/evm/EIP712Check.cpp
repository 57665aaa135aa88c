#include "services/evm/EIP712Check.h"

#include "core/crypto/UInt256.h"
#include "core/encoding/Hex.h"
#include "core/json/JSONReader.h"

#include <charconv>
#include <string_view>

namespace qm {
namespace {

using json = nlohmann::json;

// "T[]" or "T[n]": the element type and the fixed length (none for "[]"). None for a type that
// is no array.
struct ArrayType {
    std::string_view element;
    std::optional<std::size_t> length;
};

std::optional<std::size_t> decimalNumber(std::string_view text) {
    std::size_t value = 0;
    if (text.empty() || (text.size() > 1 && text.front() == '0')) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Absent for a type that is no array; an array with a malformed length reads as no array
// (and then as an unknown type).
std::optional<ArrayType> arrayType(std::string_view type) {
    if (!type.ends_with(']')) {
        return std::nullopt;
    }
    const std::size_t open = type.rfind('[');
    if (open == std::string_view::npos || open == 0) {
        return std::nullopt;
    }
    const std::string_view inside = type.substr(open + 1, type.size() - open - 2);
    ArrayType out{type.substr(0, open), std::nullopt};
    if (!inside.empty()) {
        out.length = decimalNumber(inside);
        if (!out.length) {
            return std::nullopt;
        }
    }
    return out;
}

// The bit width of "uintN"/"intN" ("uint" and "int" are 256); none for other names.
struct IntegerType {
    bool isSigned = false;
    unsigned bits = 256;
};

std::optional<IntegerType> integerType(std::string_view type) {
    IntegerType out;
    if (type.starts_with("uint")) {
        type.remove_prefix(4);
    } else if (type.starts_with("int")) {
        out.isSigned = true;
        type.remove_prefix(3);
    } else {
        return std::nullopt;
    }
    if (type.empty()) {
        return out;
    }
    const auto bits = decimalNumber(type);
    if (!bits || *bits == 0 || *bits > 256 || *bits % 8 != 0) {
        return std::nullopt;
    }
    out.bits = static_cast<unsigned>(*bits);
    return out;
}

// N of "bytesN" (1 to 32); none for other names.
std::optional<std::size_t> fixedBytesLength(std::string_view type) {
    if (!type.starts_with("bytes") || type.size() == 5) {
        return std::nullopt;
    }
    const auto length = decimalNumber(type.substr(5));
    if (!length || *length == 0 || *length > 32) {
        return std::nullopt;
    }
    return length;
}

bool isAtomic(std::string_view type) {
    return type == "address" || type == "bool" || type == "string" || type == "bytes" ||
           integerType(type) || fixedBytesLength(type);
}

// A whole number as sign and magnitude; none for anything else (fractions, floats, texts that
// are not decimal or "0x" hex, magnitudes of 2^256 and more).
struct Integer {
    bool negative = false;
    UInt256 magnitude;
};

std::optional<UInt256> decimalMagnitude(std::string_view digits) {
    if (digits.empty() || digits.size() > 78) {
        return std::nullopt;
    }
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    // 78 digits can exceed 2^256 - 1: compare with its decimal text.
    static constexpr std::string_view kMax =
        "115792089237316195423570985008687907853269984665640564039457584007913129639935";
    const std::size_t start = digits.find_first_not_of('0');
    const std::string_view significant =
        start == std::string_view::npos ? std::string_view{} : digits.substr(start);
    if (significant.size() > kMax.size() ||
        (significant.size() == kMax.size() && significant > kMax)) {
        return std::nullopt;
    }
    return UInt256::fromDecimalString(digits);
}

std::optional<Integer> integerValue(const json& value) {
    if (value.is_number_unsigned()) {
        return Integer{false, UInt256(0, 0, 0, value.get<std::uint64_t>())};
    }
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        const std::uint64_t magnitude = number < 0
                                            ? std::uint64_t{0} - static_cast<std::uint64_t>(number)
                                            : static_cast<std::uint64_t>(number);
        return Integer{number < 0, UInt256(0, 0, 0, magnitude)};
    }
    std::string_view text;
    if (const auto literal = bigIntegerLiteral(value)) {
        text = *literal;
    } else if (value.is_string()) {
        text = value.get_ref<const std::string&>();
    } else {
        return std::nullopt;
    }
    if (text.starts_with("0x") || text.starts_with("0X")) {
        if (text.size() == 2) {
            return std::nullopt;
        }
        const auto magnitude = UInt256::fromHex(text);
        if (!magnitude) {
            return std::nullopt;
        }
        return Integer{false, *magnitude};
    }
    Integer out;
    if (text.starts_with('-')) {
        out.negative = true;
        text.remove_prefix(1);
    }
    const auto magnitude = decimalMagnitude(text);
    if (!magnitude) {
        return std::nullopt;
    }
    out.magnitude = *magnitude;
    return out;
}

// 2^bits - 1 for bits 1 ... 256.
UInt256 lowBits(unsigned bits) {
    std::uint64_t words[4] = {0, 0, 0, 0}; // w3 first
    for (unsigned i = 0; i < 4 && bits > 0; ++i) {
        const unsigned take = bits >= 64 ? 64 : bits;
        words[i] = take == 64 ? ~std::uint64_t{0} : ((std::uint64_t{1} << take) - 1);
        bits -= take;
    }
    return UInt256(words[3], words[2], words[1], words[0]);
}

// 2^exponent for exponent 0 ... 255.
UInt256 powerOfTwo(unsigned exponent) {
    std::uint64_t words[4] = {0, 0, 0, 0}; // w3 first
    words[exponent / 64] = std::uint64_t{1} << (exponent % 64);
    return UInt256(words[3], words[2], words[1], words[0]);
}

bool fitsIntegerType(const Integer& integer, IntegerType type) {
    if (!type.isSigned) {
        return (!integer.negative || integer.magnitude == UInt256()) &&
               integer.magnitude <= lowBits(type.bits);
    }
    // -2^(bits-1) ... 2^(bits-1) - 1
    if (!integer.negative) {
        return integer.magnitude <= lowBits(type.bits - 1);
    }
    return integer.magnitude <= powerOfTwo(type.bits - 1);
}

std::optional<Bytes> hexBytes(const json& value) {
    if (!value.is_string()) {
        return std::nullopt;
    }
    const std::string& text = value.get_ref<const std::string&>();
    if (!(text.starts_with("0x") || text.starts_with("0X"))) {
        return std::nullopt;
    }
    return hexToBytes(text);
}

class Checker {
public:
    explicit Checker(const EIP712Types& types) : types_(types) {}

    // Why `value` is no value of `type`, with the path that leads to it; none when it is.
    std::optional<std::string> check(std::string_view type, const json& value,
                                     const std::string& path) const {
        if (value.is_null()) {
            return "missing value for " + path;
        }
        if (const auto array = arrayType(type)) {
            if (!value.is_array()) {
                return path + " is not an array";
            }
            if (array->length && value.size() != *array->length) {
                return path + " does not hold " + std::to_string(*array->length) + " elements";
            }
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (auto problem =
                        check(array->element, value[i], path + "[" + std::to_string(i) + "]")) {
                    return problem;
                }
            }
            return std::nullopt;
        }
        if (const auto declared = types_.find(type); declared != types_.end()) {
            if (!value.is_object()) {
                return path + " is not a " + std::string(type);
            }
            return checkStruct(declared->second, value.get_ref<const json::object_t&>(), path);
        }
        return checkAtomic(type, value, path);
    }

    std::optional<std::string> checkStruct(const std::vector<EIP712Field>& fields,
                                           const json::object_t& value,
                                           const std::string& path) const {
        for (const EIP712Field& field : fields) {
            const std::string fieldPath = path + "." + field.name;
            const auto found = value.find(field.name);
            if (found == value.end()) {
                return "missing value for " + fieldPath;
            }
            if (auto problem = check(field.type, found->second, fieldPath)) {
                return problem;
            }
        }
        return std::nullopt;
    }

    // The first field type that names nothing known.
    std::optional<std::string> undeclaredType() const {
        for (const auto& [name, fields] : types_) {
            for (const EIP712Field& field : fields) {
                std::string_view base = field.type;
                while (const auto array = arrayType(base)) {
                    base = array->element;
                }
                if (!types_.contains(base) && !isAtomic(base)) {
                    return "undeclared type " + field.type + " of " + name + "." + field.name;
                }
            }
        }
        return std::nullopt;
    }

private:
    std::optional<std::string> checkAtomic(std::string_view type, const json& value,
                                           const std::string& path) const {
        if (type == "string") {
            return value.is_string() ? std::nullopt
                                     : std::optional<std::string>(path + " is not a string");
        }
        if (type == "bool") {
            return value.is_boolean() ? std::nullopt
                                      : std::optional<std::string>(path + " is not true or false");
        }
        if (type == "bytes") {
            return hexBytes(value) ? std::nullopt
                                   : std::optional<std::string>(path + " is not hex bytes");
        }
        if (type == "address") {
            const auto bytes = hexBytes(value);
            return bytes && bytes->size() == 20
                       ? std::nullopt
                       : std::optional<std::string>(path + " is not an address");
        }
        if (const auto length = fixedBytesLength(type)) {
            const auto bytes = hexBytes(value);
            return bytes && bytes->size() == *length
                       ? std::nullopt
                       : std::optional<std::string>(path + " is not " + std::to_string(*length) +
                                                    " bytes");
        }
        if (const auto integer = integerType(type)) {
            const auto number = integerValue(value);
            return number && fitsIntegerType(*number, *integer)
                       ? std::nullopt
                       : std::optional<std::string>(path + " is not a " + std::string(type));
        }
        return "undeclared type " + std::string(type) + " of " + path;
    }

    const EIP712Types& types_;
};

std::string jsonText(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

void newline(std::string& out, int indent) {
    out += '\n';
    out.append(std::size_t(indent), ' ');
}

// Indented JSON of what a signature covers: of a struct only its declared members, in
// declaration order; big integer literals as their digits.
void writeSigned(std::string& out, std::string_view type, const json& value,
                 const EIP712Types& types, int indent) {
    if (const auto array = arrayType(type); array && value.is_array()) {
        if (value.empty()) {
            out += "[]";
            return;
        }
        out += '[';
        for (std::size_t i = 0; i < value.size(); ++i) {
            newline(out, indent + 2);
            writeSigned(out, array->element, value[i], types, indent + 2);
            out += i + 1 < value.size() ? "," : "";
        }
        newline(out, indent);
        out += ']';
        return;
    }
    if (const auto declared = types.find(type); declared != types.end() && value.is_object()) {
        bool first = true;
        out += '{';
        for (const EIP712Field& field : declared->second) {
            const auto found = value.find(field.name);
            if (found == value.end()) {
                continue;
            }
            out += first ? "" : ",";
            first = false;
            newline(out, indent + 2);
            out += jsonText(field.name) + ": ";
            writeSigned(out, field.type, *found, types, indent + 2);
        }
        if (!first) {
            newline(out, indent);
        }
        out += '}';
        return;
    }
    if (const auto literal = bigIntegerLiteral(value)) {
        out += *literal;
        return;
    }
    out += jsonText(value);
}

} // namespace

std::optional<std::string> typedDataRefusal(const EIP712TypedData& typedData,
                                            std::optional<std::uint64_t> chainId) {
    const Checker checker(typedData.types);
    if (!typedData.types.contains("EIP712Domain")) {
        return "undeclared type EIP712Domain";
    }
    if (!typedData.types.contains(typedData.primaryType)) {
        return "undeclared primary type " + typedData.primaryType;
    }
    if (auto problem = checker.undeclaredType()) {
        return problem;
    }
    if (auto problem =
            checker.checkStruct(typedData.types.at("EIP712Domain"), typedData.domain, "domain")) {
        return problem;
    }
    if (auto problem = checker.checkStruct(typedData.types.find(typedData.primaryType)->second,
                                           typedData.message, "message")) {
        return problem;
    }
    if (chainId) {
        for (const EIP712Field& field : typedData.types.at("EIP712Domain")) {
            if (field.name != "chainId") {
                continue;
            }
            const auto value = integerValue(typedData.domain.at("chainId"));
            if (!value || value->negative || value->magnitude != UInt256(0, 0, 0, *chainId)) {
                return "the domain's chainId is not the request's chain " +
                       std::to_string(*chainId);
            }
        }
    }
    return std::nullopt;
}

std::string typedDataText(const EIP712TypedData& typedData) {
    const json domain(typedData.domain);
    const json message(typedData.message);
    std::string out = "{";
    newline(out, 2);
    out += "\"domain\": ";
    writeSigned(out, "EIP712Domain", domain, typedData.types, 2);
    out += ",";
    newline(out, 2);
    out += "\"primaryType\": " + jsonText(typedData.primaryType) + ",";
    newline(out, 2);
    out += "\"message\": ";
    writeSigned(out, typedData.primaryType, message, typedData.types, 2);
    out += "\n}";
    return out;
}

} // namespace qm
