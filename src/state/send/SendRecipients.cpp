#include "state/send/SendRecipients.h"

#include "core/crypto/Base58.h"
#include "core/crypto/Bech32.h"
#include "services/evm/EthereumAddress.h"

#include <algorithm>

namespace qm {
namespace {

bool hasLower(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool hasUpper(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

std::string lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return lower;
}

// The script of a decoded main-network address, none for a kind the wallet does not pay.
std::optional<Bytes> scriptOf(const SegwitAddress& decoded) {
    const std::size_t length = decoded.program.size();
    Bytes script;
    if (decoded.version == 0 && (length == 20 || length == 32)) {
        script = {0x00, static_cast<std::uint8_t>(length)};
    } else if (decoded.version == 1 && length == 32) {
        script = {0x51, 0x20};
    } else {
        return std::nullopt;
    }
    script.insert(script.end(), decoded.program.begin(), decoded.program.end());
    return script;
}

std::string bitcoinProblem(std::string_view address) {
    const std::optional<SegwitAddress> decoded = segwitAddressDecode(address);
    if ((decoded || lowered(address).starts_with("bc1")) && hasLower(address) &&
        hasUpper(address)) {
        return "A Bitcoin address is written in one letter case, not both.";
    }
    if (decoded && decoded->hrp != "bc") {
        if (decoded->hrp == "tb" || decoded->hrp == "bcrt") {
            return "This is a test-network address; this wallet pays on Bitcoin's main network "
                   "(bc1...).";
        }
        return "Not a Bitcoin address: a Bitcoin address starts with bc1.";
    }
    if (decoded) {
        return scriptOf(*decoded) ? std::string()
                                  : "This kind of Bitcoin address cannot be paid from this wallet.";
    }
    if (address.starts_with('1') || address.starts_with('3')) {
        return "Only bc1 addresses (SegWit and Taproot) can be paid from this wallet.";
    }
    if (lowered(address).starts_with("bc1")) {
        return "Not a valid Bitcoin address: its checksum does not match (check every "
               "character).";
    }
    return "Not a Bitcoin address: a Bitcoin address starts with bc1.";
}

std::string evmProblem(std::string_view address) {
    const std::optional<Bytes> bytes = ethereumAddressBytes(address);
    if (!bytes) {
        return "An address is 0x followed by 40 hexadecimal digits.";
    }
    const std::string_view digits = address.substr(2);
    if (hasLower(digits) && hasUpper(digits) &&
        eip55Checksum(*bytes).substr(2) != std::string(digits)) {
        return "The address's capital letters do not match its checksum (EIP-55): check it for "
               "a typo.";
    }
    return {};
}

} // namespace

std::optional<Bytes> bitcoinPaymentScript(std::string_view address) {
    if (!bitcoinProblem(address).empty()) {
        return std::nullopt;
    }
    return scriptOf(*segwitAddressDecode(address));
}

std::optional<Bytes> evmRecipientBytes(std::string_view address) {
    if (!evmProblem(address).empty()) {
        return std::nullopt;
    }
    return ethereumAddressBytes(address);
}

std::optional<Bytes> solanaRecipientBytes(std::string_view address) {
    std::optional<Bytes> bytes = base58Decode(address);
    if (!bytes || bytes->size() != 32) {
        return std::nullopt;
    }
    return bytes;
}

std::string recipientProblem(Chain chain, std::string_view address) {
    if (chain == Chain::bitcoin) {
        return bitcoinProblem(address);
    }
    if (chain == Chain::solana) {
        return solanaRecipientBytes(address) ? std::string()
                                             : "Not a Solana address: Base58 text of 32 bytes.";
    }
    return evmProblem(address);
}

} // namespace qm
