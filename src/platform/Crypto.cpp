#include "platform/Crypto.h"

#include <cerrno>
#include <memory>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <sys/random.h>

namespace qm::crypto {
namespace {

struct Deleter {
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
    void operator()(EVP_CIPHER_CTX* p) const { EVP_CIPHER_CTX_free(p); }
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
    void operator()(EVP_MAC* p) const { EVP_MAC_free(p); }
    void operator()(EVP_MAC_CTX* p) const { EVP_MAC_CTX_free(p); }
    void operator()(EVP_KDF* p) const { EVP_KDF_free(p); }
    void operator()(EVP_KDF_CTX* p) const { EVP_KDF_CTX_free(p); }
    void operator()(EVP_MD* p) const { EVP_MD_free(p); }
};
template <typename T> using Owned = std::unique_ptr<T, Deleter>;

[[noreturn]] void fail(const char* what) {
    throw CryptoError(CryptoError::Code::openSSLFailure, what);
}

void check(int result, const char* what) {
    if (result != 1) {
        fail(what);
    }
}

template <typename T> T* checkPtr(T* p, const char* what) {
    if (p == nullptr) {
        fail(what);
    }
    return p;
}

// OpenSSL takes non-const pointers in its parameter arrays; it does not write through them.
void* mut(const void* p) {
    return const_cast<void*>(p);
}

Bytes digest(const char* name, ByteView data) {
    Owned<EVP_MD> md(checkPtr(EVP_MD_fetch(nullptr, name, nullptr), "digest unavailable"));
    Owned<EVP_MD_CTX> ctx(checkPtr(EVP_MD_CTX_new(), "EVP_MD_CTX_new failed"));
    Bytes out(static_cast<std::size_t>(EVP_MD_get_size(md.get())));
    unsigned int length = 0;
    check(EVP_DigestInit_ex2(ctx.get(), md.get(), nullptr), "EVP_DigestInit_ex2 failed");
    check(EVP_DigestUpdate(ctx.get(), data.data(), data.size()), "EVP_DigestUpdate failed");
    check(EVP_DigestFinal_ex(ctx.get(), out.data(), &length), "EVP_DigestFinal_ex failed");
    out.resize(length);
    return out;
}

SecureBytes hmac(const char* digestName, ByteView key, ByteView data) {
    Owned<EVP_MAC> mac(checkPtr(EVP_MAC_fetch(nullptr, "HMAC", nullptr), "HMAC unavailable"));
    Owned<EVP_MAC_CTX> ctx(checkPtr(EVP_MAC_CTX_new(mac.get()), "EVP_MAC_CTX_new failed"));
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>(digestName), 0),
        OSSL_PARAM_construct_end()};
    // An empty key still needs a valid pointer.
    static const std::uint8_t none = 0;
    check(EVP_MAC_init(ctx.get(), key.empty() ? &none : key.data(), key.size(), params),
          "EVP_MAC_init failed");
    check(EVP_MAC_update(ctx.get(), data.data(), data.size()), "EVP_MAC_update failed");
    SecureBytes out(EVP_MAC_CTX_get_mac_size(ctx.get()));
    std::size_t length = 0;
    check(EVP_MAC_final(ctx.get(), out.data(), &length, out.size()), "EVP_MAC_final failed");
    if (length != out.size()) {
        fail("HMAC length mismatch");
    }
    return out;
}

Owned<EVP_PKEY> rawPrivateKey(int type, ByteView privateKey) {
    if (privateKey.size() != 32) {
        throw CryptoError(CryptoError::Code::invalidKeySize, "Curve25519: invalid key size");
    }
    return Owned<EVP_PKEY>(
        checkPtr(EVP_PKEY_new_raw_private_key(type, nullptr, privateKey.data(), privateKey.size()),
                 "EVP_PKEY_new_raw_private_key failed"));
}

Bytes rawPublicKeyOf(EVP_PKEY* key) {
    Bytes out(32);
    std::size_t length = out.size();
    check(EVP_PKEY_get_raw_public_key(key, out.data(), &length),
          "EVP_PKEY_get_raw_public_key failed");
    out.resize(length);
    return out;
}

} // namespace

Bytes sha256(ByteView data) {
    return digest("SHA256", data);
}
Bytes sha512(ByteView data) {
    return digest("SHA512", data);
}
Bytes opensslRipemd160(ByteView data) {
    return digest("RIPEMD160", data);
}
Bytes opensslSha3_256(ByteView data) {
    return digest("SHA3-256", data);
}

