#pragma once
// Reads raw Bitcoin transactions: the outputs, each with its address, leniently (never
// throws; malformed or truncated data gives an empty list or the outputs read so far), and
// the transaction's id and the coins it spends, strictly.

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

    // The txid of the transaction in `hex` (legacy or segwit serialisation): the double
    // SHA-256 of its form without marker, flag and witnesses, byte-reversed, in lowercase hex.
    // Absent unless `hex` is hexadecimal text of exactly one whole transaction.
    static std::optional<std::string> transactionID(std::string_view hex);

    // A transaction's id and the coins its inputs spend, each as "txid:index" (the txid in
    // lowercase display hex, the index in decimal, as UTXO::id() writes it), in input order.
    struct Spending {
        std::string id;
        std::vector<std::string> outpoints;
    };
    // Read as strictly as transactionID: absent unless `hex` is one whole transaction.
    static std::optional<Spending> spending(std::string_view hex);

    // The parser's own lenient hex: pairs from the start, a pair that is not hex is
    // skipped, a final single digit is a one-digit byte.
    static Bytes lenientHexToBytes(std::string_view hex);
    // P2PKH, P2SH (Base58Check), P2WPKH, P2WSH (Bech32), P2TR (Bech32m) on mainnet.
    static std::optional<std::string> address(ByteView script);
    static std::string base58Check(std::uint8_t version, ByteView hash);
};

} // namespace qm
