#pragma once
// One spendable output of the wallet, as the send flow builds it from Electrum's listunspent.

#include "platform/Bytes.h"
#include "platform/Error.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace qm {

struct UTXO {
    std::string txHash; // display order hex, as Electrum gives it
    std::int64_t outputIndex = 0;
    std::uint64_t value = 0; // satoshis
    std::int64_t height = 0;
    Bytes scriptPubKey;

    // txHash + ":" + outputIndex in decimal.
    std::string id() const;

    // Keys "txHash", "outputIndex", "value", "height", "scriptPubKey" (an array of byte
    // numbers), in that order.
    nlohmann::ordered_json toJson() const;
    // All five keys required; numbers must be integers of the right range. Throws
    // UTXODecodingError otherwise.
    static UTXO fromJson(const nlohmann::json& json);

    bool operator==(const UTXO&) const = default;
};

class UTXODecodingError : public Error {
public:
    using Error::Error;
};

} // namespace qm
