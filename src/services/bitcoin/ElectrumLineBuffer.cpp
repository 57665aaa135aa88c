#include "services/bitcoin/ElectrumLineBuffer.h"

#include <cstring>

namespace qm {

ElectrumLineBuffer::ElectrumLineBuffer(std::size_t maxLineBytes) : maxLineBytes_(maxLineBytes) {}

bool ElectrumLineBuffer::append(ByteView bytes) {
    if (overflowed_) {
        return false;
    }
    // Drop the lines already taken before growing, so the buffer holds only what is pending.
    if (start_ > 0) {
        data_.erase(0, start_);
        completeEnd_ -= start_;
        start_ = 0;
    }
    const char* chunk = reinterpret_cast<const char*>(bytes.data());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t openLength = data_.size() - completeEnd_;
        const std::size_t rest = bytes.size() - pos;
        const void* found = std::memchr(chunk + pos, '\n', rest);
        const std::size_t take =
            found != nullptr
                ? static_cast<std::size_t>(static_cast<const char*>(found) - chunk) - pos
                : rest;
        if (openLength > maxLineBytes_ || take > maxLineBytes_ - openLength) {
            data_.resize(completeEnd_);
            overflowed_ = true;
            return false;
        }
        data_.append(chunk + pos, take);
        pos += take;
        if (found != nullptr) {
            data_.push_back('\n');
            completeEnd_ = data_.size();
            ++pos;
        }
    }
    return true;
}

std::optional<std::string> ElectrumLineBuffer::nextLine() {
    while (start_ < completeEnd_) {
        const std::size_t newline = data_.find('\n', start_);
        // completeEnd_ is one past a newline, so one is always found before it.
        std::string line = data_.substr(start_, newline - start_);
        start_ = newline + 1;
        if (start_ == data_.size()) {
            data_.clear();
            start_ = 0;
            completeEnd_ = 0;
        }
        if (!line.empty()) {
            return line;
        }
    }
    return std::nullopt;
}

void ElectrumLineBuffer::clear() {
    data_.clear();
    start_ = 0;
    completeEnd_ = 0;
}

} // namespace qm
