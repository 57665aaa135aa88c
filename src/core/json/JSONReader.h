#pragma once
// The one reader of JSON that comes off the disk or the network. It reads the whole input
// or nothing: no byte-order mark, no NUL (the parser would stop there and ignore the rest),
// no bytes after the value, no key named twice in one object, and nothing larger or
// nested deeper than the caller's limits.

#include "platform/Error.h"

#include <cstddef>
#include <cstdint>
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

    // As read(), except that an integer literal outside the 64-bit range is kept exactly: it
    // becomes a binary value of subtype kBigIntegerLiteralSubtype holding the literal's text
    // (optional "-", then digits) instead of a rounded double. For values that are amounts
    // (typed data signs up to 2^256 - 1).
    static nlohmann::json readKeepingBigIntegers(std::string_view text, Limits limits);
    static std::optional<nlohmann::json> tryReadKeepingBigIntegers(std::string_view text,
                                                                   Limits limits);
};

inline constexpr std::uint64_t kBigIntegerLiteralSubtype = 0x2560;

// The literal text of a big integer kept by readKeepingBigIntegers; absent for every other value.
std::optional<std::string_view> bigIntegerLiteral(const nlohmann::json& value);

} // namespace qm
