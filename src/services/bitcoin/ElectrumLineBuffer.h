#pragma once
// Splits the bytes an Electrum server sends into lines (0x0A only; a 0x0D stays in the
// line). Pure and bounded: a line longer than the limit stops the buffer for good, so a
// server that never sends a newline cannot make it grow without end.

#include "platform/Bytes.h"

#include <cstddef>
#include <optional>
#include <string>

namespace qm {

class ElectrumLineBuffer {
public:
    // Room for the largest reply the wallet asks for: a transaction a block can hold (4 MB,
    // 8 MB as hex) or a long address history.
    static constexpr std::size_t kDefaultMaxLineBytes = 16u * 1024u * 1024u;

    explicit ElectrumLineBuffer(std::size_t maxLineBytes = kDefaultMaxLineBytes);

    // Adds received bytes. Returns false once a line (with or without its 0x0A yet) is
    // longer than the limit: the buffer then keeps only the complete lines before it and
    // ignores every later byte.
    bool append(ByteView bytes);
    // The next complete, non-empty line without its 0x0A; absent when none is complete.
    std::optional<std::string> nextLine();

    bool overflowed() const { return overflowed_; }
    // Bytes held: complete lines not yet taken plus the unfinished line.
    std::size_t bufferedBytes() const { return data_.size() - start_; }
    void clear();

private:
    std::size_t maxLineBytes_;
    std::string data_;
    std::size_t start_ = 0;       // first byte not yet taken
    std::size_t completeEnd_ = 0; // one past the last 0x0A in data_
    bool overflowed_ = false;
};

} // namespace qm
