#pragma once
// The one Solana transaction the wallet builds: a legacy message with a single System
// Program transfer from the sender (the only signer and the fee payer) to a recipient, and
// its signed wire form.

#include "platform/Bytes.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

struct SolanaTransaction {
    // One compiled instruction: indices into the message's account list.
    struct Instruction {
        std::uint8_t programIdIndex = 0;
        Bytes accountIndices;
        Bytes data;
    };

    // Compact-u16 ("shortvec"): 7 bits per byte, least significant group first, bit 7 set
    // on every byte but the last. Defined for 0 to 4194303; anything else is a broken
    // caller and stops the process.
    static Bytes compactU16(int value);

    // The 150-byte message moving `lamports` from `from` to `to` (32-byte public keys).
    // A blockhash text outside the Base58 alphabet stands as 32 zero bytes (the node refuses
    // it). Throws SolanaRPCError::decodingError when a key is not 32 bytes or the blockhash
    // decodes to any length but 32, since every later field of the signed bytes would shift.
    static Bytes transferMessage(ByteView from, ByteView to, std::uint64_t lamports,
                                 std::string_view recentBlockhash);

    // The signed transaction: signature count 1, the 64-byte signature, the message.
    static Bytes signedTransaction(ByteView signature, ByteView message);
    // Its standard Base64 text (with padding, no line breaks), as sendTransaction takes it.
    static std::string signedTransactionBase64(ByteView signature, ByteView message);
};

} // namespace qm
