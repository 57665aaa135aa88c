#include "services/bitcoin/BTCFeeRate.h"
#include "services/bitcoin/CoinSelection.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <tuple>

namespace qm {
namespace {

UTXO utxo(std::uint64_t value, std::string hash = "h") {
    return {std::move(hash), 0, value, 1, {0x00, 0x14}};
}

std::string selectionError(std::vector<UTXO> utxos, std::uint64_t amount, std::uint64_t rate) {
    try {
        CoinSelection::select(std::move(utxos), amount, rate);
    } catch (const CoinSelectionError& e) {
        return e.what();
    }
    return "selected";
}

TEST(CoinSelection, LargestFirstChangeDustAndTightFits) {
    const auto result = CoinSelection::select(
        {utxo(30'000, "b"), utxo(50'000, "a"), utxo(20'000, "c")}, 60'000, 10);
    ASSERT_EQ(result.utxos.size(), 2u);
    EXPECT_EQ(result.utxos[0].txHash, "a");
    EXPECT_EQ(result.utxos[1].txHash, "b");
    EXPECT_EQ(result.fee, 2'090u);
    EXPECT_EQ(result.change, 17'910u);
    // At rate 1 the fee is 110 with one output, 141 with change. Change of exactly 546 goes to
    // the fee, 547 makes a change output; with the one-output fee covered but not the
    // two-output one, the remainder is the fee.
    for (const auto& [extra, fee, change] :
         {std::tuple{141 + 546, 141u + 546u, std::optional<std::uint64_t>()},
          {141 + 547, 141u, 547u},
          {120, 120u, std::nullopt}}) {
        const auto fit = CoinSelection::select({utxo(10'000 + extra)}, 10'000, 1);
        EXPECT_EQ(fit.fee, fee) << extra;
        EXPECT_EQ(fit.change, change) << extra;
    }
    // Paying a 34-byte script (P2WSH, P2TR) costs 12 vB more than the 141 counted above.
    EXPECT_EQ(CoinSelection::outputVBytes(34), 43u);
    const auto wide = CoinSelection::select({utxo(10'000 + 153 + 547)}, 10'000, 1, 43);
    EXPECT_EQ(wide.fee, 153u);
    EXPECT_EQ(wide.change, 547u);
    EXPECT_EQ(CoinSelection::select({utxo(10'000 + 153 + 546)}, 10'000, 1, 43).change,
              std::nullopt);
}

// Every coin, one output, no change: 11 + 68 per input + the payment's own size, and an amount
// of the dust limit or less refused with what would be needed.
TEST(CoinSelection, SpendAllPaysEveryCoinToOneOutput) {
    const auto all = CoinSelection::spendAll({utxo(1'000, "a"), utxo(30'000, "b"), utxo(500, "c")},
                                             5, CoinSelection::outputVBytes(34));
    ASSERT_EQ(all.utxos.size(), 3u);
    EXPECT_EQ(all.utxos[0].txHash, "a");
    EXPECT_EQ(all.total, 31'500u);
    EXPECT_EQ(all.fee, (11u + 3 * 68 + 43) * 5);
    EXPECT_EQ(all.amount, 31'500u - all.fee);
    // At rate 1 one input and one output cost 110: 110 + 547 leaves 547, 110 + 546 is dust.
    EXPECT_EQ(CoinSelection::spendAll({utxo(110 + 547)}, 1).amount, 547u);
    const auto refusal = [](std::vector<UTXO> utxos, std::uint64_t rate) -> std::string {
        try {
            CoinSelection::spendAll(std::move(utxos), rate);
        } catch (const CoinSelectionError& e) {
            return e.what();
        }
        return "spent";
    };
    EXPECT_EQ(refusal({utxo(110 + 546)}, 1),
              "Insufficient funds: 656 sats available, 657 sats needed (including fee).");
    EXPECT_EQ(refusal({}, 1), "No UTXOs available for spending.");
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    EXPECT_NE(refusal({utxo(kMax), utxo(1)}, 1), "spent");
    EXPECT_NE(refusal({utxo(kMax - 1)}, kMax / 50), "spent");
}

// A fee that would not fit 64 bits saturates and can never be covered; an estimate beyond any
// 64-bit rate falls back, never an undefined conversion.
TEST(CoinSelection, RefusalsAndSaturation) {
    EXPECT_EQ(selectionError({utxo(5'000), utxo(3'000), utxo(2'000)}, 9'900, 1),
              "Insufficient funds: 10000 sats available, 10146 sats needed (including fee).");
    EXPECT_EQ(selectionError({}, 1, 1), "No UTXOs available for spending.");
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(CoinSelection::fee(kMax, 1, 1), kMax);
    EXPECT_NE(selectionError({utxo(kMax)}, 1, kMax / 50), "selected");
    EXPECT_NE(selectionError({utxo(kMax)}, kMax, 1), "selected");
    EXPECT_EQ(BTCFeeRate::fromEstimate(BTCFeeLevel::fast, 0.00012).satPerVByte, 12u);
    EXPECT_EQ(BTCFeeRate::fromEstimate(BTCFeeLevel::fast, -1), (BTCFeeRate{20, "Fast", 10}));
    EXPECT_EQ(BTCFeeRate::fromEstimate(BTCFeeLevel::fast, 1e30).satPerVByte, 20u);
    EXPECT_EQ(BTCFeeRate::fromEstimate(BTCFeeLevel::fast, INFINITY).satPerVByte, 20u);
}

// Coins no chain can hold, from a hostile server, are refused before anything is built from
// them: sums of them would overflow the change and fee arithmetic.
TEST(CoinSelection, RefusesCoinsThatCannotExist) {
    const auto refusal = [](std::vector<UTXO> utxos) -> std::string {
        try {
            CoinSelection::checkCoins(utxos);
        } catch (const CoinSelectionError& e) {
            EXPECT_EQ(e.code(), CoinSelectionError::Code::impossibleCoins);
            return e.what();
        }
        return "accepted";
    };
    const std::string a(64, 'a');
    const std::string b(64, 'b');
    constexpr std::uint64_t supply = CoinSelection::kMaxMoney;
    EXPECT_EQ(refusal({utxo(supply, a)}), "accepted");
    EXPECT_EQ(refusal({utxo(supply - 1, a), utxo(1, b)}), "accepted");
    EXPECT_EQ(refusal({utxo(supply + 1, a)}),
              "The server's list of coins cannot be right: the coin " + a +
                  ":0 holds more than 21,000,000 BTC.");
    EXPECT_EQ(refusal({utxo(5, a), utxo(7, b), utxo(5, a)}),
              "The server's list of coins cannot be right: the coin " + a + ":0 is listed twice.");
    // The same outpoint in another letter case is the same coin.
    EXPECT_EQ(refusal({utxo(5, a), utxo(5, std::string(64, 'A'))}),
              "The server's list of coins cannot be right: the coin " + a + ":0 is listed twice.");
    UTXO other = utxo(5, a);
    other.outputIndex = 1;
    EXPECT_EQ(refusal({utxo(5, a), other}), "accepted");
    EXPECT_EQ(refusal({utxo(supply, a), utxo(1, b)}),
              "The server's list of coins cannot be right: its coins add up to more than "
              "21,000,000 BTC.");
    // Without the check, a sum past 64 bits would make a change of almost every coin there is.
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    EXPECT_NE(refusal({utxo(kMax - 10, a), utxo(20, b)}), "accepted");
}

} // namespace
} // namespace qm
