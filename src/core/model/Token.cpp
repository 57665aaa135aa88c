#include "core/model/Token.h"

#include "core/crypto/UInt256.h"
#include "core/model/JSONFields.h"

#include <array>
#include <bit>
#include <cmath>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

// The value rounded once to the nearest double. The top 64 significant bits go through the
// exact-rounding integer conversion, with any lower set bit folded into bit 0 so that a
// value just above a halfway point does not round down.
double toDouble(const UInt256& value) {
    const std::array<std::uint64_t, 4> words = {value.w0, value.w1, value.w2, value.w3};
    std::size_t top = 0;
    while (top < 4 && words[top] == 0) {
        ++top;
    }
    if (top == 4) {
        return 0.0;
    }
    if (top == 3) {
        return static_cast<double>(words[3]);
    }
    const int lead = std::countl_zero(words[top]);
    const std::uint64_t next = words[top + 1];
    std::uint64_t mantissa = lead == 0 ? words[top] : (words[top] << lead) | (next >> (64 - lead));
    bool sticky = lead != 0 && (next << lead) != 0;
    for (std::size_t i = top + 2; i < 4; ++i) {
        sticky = sticky || words[i] != 0;
    }
    if (sticky) {
        mantissa |= 1;
    }
    return std::ldexp(static_cast<double>(mantissa), static_cast<int>(64 * (3 - top)) - lead);
}

} // namespace

double TokenBalance::balanceFormattedFromHex(std::string_view hex, std::int64_t decimals) {
    const std::optional<UInt256> value = UInt256::fromHex(hex);
    if (!value) {
        return 0.0;
    }
    return toDouble(*value) / std::pow(10.0, static_cast<double>(decimals));
}

void to_json(nlohmann::json& json, const Token& token) {
    json = nlohmann::json{{"contractAddress", token.contractAddress},
                          {"symbol", token.symbol},
                          {"name", token.name},
                          {"decimals", token.decimals},
                          {"chain", token.chain}};
}

void from_json(const nlohmann::json& json, Token& token) {
    using namespace json_fields;
    requireObject(json);
    Token decoded;
    decoded.contractAddress = requireString(json, "contractAddress");
    decoded.symbol = requireString(json, "symbol");
    decoded.name = requireString(json, "name");
    decoded.decimals = requireInt64(json, "decimals");
    decoded.chain = knownValue(chainFromRawValue(requireString(json, "chain")), "chain");
    token = std::move(decoded);
}

void to_json(nlohmann::json& json, const TokenBalance& balance) {
    json = nlohmann::json{{"token", balance.token},
                          {"balance", balance.balance},
                          {"balanceFormatted", balance.balanceFormatted}};
    json_fields::setIfPresent(json, "priceUSD", balance.priceUSD);
}

void from_json(const nlohmann::json& json, TokenBalance& balance) {
    using namespace json_fields;
    requireObject(json);
    if (!json.contains("token")) {
        throw JSONDecodingError(JSONDecodingError::Kind::missingKey, "token");
    }
    TokenBalance decoded;
    decoded.token = json.at("token").get<Token>();
    decoded.balance = requireString(json, "balance");
    decoded.balanceFormatted = requireDouble(json, "balanceFormatted");
    decoded.priceUSD = optionalDouble(json, "priceUSD");
    balance = std::move(decoded);
}

nlohmann::json tokenMapToJSON(const TokenMap& tokens) {
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [key, list] : tokens) {
        json[key] = list;
    }
    return json;
}

TokenMap tokenMapFromJSON(const nlohmann::json& json) {
    json_fields::requireObject(json);
    TokenMap tokens;
    for (const auto& [key, list] : json.items()) {
        if (!list.is_array()) {
            throw JSONDecodingError(JSONDecodingError::Kind::wrongType, key);
        }
        std::vector<Token>& decoded = tokens[key];
        decoded.reserve(list.size());
        for (const auto& element : list) {
            decoded.push_back(element.get<Token>());
        }
    }
    return tokens;
}

} // namespace qm
