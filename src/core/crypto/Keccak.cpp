#include "core/crypto/Keccak.h"

#include <bit>
#include <cstring>

namespace qm {
namespace {

constexpr std::uint64_t kRoundConstants[24] = {
    0x0000000000000001ULL, 0x0000000000008082ULL, 0x800000000000808aULL, 0x8000000080008000ULL,
    0x000000000000808bULL, 0x0000000080000001ULL, 0x8000000080008081ULL, 0x8000000000008009ULL,
    0x000000000000008aULL, 0x0000000000000088ULL, 0x0000000080008009ULL, 0x000000008000000aULL,
    0x000000008000808bULL, 0x800000000000008bULL, 0x8000000000008089ULL, 0x8000000000008003ULL,
    0x8000000000008002ULL, 0x8000000000000080ULL, 0x000000000000800aULL, 0x800000008000000aULL,
    0x8000000080008081ULL, 0x8000000000008080ULL, 0x0000000080000001ULL, 0x8000000080008008ULL};

inline std::uint64_t rol(std::uint64_t x, int n) {
    return std::rotl(x, n);
}

inline std::uint64_t loadLittleEndian64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) {
        v = __builtin_bswap64(v);
    }
    return v;
}

inline void xorByte(std::array<std::uint64_t, 25>& lanes, std::size_t index, std::uint8_t byte) {
    lanes[index / 8] ^= static_cast<std::uint64_t>(byte) << (8 * (index % 8));
}

inline std::uint8_t stateByte(const std::array<std::uint64_t, 25>& lanes, std::size_t index) {
    return static_cast<std::uint8_t>(lanes[index / 8] >> (8 * (index % 8)));
}

// Lanes held complemented between rounds ("lane complementing"): with them
// inverted, χ needs one NOT per row instead of five. Indices of (1,0), (2,0),
// (3,1), (2,2), (2,3) and (0,4).
constexpr int kComplementedLanes[] = {1, 2, 8, 12, 17, 20};

// One round, reading lanes `a` and writing `e`; lane (x, y) is index x + 5y.
// θ, ρ and π are folded into the choice of source lane and rotation for each
// output row, then χ (in its complemented form) and ι. The column parities c*
// of the input come in and those of the output go out, so θ never re-reads the
// state.
[[gnu::always_inline]] inline void round(const std::uint64_t* a, std::uint64_t* e, std::uint64_t rc,
                                         std::uint64_t& ca, std::uint64_t& ce, std::uint64_t& ci,
                                         std::uint64_t& co, std::uint64_t& cu) {
    const std::uint64_t da = cu ^ rol(ce, 1);
    const std::uint64_t de = ca ^ rol(ci, 1);
    const std::uint64_t di = ce ^ rol(co, 1);
    const std::uint64_t dO = ci ^ rol(cu, 1);
    const std::uint64_t du = co ^ rol(ca, 1);
    std::uint64_t b0, b1, b2, b3, b4;

    b0 = a[0] ^ da;
    b1 = rol(a[6] ^ de, 44);
    b2 = rol(a[12] ^ di, 43);
    b3 = rol(a[18] ^ dO, 21);
    b4 = rol(a[24] ^ du, 14);
    ca = e[0] = b0 ^ (b1 | b2) ^ rc;
    ce = e[1] = b1 ^ (~b2 | b3);
    ci = e[2] = b2 ^ (b3 & b4);
    co = e[3] = b3 ^ (b4 | b0);
    cu = e[4] = b4 ^ (b0 & b1);

    b0 = rol(a[3] ^ dO, 28);
    b1 = rol(a[9] ^ du, 20);
    b2 = rol(a[10] ^ da, 3);
    b3 = rol(a[16] ^ de, 45);
    b4 = rol(a[22] ^ di, 61);
    ca ^= e[5] = b0 ^ (b1 | b2);
    ce ^= e[6] = b1 ^ (b2 & b3);
    ci ^= e[7] = b2 ^ (b3 | ~b4);
    co ^= e[8] = b3 ^ (b4 | b0);
    cu ^= e[9] = b4 ^ (b0 & b1);

    b0 = rol(a[1] ^ de, 1);
    b1 = rol(a[7] ^ di, 6);
    b2 = rol(a[13] ^ dO, 25);
    b3 = rol(a[19] ^ du, 8);
    b4 = rol(a[20] ^ da, 18);
    ca ^= e[10] = b0 ^ (b1 | b2);
    ce ^= e[11] = b1 ^ (b2 & b3);
    ci ^= e[12] = b2 ^ (~b3 & b4);
    co ^= e[13] = ~b3 ^ (b4 | b0);
    cu ^= e[14] = b4 ^ (b0 & b1);

    b0 = rol(a[4] ^ du, 27);
    b1 = rol(a[5] ^ da, 36);
    b2 = rol(a[11] ^ de, 10);
    b3 = rol(a[17] ^ di, 15);
    b4 = rol(a[23] ^ dO, 56);
    ca ^= e[15] = b0 ^ (b1 & b2);
    ce ^= e[16] = b1 ^ (b2 | b3);
    ci ^= e[17] = b2 ^ (~b3 | b4);
    co ^= e[18] = ~b3 ^ (b4 & b0);
    cu ^= e[19] = b4 ^ (b0 | b1);

    b0 = rol(a[2] ^ di, 62);
    b1 = rol(a[8] ^ dO, 55);
    b2 = rol(a[14] ^ du, 39);
    b3 = rol(a[15] ^ da, 41);
    b4 = rol(a[21] ^ de, 2);
    ca ^= e[20] = b0 ^ (~b1 & b2);
    ce ^= e[21] = ~b1 ^ (b2 | b3);
    ci ^= e[22] = b2 ^ (b3 & b4);
    co ^= e[23] = b3 ^ (b4 | b0);
    cu ^= e[24] = b4 ^ (b0 & b1);
}

