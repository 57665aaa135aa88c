#include "core/model/Chain.h"

#include "core/model/JSONFields.h"

#include <nlohmann/json.hpp>

namespace qm {
namespace {

struct ChainInfo {
    std::string rawValue;
    std::string displayName;
    std::string nativeSymbol;
    int nativeDecimals;
    std::uint64_t evmChainID;
    std::string accountIDPrefix;
};

const ChainInfo& info(Chain chain) {
    static const std::array<ChainInfo, chainCount> table = {{
        {"bitcoin", "Bitcoin", "BTC", 8, 0, "btc-"},
        {"ethereum", "Ethereum", "ETH", 18, 1, "eth-"},
        {"arbitrum", "Arbitrum", "ETH", 18, 42161, "arb-"},
        {"polygon", "Polygon", "POL", 18, 137, "poly-"},
        {"solana", "Solana", "SOL", 9, 0, "sol-"},
    }};
    return table.at(chainIndex(chain));
}

} // namespace

const std::array<Chain, chainCount>& allChains() {
    static const std::array<Chain, chainCount> chains = {
        Chain::bitcoin, Chain::ethereum, Chain::arbitrum, Chain::polygon, Chain::solana};
    return chains;
}

std::optional<Chain> chainFromRawValue(std::string_view text) {
    for (Chain chain : allChains()) {
        if (info(chain).rawValue == text) {
            return chain;
        }
    }
    return std::nullopt;
}

const std::string& rawValue(Chain chain) {
    return info(chain).rawValue;
}
const std::string& displayName(Chain chain) {
    return info(chain).displayName;
}
const std::string& nativeSymbol(Chain chain) {
    return info(chain).nativeSymbol;
}
int nativeDecimals(Chain chain) {
    return info(chain).nativeDecimals;
}
std::uint64_t evmChainID(Chain chain) {
    return info(chain).evmChainID;
}
std::optional<Chain> evmChainWithID(std::uint64_t chainID) {
    for (Chain chain : allChains()) {
        if (chainID != 0 && info(chain).evmChainID == chainID) {
            return chain;
        }
    }
    return std::nullopt;
}
bool isEVMChain(Chain chain) {
    return evmChainID(chain) != 0;
}
const std::string& accountIDPrefix(Chain chain) {
    return info(chain).accountIDPrefix;
}

std::optional<Chain> chainFromAccountID(std::string_view accountID) {
    for (Chain chain : allChains()) {
        if (accountID.starts_with(info(chain).accountIDPrefix)) {
            return chain;
        }
    }
    return std::nullopt;
}

void to_json(nlohmann::json& json, Chain chain) {
    json = rawValue(chain);
}

void from_json(const nlohmann::json& json, Chain& chain) {
    chain = json_fields::knownValue(chainFromRawValue(json_fields::stringValue(json, "chain")),
                                    "chain");
}

} // namespace qm
