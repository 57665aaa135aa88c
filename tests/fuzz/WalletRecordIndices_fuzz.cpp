// decodeWalletRecord over arbitrary stored bytes, whole and as the value of the address-index
// key inside an otherwise valid record: never crashes, and indices it accepts satisfy their
// invariants and survive a write and a read unchanged. formatTokenAmount over the same bytes
// as an amount text: never crashes, and answers "0" or a plain decimal number.
#include "platform/Error.h"
#include "state/AmountFormatting.h"
#include "state/WalletRecord.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void checkRecord(qm::ByteView bytes) {
    const auto record = qm::decodeWalletRecord(bytes);
    if (!record || !record->btcAddressIndices) {
        return;
    }
    const qm::BTCAddressIndices& indices = *record->btcAddressIndices;
    if (!indices.isValid() ||
        static_cast<std::int64_t>(indices.indices.size()) != record->wallet.btcAddressCount) {
        std::abort();
    }
    try {
        const auto again = qm::decodeWalletRecord(qm::encodeWalletRecord(record->wallet, indices));
        if (!again || again->btcAddressIndices != indices) {
            std::abort();
        }
    } catch (const qm::Error&) {
        // A date the record's encoding refuses; the record itself decoded.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkRecord(qm::ByteView(data, size));

    const std::string count = std::to_string(size > 0 ? data[0] % 8 : 0);
    const std::string spliced =
        R"({"id":"5C0B2F0E-8A4B-4E57-9E0C-0F8E7F4B2A11","name":"Quillmark","createdAt":1,)"
        R"("bitcoinAccountCount":1,"ethereumAccountCount":1,"btcAddressCount":)" +
        count + R"(,"btcAddressIndices":)" +
        std::string(input.substr(std::min<std::size_t>(size, 1))) + "}";
    checkRecord(qm::utf8View(spliced));

    const std::string_view text = input.substr(0, 64);
    const std::int64_t decimals = size > 0 ? data[0] % 40 : 0;
    const std::string formatted = qm::formatTokenAmount(text, decimals);
    if (formatted != "0" && (formatted.find('.') == std::string::npos ||
                             formatted.find_first_not_of("-0123456789.") != std::string::npos)) {
        std::abort();
    }
    return 0;
}
