#pragma once
// Bech32 (BIP-173) and Bech32m (BIP-350) segregated-witness addresses, and the
// building blocks both directions share.

#include "platform/Bytes.h"
#include "platform/Error.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// A 5-bit value v is written as the character at position v.
inline constexpr std::string_view bech32Charset = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";
// Checksum constants: Bech32 for witness version 0, Bech32m for every other version.
inline constexpr std::uint32_t bech32Constant = 1;
inline constexpr std::uint32_t bech32mConstant = 0x2BC830A3;

class Bech32Error : public Error {
public:
    enum class Code { invalidWitnessVersion };
    explicit Bech32Error(Code code);
    Code code() const { return code_; }

private:
    Code code_;
};

struct SegwitAddress {
    std::string hrp; // lower case
    int version = 0; // the first data value, 0 to 31
    Bytes program;

    bool operator==(const SegwitAddress&) const = default;
};

// The address text: hrp as passed, "1", then version, program and checksum characters.
// The program length is not checked. Throws Bech32Error for a version outside 0...31,
// which a single 5-bit data value cannot hold.
std::string segwitAddressEncode(std::string_view hrp, int version, ByteView program);

// The hrp (lower-cased), version and program of an address in either case; absent when
// malformed, when the checksum does not match the version's constant, or when the
// program is not 2 to 40 bytes (exactly 20 or 32 for version 0). The hrp and the version
// are not bounded: callers compare them with what they expect.
std::optional<SegwitAddress> segwitAddressDecode(std::string_view address);

// Regroups values of `fromBits` bits into values of `toBits` bits, most significant bit
// first; with `pad`, leftover bits are emitted zero-filled. Input values are not checked.
Bytes convertBits(ByteView values, int fromBits, int toBits, bool pad);
// As convertBits, but absent when an input value does not fit `fromBits`, or (without
// `pad`) when `fromBits` or more bits, or any non-zero bits, are left over.
std::optional<Bytes> convertBitsChecked(ByteView values, int fromBits, int toBits, bool pad);
// The hrp's UTF-8 bytes b as b >> 5 each, a 0, then b & 31 each.
Bytes bech32HrpExpand(std::string_view hrp);
// The BIP-173 checksum polynomial over 5-bit values.
std::uint32_t bech32Polymod(ByteView values);
// The six checksum values for the hrp and data under the given constant.
Bytes bech32CreateChecksum(std::string_view hrp, ByteView data, std::uint32_t constant);

} // namespace qm
