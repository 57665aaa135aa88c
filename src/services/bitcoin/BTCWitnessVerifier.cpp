#include "services/bitcoin/BTCWitnessVerifier.h"

#include "core/crypto/Secp256k1.h"
#include "core/encoding/Hex.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/ElectrumScriptHash.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace qm {
namespace {

constexpr std::size_t kP2WPKHSize = 22;
constexpr std::size_t kCompressedKeySize = 33;

bool isP2WPKH(ByteView script) {
    return script.size() == kP2WPKHSize && script[0] == 0x00 && script[1] == 0x14;
}

// Only the sighash types BIP-143 defines: relaying nodes refuse any other byte, and its digest
// would rest on how one node reads an undefined type.
bool isDefinedSighashType(std::uint8_t type) {
    const auto base = static_cast<std::uint8_t>(type & ~BTCSigner::sighashAnyoneCanPay);
    return base == BTCSigner::sighashAll || base == BTCSigner::sighashNone ||
           base == BTCSigner::sighashSingle;
}

// The index of the one input spending `coin`; none when no input does, or more than one (a
// transaction spending a coin twice never lands).
std::optional<std::size_t> inputSpending(const BTCUnsignedTransaction& transaction,
                                         const UTXO& coin) {
    std::optional<Bytes> hash = hexToBytes(coin.txHash);
    if (!hash || hash->size() != 32 || coin.outputIndex < 0 ||
        coin.outputIndex > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    std::reverse(hash->begin(), hash->end());
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < transaction.inputs.size(); ++i) {
        const BTCTxInput& input = transaction.inputs[i];
        if (input.outputIndex == coin.outputIndex && input.txHash == *hash) {
            if (found) {
                return std::nullopt;
            }
            found = i;
        }
    }
    return found;
}

} // namespace

bool BTCWitnessVerifier::spends(const BTCTransactionParser::Transaction& transaction,
                                const UTXO& coin) {
    const std::optional<std::size_t> index = inputSpending(transaction.body, coin);
    if (!index || !isP2WPKH(coin.scriptPubKey) || !transaction.signatureScripts[*index].empty()) {
        return false;
    }
    const std::vector<Bytes>& witness = transaction.body.inputs[*index].witness;
    if (witness.size() != 2 || witness[0].size() < 2 || witness[1].size() != kCompressedKeySize) {
        return false;
    }
    const Bytes& signature = witness[0];
    const Bytes& publicKey = witness[1];
    const std::uint8_t type = signature.back();
    if (!isDefinedSighashType(type) ||
        hash160(publicKey) != Bytes(coin.scriptPubKey.begin() + 2, coin.scriptPubKey.end())) {
        return false;
    }
    const Bytes digest =
        BTCSigner::signatureHash(transaction.body, *index, publicKey, coin.value, type);
    return Secp256k1::shared().verifyDER(digest, ByteView(signature).first(signature.size() - 1),
                                         publicKey);
}

} // namespace qm
