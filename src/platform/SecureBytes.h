#pragma once
// A fixed-size byte buffer for secrets (seeds, keys, passwords) that wipes
// itself when dropped. It never grows, so no unwiped copy is left behind by a
// reallocation, and it cannot be copied by accident: clone() says so out loud.

#include "platform/Bytes.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qm {

class SecureBytes {
public:
    SecureBytes() = default;
    explicit SecureBytes(std::size_t size);
    explicit SecureBytes(ByteView bytes);
    // Takes the bytes of a text (a password, a phrase); the caller wipes its own copy.
    static SecureBytes fromText(std::string_view text);
    ~SecureBytes();

    SecureBytes(SecureBytes&& other) noexcept;
    SecureBytes& operator=(SecureBytes&& other) noexcept;
    SecureBytes(const SecureBytes&) = delete;
    SecureBytes& operator=(const SecureBytes&) = delete;

    SecureBytes clone() const { return SecureBytes(view()); }

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::uint8_t* begin() { return data_; }
    std::uint8_t* end() { return data_ + size_; }
    const std::uint8_t* begin() const { return data_; }
    const std::uint8_t* end() const { return data_ + size_; }
    std::uint8_t& operator[](std::size_t i) { return data_[i]; }
    const std::uint8_t& operator[](std::size_t i) const { return data_[i]; }

    ByteView view() const { return {data_, size_}; }
    operator ByteView() const { return view(); } // NOLINT: secrets read as views everywhere
    // The bytes as text (for a phrase); the caller wipes the returned string.
    std::string toText() const { return {reinterpret_cast<const char*>(data_), size_}; }
    // Constant-time comparison.
    bool operator==(const SecureBytes& other) const;

    void clear();

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// Overwrite a buffer that held a secret (before it is freed or reused).
void wipe(void* data, std::size_t size);
void wipe(std::string& text);
void wipe(Bytes& bytes);

} // namespace qm
