#include "services/evm/EIP712.h"

#include "core/crypto/Keccak.h"
#include "core/encoding/Hex.h"
#include "services/evm/EIP191.h"
#include "services/evm/TypedDataJSON.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace qm {
namespace {

using json = nlohmann::json;
using Word = std::array<std::uint8_t, 32>;

// "T[]" or "T[n]": the element type T, or none for a type that is no array.
std::optional<std::string_view> arrayElementType(std::string_view type) {
    if (!type.ends_with(']')) {
        return std::nullopt;
    }
    const std::size_t open = type.rfind('[');
    if (open == std::string_view::npos || open == 0) {
        return std::nullopt;
    }
    return type.substr(0, open);
}

// The type without any array brackets: "Person" of "Person[2][]".
std::string_view baseType(std::string_view type) {
    while (const auto element = arrayElementType(type)) {
        type = *element;
    }
    return type;
}

Bytes zeroWord() {
    return Bytes(32, 0);
}

Bytes hashOfNothing() {
    return keccak256({});
}

std::optional<std::string_view> textOf(const json& value) {
    if (!value.is_string()) {
        return std::nullopt;
    }
    return std::string_view(value.get_ref<const std::string&>());
}

void appendFields(std::string& out, std::string_view name, const std::vector<EIP712Field>& fields) {
    out += name;
    out += '(';
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += fields[i].type;
        out += ' ';
        out += fields[i].name;
    }
    out += ')';
}

Bytes hashStruct(std::string_view type, const json::object_t& data, const EIP712Types& types) {
    const std::string typeString = encodeType(type, types);
    return keccak256(concat(keccak256(utf8View(typeString)), encodeData(type, data, types)));
}

// An integer as sign and magnitude, before it becomes a word.
struct SignedMagnitude {
    bool negative = false;
    Word magnitude{};
};

// magnitude = magnitude * 10 + digit; false when the result leaves 256 bits.
bool multiplyAddDecimal(Word& magnitude, unsigned digit) {
    unsigned carry = digit;
    for (std::size_t i = magnitude.size(); i-- > 0;) {
        const unsigned product = magnitude[i] * 10u + carry;
        magnitude[i] = static_cast<std::uint8_t>(product & 0xFF);
        carry = product >> 8;
    }
    return carry == 0;
}

