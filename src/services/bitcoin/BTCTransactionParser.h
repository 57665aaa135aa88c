#pragma once
// Reads raw Bitcoin transactions: the outputs, each with its address, leniently (never
// throws; malformed or truncated data gives an empty list or the outputs read so far), and
// whole transactions (id, inputs with their witnesses, outputs), strictly.

#include "platform/Bytes.h"
#include "services/bitcoin/BTCTransaction.h"

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

    // One whole transaction, as a node reads it.
    struct Transaction {
        // The double SHA-256 of its form without marker, flag and witnesses, byte-reversed,
        // in lowercase hex: computed from the bytes read, never taken from a server.
        std::string id;
        BTCUnsignedTransaction body; // version, inputs with their witnesses, outputs, lock time
        std::vector<Bytes> signatureScripts; // each input's, in input order

        // The coins its inputs spend, each as "txid:index" (the txid in lowercase display
        // hex, the index in decimal, as UTXO::id() writes it), in input order.
        std::vector<std::string> outpoints() const;
    };
    // Absent unless `hex` is hexadecimal text of exactly one whole transaction in the legacy
    // or segwit serialisation, read as a node reads it: every CompactSize in its shortest form,
    // at least one input and one output, and with the segwit marker, flag 1 and at least one
    // witness.
    static std::optional<Transaction> transaction(std::string_view hex);

    // The id of transaction(hex).
    static std::optional<std::string> transactionID(std::string_view hex);

    // The id of transaction(hex) and the coins it spends.
    struct Spending {
        std::string id;
        std::vector<std::string> outpoints;
    };
    static std::optional<Spending> spending(std::string_view hex);

    // The parser's own lenient hex: pairs from the start, a pair that is not hex is
    // skipped, a final single digit is a one-digit byte.
    static Bytes lenientHexToBytes(std::string_view hex);
    // P2PKH, P2SH (Base58Check), P2WPKH, P2WSH (Bech32), P2TR (Bech32m) on mainnet.
    static std::optional<std::string> address(ByteView script);
    static std::string base58Check(std::uint8_t version, ByteView hash);
};

} // namespace qm
