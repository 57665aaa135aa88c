#include "core/crypto/Bech32.h"

#include "core/crypto/AsciiDigitTable.h"

#include <array>
#include <cstddef>

namespace qm {
namespace {

constexpr std::size_t kChecksumSize = 6;

// 5-bit value per ASCII code: only the lower-case charset maps, everything else is -1.
constexpr std::array<std::int8_t, 128> bech32DecodeTable = asciiDigitTable(bech32Charset);

std::uint32_t checksumConstant(int version) {
    return version == 0 ? bech32Constant : bech32mConstant;
}

// Shared regrouping; `checked` adds the input and leftover checks.
std::optional<Bytes> regroup(ByteView values, int fromBits, int toBits, bool pad, bool checked) {
    const std::uint32_t maxValue = (1u << toBits) - 1;
    const std::uint32_t maxAccumulator = (1u << (fromBits + toBits - 1)) - 1;
    std::uint32_t accumulator = 0;
    int bits = 0;
    Bytes out;
    out.reserve(
        values.size() * static_cast<std::size_t>(fromBits) / static_cast<std::size_t>(toBits) + 1);
    for (const std::uint8_t value : values) {
        if (checked && (value >> fromBits) != 0) {
            return std::nullopt;
        }
        accumulator = ((accumulator << fromBits) | value) & maxAccumulator;
        bits += fromBits;
        while (bits >= toBits) {
            bits -= toBits;
            out.push_back(static_cast<std::uint8_t>((accumulator >> bits) & maxValue));
        }
    }
    if (pad) {
        if (bits > 0) {
            out.push_back(static_cast<std::uint8_t>((accumulator << (toBits - bits)) & maxValue));
        }
    } else if (checked &&
               (bits >= fromBits || ((accumulator << (toBits - bits)) & maxValue) != 0)) {
        return std::nullopt;
    }
    return out;
}

} // namespace

Bech32Error::Bech32Error(Code code)
    : Error(code == Code::invalidWitnessVersion ? "Bech32: invalid witness version"
                                                : "Bech32: error"),
      code_(code) {}

Bytes convertBits(ByteView values, int fromBits, int toBits, bool pad) {
    return *regroup(values, fromBits, toBits, pad, false);
}

std::optional<Bytes> convertBitsChecked(ByteView values, int fromBits, int toBits, bool pad) {
    return regroup(values, fromBits, toBits, pad, true);
}

Bytes bech32HrpExpand(std::string_view hrp) {
    Bytes out;
    out.reserve(hrp.size() * 2 + 1);
    for (const char c : hrp) {
        out.push_back(static_cast<std::uint8_t>(static_cast<unsigned char>(c) >> 5));
    }
    out.push_back(0);
    for (const char c : hrp) {
        out.push_back(static_cast<std::uint8_t>(static_cast<unsigned char>(c) & 31));
    }
    return out;
}

std::uint32_t bech32Polymod(ByteView values) {
    static constexpr std::array<std::uint32_t, 5> generator = {0x3B6A57B2, 0x26508E6D, 0x1EA119FA,
                                                               0x3D4233DD, 0x2A1462B3};
    std::uint32_t chk = 1;
    for (const std::uint8_t v : values) {
        const std::uint32_t top = chk >> 25;
        chk = ((chk & 0x1FFFFFF) << 5) ^ v;
        for (std::size_t i = 0; i < generator.size(); ++i) {
            if ((top >> i) & 1) {
                chk ^= generator[i];
            }
        }
    }
    return chk;
}

Bytes bech32CreateChecksum(std::string_view hrp, ByteView data, std::uint32_t constant) {
    Bytes values = bech32HrpExpand(hrp);
    values.insert(values.end(), data.begin(), data.end());
    values.insert(values.end(), kChecksumSize, 0);
    const std::uint32_t m = bech32Polymod(values) ^ constant;
    Bytes checksum(kChecksumSize);
    for (std::size_t i = 0; i < kChecksumSize; ++i) {
        checksum[i] = static_cast<std::uint8_t>((m >> (5 * (kChecksumSize - 1 - i))) & 31);
    }
    return checksum;
}

std::string segwitAddressEncode(std::string_view hrp, int version, ByteView program) {
    // The version is one 5-bit data value; anything larger would index past the charset.
    if (version < 0 || version > 31) {
        throw Bech32Error(Bech32Error::Code::invalidWitnessVersion);
    }
    Bytes data{static_cast<std::uint8_t>(version)};
    const Bytes groups = convertBits(program, 8, 5, true);
    data.insert(data.end(), groups.begin(), groups.end());
    const Bytes checksum = bech32CreateChecksum(hrp, data, checksumConstant(version));

    std::string address(hrp);
    address.reserve(hrp.size() + 1 + data.size() + checksum.size());
    address.push_back('1');
    for (const std::uint8_t v : data) {
        address.push_back(bech32Charset[v]);
    }
    for (const std::uint8_t v : checksum) {
        address.push_back(bech32Charset[v]);
    }
    return address;
}

std::optional<SegwitAddress> segwitAddressDecode(std::string_view address) {
    // Upper-case and mixed-case texts are both accepted; only ASCII letters change.
    std::string text(address);
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }

    const std::size_t separator = text.rfind('1');
    if (separator == std::string::npos || separator == 0) {
        return std::nullopt;
    }
    const std::string_view hrp = std::string_view(text).substr(0, separator);
    const std::string_view dataPart = std::string_view(text).substr(separator + 1);
    if (dataPart.size() < kChecksumSize) {
        return std::nullopt;
    }

    Bytes data;
    data.reserve(dataPart.size());
    for (const char c : dataPart) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 0x80 || bech32DecodeTable[code] < 0) {
            return std::nullopt;
        }
        data.push_back(static_cast<std::uint8_t>(bech32DecodeTable[code]));
    }
    if (data.size() < kChecksumSize + 1) {
        return std::nullopt;
    }

    const int version = data[0];
    Bytes values = bech32HrpExpand(hrp);
    values.insert(values.end(), data.begin(), data.end());
    if (bech32Polymod(values) != checksumConstant(version)) {
        return std::nullopt;
    }

    const ByteView groups = ByteView(data).subspan(1, data.size() - 1 - kChecksumSize);
    std::optional<Bytes> program = convertBitsChecked(groups, 5, 8, false);
    if (!program || program->size() < 2 || program->size() > 40) {
        return std::nullopt;
    }
    if (version == 0 && program->size() != 20 && program->size() != 32) {
        return std::nullopt;
    }
    return SegwitAddress{std::string(hrp), version, std::move(*program)};
}

} // namespace qm
