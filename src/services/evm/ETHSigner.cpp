#include "services/evm/ETHSigner.h"

#include "core/crypto/Keccak.h"
#include "core/crypto/Secp256k1.h"
#include "services/evm/RLP.h"

#include <algorithm>

namespace qm {
namespace {

constexpr std::uint8_t kTransactionType = 0x02;

Bytes typed(ByteView list) {
    Bytes out;
    out.reserve(1 + list.size());
    out.push_back(kTransactionType);
    out.insert(out.end(), list.begin(), list.end());
    return out;
}

// Signature scalars are integers: RLP writes them without leading zero bytes.
Bytes encodeScalar(ByteView bytes) {
    const auto first = std::find_if(bytes.begin(), bytes.end(), [](auto b) { return b != 0; });
    return RLP::encodeBytes(ByteView(first, bytes.end()));
}

} // namespace

std::vector<Bytes> ETHTransaction::encodedFields() const {
    return {
        RLP::encodeUInt64(chainID),
        RLP::encodeUInt64(nonce),
        RLP::encodeUInt256(maxPriorityFeePerGas),
        RLP::encodeUInt256(maxFeePerGas),
        RLP::encodeUInt64(gasLimit),
        RLP::encodeBytes(to),
        RLP::encodeUInt256(value),
        RLP::encodeBytes(data),
        encodeAccessList(),
    };
}

Bytes ETHTransaction::encodeUnsigned() const {
    return RLP::encodeList(encodedFields());
}

Bytes ETHTransaction::signingHash() const {
    return keccak256(typed(encodeUnsigned()));
}

Bytes ETHTransaction::encodeSigned(std::uint8_t yParity, ByteView r, ByteView s) const {
    std::vector<Bytes> items = encodedFields();
    items.push_back(RLP::encodeUInt64(yParity));
    items.push_back(encodeScalar(r));
    items.push_back(encodeScalar(s));
    return typed(RLP::encodeList(items));
}

Bytes ETHTransaction::encodeAccessList() const {
    std::vector<Bytes> entries;
    entries.reserve(accessList.size());
    for (const auto& entry : accessList) {
        std::vector<Bytes> keys;
        keys.reserve(entry.storageKeys.size());
        for (const auto& key : entry.storageKeys) {
            keys.push_back(RLP::encodeBytes(key));
        }
        entries.push_back(
            RLP::encodeList({RLP::encodeBytes(entry.address), RLP::encodeList(keys)}));
    }
    return RLP::encodeList(entries);
}

ETHSignerError ETHSignerError::signingFailed(const std::string& reason) {
    return {Code::signingFailed, "ETHSigner: signing failed \u2014 " + reason};
}

ETHSignerError ETHSignerError::invalidPrivateKey() {
    return {Code::invalidPrivateKey, "ETHSigner: invalid private key"};
}

Bytes ETHSigner::sign(const ETHTransaction& transaction, ByteView privateKey) {
    if (privateKey.size() != 32) {
        throw ETHSignerError::invalidPrivateKey();
    }
    const Bytes hash = transaction.signingHash();
    std::pair<Bytes, int> signature;
    try {
        signature = Secp256k1::shared().signRecoverable(hash, privateKey);
    } catch (const Secp256k1Error& error) {
        throw ETHSignerError::signingFailed(error.what());
    }
    const ByteView compact(signature.first);
    return transaction.encodeSigned(static_cast<std::uint8_t>(signature.second),
                                    compact.subspan(0, 32), compact.subspan(32, 32));
}

} // namespace qm
