// Pairing URIs from arbitrary text: parsing never crashes; an accepted URI has a 64-character
// topic, a 32-byte key and no negative expiry, and writing it out again parses to the same
// pairing.

#include "core/encoding/Hex.h"
#include "services/walletconnect/WCPairingURI.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const auto& [name, value] : qm::parseQueryParameters(text)) {
        if (name.empty() || value.empty() || name.find('&') != std::string::npos ||
            value.find('&') != std::string::npos) {
            std::abort();
        }
    }
    const auto pairing = qm::parsePairingURI(text);
    if (!pairing) {
        return 0;
    }
    if (pairing->symKey.size() != 32 || pairing->relayProtocol.empty() ||
        pairing->topic.find("@2?") != std::string::npos ||
        (pairing->expiryTimestamp && *pairing->expiryTimestamp < 0)) {
        std::abort();
    }
    // Written with the key last, so nothing at the end is trimmed away.
    if (pairing->relayProtocol.find('&') != std::string::npos) {
        return 0;
    }
    const std::string expiry =
        pairing->expiryTimestamp
            ? "expiryTimestamp=" + std::to_string(*pairing->expiryTimestamp) + "&"
            : std::string();
    const std::string again = "wc:" + pairing->topic + "@2?" + expiry +
                              "relay-protocol=" + pairing->relayProtocol +
                              "&symKey=" + qm::bytesToPlainHex(pairing->symKey);
    const auto reparsed = qm::parsePairingURI(again);
    if (!reparsed || reparsed->topic != pairing->topic || reparsed->symKey != pairing->symKey ||
        reparsed->relayProtocol != pairing->relayProtocol ||
        reparsed->expiryTimestamp != pairing->expiryTimestamp) {
        std::abort();
    }
    return 0;
}
