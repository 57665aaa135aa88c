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

TEST(TokenBalance, FormattingOfHexQuantities) {
    EXPECT_EQ(formatted("0x", 18), 0.0);
    EXPECT_EQ(formatted("0x0", 18), 0.0);
    EXPECT_EQ(formatted("0xzz", 18), 0.0);
    EXPECT_EQ(formatted("balance", 0), 0.0);
    EXPECT_EQ(formatted("0xde0b6b3a7640000", 18), 1.0); // 10^18
    EXPECT_EQ(formatted("0x0f4240", 6), 1.0);           // 10^6
    EXPECT_EQ(formatted("0x1", 0), 1.0);
    EXPECT_EQ(formatted("0xffffffffffffffff", 0), 18446744073709551615.0);
    EXPECT_EQ(formatted("0x10000000000000000", 0), 18446744073709551616.0);
    EXPECT_EQ(formatted("0x10000000000000000", 18), 18446744073709551616.0 / 1e18);
    EXPECT_EQ(formatted("0x2386f26fc10000", 16), 1.0); // 10^16, 7 bytes
}

TEST(TokenBalance, FormattingUsesAll256Bits) {
    // Values above 2^128 keep their high words (2^128 is not 0.0).
    EXPECT_EQ(formatted("0x100000000000000000000000000000000", 0), std::ldexp(1.0, 128));
    EXPECT_EQ(formatted("0x100000000000000000000000000000000", 18), std::ldexp(1.0, 128) / 1e18);
    EXPECT_EQ(formatted("0x8000000000000000000000000000000000000000000000000000000000000000", 0),
              std::ldexp(1.0, 255));
    // 2^256 - 1 rounds up to 2^256.
    EXPECT_EQ(formatted("0x" + std::string(64, 'f'), 0), std::ldexp(1.0, 256));
    // (2^53 + 1) * 2^64 + 1 lies just above the halfway point between two doubles and must
    // round up; rounding word by word would give 2^117.
    EXPECT_EQ(formatted("0x200000000000010000000000000001", 0),
              std::ldexp(1.0, 117) + std::ldexp(1.0, 65));
    // Exactly halfway: ties to even.
    EXPECT_EQ(formatted("0x200000000000010000000000000000", 0), std::ldexp(1.0, 117));
    // Large decimals divide to zero rather than fail.
    EXPECT_EQ(formatted("0x1", 400), 0.0);
    EXPECT_EQ(formatted("0x" + std::string(65, '1'), 0), 0.0); // more than 256 bits: not a quantity
}

TEST(Token, EqualityIsExactButIdentityIsTheAddress) {
    Token other = usdc;
    other.symbol = "USDC.e";
    EXPECT_NE(other, usdc);
    EXPECT_EQ(other.id(), usdc.id());
    Token lower = usdc;
    lower.contractAddress = "0xa0b86991c6218b36c1d19d4a2e9eb0ce3606eb48";
    EXPECT_NE(lower, usdc);
    Token arbitrum = usdc;
    arbitrum.chain = Chain::arbitrum;
    EXPECT_NE(arbitrum, usdc);
    EXPECT_EQ(usdc, Token(usdc));
}

TEST(Token, JSONRoundTripAndStrictReading) {
    const nlohmann::json json = usdc;
    EXPECT_EQ(json.at("chain"), "ethereum");
    EXPECT_EQ(json.at("decimals"), 6);
    EXPECT_EQ(json.get<Token>(), usdc);
    for (const char* key : {"contractAddress", "symbol", "name", "decimals", "chain"}) {
        nlohmann::json missing = json;
        missing.erase(key);
        EXPECT_THROW(missing.get<Token>(), JSONDecodingError) << key;
    }
    const std::vector<std::pair<std::string, nlohmann::json>> wrongValues = {
        {"decimals", 6.5}, {"decimals", "6"}, {"decimals", 1e19},  {"decimals", nullptr},
        {"chain", "eth"},  {"chain", 1},      {"symbol", nullptr}, {"name", 3},
    };
    for (const auto& [key, value] : wrongValues) {
        nlohmann::json wrong = json;
        wrong[key] = value;
        EXPECT_THROW(wrong.get<Token>(), JSONDecodingError) << key << " = " << value.dump();
    }

    TokenBalance balance{usdc, "0xf4240", 1.0, std::nullopt};
    nlohmann::json balanceJSON = balance;
    EXPECT_FALSE(balanceJSON.contains("priceUSD"));
    EXPECT_EQ(balanceJSON.get<TokenBalance>(), balance);
    balanceJSON["priceUSD"] = nullptr;
    EXPECT_EQ(balanceJSON.get<TokenBalance>(), balance);
    balance.priceUSD = 0.9998;
    EXPECT_EQ(nlohmann::json(balance).get<TokenBalance>(), balance);
    balanceJSON["priceUSD"] = "1.00";
    EXPECT_THROW(balanceJSON.get<TokenBalance>(), JSONDecodingError);
}

TEST(Token, MapDecodingFailsAsAWhole) {
    TokenMap map;
    map["ethereum"] = {usdc};
    map["polygon"] = {};
    const nlohmann::json json = tokenMapToJSON(map);
    EXPECT_EQ(tokenMapFromJSON(json), map);
    EXPECT_EQ(tokenMapFromJSON(nlohmann::json::object()), TokenMap{});

    nlohmann::json badToken = json;
    badToken["polygon"].push_back(nlohmann::json(usdc));
    badToken["polygon"][0]["decimals"] = 1.5;
    EXPECT_THROW(tokenMapFromJSON(badToken), JSONDecodingError);
    nlohmann::json notList = json;
    notList["arbitrum"] = nlohmann::json(usdc);
    EXPECT_THROW(tokenMapFromJSON(notList), JSONDecodingError);
    EXPECT_THROW(tokenMapFromJSON(nlohmann::json::array()), JSONDecodingError);
}

} // namespace
} // namespace qm
