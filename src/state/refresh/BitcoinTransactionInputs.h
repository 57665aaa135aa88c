#pragma once
// The outputs a raw Bitcoin transaction spends, read from its inputs: what tells a payment
// the account made apart from one it received.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct BitcoinOutPoint {
    std::string txHash; // as Electrum and explorers show it (byte-reversed), lowercase hex
    std::uint32_t outputIndex = 0;

    bool operator==(const BitcoinOutPoint&) const = default;
};

// The spent outputs of the transaction in `hex` (legacy or segwit serialisation), in input
// order. Absent when the text is not hexadecimal or the inputs do not read completely.
std::optional<std::vector<BitcoinOutPoint>> parseSpentOutputs(std::string_view hex);

} // namespace qm
