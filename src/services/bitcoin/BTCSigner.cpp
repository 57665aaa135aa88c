#include "services/bitcoin/BTCSigner.h"

#include "core/crypto/Secp256k1.h"
#include "platform/Crypto.h"
#include "services/bitcoin/ElectrumScriptHash.h"

namespace qm {

namespace {

void appendLE(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void append(Bytes& out, ByteView bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

Bytes doubleSha256(ByteView data) {
    return crypto::sha256(crypto::sha256(data));
}

} // namespace

BTCSigningError BTCSigningError::signatureFailed(std::size_t inputIndex) {
    return {Code::signatureFailed,
            "ECDSA signature failed for input " + std::to_string(inputIndex) + ".", inputIndex};
}

BTCSigningError BTCSigningError::inputUtxoCountMismatch() {
    return {Code::inputUtxoCountMismatch,
            "Number of UTXOs must match number of transaction inputs.", 0};
}

BTCSigningError BTCSigningError::inputKeyCountMismatch() {
    return {Code::inputKeyCountMismatch,
            "Number of private keys must match number of transaction inputs.", 0};
}

void BTCSigner::appendCompactSize(Bytes& out, std::uint64_t value) {
    if (value <= 0xFC) {
        out.push_back(static_cast<std::uint8_t>(value));
    } else if (value <= 0xFFFF) {
        out.push_back(0xFD);
        appendLE(out, value, 2);
    } else if (value <= 0xFFFFFFFF) {
        out.push_back(0xFE);
        appendLE(out, value, 4);
    } else {
        out.push_back(0xFF);
        appendLE(out, value, 8);
    }
}

Bytes BTCSigner::hashPrevouts(const std::vector<BTCTxInput>& inputs) {
    Bytes data;
    for (const auto& input : inputs) {
        append(data, input.txHash);
        appendLE(data, input.outputIndex, 4);
    }
    return doubleSha256(data);
}

Bytes BTCSigner::hashSequence(const std::vector<BTCTxInput>& inputs) {
    Bytes data;
    for (const auto& input : inputs) {
        appendLE(data, input.sequence, 4);
    }
    return doubleSha256(data);
}

Bytes BTCSigner::hashOutputs(const std::vector<BTCTxOutput>& outputs) {
    Bytes data;
    for (const auto& output : outputs) {
        appendLE(data, output.value, 8);
        appendCompactSize(data, output.scriptPubKey.size());
        append(data, output.scriptPubKey);
    }
    return doubleSha256(data);
}

namespace {

Bytes preimage(const BTCUnsignedTransaction& tx, std::size_t index, ByteView publicKey,
               std::uint64_t amount, ByteView prevouts, ByteView sequences, ByteView outputs,
               std::uint8_t sighashType) {
    const BTCTxInput& input = tx.inputs[index];
    Bytes out;
    out.reserve(182);
    appendLE(out, tx.version, 4);
    append(out, prevouts);
    append(out, sequences);
    append(out, input.txHash);
    appendLE(out, input.outputIndex, 4);
    // scriptCode: the P2PKH form of the key's own hash; the key alone decides it.
    const Bytes keyHash = hash160(publicKey);
    out.insert(out.end(), {0x19, 0x76, 0xA9, 0x14});
    append(out, keyHash);
    out.insert(out.end(), {0x88, 0xAC});
    appendLE(out, amount, 8);
    appendLE(out, input.sequence, 4);
    append(out, outputs);
    appendLE(out, tx.lockTime, 4);
    appendLE(out, sighashType, 4);
    return out;
}

} // namespace

Bytes BTCSigner::signatureHash(const BTCUnsignedTransaction& transaction, std::size_t inputIndex,
                               ByteView publicKey, std::uint64_t amount, std::uint8_t sighashType) {
    // What a type leaves unsigned is 32 zero bytes in its place.
    const Bytes unsignedPart(32, 0);
    const bool anyoneCanPay = (sighashType & sighashAnyoneCanPay) != 0;
    const std::uint8_t base = sighashType & 0x1F;
    const bool allOutputs = base != sighashNone && base != sighashSingle;
    Bytes outputs = unsignedPart;
    if (allOutputs) {
        outputs = hashOutputs(transaction.outputs);
    } else if (base == sighashSingle && inputIndex < transaction.outputs.size()) {
        outputs = hashOutputs({transaction.outputs[inputIndex]});
    }
    return doubleSha256(
        preimage(transaction, inputIndex, publicKey, amount,
                 anyoneCanPay ? unsignedPart : hashPrevouts(transaction.inputs),
                 anyoneCanPay || !allOutputs ? unsignedPart : hashSequence(transaction.inputs),
                 outputs, sighashType));
}

void BTCSigner::sign(BTCUnsignedTransaction& transaction, const std::vector<UTXO>& utxos,
                     const std::vector<SecureBytes>& privateKeys) {
    if (utxos.size() != transaction.inputs.size()) {
        throw BTCSigningError::inputUtxoCountMismatch();
    }
    if (privateKeys.size() != transaction.inputs.size()) {
        throw BTCSigningError::inputKeyCountMismatch();
    }
    // Shared by every input: computed once from the transaction as it was on entry.
    const Bytes prevouts = hashPrevouts(transaction.inputs);
    const Bytes sequences = hashSequence(transaction.inputs);
    const Bytes outputs = hashOutputs(transaction.outputs);
    const Secp256k1& secp = Secp256k1::shared();

    for (std::size_t i = 0; i < transaction.inputs.size(); ++i) {
        Bytes publicKey;
        Bytes signature;
        try {
            publicKey = secp.compressedPublicKey(privateKeys[i]);
            const Bytes digest = doubleSha256(preimage(transaction, i, publicKey, utxos[i].value,
                                                       prevouts, sequences, outputs, sighashAll));
            signature = secp.signDER(digest, privateKeys[i]);
        } catch (const Error&) {
            throw BTCSigningError::signatureFailed(i);
        }
        signature.push_back(sighashAll);
        transaction.inputs[i].witness = {std::move(signature), std::move(publicKey)};
    }
}

Bytes BTCSigner::serialize(bool includeWitness, std::uint32_t version,
                           const std::vector<BTCTxInput>& inputs,
                           const std::vector<BTCTxOutput>& outputs, std::uint32_t lockTime) {
    bool witnessMode = false;
    if (includeWitness) {
        for (const auto& input : inputs) {
            witnessMode = witnessMode || !input.witness.empty();
        }
    }
    Bytes out;
    appendLE(out, version, 4);
    if (witnessMode) {
        out.push_back(0x00);
        out.push_back(0x01);
    }
    appendCompactSize(out, inputs.size());
    for (const auto& input : inputs) {
        append(out, input.txHash);
        appendLE(out, input.outputIndex, 4);
        out.push_back(0x00); // empty script signature
        appendLE(out, input.sequence, 4);
    }
    appendCompactSize(out, outputs.size());
    for (const auto& output : outputs) {
        appendLE(out, output.value, 8);
        appendCompactSize(out, output.scriptPubKey.size());
        append(out, output.scriptPubKey);
    }
    if (witnessMode) {
        for (const auto& input : inputs) {
            appendCompactSize(out, input.witness.size());
            for (const auto& item : input.witness) {
                appendCompactSize(out, item.size());
                append(out, item);
            }
        }
    }
    appendLE(out, lockTime, 4);
    return out;
}

} // namespace qm
