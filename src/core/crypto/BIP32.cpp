#include "core/crypto/BIP32.h"

#include "core/crypto/Ripemd160.h"
#include "core/crypto/Secp256k1.h"
#include "platform/Crypto.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace qm {
namespace {

constexpr std::size_t kKeySize = 32;

const char* describe(BIP32Error::Code code) {
    switch (code) {
    case BIP32Error::Code::invalidSeed:
        return "BIP32Error.invalidSeed";
    case BIP32Error::Code::invalidChildIndex:
        return "BIP32Error.invalidChildIndex";
    case BIP32Error::Code::derivationFailed:
        return "BIP32Error.derivationFailed";
    case BIP32Error::Code::hardenedPublicKey:
        return "BIP32Error.hardenedPublicKey";
    }
    return "BIP32Error";
}

void appendIndex(std::uint8_t* out, std::uint32_t index) {
    out[0] = static_cast<std::uint8_t>(index >> 24);
    out[1] = static_cast<std::uint8_t>(index >> 16);
    out[2] = static_cast<std::uint8_t>(index >> 8);
    out[3] = static_cast<std::uint8_t>(index);
}

// A depth of 255 has no representable child: refuse rather than wrap to 0.
std::uint8_t childDepth(const ExtendedKey& parent) {
    if (parent.depth == std::numeric_limits<std::uint8_t>::max()) {
        throw BIP32Error(BIP32Error::Code::derivationFailed);
    }
    return static_cast<std::uint8_t>(parent.depth + 1);
}

} // namespace

BIP32Error::BIP32Error(Code code) : Error(describe(code)), code_(code) {}

ExtendedKey BIP32::masterKey(ByteView seed) {
    const SecureBytes i = crypto::hmacSha512(utf8View("Bitcoin seed"), seed);
    ExtendedKey master;
    master.key = SecureBytes(i.view().first(kKeySize));
    master.chainCode = Bytes(i.begin() + kKeySize, i.end());
    return master;
}

ExtendedKey BIP32::deriveChild(const ExtendedKey& parent, std::uint32_t index) {
    if (!parent.isPrivate) {
        return derivePublicChild(parent, index);
    }
    const std::uint8_t depth = childDepth(parent);
    const Secp256k1& curve = Secp256k1::shared();

    // Hardened: 0x00 | parent key | index; normal: compressed parent public key | index.
    SecureBytes data(1 + kKeySize + 4);
    if (index >= kHardenedIndex) {
        if (parent.key.size() != kKeySize) {
            throw Secp256k1Error(Secp256k1Error::Code::tweakFailed);
        }
        data[0] = 0;
        std::copy(parent.key.begin(), parent.key.end(), data.begin() + 1);
    } else {
        const Bytes publicKey = curve.compressedPublicKey(parent.key);
        std::copy(publicKey.begin(), publicKey.end(), data.begin());
    }
    appendIndex(data.data() + 1 + kKeySize, index);

    const SecureBytes i = crypto::hmacSha512(parent.chainCode, data);
    SecureBytes childKey(i.view().first(kKeySize));
    curve.privateKeyTweakAdd(childKey, parent.key);

    ExtendedKey child;
    child.key = std::move(childKey);
    child.chainCode = Bytes(i.begin() + kKeySize, i.end());
    child.depth = depth;
    child.parentFingerprint = fingerprint(curve.compressedPublicKey(parent.key));
    child.childIndex = index;
    child.isPrivate = true;
    return child;
}

ExtendedKey BIP32::derivePublicChild(const ExtendedKey& parent, std::uint32_t index) {
    if (index >= kHardenedIndex) {
        throw BIP32Error(BIP32Error::Code::hardenedPublicKey);
    }
    const std::uint8_t depth = childDepth(parent);

    Bytes data(parent.key.begin(), parent.key.end());
    data.resize(data.size() + 4);
    appendIndex(data.data() + data.size() - 4, index);
    const SecureBytes i = crypto::hmacSha512(parent.chainCode, data);

    Bytes childKey(parent.key.begin(), parent.key.end());
    Secp256k1::shared().publicKeyTweakAdd(childKey, i.view().first(kKeySize));

    ExtendedKey child;
    child.key = SecureBytes(childKey);
    child.chainCode = Bytes(i.begin() + kKeySize, i.end());
    child.depth = depth;
    child.parentFingerprint = fingerprint(parent.key);
    child.childIndex = index;
    child.isPrivate = false;
    return child;
}

std::uint32_t BIP32::fingerprint(ByteView publicKey) {
    const Bytes hash = ripemd160(crypto::sha256(publicKey));
    return (std::uint32_t{hash[0]} << 24) | (std::uint32_t{hash[1]} << 16) |
           (std::uint32_t{hash[2]} << 8) | std::uint32_t{hash[3]};
}

} // namespace qm
