#include "services/solana/SolanaTransaction.h"

#include "core/crypto/Base58.h"
#include "core/crypto/Ed25519.h"
#include "core/encoding/Base64.h"
#include "services/solana/SolanaRPCError.h"

namespace qm {
namespace {

constexpr std::size_t kKeySize = 32;
constexpr std::size_t kSignatureSize = 64;
constexpr std::uint32_t kSystemTransferIndex = 2;

void appendLittleEndian(Bytes& out, std::uint64_t value, int byteCount) {
    for (int i = 0; i < byteCount; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void append(Bytes& out, ByteView bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

} // namespace

Bytes SolanaTransaction::compactU16(int value) {
    if (value < 0 || value > 0x3FFFFF) {
        fatalError("compactU16 out of range");
    }
    Bytes out;
    auto rest = static_cast<std::uint32_t>(value);
    // Two 7-bit groups at most carry a continuation bit; a third byte takes the rest whole.
    while (rest > 0x7F && out.size() < 2) {
        out.push_back(static_cast<std::uint8_t>((rest & 0x7F) | 0x80));
        rest >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(rest));
    return out;
}

Bytes SolanaTransaction::transferMessage(ByteView from, ByteView to, std::uint64_t lamports,
                                         std::string_view recentBlockhash) {
    if (from.size() != kKeySize || to.size() != kKeySize) {
        throw SolanaRPCError::decodingError("public key is not 32 bytes");
    }
    Bytes blockhash = base58Decode(recentBlockhash).value_or(Bytes(kKeySize, 0));
    if (blockhash.size() != kKeySize) {
        throw SolanaRPCError::decodingError("blockhash is not 32 bytes: " +
                                            std::string(recentBlockhash));
    }

    Instruction transfer;
    transfer.programIdIndex = 2;
    transfer.accountIndices = {0, 1};
    appendLittleEndian(transfer.data, kSystemTransferIndex, 4);
    appendLittleEndian(transfer.data, lamports, 8);

    Bytes out;
    out.reserve(150);
    // Header: one signature, no read-only signer, one read-only unsigned account (the program).
    out.insert(out.end(), {1, 0, 1});
    append(out, compactU16(3));
    append(out, from);
    append(out, to);
    append(out, systemProgramID());
    append(out, blockhash);
    append(out, compactU16(1));
    out.push_back(transfer.programIdIndex);
    append(out, compactU16(static_cast<int>(transfer.accountIndices.size())));
    append(out, transfer.accountIndices);
    append(out, compactU16(static_cast<int>(transfer.data.size())));
    append(out, transfer.data);
    return out;
}

Bytes SolanaTransaction::signedTransaction(ByteView signature, ByteView message) {
    if (signature.size() != kSignatureSize) {
        fatalError("Solana signature is not 64 bytes");
    }
    Bytes out = compactU16(1);
    append(out, signature);
    append(out, message);
    return out;
}

std::string SolanaTransaction::signedTransactionBase64(ByteView signature, ByteView message) {
    const Bytes wire = signedTransaction(signature, message);
    return base64Encode(wire);
}

} // namespace qm
