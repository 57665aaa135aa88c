#pragma once
// The short number text of a raw token amount, as the transaction lists show it.

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// `amount` is the raw integer amount in decimal text; the result is amount / 10^decimals
// with 6 fraction digits below 0.01, 4 below 1000 and 2 from 1000 up, and "0" for zero or
// for text that is not wholly a number (leading white space, leftovers, empty). Always with
// a "." whatever the user's locale. The caller appends the symbol.
std::string formatTokenAmount(std::string_view amount, std::int64_t decimals);

} // namespace qm
