#pragma once
// Arithmetic on numbers that come from servers (satoshis, heights, counts): a result that
// does not fit is absent, never wrapped.

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>

namespace qm {

template <std::integral T> std::optional<T> checkedAdd(T a, T b) {
    T result;
    if (__builtin_add_overflow(a, b, &result)) {
        return std::nullopt;
    }
    return result;
}

template <std::integral T> std::optional<T> checkedSubtract(T a, T b) {
    T result;
    if (__builtin_sub_overflow(a, b, &result)) {
        return std::nullopt;
    }
    return result;
}

template <std::integral T> std::optional<T> checkedMultiply(T a, T b) {
    T result;
    if (__builtin_mul_overflow(a, b, &result)) {
        return std::nullopt;
    }
    return result;
}

// The sum of all values; absent when it exceeds 2^64 - 1.
inline std::optional<std::uint64_t> checkedSum(std::span<const std::uint64_t> values) {
    std::uint64_t total = 0;
    for (const std::uint64_t value : values) {
        const std::optional<std::uint64_t> next = checkedAdd(total, value);
        if (!next) {
            return std::nullopt;
        }
        total = *next;
    }
    return total;
}

} // namespace qm
