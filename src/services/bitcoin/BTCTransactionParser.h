#pragma once
// Reads the outputs of a raw Bitcoin transaction and names each output's address. Lenient:
// never throws; malformed or truncated data gives an empty list or the outputs read so far.

#include "platform/Bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct BTCTransactionParser {
    struct ParsedOutput {
        std::uint64_t value = 0;
        std::optional<std::string> address; // absent for a script of no known form

        bool operator==(const ParsedOutput&) const = default;
    };

    static std::vector<ParsedOutput> parseOutputs(std::string_view hex);

    // The parser's own lenient hex: pairs from the start, a pair that is not hex is
    // skipped, a final single digit is a one-digit byte.
    static Bytes lenientHexToBytes(std::string_view hex);
    // P2PKH, P2SH (Base58Check), P2WPKH, P2WSH (Bech32), P2TR (Bech32m) on mainnet.
    static std::optional<std::string> address(ByteView script);
    static std::string base58Check(std::uint8_t version, ByteView hash);
};

} // namespace qm
