#include "core/model/Account.h"
#include "core/model/Chain.h"
#include "core/model/JSONFields.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

TEST(Chain, ParsesOnlyTheExactRawValues) {
    EXPECT_EQ(chainFromRawValue("bitcoin"), Chain::bitcoin);
    EXPECT_EQ(chainFromRawValue("polygon"), Chain::polygon);
    for (const char* text : {"Bitcoin", "BITCOIN", " bitcoin", "bitcoin ", "", "btc", "eth-0"}) {
        EXPECT_EQ(chainFromRawValue(text), std::nullopt) << text;
    }
    for (Chain chain : allChains()) {
        EXPECT_EQ(chainFromRawValue(rawValue(chain)), chain);
    }
}

TEST(Chain, TableValuesAndOrder) {
    ASSERT_EQ(allChains().size(), 5u);
    EXPECT_EQ(allChains().front(), Chain::bitcoin);
    EXPECT_EQ(allChains().back(), Chain::solana);
    for (std::size_t i = 0; i < allChains().size(); ++i) {
        EXPECT_EQ(chainIndex(allChains()[i]), i);
    }
    EXPECT_EQ(evmChainID(Chain::bitcoin), 0u);
    EXPECT_EQ(evmChainID(Chain::solana), 0u);
    EXPECT_EQ(evmChainID(Chain::ethereum), 1u);
    EXPECT_EQ(evmChainID(Chain::arbitrum), 42161u);
    EXPECT_EQ(evmChainID(Chain::polygon), 137u);
    EXPECT_FALSE(isEVMChain(Chain::bitcoin));
    EXPECT_TRUE(isEVMChain(Chain::arbitrum));
    EXPECT_FALSE(isEVMChain(Chain::solana));

    EXPECT_EQ(nativeSymbol(Chain::arbitrum), "ETH");
    EXPECT_EQ(nativeSymbol(Chain::polygon), "POL");
    EXPECT_EQ(displayName(Chain::solana), "Solana");
    EXPECT_EQ(nativeDecimals(Chain::bitcoin), 8);
    EXPECT_EQ(nativeDecimals(Chain::polygon), 18);
    EXPECT_EQ(nativeDecimals(Chain::solana), 9);
}

TEST(Chain, AccountIdentifiers) {
    EXPECT_EQ(accountID(Chain::bitcoin, 0), "btc-0");
    EXPECT_EQ(accountID(Chain::polygon, 0), "poly-0");
    EXPECT_EQ(accountID(Chain::arbitrum, 12), "arb-12");
    EXPECT_EQ(chainFromAccountID("sol-0"), Chain::solana);
    EXPECT_EQ(chainFromAccountID("poly-0"), Chain::polygon);
    EXPECT_EQ(chainFromAccountID("doge-0"), std::nullopt);
}

TEST(Chain, JSONIsTheRawValueString) {
    EXPECT_EQ(nlohmann::json(Chain::arbitrum).dump(), "\"arbitrum\"");
    EXPECT_EQ(nlohmann::json("solana").get<Chain>(), Chain::solana);
    for (const char* bad : {R"("Solana")", "3", "null", R"(["solana"])"}) {
        EXPECT_THROW(nlohmann::json::parse(bad).get<Chain>(), JSONDecodingError) << bad;
    }
}

TEST(Account, JSONRoundTripAndStrictReading) {
    const Account account{"eth-0", Chain::ethereum, 0, "0x9858EfFD232B4033E47d90003D41EC34EcaEda94",
                          "m/44'/60'/0'/0/0"};
    const nlohmann::json json = account;
    EXPECT_EQ(json.get<Account>(), account);

    for (const char* key : {"id", "chain", "index", "address", "derivationPath"}) {
        nlohmann::json missing = json;
        missing.erase(key);
        EXPECT_THROW(missing.get<Account>(), JSONDecodingError) << key;
    }
    nlohmann::json wrong = json;
    wrong["chain"] = "dogecoin";
    EXPECT_THROW(wrong.get<Account>(), JSONDecodingError);
    wrong = json;
    wrong["index"] = 0.5;
    EXPECT_THROW(wrong.get<Account>(), JSONDecodingError);
    wrong = json;
    wrong["index"] = "0";
    EXPECT_THROW(wrong.get<Account>(), JSONDecodingError);
}

} // namespace
} // namespace qm
