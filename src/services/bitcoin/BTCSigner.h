#pragma once
// Signs the wallet's Bitcoin transactions (every input a P2WPKH output of its own keys:
// BIP-143 digest, SIGHASH_ALL, low-S DER signatures) and writes them in the BIP-144 format.

#include "platform/Error.h"
#include "platform/SecureBytes.h"
#include "services/bitcoin/BTCTransaction.h"
#include "services/bitcoin/UTXO.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm {

class BTCSigningError : public Error {
public:
    enum class Code { signatureFailed, inputUtxoCountMismatch, inputKeyCountMismatch };
    static BTCSigningError signatureFailed(std::size_t inputIndex);
    static BTCSigningError inputUtxoCountMismatch();
    static BTCSigningError inputKeyCountMismatch();

    Code code() const { return code_; }
    std::size_t inputIndex() const { return inputIndex_; }

private:
    BTCSigningError(Code code, const std::string& what, std::size_t inputIndex)
        : Error(what), code_(code), inputIndex_(inputIndex) {}
    Code code_;
    std::size_t inputIndex_;
};

struct BTCSigner {
    using SigningError = BTCSigningError;

    // Entry i of utxos and privateKeys belongs to input i. On success every input's witness
    // is [DER signature + 0x01, compressed public key]; nothing else changes. Count
    // mismatches change nothing; a key failure at input i leaves the inputs before it signed.
    static void sign(BTCUnsignedTransaction& transaction, const std::vector<UTXO>& utxos,
                     const std::vector<SecureBytes>& privateKeys);

    // The wire form; with witnesses only when asked and at least one input has one.
    static Bytes serialize(bool includeWitness, std::uint32_t version,
                           const std::vector<BTCTxInput>& inputs,
                           const std::vector<BTCTxOutput>& outputs, std::uint32_t lockTime);

    // The BIP-143 pieces (each a double SHA-256).
    static Bytes hashPrevouts(const std::vector<BTCTxInput>& inputs);
    static Bytes hashSequence(const std::vector<BTCTxInput>& inputs);
    static Bytes hashOutputs(const std::vector<BTCTxOutput>& outputs);
    // BIP-143's sighash types: the last byte of a signature says what else it signs.
    static constexpr std::uint8_t sighashAll = 0x01;
    static constexpr std::uint8_t sighashNone = 0x02;
    static constexpr std::uint8_t sighashSingle = 0x03;
    static constexpr std::uint8_t sighashAnyoneCanPay = 0x80;
    // The BIP-143 signature digest of one P2WPKH input spending `amount`, of the given type
    // (the wallet signs ALL; others are read in transactions it did not make).
    static Bytes signatureHash(const BTCUnsignedTransaction& transaction, std::size_t inputIndex,
                               ByteView publicKey, std::uint64_t amount,
                               std::uint8_t sighashType = sighashAll);

    static void appendCompactSize(Bytes& out, std::uint64_t value);
};

} // namespace qm
