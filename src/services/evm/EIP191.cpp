#include "services/evm/EIP191.h"

#include "core/crypto/Keccak.h"
#include "core/crypto/Secp256k1.h"

#include <string>

namespace qm {

Bytes personalMessageDigest(ByteView message) {
    const std::string prefix = "\x19"
                               "Ethereum Signed Message:\n" +
                               std::to_string(message.size());
    return keccak256(concat(utf8View(prefix), message));
}

Bytes personalSign(ByteView message, ByteView privateKey) {
    return signDigestWithRecoveryByte(personalMessageDigest(message), privateKey);
}

Bytes signDigestWithRecoveryByte(ByteView digest, ByteView privateKey) {
    auto [signature, recoveryID] = Secp256k1::shared().signRecoverable(digest, privateKey);
    signature.push_back(static_cast<std::uint8_t>(recoveryID + 27));
    return signature;
}

} // namespace qm
