// Amount::parse over arbitrary text: it refuses only with an AmountError, and what it accepts
// is exact: one more decimal place gives exactly ten times the base units, or is too large
// exactly when ten times the value does not fit in 256 bits; its exact text reads back to it.
#include "core/model/Amount.h"

#include <cstdlib>
#include <optional>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const unsigned decimals = data[0] % 80;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::optional<qm::Amount> amount;
    try {
        amount = qm::Amount::parse(text, decimals);
    } catch (const qm::AmountError&) {
        return 0;
    }
    if (amount->decimals != decimals) {
        std::abort();
    }
    // (2^256 - 1) / 10: the largest value ten times which still fits.
    constexpr qm::UInt256 tenthOfMax(0x1999999999999999, 0x9999999999999999, 0x9999999999999999,
                                     0x9999999999999999);
    try {
        const qm::Amount finer = qm::Amount::parse(text, decimals + 1);
        if (amount->value > tenthOfMax ||
            finer.value != amount->value.multipliedTruncating(qm::UInt256(0, 0, 0, 10))) {
            std::abort();
        }
    } catch (const qm::AmountError& error) {
        if (error.kind() != qm::AmountError::Kind::tooLarge || amount->value <= tenthOfMax) {
            std::abort();
        }
    }
    // Its exact text reads back to the same amount, and its list text is never empty.
    if (qm::Amount::parse(amount->exactText(), decimals) != *amount ||
        amount->exactAmountText("X").empty()) {
        std::abort();
    }
    return 0;
}