SecureBytes hmacSha512(ByteView key, ByteView data) {
    return hmac("SHA512", key, data);
}
SecureBytes hmacSha256(ByteView key, ByteView data) {
    return hmac("SHA256", key, data);
}

SecureBytes pbkdf2HmacSha512(ByteView password, ByteView salt, std::uint32_t iterations,
                             std::size_t length) {
    SecureBytes out(length);
    static const std::uint8_t none = 0;
    check(
        PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password.empty() ? &none : password.data()),
                          static_cast<int>(password.size()), salt.empty() ? &none : salt.data(),
                          static_cast<int>(salt.size()), static_cast<int>(iterations), EVP_sha512(),
                          static_cast<int>(length), out.data()),
        "PKCS5_PBKDF2_HMAC failed");
    return out;
}

SecureBytes hkdfSha256(ByteView inputKey, ByteView salt, ByteView info, std::size_t length) {
    Owned<EVP_KDF> kdf(checkPtr(EVP_KDF_fetch(nullptr, "HKDF", nullptr), "HKDF unavailable"));
    Owned<EVP_KDF_CTX> ctx(checkPtr(EVP_KDF_CTX_new(kdf.get()), "EVP_KDF_CTX_new failed"));
    OSSL_PARAM params[5];
    std::size_t n = 0;
    params[n++] =
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>("SHA256"), 0);
    params[n++] = OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, mut(inputKey.data()),
                                                    inputKey.size());
    if (!salt.empty()) {
        params[n++] =
            OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, mut(salt.data()), salt.size());
    }
    if (!info.empty()) {
        params[n++] =
            OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, mut(info.data()), info.size());
    }
    params[n] = OSSL_PARAM_construct_end();
    SecureBytes out(length);
    check(EVP_KDF_derive(ctx.get(), out.data(), out.size(), params), "EVP_KDF_derive failed");
    return out;
}

Bytes chachaPolySeal(ByteView key, ByteView plaintext, ByteView aad,
                     std::optional<ByteView> nonce) {
    if (key.size() != kSealKeySize) {
        throw CryptoError(CryptoError::Code::invalidKeySize, "ChaChaPoly: invalid key size");
    }
    Bytes out(kSealNonceSize + plaintext.size() + kSealTagSize);
    if (nonce) {
        if (nonce->size() != kSealNonceSize) {
            throw CryptoError(CryptoError::Code::invalidNonceSize,
                              "ChaChaPoly: invalid nonce size");
        }
        std::copy(nonce->begin(), nonce->end(), out.begin());
    } else {
        randomFill(out.data(), kSealNonceSize);
    }
    Owned<EVP_CIPHER_CTX> ctx(checkPtr(EVP_CIPHER_CTX_new(), "EVP_CIPHER_CTX_new failed"));
    check(EVP_EncryptInit_ex2(ctx.get(), EVP_chacha20_poly1305(), key.data(), out.data(), nullptr),
          "EVP_EncryptInit_ex2 failed");
    int length = 0;
    if (!aad.empty()) {
        check(EVP_EncryptUpdate(ctx.get(), nullptr, &length, aad.data(),
                                static_cast<int>(aad.size())),
              "EVP_EncryptUpdate (aad) failed");
    }
    std::uint8_t* cipher = out.data() + kSealNonceSize;
    if (!plaintext.empty()) {
        check(EVP_EncryptUpdate(ctx.get(), cipher, &length, plaintext.data(),
                                static_cast<int>(plaintext.size())),
              "EVP_EncryptUpdate failed");
    }
    int finalLength = 0;
    check(EVP_EncryptFinal_ex(ctx.get(), cipher + plaintext.size(), &finalLength),
          "EVP_EncryptFinal_ex failed");
    check(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_GET_TAG, static_cast<int>(kSealTagSize),
                              cipher + plaintext.size()),
          "EVP_CTRL_AEAD_GET_TAG failed");
    return out;
}

