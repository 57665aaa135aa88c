// Envelopes from arbitrary bytes, raw and as relay text: opening either type ends in plaintext,
// WCError or CryptoError, never anything else; sealing any plaintext opens back to it.

#include "platform/Crypto.h"
#include "services/walletconnect/WCEnvelope.h"
#include "services/walletconnect/WCError.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

const qm::Bytes kKey(32, 0x5A);

void open(qm::ByteView envelope) {
    try {
        (void)qm::openType0Envelope(envelope, kKey);
    } catch (const qm::WCError&) {
    } catch (const qm::CryptoError&) {
    }
    try {
        const qm::WCType1Contents contents = qm::openType1Envelope(envelope, kKey);
        if (contents.senderPublicKey.size() != 32) {
            std::abort();
        }
    } catch (const qm::WCError&) {
    } catch (const qm::CryptoError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qm::ByteView input(data, size);
    open(input);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto decoded = qm::envelopeFromText(text)) {
        // Padding and length are checked; unused low bits of the last group are not.
        if (decoded->empty() || qm::envelopeText(*decoded).size() != text.size() ||
            qm::envelopeFromText(qm::envelopeText(*decoded)) != decoded) {
            std::abort();
        }
        open(*decoded);
    }
    if (size > 0 && qm::openType0Envelope(qm::sealType0Envelope(input, kKey), kKey) !=
                        qm::Bytes(input.begin(), input.end())) {
        std::abort();
    }
    return 0;
}
