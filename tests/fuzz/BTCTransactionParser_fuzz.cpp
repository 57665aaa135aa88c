// Arbitrary bytes into the Bitcoin output parser, the whole-transaction reader and the witness
// check: as hex text directly (the lenient hex decoder) and as raw transaction bytes (the
// structure, lengths near 2^64 included).
#include "core/encoding/Hex.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "services/bitcoin/BTCWitnessVerifier.h"
#include "services/bitcoin/ElectrumScriptHash.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)qm::BTCTransactionParser::parseOutputs(text);

    const std::string raw = qm::bytesToPlainHex(qm::ByteView(data, size));
    // A txid, when there is one, is 64 lowercase hex digits.
    for (const std::string_view hex : {text, std::string_view(raw)}) {
        if (const auto id = qm::BTCTransactionParser::transactionID(hex)) {
            if (id->size() != 64 ||
                id->find_first_not_of("0123456789abcdef") != std::string::npos) {
                std::abort();
            }
        }
    }
    // Each input checked against the coin its witness claims (the script of its second item's
    // hash), so that the digest of every sighash byte and input index is reached.
    if (const auto tx = qm::BTCTransactionParser::transaction(raw)) {
        const std::vector<std::string> outpoints = tx->outpoints();
        for (std::size_t i = 0; i < outpoints.size(); ++i) {
            const auto& witness = tx->body.inputs[i].witness;
            qm::Bytes script{0x00, 0x14};
            if (witness.size() > 1) {
                const qm::Bytes hash = qm::hash160(witness[1]);
                script.insert(script.end(), hash.begin(), hash.end());
            }
            const std::size_t colon = outpoints[i].find(':');
            const qm::UTXO coin{outpoints[i].substr(0, colon),
                                std::stoll(outpoints[i].substr(colon + 1)), size, 0, script};
            (void)qm::BTCWitnessVerifier::spends(*tx, coin);
        }
    }
    const auto outputs = qm::BTCTransactionParser::parseOutputs(raw);
    // Every output needs at least its 8-byte value, so the count is bounded by
    // the data, whatever count the data claims.
    if (outputs.size() > size / 8 + 1) {
        std::abort();
    }
    for (const auto& output : outputs) {
        if (output.address && output.address->empty()) {
            std::abort();
        }
    }
    return 0;
}
