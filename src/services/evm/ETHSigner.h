#pragma once
// EIP-1559 (type 2) transactions: the only transaction form the wallet signs.

#include "core/crypto/UInt256.h"
#include "platform/Bytes.h"
#include "platform/Error.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

struct ETHAccessListEntry {
    Bytes address;
    std::vector<Bytes> storageKeys;
};

struct ETHTransaction {
    std::uint64_t chainID = 0;
    std::uint64_t nonce = 0;
    UInt256 maxPriorityFeePerGas;
    UInt256 maxFeePerGas;
    std::uint64_t gasLimit = 0;
    Bytes to; // 20 bytes; empty encodes as the empty byte string
    UInt256 value;
    Bytes data;
    std::vector<ETHAccessListEntry> accessList;

    // The RLP list of the nine fields, without the type byte (what the signature
    // covers once 0x02 is put in front).
    Bytes encodeUnsigned() const;
    // Keccak-256 of 0x02 and encodeUnsigned(): the hash the signature is over.
    Bytes signingHash() const;
    // 0x02, then the RLP list of the nine fields, yParity, r and s (r and s
    // without leading zero bytes).
    Bytes encodeSigned(std::uint8_t yParity, ByteView r, ByteView s) const;
    // The EIP-2930 access list as an RLP list of [address, [storage keys...]]
    // entries.
    Bytes encodeAccessList() const;

private:
    std::vector<Bytes> encodedFields() const;
};

class ETHSignerError : public Error {
public:
    enum class Code { signingFailed, invalidPrivateKey };

    static ETHSignerError signingFailed(const std::string& reason);
    static ETHSignerError invalidPrivateKey();

    Code code() const { return code_; }

private:
    ETHSignerError(Code code, const std::string& text) : Error(text), code_(code) {}
    Code code_;
};

struct ETHSigner {
    // The signed transaction bytes, ready to go out as "0x" text through
    // eth_sendRawTransaction. Throws invalidPrivateKey for a key that is not 32
    // bytes and signingFailed when the curve library refuses the key.
    static Bytes sign(const ETHTransaction& transaction, ByteView privateKey);
};

} // namespace qm
