#include "services/evm/InternetDateTime.h"

namespace qm {
namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    // `count` ASCII digits as a number; absent when any of them is not a digit.
    std::optional<int> digits(std::size_t count) {
        if (m_text.size() - m_position < count) {
            return std::nullopt;
        }
        int value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = m_text[m_position + i];
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            value = value * 10 + (c - '0');
        }
        m_position += count;
        return value;
    }

    bool literal(char expected) {
        if (m_position < m_text.size() && m_text[m_position] == expected) {
            ++m_position;
            return true;
        }
        return false;
    }

    std::optional<char> next() {
        if (m_position < m_text.size()) {
            return m_text[m_position++];
        }
        return std::nullopt;
    }

    // One or more digits; whether any of them is not zero.
    std::optional<bool> fraction() {
        const std::size_t start = m_position;
        bool nonZero = false;
        while (m_position < m_text.size() && m_text[m_position] >= '0' &&
               m_text[m_position] <= '9') {
            nonZero = nonZero || m_text[m_position] != '0';
            ++m_position;
        }
        if (m_position == start) {
            return std::nullopt;
        }
        return nonZero;
    }

    bool atEnd() const { return m_position == m_text.size(); }

private:
    std::string_view m_text;
    std::size_t m_position = 0;
};

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// Days from 1970-01-01 to the given proleptic Gregorian date (negative before it).
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

std::optional<std::int64_t> unixSecondsFromInternetDateTime(std::string_view text) {
    Reader reader(text);
    const auto year = reader.digits(4);
    if (!year || !reader.literal('-')) {
        return std::nullopt;
    }
    const auto month = reader.digits(2);
    if (!month || *month < 1 || *month > 12 || !reader.literal('-')) {
        return std::nullopt;
    }
    const auto day = reader.digits(2);
    if (!day || *day < 1 || *day > daysInMonth(*year, *month) || !reader.literal('T')) {
        return std::nullopt;
    }
    const auto hour = reader.digits(2);
    if (!hour || *hour > 23 || !reader.literal(':')) {
        return std::nullopt;
    }
    const auto minute = reader.digits(2);
    if (!minute || *minute > 59 || !reader.literal(':')) {
        return std::nullopt;
    }
    const auto second = reader.digits(2);
    if (!second || *second > 59 || !reader.literal('.')) {
        return std::nullopt;
    }
    const auto fractionNonZero = reader.fraction();
    if (!fractionNonZero) {
        return std::nullopt;
    }

    std::int64_t offsetSeconds = 0;
    const auto zone = reader.next();
    if (zone == 'Z') {
        // UTC
    } else if (zone == '+' || zone == '-') {
        const auto offsetHours = reader.digits(2);
        if (!offsetHours || *offsetHours > 23 || !reader.literal(':')) {
            return std::nullopt;
        }
        const auto offsetMinutes = reader.digits(2);
        if (!offsetMinutes || *offsetMinutes > 59) {
            return std::nullopt;
        }
        offsetSeconds = (*offsetHours * 60 + *offsetMinutes) * 60;
        if (zone == '-') {
            offsetSeconds = -offsetSeconds;
        }
    } else {
        return std::nullopt;
    }
    if (!reader.atEnd()) {
        return std::nullopt;
    }

    std::int64_t seconds = daysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 +
                           *minute * 60 + *second - offsetSeconds;
    // Truncating toward zero: before 1970 a fraction brings the moment one second closer.
    if (seconds < 0 && *fractionNonZero) {
        seconds += 1;
    }
    return seconds;
}

} // namespace qm