std::optional<SecureBytes> chachaPolyOpen(ByteView key, ByteView combined, ByteView aad) {
    if (key.size() != kSealKeySize) {
        throw CryptoError(CryptoError::Code::invalidKeySize, "ChaChaPoly: invalid key size");
    }
    if (combined.size() < kSealNonceSize + kSealTagSize) {
        return std::nullopt;
    }
    const std::size_t cipherSize = combined.size() - kSealNonceSize - kSealTagSize;
    const std::uint8_t* cipher = combined.data() + kSealNonceSize;
    Owned<EVP_CIPHER_CTX> ctx(checkPtr(EVP_CIPHER_CTX_new(), "EVP_CIPHER_CTX_new failed"));
    check(EVP_DecryptInit_ex2(ctx.get(), EVP_chacha20_poly1305(), key.data(), combined.data(),
                              nullptr),
          "EVP_DecryptInit_ex2 failed");
    int length = 0;
    if (!aad.empty()) {
        check(EVP_DecryptUpdate(ctx.get(), nullptr, &length, aad.data(),
                                static_cast<int>(aad.size())),
              "EVP_DecryptUpdate (aad) failed");
    }
    SecureBytes plain(cipherSize);
    if (cipherSize != 0) {
        check(EVP_DecryptUpdate(ctx.get(), plain.data(), &length, cipher,
                                static_cast<int>(cipherSize)),
              "EVP_DecryptUpdate failed");
    }
    check(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_SET_TAG, static_cast<int>(kSealTagSize),
                              mut(cipher + cipherSize)),
          "EVP_CTRL_AEAD_SET_TAG failed");
    std::uint8_t scratch[16];
    int finalLength = 0;
    if (EVP_DecryptFinal_ex(ctx.get(), scratch, &finalLength) != 1) {
        return std::nullopt; // authentication failed
    }
    return plain;
}

Bytes ed25519PublicKey(ByteView privateKey) {
    auto key = rawPrivateKey(EVP_PKEY_ED25519, privateKey);
    return rawPublicKeyOf(key.get());
}

Bytes ed25519Sign(ByteView message, ByteView privateKey) {
    auto key = rawPrivateKey(EVP_PKEY_ED25519, privateKey);
    Owned<EVP_MD_CTX> ctx(checkPtr(EVP_MD_CTX_new(), "EVP_MD_CTX_new failed"));
    check(EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()),
          "EVP_DigestSignInit failed");
    Bytes signature(64);
    std::size_t length = signature.size();
    static const std::uint8_t none = 0;
    check(EVP_DigestSign(ctx.get(), signature.data(), &length,
                         message.empty() ? &none : message.data(), message.size()),
          "EVP_DigestSign failed");
    signature.resize(length);
    return signature;
}

bool ed25519Verify(ByteView signature, ByteView message, ByteView publicKey) {
    if (publicKey.size() != 32 || signature.size() != 64) {
        return false;
    }
    Owned<EVP_PKEY> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()));
    if (!key) {
        return false;
    }
    Owned<EVP_MD_CTX> ctx(checkPtr(EVP_MD_CTX_new(), "EVP_MD_CTX_new failed"));
    if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        return false;
    }
    static const std::uint8_t none = 0;
    return EVP_DigestVerify(ctx.get(), signature.data(), signature.size(),
                            message.empty() ? &none : message.data(), message.size()) == 1;
}

Bytes x25519PublicKey(ByteView privateKey) {
    auto key = rawPrivateKey(EVP_PKEY_X25519, privateKey);
    return rawPublicKeyOf(key.get());
}

std::optional<SecureBytes> x25519SharedSecret(ByteView privateKey, ByteView peerPublicKey) {
    if (peerPublicKey.size() != 32) {
        return std::nullopt;
    }
    auto key = rawPrivateKey(EVP_PKEY_X25519, privateKey);
    Owned<EVP_PKEY> peer(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, peerPublicKey.data(),
                                                     peerPublicKey.size()));
    if (!peer) {
        return std::nullopt;
    }
    Owned<EVP_PKEY_CTX> ctx(
        checkPtr(EVP_PKEY_CTX_new(key.get(), nullptr), "EVP_PKEY_CTX_new failed"));
    check(EVP_PKEY_derive_init(ctx.get()), "EVP_PKEY_derive_init failed");
    check(EVP_PKEY_derive_set_peer(ctx.get(), peer.get()), "EVP_PKEY_derive_set_peer failed");
    SecureBytes secret(32);
    std::size_t length = secret.size();
    // OpenSSL refuses an all-zero result (a low-order peer point): that is no shared secret.
    if (EVP_PKEY_derive(ctx.get(), secret.data(), &length) != 1 || length != 32) {
        return std::nullopt;
    }
    return secret;
}

void randomFill(std::uint8_t* out, std::size_t count) {
    while (count > 0) {
        const ssize_t got = getrandom(out, count, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw CryptoError(CryptoError::Code::randomFailure, "secure random generator failed");
        }
        out += got;
        count -= static_cast<std::size_t>(got);
    }
}

Bytes randomBytes(std::size_t count) {
    Bytes out(count);
    randomFill(out.data(), count);
    return out;
}

bool constantTimeEqual(ByteView a, ByteView b) {
    return a.size() == b.size() && (a.empty() || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0);
}

} // namespace qm::crypto
