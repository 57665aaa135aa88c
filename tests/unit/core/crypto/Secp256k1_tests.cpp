#include "TestHex.h"
#include "core/crypto/Secp256k1.h"
#include "platform/Crypto.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace qm {
namespace {

using test::ascii;
using test::hex;
using test::unhex;
using Code = Secp256k1Error::Code;

const std::string kOne = "0000000000000000000000000000000000000000000000000000000000000001";
const std::string kTwo = "0000000000000000000000000000000000000000000000000000000000000002";
const std::string kOrder = "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141";
const std::string kOrderMinusOne =
    "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364140";
const std::string kGx = "79be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798";
const std::string kGy = "483ada7726a3c4655da4fbfc0e1108a8fd17b448a68554199c47d08ffb10d4b8";
const std::string k2Gx = "c6047f9441ed7d6d3045406e95c07cd85c778e4b8cef3ca7abac09b95c709ee5";
const std::string k2Gy = "1ae168fea63dc339a3c58419466ceaeef7f632653266d0e1236431a950cfe52a";

template <typename F> void expectError(Code code, F&& operation) {
    try {
        operation();
        ADD_FAILURE() << "no error thrown";
    } catch (const Secp256k1Error& error) {
        EXPECT_EQ(error.code(), code) << error.what();
    }
}

Bytes zeros(std::size_t n) {
    return Bytes(n, 0);
}

TEST(Secp256k1, PublicKeysOfKnownScalars) {
    const auto& curve = Secp256k1::shared();
    EXPECT_EQ(hex(curve.compressedPublicKey(unhex(kOne))), "02" + kGx);
    EXPECT_EQ(hex(curve.uncompressedPublicKey(unhex(kOne))), "04" + kGx + kGy);
    EXPECT_EQ(hex(curve.compressedPublicKey(unhex(kTwo))), "02" + k2Gx);
    // n - 1 is -1: the negation of G, whose Y is odd.
    EXPECT_EQ(hex(curve.compressedPublicKey(unhex(kOrderMinusOne))), "03" + kGx);

    for (const Bytes& key : {zeros(31), unhex(kOrder)}) {
        expectError(Code::invalidSecretKey, [&] { curve.compressedPublicKey(key); });
    }
}

TEST(Secp256k1, PrivateKeyTweakAddsModuloTheOrder) {
    const auto& curve = Secp256k1::shared();
    SecureBytes key(unhex(kOne));
    curve.privateKeyTweakAdd(key, unhex(kOne));
    EXPECT_EQ(hex(Bytes(key.begin(), key.end())), kTwo);

    // (n - 1) + 2 wraps to 1.
    SecureBytes wrapping(unhex(kOrderMinusOne));
    curve.privateKeyTweakAdd(wrapping, unhex(kTwo));
    EXPECT_EQ(hex(Bytes(wrapping.begin(), wrapping.end())), kOne);

    const auto tweakFails = [&](const Bytes& start, const Bytes& tweak) {
        SecureBytes k(start);
        expectError(Code::tweakFailed, [&] { curve.privateKeyTweakAdd(k, tweak); });
    };
    tweakFails(unhex(kOrderMinusOne), unhex(kOne)); // sum is zero
    tweakFails(zeros(31), unhex(kOne));             // short key: tweakFailed, not invalidSecretKey
}

TEST(Secp256k1, PublicKeyTweakKeepsTheForm) {
    const auto& curve = Secp256k1::shared();
    Bytes compressed = unhex("02" + kGx);
    curve.publicKeyTweakAdd(compressed, unhex(kOne));
    EXPECT_EQ(hex(compressed), "02" + k2Gx);

    Bytes uncompressed = unhex("04" + kGx + kGy);
    curve.publicKeyTweakAdd(uncompressed, unhex(kOne));
    EXPECT_EQ(hex(uncompressed), "04" + k2Gx + k2Gy);

    const auto fails = [&](Code code, Bytes key, const Bytes& tweak) {
        const Bytes before = key;
        expectError(code, [&] { curve.publicKeyTweakAdd(key, tweak); });
        EXPECT_EQ(key, before); // no partial output
    };
    fails(Code::invalidPublicKey, Bytes{}, unhex(kOne));      // never handed to the library
    fails(Code::tweakFailed, unhex(kGx + kGy), zeros(31));    // tweak length checked first
    fails(Code::tweakFailed, unhex("03" + kGx), unhex(kOne)); // -G + G is infinity
}

// Signatures of derived keys, their low S and recovery IDs are the keys peer's.
TEST(Secp256k1, SignsDeterministicallyPerRFC6979) {
    // Cross-checked with @noble/curves.
    const auto& curve = Secp256k1::shared();
    const Bytes key = unhex(kOne);
    const Bytes hash = crypto::sha256(ascii("Satoshi Nakamoto"));
    EXPECT_EQ(hex(curve.signDER(hash, key)),
              "3045022100934b1ea10a4b3c1757e2b0c017d0b6143ce3c9a7e6a4a49860d7a6ab210ee3d802202442"
              "ce9d2b916064108014783e923ec36b49743e2ffa1c4496f01a512aafd9e5");
    const auto [compact, recoveryID] = curve.signRecoverable(hash, key);
    EXPECT_EQ(hex(compact), "934b1ea10a4b3c1757e2b0c017d0b6143ce3c9a7e6a4a49860d7a6ab210ee3d824"
                            "42ce9d2b916064108014783e923ec36b49743e2ffa1c4496f01a512aafd9e5");
    EXPECT_EQ(recoveryID, 1);
}

TEST(Secp256k1, SigningRefusesBadInput) {
    const auto& curve = Secp256k1::shared();
    const Bytes hash = crypto::sha256(ascii("message"));
    const auto both = [&](Code code, const Bytes& h, const Bytes& key) {
        expectError(code, [&] { curve.signDER(h, key); });
        expectError(code, [&] { curve.signRecoverable(h, key); });
    };
    both(Code::invalidSecretKey, hash, zeros(31));
    both(Code::signingFailed, hash, zeros(32));      // zero key: the library refuses to sign
    both(Code::signingFailed, zeros(31), zeros(31)); // hash length is checked first
}

TEST(Secp256k1, SharedContextServesThreadsAtOnce) {
    // Threads share the one instance and sign through it at the same time.
    const Bytes key = crypto::sha256(ascii("threaded key"));
    const Bytes hash = crypto::sha256(ascii("threaded hash"));
    std::vector<Bytes> signatures(8);
    std::vector<const Secp256k1*> instances(8);
    std::vector<std::thread> threads;
    for (std::size_t n = 0; n < signatures.size(); ++n) {
        threads.emplace_back([&, n] {
            instances[n] = &Secp256k1::shared();
            for (int round = 0; round < 20; ++round) {
                signatures[n] = instances[n]->signDER(hash, key);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (std::size_t n = 0; n < signatures.size(); ++n) {
        EXPECT_EQ(instances[n], &Secp256k1::shared());
        EXPECT_EQ(signatures[n], Secp256k1::shared().signDER(hash, key));
    }
}

} // namespace
} // namespace qm
