#include "core/model/Account.h"
#include "core/model/Chain.h"
#include "core/model/JSONFields.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

TEST(Chain, ParsesAndReadsOnlyTheExactRawValues) {
    for (const char* text : {"Bitcoin", " bitcoin", "btc"}) {
        EXPECT_EQ(chainFromRawValue(text), std::nullopt) << text;
    }
    for (Chain chain : allChains()) {
        EXPECT_EQ(chainFromRawValue(rawValue(chain)), chain);
        EXPECT_EQ(chainFromAccountID(accountID(chain, 12)), chain);
        EXPECT_EQ(nlohmann::json(chain).get<Chain>(), chain);
    }
    EXPECT_EQ(chainFromAccountID("doge-0"), std::nullopt);
    EXPECT_EQ(nlohmann::json(Chain::arbitrum).dump(), "\"arbitrum\"");
    for (const char* bad : {R"("Solana")", "3"}) {
        EXPECT_THROW(nlohmann::json::parse(bad).get<Chain>(), JSONDecodingError) << bad;
    }
}

TEST(Account, JSONRoundTripAndStrictReading) {
    const Account account{"eth-0", Chain::ethereum, 0, "0x9858EfFD232B4033E47d90003D41EC34EcaEda94",
                          "m/44'/60'/0'/0/0"};
    const nlohmann::json json = account;
    EXPECT_EQ(json.get<Account>(), account);
    nlohmann::json wrong = json;
    wrong.erase("derivationPath");
    EXPECT_THROW(wrong.get<Account>(), JSONDecodingError);
    wrong = json;
    wrong["index"] = 0.5;
    EXPECT_THROW(wrong.get<Account>(), JSONDecodingError);
}

} // namespace
} // namespace qm
