#include "services/bitcoin/ElectrumScriptHash.h"

#include "core/crypto/Ripemd160.h"
#include "core/encoding/Hex.h"
#include "platform/Crypto.h"
#include "platform/Error.h"

#include <algorithm>

namespace qm {

Bytes hash160(ByteView data) {
    return ripemd160(crypto::sha256(data));
}

std::string electrumScriptHash(ByteView compressedPublicKey) {
    if (compressedPublicKey.size() != 33) {
        fatalError("electrumScriptHash: the key is not 33 bytes");
    }
    Bytes script{0x00, 0x14};
    const Bytes h = hash160(compressedPublicKey);
    script.insert(script.end(), h.begin(), h.end());
    return electrumScriptHashOfScript(script);
}

std::string electrumScriptHashOfScript(ByteView script) {
    Bytes digest = crypto::sha256(script);
    std::reverse(digest.begin(), digest.end());
    return bytesToPlainHex(digest);
}

} // namespace qm
