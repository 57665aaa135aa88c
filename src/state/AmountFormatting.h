#pragma once
// The amount texts of the lists, each from an exact integer of base units (never a double): the
// short number of a raw token amount that the transaction lists show, and the native balance
// of an account that the sidebar, the portfolio, the account screen and the send sheet show.

#include "core/crypto/UInt256.h"
#include "core/model/Amount.h"
#include "core/model/Chain.h"
#include "core/model/Token.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// `amount` is the raw integer amount in decimal text (an exponent is read: "15e17"); the result
// is Amount::listNumberText of amount / 10^decimals: 6 fraction digits below 0.01, 4 below 1000
// and 2 from 1000 up, rounded half up, "." whatever the user's locale. "0" for zero and for
// text that is not wholly a whole number of base units below 2^256 (leading white space,
// leftovers, empty, a sign, a fraction), or for decimals outside 0 ... 255. The caller appends
// the symbol.
std::string formatTokenAmount(std::string_view amount, std::int64_t decimals);

// An account's balance of its chain's coin, `baseUnits` of it: 8 fraction digits on Bitcoin, 4
// on Solana and 6 on Ethereum, Arbitrum and Polygon, rounded half up from the exact value, a
// blank and the coin's symbol ("0.00150000 BTC", "1.2500 SOL", "0.123457 ETH").
std::string nativeBalanceText(Chain chain, const UInt256& baseUnits);

// A token balance exactly: its hexadecimal `balance` (zero when that is no quantity) with the
// token's decimals (kept within 0 ... 255). Its exactAmountText is the balance in the lists.
Amount tokenBalanceAmount(const TokenBalance& balance);

} // namespace qm
