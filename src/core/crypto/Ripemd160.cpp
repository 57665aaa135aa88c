#include "core/crypto/Ripemd160.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

namespace qm {
namespace {

// Message-word selection and rotation amounts of the left and right lines.
constexpr int kLeftWord[80] = {0, 1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15,
                               7, 4,  13, 1,  10, 6,  15, 3,  12, 0, 9,  5,  2,  14, 11, 8,
                               3, 10, 14, 4,  9,  15, 8,  1,  2,  7, 0,  6,  13, 11, 5,  12,
                               1, 9,  11, 10, 0,  8,  12, 4,  13, 3, 7,  15, 14, 5,  6,  2,
                               4, 0,  5,  9,  7,  12, 2,  10, 14, 1, 3,  8,  11, 6,  15, 13};
constexpr int kRightWord[80] = {5,  14, 7,  0, 9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12,
                                6,  11, 3,  7, 0, 13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,
                                15, 5,  1,  3, 7, 14, 6,  9,  11, 8,  12, 2,  10, 0,  4,  13,
                                8,  6,  4,  1, 3, 11, 15, 0,  5,  12, 2,  13, 9,  7,  10, 14,
                                12, 15, 10, 4, 1, 5,  8,  7,  6,  2,  13, 14, 0,  3,  9,  11};
constexpr int kLeftShift[80] = {11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,
                                7,  6,  8,  13, 11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12,
                                11, 13, 6,  7,  14, 9,  13, 15, 14, 8,  13, 6,  5,  12, 7,  5,
                                11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,  8,  6,  5,  12,
                                9,  15, 5,  11, 6,  8,  13, 12, 5,  12, 13, 14, 11, 8,  5,  6};
constexpr int kRightShift[80] = {8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,
                                 9,  13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,
                                 9,  7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,
                                 15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8,
                                 8,  5,  12, 9,  12, 5,  14, 6,  8,  13, 6,  5,  15, 13, 11, 11};
constexpr std::uint32_t kLeftConstant[5] = {0x00000000, 0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC,
                                            0xA953FD4E};
constexpr std::uint32_t kRightConstant[5] = {0x50A28BE6, 0x5C4DD124, 0x6D703EF3, 0x7A6D76E9,
                                             0x00000000};

template <int Group> inline std::uint32_t f(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    if constexpr (Group == 0) {
        return x ^ y ^ z;
    } else if constexpr (Group == 1) {
        return (x & y) | (~x & z);
    } else if constexpr (Group == 2) {
        return (x | ~y) ^ z;
    } else if constexpr (Group == 3) {
        return (x & z) | (y & ~z);
    } else {
        return x ^ (y | ~z);
    }
}

// Step J of one line. The five working words rotate roles each step instead of
// being moved: at step J, word A is v[(80 - J) % 5] and B..E follow it.
template <int J, bool Right> inline void step(std::uint32_t* v, const std::uint32_t* x) {
    constexpr int a = (80 - J) % 5;
    constexpr int b = (a + 1) % 5, c = (a + 2) % 5, d = (a + 3) % 5, e = (a + 4) % 5;
    constexpr int group = Right ? 4 - J / 16 : J / 16;
    constexpr std::uint32_t k = Right ? kRightConstant[J / 16] : kLeftConstant[J / 16];
    constexpr int word = Right ? kRightWord[J] : kLeftWord[J];
    constexpr int shift = Right ? kRightShift[J] : kLeftShift[J];
    v[a] = std::rotl(v[a] + f<group>(v[b], v[c], v[d]) + x[word] + k, shift) + v[e];
    v[c] = std::rotl(v[c], 10);
}

template <bool Right, int... J>
inline void line(std::uint32_t* v, const std::uint32_t* x, std::integer_sequence<int, J...>) {
    (step<J, Right>(v, x), ...);
}

void compress(std::uint32_t* h, const std::uint8_t* block) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t* p = block + 4 * i;
        x[i] = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
               static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }
    std::uint32_t left[5] = {h[0], h[1], h[2], h[3], h[4]};
    std::uint32_t right[5] = {h[0], h[1], h[2], h[3], h[4]};
    line<false>(left, x, std::make_integer_sequence<int, 80>{});
    line<true>(right, x, std::make_integer_sequence<int, 80>{});
    // After 80 steps (a multiple of 5) every word is back in its own slot.
    const std::uint32_t t = h[1] + left[2] + right[3];
    h[1] = h[2] + left[3] + right[4];
    h[2] = h[3] + left[4] + right[0];
    h[3] = h[4] + left[0] + right[1];
    h[4] = h[0] + left[1] + right[2];
    h[0] = t;
}

} // namespace

Bytes ripemd160(ByteView data) {
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const std::size_t whole = data.size() / 64 * 64;
    for (std::size_t offset = 0; offset < whole; offset += 64) {
        compress(h, data.data() + offset);
    }
    // The rest, the 0x80 pad, zeros to 56 mod 64 and the bit length: one or two blocks.
    std::uint8_t tail[128] = {};
    const std::size_t rest = data.size() - whole;
    if (rest > 0) {
        std::memcpy(tail, data.data() + whole, rest);
    }
    tail[rest] = 0x80;
    const std::size_t tailLength = rest < 56 ? 64 : 128;
    const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
    for (int i = 0; i < 8; ++i) {
        tail[tailLength - 8 + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(bits >> (8 * i));
    }
    compress(h, tail);
    if (tailLength == 128) {
        compress(h, tail + 64);
    }
    Bytes digest(20);
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 4; ++j) {
            digest[static_cast<std::size_t>(4 * i + j)] =
                static_cast<std::uint8_t>(h[i] >> (8 * j));
        }
    }
    return digest;
}

} // namespace qm