// Optional "+" or "-", then one or more decimal digits, below 2^256 in magnitude.
std::optional<SignedMagnitude> parseDecimal(std::string_view text) {
    SignedMagnitude result;
    if (text.starts_with('+') || text.starts_with('-')) {
        result.negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    for (char c : text) {
        if (c < '0' || c > '9' || !multiplyAddDecimal(result.magnitude, unsigned(c - '0'))) {
            return std::nullopt;
        }
    }
    return result;
}

Word wordOf(std::uint64_t value) {
    Word word{};
    for (std::size_t i = 0; i < 8; ++i) {
        word[31 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return word;
}

// A finite double's integer part, exactly (a double above 2^53 is itself an integer).
std::optional<SignedMagnitude> fromDouble(double value) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    SignedMagnitude result;
    result.negative = value < 0;
    const double whole = std::trunc(std::fabs(value));
    if (whole < 18446744073709551616.0) { // 2^64
        result.magnitude = wordOf(static_cast<std::uint64_t>(whole));
        return result;
    }
    int exponent = 0;
    const double fraction = std::frexp(whole, &exponent); // whole = fraction * 2^exponent
    if (exponent > 256) {
        return std::nullopt;
    }
    // 53 significant bits, shifted into place bit by bit.
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    const int shift = exponent - 53;
    for (int bit = 0; bit < 53; ++bit) {
        if ((mantissa >> bit) & 1u) {
            const int position = bit + shift; // counted from the least significant bit
            result.magnitude[31 - std::size_t(position / 8)] |=
                static_cast<std::uint8_t>(1u << (position % 8));
        }
    }
    return result;
}

std::optional<SignedMagnitude> integerOf(const json& value) {
    if (value.is_number_unsigned()) {
        return SignedMagnitude{false, wordOf(value.get<std::uint64_t>())};
    }
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        // The magnitude of INT64_MIN only fits unsigned.
        const std::uint64_t magnitude = number < 0
                                            ? std::uint64_t{0} - static_cast<std::uint64_t>(number)
                                            : static_cast<std::uint64_t>(number);
        return SignedMagnitude{number < 0, wordOf(magnitude)};
    }
    if (value.is_number_float()) {
        return fromDouble(value.get<double>());
    }
    if (const auto literal = bigIntegerLiteral(value)) {
        return parseDecimal(*literal);
    }
    if (const auto text = textOf(value)) {
        if (text->starts_with("0x") || text->starts_with("0X")) {
            if (const auto bytes = hexToBytes(*text)) {
                const Bytes word = leftPadTo32(*bytes);
                SignedMagnitude result;
                std::copy(word.begin(), word.end(), result.magnitude.begin());
                return result;
            }
        }
        return parseDecimal(*text);
    }
    return std::nullopt;
}

bool isZero(const Word& word) {
    return std::all_of(word.begin(), word.end(), [](auto b) { return b == 0; });
}

// Two's complement of a magnitude of at most 2^255; absent when it does not fit.
std::optional<Word> negated(Word magnitude) {
    const bool aboveHalf =
        magnitude[0] > 0x80 ||
        (magnitude[0] == 0x80 &&
         !std::all_of(magnitude.begin() + 1, magnitude.end(), [](auto b) { return b == 0; }));
    if (aboveHalf) {
        return std::nullopt;
    }
    unsigned carry = 1;
    for (std::size_t i = magnitude.size(); i-- > 0;) {
        const unsigned sum = static_cast<std::uint8_t>(~magnitude[i]) + carry;
        magnitude[i] = static_cast<std::uint8_t>(sum & 0xFF);
        carry = sum >> 8;
    }
    return magnitude;
}

bool boolOf(const json& value) {
    if (value.is_boolean()) {
        return value.get<bool>();
    }
    if (value.is_number_integer()) { // signed and unsigned alike
        return value.get<std::int64_t>() != 0;
    }
    if (bigIntegerLiteral(value)) {
        return true; // beyond 64 bits, so never zero
    }
    if (const auto text = textOf(value)) {
        return *text == "true" || *text == "1";
    }
    return false;
}

} // namespace

Bytes typedDataDigest(const EIP712TypedData& typedData) {
    const Bytes domainSeparator = hashStruct("EIP712Domain", typedData.domain, typedData.types);
    const Bytes messageHash = hashStruct(typedData.primaryType, typedData.message, typedData.types);
    Bytes payload{0x19, 0x01};
    payload.insert(payload.end(), domainSeparator.begin(), domainSeparator.end());
    payload.insert(payload.end(), messageHash.begin(), messageHash.end());
    return keccak256(payload);
}

Bytes signTypedData(const EIP712TypedData& typedData, ByteView privateKey) {
    return signDigestWithRecoveryByte(typedDataDigest(typedData), privateKey);
}

std::string encodeType(std::string_view name, const EIP712Types& types) {
    const auto primary = types.find(name);
    if (primary == types.end()) {
        return {};
    }
    std::string out;
    appendFields(out, name, primary->second);
    std::set<std::string, std::less<>> dependencies;
    collectDependencies(name, types, dependencies);
    dependencies.erase(std::string(name));
    // std::set<std::string> iterates in byte order: upper-case names before lower-case.
    for (const auto& dependency : dependencies) {
        appendFields(out, dependency, types.find(dependency)->second);
    }
    return out;
}

