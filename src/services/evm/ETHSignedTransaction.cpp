#include "services/evm/ETHSignedTransaction.h"

#include "core/crypto/Keccak.h"
#include "core/crypto/Secp256k1.h"

namespace qm {

Bytes ETHSignedTransaction::encode() const {
    return fields.encodeSigned(static_cast<std::uint8_t>(yParity), r.bigEndianWord(),
                               s.bigEndianWord());
}

Bytes ETHSignedTransaction::hash() const {
    return keccak256(encode());
}

std::optional<Bytes> ETHSignedTransaction::signer() const {
    if (yParity > 1) {
        return std::nullopt;
    }
    const std::optional<Bytes> publicKey = Secp256k1::shared().recoverPublicKey(
        fields.signingHash(), concat(r.bigEndianWord(), s.bigEndianWord()),
        static_cast<int>(yParity));
    if (!publicKey) {
        return std::nullopt;
    }
    const Bytes digest = keccak256(ByteView(*publicKey).subspan(1));
    return Bytes(digest.begin() + 12, digest.end());
}

} // namespace qm
