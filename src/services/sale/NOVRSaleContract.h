#pragma once
// The NOVR ("Nova Crest") sale on Arbitrum One: where the bonding-curve sale contract and the
// two tokens live, the sale contract's four functions as call data, and its two reads. No
// state beyond the selectors, made once.
//
// Amounts are base units: NOVR has 18 decimals, USDC 6; `floorPrice()` is the USDC base units
// paid for one whole NOVR.

#include "core/crypto/UInt256.h"
#include "platform/Bytes.h"
#include "platform/async/CancellationToken.h"

#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string_view>

namespace qm {

class JSONRPCClient;

// The sale contract: target of every sale call and the spender of every allowance it needs.
inline constexpr std::string_view novrSaleContractAddress =
    "0x5ed14b12336d678d17aB2e4F1A799E74225d6740";
// The NOVR ERC-20 token, spent by sell().
inline constexpr std::string_view novrTokenAddress = "0xc59eD24C44522bbB007ACB205001CA74eA5Df298";
// Circle's USDC on Arbitrum One, spent by buy().
inline constexpr std::string_view usdcArbitrumAddress =
    "0xaf88d065e77c8cC2239327C5EDb3A432268e5831";

inline constexpr unsigned novrDecimals = 18;
inline constexpr unsigned usdcDecimals = 6;
inline constexpr std::uint64_t arbitrumChainID = 42161;

// The 20 bytes of one of the addresses above.
Bytes saleAddressBytes(std::string_view address);

const Bytes& buySelector();             // "buy(uint256,uint256)"      d6febde8
const Bytes& sellSelector();            // "sell(uint256)"             e4849b32
const Bytes& estimateBuyCostSelector(); // "estimateBuyCost(uint256)"  ee23af07
const Bytes& floorPriceSelector();      // "floorPrice()"              9363c812

// 68 bytes: the selector, the NOVR amount word, the most USDC the buy may cost.
Bytes buyCalldata(const UInt256& amount, const UInt256& maxCost);
// 36 bytes: the selector and the NOVR amount word.
Bytes sellCalldata(const UInt256& amount);

// The most USDC a buy quoted at `cost` may take: floor(cost * (10,000 + slippageBps) / 10,000),
// computed whole in 256 bits; absent when it does not fit.
std::optional<UInt256> novrMaxCost(const UInt256& cost, unsigned slippageBps);
// The USDC the sale pays for `amount` NOVR base units at `floorPrice`:
// floor(amount * floorPrice / 10^18); absent when it does not fit.
std::optional<UInt256> novrFloorProceeds(const UInt256& amount, const UInt256& floorPrice);

// The USDC cost of buying `amount` NOVR now: the first word of estimateBuyCost's return data.
// Throws NOVRError::poolCallFailed("estimateBuyCost returned invalid data") for a result that
// is not hex or shorter than 32 bytes, and the client's error (a revert included) unchanged.
QCoro::Task<UInt256> estimateBuyCost(UInt256 amount, std::shared_ptr<JSONRPCClient> client,
                                     CancellationToken cancel = {});
// USDC base units per whole NOVR: the first word of floorPrice's return data. Fails as
// estimateBuyCost does, with "floorPrice returned invalid data".
QCoro::Task<UInt256> fetchFloorPrice(std::shared_ptr<JSONRPCClient> client,
                                     CancellationToken cancel = {});

} // namespace qm
