#pragma once
// ISO 8601 internet date and time with fractional seconds, as Blockscout sends its
// timestamps ("2024-05-01T12:34:56.789Z", "2024-05-01T14:34:56.789123+02:00").

#include <cstdint>
#include <optional>
#include <string_view>

namespace qm {

// Whole seconds since 1970-01-01 00:00:00 UTC, truncated toward zero. Accepts exactly
// YYYY-MM-DD "T" hh:mm:ss "." one or more digits, then "Z" or an offset ±hh:mm; the date must
// exist (leap years), hours 0-23, minutes and seconds 0-59. Absent for anything else,
// including a missing fraction, lowercase designators, blanks or a missing zone.
std::optional<std::int64_t> unixSecondsFromInternetDateTime(std::string_view text);

} // namespace qm