Bytes encodeData(std::string_view type, const nlohmann::json::object_t& data,
                 const EIP712Types& types) {
    const auto declared = types.find(type);
    if (declared == types.end()) {
        return {};
    }
    static const json absent;
    Bytes out;
    out.reserve(32 * declared->second.size());
    for (const auto& field : declared->second) {
        const auto found = data.find(field.name);
        const Bytes encoded =
            encodeValue(field.type, found == data.end() ? absent : found->second, types);
        out.insert(out.end(), encoded.begin(), encoded.end());
    }
    return out;
}

Bytes encodeValue(std::string_view type, const nlohmann::json& value, const EIP712Types& types) {
    if (const auto element = arrayElementType(type)) {
        if (!value.is_array()) {
            return zeroWord();
        }
        const std::string_view elementType = *element;
        Bytes encoded;
        encoded.reserve(32 * value.size());
        for (const auto& element : value) {
            const Bytes item = encodeValue(elementType, element, types);
            encoded.insert(encoded.end(), item.begin(), item.end());
        }
        return keccak256(encoded);
    }
    if (types.contains(type)) {
        if (!value.is_object()) {
            return zeroWord();
        }
        return hashStruct(type, value.get_ref<const json::object_t&>(), types);
    }
    if (type == "string") {
        const auto text = textOf(value);
        return text ? keccak256(utf8View(*text)) : hashOfNothing();
    }
    if (type == "bytes") {
        const auto bytes = hexToBytes(textOf(value));
        return bytes ? keccak256(*bytes) : hashOfNothing();
    }
    if (type == "address") {
        const auto bytes = hexToBytes(textOf(value));
        return bytes ? leftPadTo32(*bytes) : zeroWord();
    }
    if (type == "bool") {
        return wordFromUInt64(boolOf(value) ? 1 : 0);
    }
    if (type.starts_with("uint")) {
        return encodeInteger(value, false);
    }
    if (type.starts_with("int")) {
        return encodeInteger(value, true);
    }
    if (type.starts_with("bytes")) {
        const auto bytes = hexToBytes(textOf(value));
        return bytes ? rightPadTo32(*bytes) : zeroWord();
    }
    return encodeInteger(value, false);
}

void collectDependencies(std::string_view name, const EIP712Types& types,
                         std::set<std::string, std::less<>>& into) {
    // A work list rather than recursion: a long chain of declared types must not run
    // out of stack. The set of names reached is the same.
    std::vector<std::string_view> pending{name};
    while (!pending.empty()) {
        const std::string_view current = pending.back();
        pending.pop_back();
        const auto declared = types.find(current);
        if (declared == types.end() || into.contains(current)) {
            continue;
        }
        into.emplace(current);
        for (const auto& field : declared->second) {
            const std::string_view fieldType = baseType(field.type);
            if (types.contains(fieldType)) {
                pending.push_back(fieldType);
            }
        }
    }
}

Bytes encodeInteger(const nlohmann::json& value, bool isSigned) {
    const auto integer = integerOf(value);
    if (!integer) {
        return zeroWord();
    }
    if (!integer->negative || isZero(integer->magnitude)) {
        return Bytes(integer->magnitude.begin(), integer->magnitude.end());
    }
    // A negative value for an unsigned type would sign a huge amount the user never saw.
    const auto word = isSigned ? negated(integer->magnitude) : std::nullopt;
    return word ? Bytes(word->begin(), word->end()) : zeroWord();
}

Bytes wordFromUInt64(std::uint64_t value) {
    const Word word = wordOf(value);
    return Bytes(word.begin(), word.end());
}

Bytes leftPadTo32(ByteView bytes) {
    if (bytes.size() >= 32) {
        return Bytes(bytes.end() - 32, bytes.end());
    }
    Bytes out(32 - bytes.size(), 0);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

Bytes rightPadTo32(ByteView bytes) {
    Bytes out(bytes.begin(),
              bytes.begin() + std::ptrdiff_t(std::min<std::size_t>(bytes.size(), 32)));
    out.resize(32, 0);
    return out;
}

} // namespace qm
