#pragma once
// A moment in time as the stored records keep it: seconds since
// 2001-01-01 00:00:00 UTC, with a fractional part (double precision).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

struct Date {
    double secondsSinceReferenceDate = 0;

    static Date now();
    static Date fromUnixTime(double secondsSince1970);
    double unixTime() const;

    // Whether the moment lies in the years 0001 to 9999, the range the stored
    // forms accept; decoders refuse dates outside it.
    bool isInSupportedRange() const;

    auto operator<=>(const Date&) const = default;
};

// Seconds between 1970-01-01 and 2001-01-01 (UTC).
inline constexpr double referenceDateUnixTime = 978307200.0;
// The most digits of a second the ISO 8601 forms read or write.
inline constexpr std::size_t maxFractionDigits = 32;

// ISO 8601 in UTC without fractional seconds, e.g. "2025-01-31T09:30:00Z" (fractions are
// dropped, rounding toward the past). Absent for a date outside isInSupportedRange().
std::optional<std::string> iso8601String(Date date);
// As iso8601String, with the fraction of the second when there is one ("...T09:30:00.75Z"):
// the fewest digits (at most maxFractionDigits) that dateFromISO8601 reads back to the same
// double. The backup payload keeps the creation date this way.
std::optional<std::string> exactISO8601String(Date date);
// Reads "YYYY-MM-DDTHH:MM:SSZ" or the same with a "+HH:MM" / "-HH:MM" offset, optionally with
// 1 to maxFractionDigits digits of a second after the seconds; absent for any other text
// and for impossible dates.
std::optional<Date> dateFromISO8601(std::string_view text);

} // namespace qm
