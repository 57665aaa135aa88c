#include "core/model/Token.h"

#include "core/crypto/UInt256.h"
#include "core/model/Amount.h"
#include "core/model/JSONFields.h"

#include <nlohmann/json.hpp>

namespace qm {

double TokenBalance::balanceFormattedFromHex(std::string_view hex, std::int64_t decimals) {
    const std::optional<UInt256> value = UInt256::fromHex(hex);
    if (!value) {
        return 0.0;
    }
    return wholeUnits(*value, decimals);
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
    if (!balance.balanceKnown) {
        json["balanceKnown"] = false;
    }
    if (balance.balanceLoadFailed) {
        json["balanceLoadFailed"] = true;
    }
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
    decoded.balanceKnown = optionalBool(json, "balanceKnown").value_or(true);
    decoded.balanceLoadFailed = optionalBool(json, "balanceLoadFailed").value_or(false);
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
