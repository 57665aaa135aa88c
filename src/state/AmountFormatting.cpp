#include "state/AmountFormatting.h"

#include "core/model/Amount.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace qm {
namespace {

// The whole text as a double, in the C locale. Accepts an optional sign, digits with an
// optional fraction and exponent, and the names of infinity and NaN, as the platform's
// conversion does; absent for anything else or for a value beyond the double range.
std::optional<double> parseNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return std::nullopt;
        }
    }
    if (text.empty()) {
        return std::nullopt;
    }
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::string formatTokenAmount(std::string_view amount, std::int64_t decimals) {
    const std::optional<double> number = parseNumber(amount);
    // Infinity and NaN are no amount a list should show.
    if (!number || !std::isfinite(*number)) {
        return "0";
    }
    return amountNumberText(*number / std::pow(10.0, static_cast<double>(decimals)));
}

} // namespace qm
