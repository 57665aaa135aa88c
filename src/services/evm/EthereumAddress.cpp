#include "services/evm/EthereumAddress.h"

#include "core/crypto/Keccak.h"
#include "core/encoding/Hex.h"
#include "platform/Error.h"

namespace qm {

std::string eip55Checksum(ByteView address) {
    if (address.size() != 20) {
        fatalError("eip55Checksum: address must be 20 bytes");
    }
    std::string digits = bytesToPlainHex(address);
    const Bytes hash = keccak256(utf8View(digits));
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const std::uint8_t nibble = i % 2 == 0 ? hash[i / 2] >> 4 : hash[i / 2] & 0x0F;
        if (digits[i] >= 'a' && digits[i] <= 'f' && nibble >= 8) {
            digits[i] = static_cast<char>(digits[i] - 'a' + 'A');
        }
    }
    return "0x" + digits;
}

std::string ethereumAddress(ByteView publicKey) {
    if (publicKey.size() == 65 && publicKey[0] == 0x04) {
        publicKey = publicKey.subspan(1);
    } else if (publicKey.size() != 64) {
        fatalError("ethereumAddress: public key must be 64 or 65 uncompressed bytes");
    }
    const Bytes hash = keccak256(publicKey);
    return eip55Checksum(ByteView(hash).subspan(12));
}

std::optional<Bytes> ethereumAddressBytes(std::string_view text) {
    if (text.size() != 42 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
        return std::nullopt;
    }
    // hexToBytes drops a "0x" of its own: a second prefix must not pass as digits.
    std::optional<Bytes> bytes = hexToBytes(text.substr(2));
    if (!bytes || bytes->size() != 20) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace qm
