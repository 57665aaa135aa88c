#include "state/flows/EVMNonceEvidence.h"

#include "services/evm/JSONRPCClient.h"

#include <algorithm>

namespace qm {

std::optional<Bytes> provenHash(const ETHNodeTransaction& transaction, std::uint64_t chainID,
                                ByteView sender, std::uint64_t nonce) {
    const std::optional<ETHSignedTransaction>& signedForm = transaction.signedForm;
    // The same key signs on every EVM chain: a transaction of another chain holds nothing here.
    if (!signedForm || signedForm->fields.chainID != chainID || signedForm->fields.nonce != nonce ||
        transaction.nonce != nonce || !std::ranges::equal(transaction.from, sender)) {
        return std::nullopt;
    }
    const std::optional<Bytes> signer = signedForm->signer();
    if (!signer || !std::ranges::equal(*signer, sender)) {
        return std::nullopt;
    }
    Bytes hash = signedForm->hash();
    if (hash != transaction.hash) {
        return std::nullopt;
    }
    return hash;
}

} // namespace qm
