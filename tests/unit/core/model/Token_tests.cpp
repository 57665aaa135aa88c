#include "core/model/JSONFields.h"
#include "core/model/Token.h"

#include <cmath>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

const Token usdc{"0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "USDC", "USD Coin", 6,
                 Chain::ethereum};

double formatted(std::string_view hex, std::int64_t decimals) {
    return TokenBalance::balanceFormattedFromHex(hex, decimals);
}

TEST(TokenBalance, FormattingUsesAll256Bits) {
    EXPECT_EQ(formatted("0xzz", 18), 0.0);
    EXPECT_EQ(formatted("0xde0b6b3a7640000", 18), 1.0); // 10^18
    EXPECT_EQ(formatted("0x10000000000000000", 0), 18446744073709551616.0);
    // Values above 2^128 keep their high words (2^128 is not 0.0).
    EXPECT_EQ(formatted("0x100000000000000000000000000000000", 18), std::ldexp(1.0, 128) / 1e18);
    // 2^256 - 1 rounds up to 2^256.
    EXPECT_EQ(formatted("0x" + std::string(64, 'f'), 0), std::ldexp(1.0, 256));
    // Just above halfway between two doubles must round up; word-by-word rounding gives 2^117.
    EXPECT_EQ(formatted("0x200000000000010000000000000001", 0),
              std::ldexp(1.0, 117) + std::ldexp(1.0, 65));
    // Exactly halfway: ties to even.
    EXPECT_EQ(formatted("0x200000000000010000000000000000", 0), std::ldexp(1.0, 117));
    EXPECT_EQ(formatted("0x1", 400), 0.0);
    EXPECT_EQ(formatted("0x" + std::string(65, '1'), 0), 0.0); // more than 256 bits
}

TEST(Token, EqualityIsExactButIdentityIsTheAddress) {
    Token other = usdc;
    other.symbol = "USDC.e";
    EXPECT_NE(other, usdc);
    EXPECT_EQ(other.id(), usdc.id());
}

TEST(Token, JSONRoundTripAndStrictReading) {
    const nlohmann::json json = usdc;
    EXPECT_EQ(json.get<Token>(), usdc);
    nlohmann::json missing = json;
    missing.erase("decimals");
    EXPECT_THROW(missing.get<Token>(), JSONDecodingError);
    const std::vector<std::pair<std::string, nlohmann::json>> wrongValues = {
        {"decimals", 6.5}, {"decimals", 1e19}, {"chain", "eth"}, {"symbol", nullptr}};
    for (const auto& [key, value] : wrongValues) {
        nlohmann::json wrong = json;
        wrong[key] = value;
        EXPECT_THROW(wrong.get<Token>(), JSONDecodingError) << key << " = " << value.dump();
    }

    // An absent price is left out, and null reads as absent.
    TokenBalance balance{usdc, "0xf4240", 1.0, std::nullopt};
    nlohmann::json balanceJSON = balance;
    EXPECT_FALSE(balanceJSON.contains("priceUSD"));
    balanceJSON["priceUSD"] = nullptr;
    EXPECT_EQ(balanceJSON.get<TokenBalance>(), balance);
    balanceJSON["priceUSD"] = "1.00";
    EXPECT_THROW(balanceJSON.get<TokenBalance>(), JSONDecodingError);
}

TEST(Token, MapDecodingFailsAsAWhole) {
    TokenMap map;
    map["ethereum"] = {usdc};
    map["polygon"] = {};
    const nlohmann::json json = tokenMapToJSON(map);
    EXPECT_EQ(tokenMapFromJSON(json), map);

    nlohmann::json badToken = json;
    badToken["polygon"].push_back(nlohmann::json(usdc));
    badToken["polygon"][0]["decimals"] = 1.5;
    EXPECT_THROW(tokenMapFromJSON(badToken), JSONDecodingError);
    badToken["polygon"] = nlohmann::json(usdc); // an entry that is not a list
    EXPECT_THROW(tokenMapFromJSON(badToken), JSONDecodingError);
}

} // namespace
} // namespace qm
