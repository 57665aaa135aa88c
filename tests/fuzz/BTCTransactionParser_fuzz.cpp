// Arbitrary bytes into the Bitcoin output parser and txid reader: as hex text directly (the
// lenient hex decoder) and as raw transaction bytes (the structure, lengths near 2^64
// included).
#include "core/encoding/Hex.h"
#include "services/bitcoin/BTCTransactionParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

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