// Absorbs a whole block, a lane or a byte at a time, whichever the position
// and the remaining input allow. Digests equal those of byte-wise absorbing.
void absorb(KeccakContext& context, const std::uint8_t* data, std::size_t length) {
    auto& lanes = context.lanes;
    const auto rate = static_cast<std::size_t>(context.rate);
    auto position = static_cast<std::size_t>(context.position);
    while (length > 0) {
        std::size_t step = 1;
        if (position == 0 && length >= rate && rate % 8 == 0) {
            for (std::size_t i = 0; i < rate / 8; ++i) {
                lanes[i] ^= loadLittleEndian64(data + 8 * i);
            }
            step = rate;
        } else if (position % 8 == 0 && length >= 8 && position + 8 <= rate) {
            lanes[position / 8] ^= loadLittleEndian64(data);
            step = 8;
        } else {
            xorByte(lanes, position, *data);
        }
        position += step;
        data += step;
        length -= step;
        if (position == rate) {
            keccakF1600(lanes);
            position = 0;
        }
    }
    context.position = static_cast<std::int32_t>(position);
}

void pad(KeccakContext& context, std::uint8_t domainByte) {
    xorByte(context.lanes, static_cast<std::size_t>(context.position), domainByte);
    xorByte(context.lanes, static_cast<std::size_t>(context.rate - 1), 0x80);
    keccakF1600(context.lanes);
}

bool validDigestLength(int digestLength) {
    return digestLength >= kKeccakMinDigestLength && digestLength <= kKeccakMaxDigestLength;
}

void setUp(KeccakContext& context, int digestLength) {
    context.lanes.fill(0);
    context.digestLength = digestLength;
    context.rate = 200 - 2 * digestLength;
    context.position = 0;
}

} // namespace

// GCC schedules this body markedly better (about 10%) with its loop-unrolling
// pass set on (register renaming among others), measured by bench_crypto.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("unroll-loops")))
#endif
void keccakF1600(std::array<std::uint64_t, 25>& lanes) {
    std::uint64_t a[25];
    std::uint64_t e[25];
    std::memcpy(a, lanes.data(), sizeof a);
    for (int i : kComplementedLanes) {
        a[i] = ~a[i];
    }
    std::uint64_t ca = a[0] ^ a[5] ^ a[10] ^ a[15] ^ a[20];
    std::uint64_t ce = a[1] ^ a[6] ^ a[11] ^ a[16] ^ a[21];
    std::uint64_t ci = a[2] ^ a[7] ^ a[12] ^ a[17] ^ a[22];
    std::uint64_t co = a[3] ^ a[8] ^ a[13] ^ a[18] ^ a[23];
    std::uint64_t cu = a[4] ^ a[9] ^ a[14] ^ a[19] ^ a[24];
    for (int r = 0; r < 24; r += 2) {
        round(a, e, kRoundConstants[r], ca, ce, ci, co, cu);
        round(e, a, kRoundConstants[r + 1], ca, ce, ci, co, cu);
    }
    for (int i : kComplementedLanes) {
        a[i] = ~a[i];
    }
    std::memcpy(lanes.data(), a, sizeof a);
}

int keccakInit(KeccakContext& context, int digestLength) {
    if (!validDigestLength(digestLength)) {
        return 0;
    }
    setUp(context, digestLength);
    return 1;
}

int keccakUpdate(KeccakContext& context, const std::uint8_t* data, std::size_t length) {
    if (length > 0) {
        absorb(context, data, length);
    }
    return 1;
}

int keccakFinal(std::uint8_t* digest, KeccakContext& context) {
    pad(context, 0x01);
    const auto length = static_cast<std::size_t>(context.digestLength);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(digest, context.lanes.data(), length); // lanes are little-endian already
    } else {
        for (std::size_t i = 0; i < length; ++i) {
            digest[i] = stateByte(context.lanes, i);
        }
    }
    return 1;
}

int keccakFinalXof(std::uint8_t* output, std::size_t length, KeccakContext& context) {
    pad(context, 0x1F);
    const auto rate = static_cast<std::size_t>(context.rate);
    std::size_t read = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (read == rate) {
            keccakF1600(context.lanes);
            read = 0;
        }
        output[i] = stateByte(context.lanes, read++);
    }
    return 1;
}

std::uint8_t* keccakHash(const std::uint8_t* input, std::size_t length, std::uint8_t* digest,
                         int digestLength) {
    if (!validDigestLength(digestLength)) {
        return nullptr;
    }
    KeccakContext context;
    setUp(context, digestLength);
    keccakUpdate(context, input, length);
    keccakFinal(digest, context);
    return digest;
}

Bytes keccak256(ByteView data) {
    Bytes digest(32, 0);
    keccakHash(data.data(), data.size(), digest.data(), 32);
    return digest;
}

} // namespace qm
