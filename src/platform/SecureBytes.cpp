#include "platform/SecureBytes.h"

#include <cstring>
#include <openssl/crypto.h>
#include <utility>

namespace qm {

SecureBytes::SecureBytes(std::size_t size)
    : data_(size ? new std::uint8_t[size]() : nullptr), size_(size) {}

SecureBytes::SecureBytes(ByteView bytes) : SecureBytes(bytes.size()) {
    if (size_ != 0) {
        std::memcpy(data_, bytes.data(), size_);
    }
}

SecureBytes SecureBytes::fromText(std::string_view text) {
    return SecureBytes(utf8View(text));
}

SecureBytes::~SecureBytes() {
    clear();
}

SecureBytes::SecureBytes(SecureBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

SecureBytes& SecureBytes::operator=(SecureBytes&& other) noexcept {
    if (this != &other) {
        clear();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

bool SecureBytes::operator==(const SecureBytes& other) const {
    return size_ == other.size_ && (size_ == 0 || CRYPTO_memcmp(data_, other.data_, size_) == 0);
}

void SecureBytes::clear() {
    if (data_ != nullptr) {
        OPENSSL_cleanse(data_, size_);
        delete[] data_;
    }
    data_ = nullptr;
    size_ = 0;
}

void wipe(void* data, std::size_t size) {
    if (data != nullptr && size != 0) {
        OPENSSL_cleanse(data, size);
    }
}

void wipe(std::string& text) {
    wipe(text.data(), text.capacity());
    text.clear();
}

void wipe(Bytes& bytes) {
    wipe(bytes.data(), bytes.capacity());
    bytes.clear();
}

} // namespace qm
