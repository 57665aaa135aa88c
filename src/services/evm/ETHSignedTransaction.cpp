#include "services/evm/ETHSignedTransaction.h"

#include "core/crypto/Keccak.h"
#include "core/crypto/Secp256k1.h"
#include "services/evm/RLP.h"

#include <vector>

namespace qm {
namespace {

constexpr std::size_t kSignedItems = 12;

// An integer item of at most `width` bytes (its canonical form is checked by the whole
// encoding read back).
std::optional<UInt256> integer(const RLPItem& item, std::size_t width) {
    if (item.isList || item.bytes.size() > width) {
        return std::nullopt;
    }
    return UInt256::fromBigEndianBytes(item.bytes);
}

std::optional<std::uint64_t> uint64Of(const RLPItem& item) {
    const std::optional<UInt256> value = integer(item, 8);
    return value ? value->toUInt64() : std::nullopt;
}

std::optional<std::vector<ETHAccessListEntry>> accessListOf(const RLPItem& item) {
    if (!item.isList) {
        return std::nullopt;
    }
    std::vector<ETHAccessListEntry> entries;
    for (const RLPItem& entry : item.items) {
        if (!entry.isList || entry.items.size() != 2 || entry.items[0].isList ||
            !entry.items[1].isList) {
            return std::nullopt;
        }
        ETHAccessListEntry read{entry.items[0].bytes, {}};
        for (const RLPItem& key : entry.items[1].items) {
            if (key.isList) {
                return std::nullopt;
            }
            read.storageKeys.push_back(key.bytes);
        }
        entries.push_back(std::move(read));
    }
    return entries;
}

} // namespace

std::optional<ETHSignedTransaction> ETHSignedTransaction::decode(ByteView wire) {
    if (wire.empty() || wire[0] != 0x02) {
        return std::nullopt;
    }
    const std::optional<RLPItem> list = RLP::decode(wire.subspan(1));
    if (!list || !list->isList || list->items.size() != kSignedItems) {
        return std::nullopt;
    }
    const std::vector<RLPItem>& items = list->items;
    const std::optional<std::uint64_t> chainID = uint64Of(items[0]);
    const std::optional<std::uint64_t> nonce = uint64Of(items[1]);
    const std::optional<UInt256> tip = integer(items[2], 32);
    const std::optional<UInt256> feeCap = integer(items[3], 32);
    const std::optional<std::uint64_t> gasLimit = uint64Of(items[4]);
    const std::optional<UInt256> value = integer(items[6], 32);
    std::optional<std::vector<ETHAccessListEntry>> accessList = accessListOf(items[8]);
    const std::optional<std::uint64_t> yParity = uint64Of(items[9]);
    const std::optional<UInt256> r = integer(items[10], 32);
    const std::optional<UInt256> s = integer(items[11], 32);
    if (!chainID || !nonce || !tip || !feeCap || !gasLimit || items[5].isList || !value ||
        items[7].isList || !accessList || !yParity || *yParity > 1 || !r || !s) {
        return std::nullopt;
    }
    ETHSignedTransaction read;
    read.fields.chainID = *chainID;
    read.fields.nonce = *nonce;
    read.fields.maxPriorityFeePerGas = *tip;
    read.fields.maxFeePerGas = *feeCap;
    read.fields.gasLimit = *gasLimit;
    read.fields.to = items[5].bytes;
    read.fields.value = *value;
    read.fields.data = items[7].bytes;
    read.fields.accessList = std::move(*accessList);
    read.yParity = *yParity;
    read.r = *r;
    read.s = *s;
    // Leading zeros, a single byte written as a string, a long form where a short one fits.
    if (read.encode() != Bytes(wire.begin(), wire.end())) {
        return std::nullopt;
    }
    return read;
}

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
