#include "core/model/Date.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>

namespace qm {
namespace {

constexpr double secondsPerDay = 86400.0;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

bool isLeapYear(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned daysInMonth(std::int64_t y, unsigned m) {
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : days[m - 1];
}

// Unix seconds of 0001-01-01T00:00:00Z and of 10000-01-01T00:00:00Z.
const double earliestUnixTime = static_cast<double>(daysFromCivil(1, 1, 1)) * secondsPerDay;
const double endUnixTime = static_cast<double>(daysFromCivil(10000, 1, 1)) * secondsPerDay;

// Reads exactly `width` decimal digits at `pos`.
std::optional<unsigned> digits(std::string_view text, std::size_t pos, std::size_t width) {
    if (pos + width > text.size()) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return value;
}

bool charAt(std::string_view text, std::size_t pos, char c) {
    return pos < text.size() && text[pos] == c;
}

} // namespace

Date Date::now() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return fromUnixTime(std::chrono::duration<double>(sinceEpoch).count());
}

Date Date::fromUnixTime(double secondsSince1970) {
    return Date{secondsSince1970 - referenceDateUnixTime};
}

double Date::unixTime() const {
    return secondsSinceReferenceDate + referenceDateUnixTime;
}

bool Date::isInSupportedRange() const {
    const double t = unixTime();
    return std::isfinite(t) && t >= earliestUnixTime && t < endUnixTime;
}

std::optional<std::string> iso8601String(Date date) {
    if (!date.isInSupportedRange()) {
        return std::nullopt;
    }
    const auto total = static_cast<std::int64_t>(std::floor(date.unixTime()));
    std::int64_t days = total / 86400;
    std::int64_t secondOfDay = total % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        days -= 1;
    }
    const Civil civil = civilFromDays(days);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(civil.year), civil.month, civil.day,
                  static_cast<long long>(secondOfDay / 3600),
                  static_cast<long long>(secondOfDay / 60 % 60),
                  static_cast<long long>(secondOfDay % 60));
    return std::string(buffer);
}

std::optional<std::string> exactISO8601String(Date date) {
    if (!date.isInSupportedRange()) {
        return std::nullopt;
    }
    const double seconds = date.secondsSinceReferenceDate;
    const double wholeSeconds = std::floor(seconds);
    const double fraction = seconds - wholeSeconds;
    // From the whole seconds themselves: adding the Unix offset to `seconds` could round up.
    std::optional<std::string> whole = iso8601String(Date{wholeSeconds});
    if (!whole || fraction == 0) {
        return whole;
    }
    // The shortest digits that read back to the same double, as dateFromISO8601 adds them.
    const auto readsBack = [&](std::string_view digits) {
        double value = 0;
        const std::string text = "0." + std::string(digits);
        std::from_chars(text.data(), text.data() + text.size(), value);
        return wholeSeconds + value == seconds;
    };
    char buffer[64];
    for (int precision = 1; precision <= static_cast<int>(maxFractionDigits); ++precision) {
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, fraction,
                                          std::chars_format::fixed, precision);
        std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
        if (result.ec != std::errc() || !text.starts_with("0.")) {
            continue; // rounded up to the next second
        }
        text.remove_prefix(2);
        while (!text.empty() && text.back() == '0') {
            text.remove_suffix(1);
        }
        if (!text.empty() && readsBack(text)) {
            whole->insert(19, "." + std::string(text));
            return whole;
        }
    }
    return whole; // only a moment within a second before the reference date gets here
}

std::optional<Date> dateFromISO8601(std::string_view text) {
    const auto year = digits(text, 0, 4);
    const auto month = digits(text, 5, 2);
    const auto day = digits(text, 8, 2);
    const auto hour = digits(text, 11, 2);
    const auto minute = digits(text, 14, 2);
    const auto second = digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second || !charAt(text, 4, '-') ||
        !charAt(text, 7, '-') || !charAt(text, 10, 'T') || !charAt(text, 13, ':') ||
        !charAt(text, 16, ':')) {
        return std::nullopt;
    }
    if (*year < 1 || *month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month) ||
        *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    double fraction = 0;
    std::size_t zone = 19;
    if (charAt(text, 19, '.')) {
        std::size_t end = 20;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
            ++end;
        }
        if (end == 20 || end - 20 > maxFractionDigits) {
            return std::nullopt;
        }
        const std::string decimal = "0" + std::string(text.substr(19, end - 19));
        std::from_chars(decimal.data(), decimal.data() + decimal.size(), fraction);
        zone = end;
    }
    const std::string_view designator = text.substr(std::min(zone, text.size()));
    std::int64_t offsetSeconds = 0;
    if (designator == "Z") {
        offsetSeconds = 0;
    } else if (designator.size() == 6 && (designator[0] == '+' || designator[0] == '-') &&
               designator[3] == ':') {
        const auto offsetHours = digits(designator, 1, 2);
        const auto offsetMinutes = digits(designator, 4, 2);
        if (!offsetHours || !offsetMinutes || *offsetHours > 23 || *offsetMinutes > 59) {
            return std::nullopt;
        }
        offsetSeconds = static_cast<std::int64_t>(*offsetHours * 3600 + *offsetMinutes * 60);
        if (designator[0] == '-') {
            offsetSeconds = -offsetSeconds;
        }
    } else {
        return std::nullopt;
    }
    const std::int64_t secondOfDay = *hour * 3600 + *minute * 60 + *second;
    const std::int64_t unix =
        daysFromCivil(*year, *month, *day) * 86400 + secondOfDay - offsetSeconds;
    // Whole seconds first, exactly; then the fraction in one rounding (exactISO8601String
    // relies on this order).
    const Date date{static_cast<double>(unix - static_cast<std::int64_t>(referenceDateUnixTime)) +
                    fraction};
    if (!date.isInSupportedRange()) {
        return std::nullopt;
    }
    return date;
}

} // namespace qm
