#pragma once
// One account derived from the recovery phrase on one chain. Derived again at
// every unlock and never stored.

#include "core/model/Chain.h"

#include <cstdint>
#include <string>

namespace qm {

struct Account {
    std::string id; // the chain's prefix and the decimal index, e.g. "eth-0"
    Chain chain = Chain::bitcoin;
    std::int64_t index = 0;
    std::string address;
    std::string derivationPath; // e.g. "m/84'/0'/0'/0/0"

    bool operator==(const Account&) const = default;
};

// The account identifier of `index` on `chain`: accountIDPrefix(chain) + decimal index.
std::string accountID(Chain chain, std::int64_t index);

// JSON with the keys "id", "chain", "index", "address", "derivationPath", all required;
// from_json throws JSONDecodingError.
void to_json(nlohmann::json& json, const Account& account);
void from_json(const nlohmann::json& json, Account& account);

} // namespace qm
