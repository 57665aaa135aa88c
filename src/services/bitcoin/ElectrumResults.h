#pragma once
// Typed results of the Electrum methods the wallet uses. Each decodes from a JSON object
// with exactly these keys (others ignored); a missing key, a wrong kind or an out-of-range
// number throws ElectrumError::decodingFailed with a description of the first fault.

#include "services/bitcoin/ElectrumError.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace qm {

struct ElectrumBalance {
    std::uint64_t confirmed = 0;
    std::int64_t unconfirmed = 0;

    static ElectrumBalance fromJson(const nlohmann::json& json);
    nlohmann::json toJson() const;
    bool operator==(const ElectrumBalance&) const = default;
};

struct ElectrumUTXO {
    std::string tx_hash;
    std::int64_t tx_pos = 0;
    std::int64_t height = 0;
    std::uint64_t value = 0;

    static ElectrumUTXO fromJson(const nlohmann::json& json);
    nlohmann::json toJson() const;
    bool operator==(const ElectrumUTXO&) const = default;
};

struct ElectrumTxRef {
    std::string tx_hash;
    std::int64_t height = 0;
    std::optional<std::uint64_t> fee; // missing or null: absent; written only when present

    static ElectrumTxRef fromJson(const nlohmann::json& json);
    nlohmann::json toJson() const;
    bool operator==(const ElectrumTxRef&) const = default;
};

struct ElectrumBlockHeader {
    std::int64_t height = 0;
    std::string hex;

    static ElectrumBlockHeader fromJson(const nlohmann::json& json);
    nlohmann::json toJson() const;
    bool operator==(const ElectrumBlockHeader&) const = default;
};

// Strict number readers for JSON from outside: integers only (no fraction, no float
// notation), in range; absent otherwise.
std::optional<std::int64_t> jsonInt64(const nlohmann::json& value);
std::optional<std::uint64_t> jsonUInt64(const nlohmann::json& value);

} // namespace qm
