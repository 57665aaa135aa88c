#pragma once
// The one reader of JSON that comes off the disk or the network. It reads the whole input
// or nothing: no byte-order mark, no NUL (the parser would stop there and ignore the rest),
// no bytes after the value, no key named twice in one object, and nothing larger or
// nested deeper than the caller's limits.

#include "platform/Error.h"

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

namespace qm {

class JSONReadError : public Error {
public:
    enum class Code { tooLarge, tooDeep, byteOrderMark, nulByte, duplicateKey, invalidJSON };
    explicit JSONReadError(Code code);
    Code code() const { return code_; }

private:
    Code code_;
};

class JSONReader {
public:
    struct Limits {
        std::size_t maxBytes;
        std::size_t maxDepth; // arrays and objects; the outermost one is level 1
    };
    // Stored records, token files and backup payloads (10,000 tokens take about 2 MB).
    static constexpr Limits stored{64u << 20, 128};
    // Server replies: no client takes a longer one (each caps its replies while they arrive),
    // and room for the deepest reply any server sends.
    static constexpr Limits network{16u << 20, 256};

    // The value of `text`; throws JSONReadError naming the first refusal.
    static nlohmann::json read(std::string_view text, Limits limits);
    // The same, absent instead of an error.
    static std::optional<nlohmann::json> tryRead(std::string_view text, Limits limits);
};

} // namespace qm
