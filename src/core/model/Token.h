#pragma once
// Fungible tokens the wallet shows beside a chain's native coin, and one
// account's balance of a token (built on every refresh, never stored).

#include "core/model/Chain.h"

#include <cstdint>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct Token {
    std::string contractAddress; // as the chain writes it, in the letter case it was given
    std::string symbol;
    std::string name;
    std::int64_t decimals = 0;
    Chain chain = Chain::ethereum;

    // Identity: the contract address, unchanged.
    const std::string& id() const { return contractAddress; }
    // Exact, case-sensitive comparison of every field (the store's duplicate test is not).
    bool operator==(const Token&) const = default;
};

// The user's tokens by chain raw value ("ethereum", ...), each list in the order added.
// The token file and the backup payload carry this map.
using TokenMap = std::map<std::string, std::vector<Token>>;

struct TokenBalance {
    Token token;
    std::string balance = "0x0"; // base units as a JSON-RPC hexadecimal quantity
    double balanceFormatted = 0; // whole tokens
    std::optional<double> priceUSD;
    // No price because the quote could not be asked (the node did not answer), not because the
    // token has none: its value is missing, not absent.
    bool priceLoadFailed = false;
    // False when no balance of the token has ever been read: the amount fields above hold a
    // zero nobody read, which the screens show as unknown.
    bool balanceKnown = true;
    // The last refresh could not read the balance: the amount is the last one read (none when
    // `balanceKnown` is false).
    bool balanceLoadFailed = false;

    const std::string& id() const { return token.contractAddress; }
    bool operator==(const TokenBalance&) const = default;

    // The balance in whole tokens: the hexadecimal quantity (all 256 bits, correctly rounded
    // to a double) divided by 10^decimals. Text that is not a hexadecimal quantity gives 0.0.
    static double balanceFormattedFromHex(std::string_view hex, std::int64_t decimals);
};

// JSON: "contractAddress", "symbol", "name", "decimals" (integer), "chain", all required.
// from_json throws JSONDecodingError.
void to_json(nlohmann::json& json, const Token& token);
void from_json(const nlohmann::json& json, Token& token);

// JSON: "token", "balance", "balanceFormatted", and "priceUSD" only when present (absent or
// null reads as none); "balanceKnown": false and "balanceLoadFailed": true only when so (absent
// or null reads as known and read).
void to_json(nlohmann::json& json, const TokenBalance& balance);
void from_json(const nlohmann::json& json, TokenBalance& balance);

// The map as one JSON object of arrays, and back. Reading fails as a whole
// (JSONDecodingError) when any list or token does not decode.
nlohmann::json tokenMapToJSON(const TokenMap& tokens);
TokenMap tokenMapFromJSON(const nlohmann::json& json);

} // namespace qm
