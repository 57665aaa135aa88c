#include "services/bitcoin/BTCFeeRate.h"
#include "services/bitcoin/CoinSelection.h"
#include "services/bitcoin/UTXO.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace qm {
namespace {

UTXO utxo(std::uint64_t value, std::string hash = "h") {
    return {std::move(hash), 0, value, 1, {0x00, 0x14}};
}

TEST(CoinSelection, PicksLargestFirstAndMakesChange) {
    const auto result = CoinSelection::select(
        {utxo(30'000, "b"), utxo(50'000, "a"), utxo(20'000, "c")}, 60'000, 10);
    ASSERT_EQ(result.utxos.size(), 2u);
    EXPECT_EQ(result.utxos[0].txHash, "a");
    EXPECT_EQ(result.utxos[1].txHash, "b");
    EXPECT_EQ(result.fee, 2'090u);
    EXPECT_EQ(result.change, 17'910u);
    EXPECT_EQ(CoinSelection::fee(1, 1, 10), 1'100u);
    EXPECT_EQ(CoinSelection::fee(2, 1, 10), 1'780u);
}

TEST(CoinSelection, DustAndTightFits) {
    // fee1(1 in) = 110, fee2 = 141 at rate 1.
    // Change of exactly 546 goes to the fee; 547 makes a change output.
    auto dust = CoinSelection::select({utxo(10'000 + 141 + 546)}, 10'000, 1);
    EXPECT_FALSE(dust.change);
    EXPECT_EQ(dust.fee, 141u + 546u);
    auto change = CoinSelection::select({utxo(10'000 + 141 + 547)}, 10'000, 1);
    EXPECT_EQ(change.change, 547u);
    EXPECT_EQ(change.fee, 141u);
    // One-output fee covered, two-output fee not: the remainder is the fee.
    auto tight = CoinSelection::select({utxo(10'000 + 120)}, 10'000, 1);
    EXPECT_FALSE(tight.change);
    EXPECT_EQ(tight.fee, 120u);
    // Equal values keep their order.
    auto equal = CoinSelection::select({utxo(10'000, "A"), utxo(10'000, "B")}, 15'000, 1);
    EXPECT_EQ(equal.utxos[0].txHash, "A");
    EXPECT_EQ(equal.utxos[1].txHash, "B");
}

TEST(CoinSelection, Errors) {
    try {
        CoinSelection::select({utxo(5'000), utxo(3'000), utxo(2'000)}, 9'900, 1);
        ADD_FAILURE();
    } catch (const CoinSelectionError& e) {
        EXPECT_EQ(e.code(), CoinSelectionError::Code::insufficientFunds);
        EXPECT_STREQ(e.what(), "Insufficient funds: 10000 sats available, 10146 sats needed "
                               "(including fee).");
    }
    try {
        CoinSelection::select({}, 1, 1);
        ADD_FAILURE();
    } catch (const CoinSelectionError& e) {
        EXPECT_STREQ(e.what(), "No UTXOs available for spending.");
    }
    // A fee that would not fit 64 bits saturates and can never be covered.
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(CoinSelection::fee(1, 1, kMax), kMax);
    EXPECT_EQ(CoinSelection::fee(kMax, 1, 1), kMax);
    EXPECT_THROW(CoinSelection::select({utxo(kMax)}, 1, kMax / 50), CoinSelectionError);
    EXPECT_THROW(CoinSelection::select({utxo(kMax)}, kMax, 1), CoinSelectionError);
}

TEST(BTCFeeRate, FromEstimates) {
    EXPECT_EQ(BTCFeeRate::fromEstimate(BTCFeeLevel::fast, 0.00012),
              (BTCFeeRate{12, "Fast (~10 min)", 10}));
    EXPECT_EQ(BTCFeeRate::fromEstimate(BTCFeeLevel::normal, 0.000001).satPerVByte, 1u);
    EXPECT_EQ(BTCFeeRate::fromEstimate(BTCFeeLevel::economy, 0.00001).satPerVByte, 2u);
    // No estimate (-1), beyond any 64-bit rate, or infinite: the fallback, never an undefined
    // conversion.
    EXPECT_EQ(BTCFeeRate::fromEstimate(BTCFeeLevel::fast, -1), (BTCFeeRate{20, "Fast", 10}));
    EXPECT_EQ(BTCFeeRate::fromEstimate(BTCFeeLevel::fast, 1e30).satPerVByte, 20u);
    EXPECT_EQ(BTCFeeRate::fromEstimate(BTCFeeLevel::fast, INFINITY).satPerVByte, 20u);
}

TEST(UTXO, JsonAndIdentifier) {
    const UTXO u{"abc", 2, 546, 800000, {0x00, 0x14, 0xff}};
    EXPECT_EQ(u.id(), "abc:2");
    const std::string text = u.toJson().dump();
    EXPECT_EQ(text, R"({"txHash":"abc","outputIndex":2,"value":546,"height":800000,)"
                    R"("scriptPubKey":[0,20,255]})");
    EXPECT_EQ(UTXO::fromJson(nlohmann::json::parse(text)), u);
    for (const char* bad :
         {R"({"txHash":"a","outputIndex":0,"value":1,"height":0})",
          R"({"txHash":"a","outputIndex":0,"value":-1,"height":0,"scriptPubKey":[]})",
          R"({"txHash":"a","outputIndex":0,"value":1,"height":0,"scriptPubKey":[256]})"}) {
        EXPECT_THROW(UTXO::fromJson(nlohmann::json::parse(bad)), UTXODecodingError) << bad;
    }
}

} // namespace
} // namespace qm
