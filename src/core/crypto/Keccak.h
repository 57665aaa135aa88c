#pragma once
// Keccak-256 as the EVM chains use it: Keccak with the original pad byte 0x01,
// not the standardised SHA3-256 (pad 0x06), which gives different digests.
//
// The procedural core follows the usual init/update/final shape; the rest of
// the wallet only calls keccak256() (or keccakHash() for other digest lengths).

#include "platform/Bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace qm {

// One sponge per hash computation, on the caller's stack; never shared.
// Lane i of the state is bytes 8i..8i+7 of the 200-byte state, read little-endian.
struct KeccakContext {
    std::array<std::uint64_t, 25> lanes;
    std::int32_t position; // next state byte that input is XORed into, below rate
    std::int32_t rate;     // 200 - 2 * digestLength bytes (136 for Keccak-256)
    std::int32_t digestLength;
};

// Digest lengths the sponge accepts: the digest must fit within one rate.
inline constexpr int kKeccakMinDigestLength = 1;
inline constexpr int kKeccakMaxDigestLength = 64;

// Applies Keccak-f[1600] to the state in place.
void keccakF1600(std::array<std::uint64_t, 25>& lanes);

// Zeroes the state and sets the rate for `digestLength`. Returns 1, or 0 (context
// untouched) when digestLength is outside kKeccakMinDigestLength...kKeccakMaxDigestLength.
int keccakInit(KeccakContext& context, int digestLength);

// Absorbs `length` bytes. Returns 1.
int keccakUpdate(KeccakContext& context, const std::uint8_t* data, std::size_t length);

// Pads (0x01 ... 0x80), permutes and writes digestLength bytes to `digest`. Returns 1.
int keccakFinal(std::uint8_t* digest, KeccakContext& context);

// Extendable-output finish: pads with 0x1F and squeezes `length` bytes, permuting
// after each full rate (SHAKE256 for a context made with digest length 32). Returns 1.
int keccakFinalXof(std::uint8_t* output, std::size_t length, KeccakContext& context);

// One-shot: hashes `input` into `digest` (digestLength bytes). Returns `digest`,
// or nullptr when digestLength is outside the accepted range.
std::uint8_t* keccakHash(const std::uint8_t* input, std::size_t length, std::uint8_t* digest,
                         int digestLength);

// Keccak-256 of `data`: 32 bytes.
Bytes keccak256(ByteView data);

} // namespace qm
