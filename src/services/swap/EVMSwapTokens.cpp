#include "services/swap/EVMSwapTokens.h"

#include "platform/Error.h"

#include <charconv>

namespace qm {

const std::vector<EVMSwapTokens::TokenDef>& EVMSwapTokens::tokens(Chain chain) {
    static const std::vector<TokenDef> ethereum = {
        {"USDC", "USD Coin", "0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", 6},
        {"USDT", "Tether USD", "0xdAC17F958D2ee523a2206206994597C13D831ec7", 6},
        {"DAI", "Dai Stablecoin", "0x6B175474E89094C44Da98b954EedeAC495271d0F", 18},
        {"WBTC", "Wrapped BTC", "0x2260FAC5E5542a773Aa44fBCfeDf7C193bc2C599", 8},
        {"WETH", "Wrapped Ether", "0xC02aaA39b223FE8D0A0e5C4F27eAD9083C756Cc2", 18},
        {"LINK", "Chainlink", "0x514910771AF9Ca656af840dff83E8264EcF986CA", 18},
        {"UNI", "Uniswap", "0x1f9840a85d5aF5bf1D1762F925BDADdC4201F984", 18},
    };
    static const std::vector<TokenDef> arbitrum = {
        {"USDC", "USD Coin", "0xaf88d065e77c8cC2239327C5EDb3A432268e5831", 6},
        {"USDC.e", "Bridged USDC", "0xFF970A61A04b1cA14834A43f5dE4533eBDDB5CC8", 6},
        {"USDT", "Tether USD", "0xFd086bC7CD5C481DCC9C85ebE478A1C0b69FCbb9", 6},
        {"DAI", "Dai Stablecoin", "0xDA10009cBd5D07dd0CeCc66161FC93D7c9000da1", 18},
        {"WBTC", "Wrapped BTC", "0x2f2a2543B76A4166549F7aaB2e75Bef0aefC5B0f", 8},
        {"WETH", "Wrapped Ether", "0x82aF49447D8a07e3bd95BD0d56f35241523fBab1", 18},
        {"ARB", "Arbitrum", "0x912CE59144191C1204E64559FE8253a0e49E6548", 18},
    };
    static const std::vector<TokenDef> polygon = {
        {"USDC", "USD Coin", "0x3c499c542cEF5E3811e1192ce70d8cC03d5c3359", 6},
        {"USDC.e", "Bridged USDC", "0x2791Bca1f2de4661ED88A30C99A7a9449Aa84174", 6},
        {"USDT", "Tether USD", "0xc2132D05D31c914a87C6611C10748AEb04B58e8F", 6},
        {"DAI", "Dai Stablecoin", "0x8f3Cf7ad23Cd3CaDbD9735AFf958023239c6A063", 18},
        {"WBTC", "Wrapped BTC", "0x1BFD67037B42Cf73acF2047067bd4F2C47D9BfD6", 8},
        {"WMATIC", "Wrapped MATIC", "0x0d500B1d8E8eF31E21C99d1Db9A6444d3ADf1270", 18},
    };
    static const std::vector<TokenDef> none;
    switch (chain) {
    case Chain::ethereum:
        return ethereum;
    case Chain::arbitrum:
        return arbitrum;
    case Chain::polygon:
        return polygon;
    case Chain::bitcoin:
    case Chain::solana:
        break;
    }
    return none;
}

const std::string& wrappedNativeAddress(Chain chain) {
    static const std::string ethereum = "0xC02aaA39b223FE8D0A0e5C4F27eAD9083C756Cc2";
    static const std::string arbitrum = "0x82aF49447D8a07e3bd95BD0d56f35241523fBab1";
    static const std::string polygon = "0x0d500B1d8E8eF31E21C99d1Db9A6444d3ADf1270";
    switch (chain) {
    case Chain::ethereum:
        return ethereum;
    case Chain::arbitrum:
        return arbitrum;
    case Chain::polygon:
        return polygon;
    case Chain::bitcoin:
    case Chain::solana:
        break;
    }
    fatalError("wrappedNativeAddress: not an EVM chain");
}

std::optional<std::string> usdcAddress(Chain chain) {
    switch (chain) {
    case Chain::ethereum:
        return "0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48";
    case Chain::arbitrum:
        return "0xaf88d065e77c8cC2239327C5EDb3A432268e5831";
    case Chain::polygon:
        return "0x3c499c542cEF5E3811e1192ce70d8cC03d5c3359";
    case Chain::bitcoin:
    case Chain::solana:
        break;
    }
    return std::nullopt;
}

const std::array<std::vector<std::string>, 3>& stablecoinAddresses() {
    static const std::array<std::vector<std::string>, 3> lists = {{
        {"0xFF970A61A04b1cA14834A43f5dE4533eBDDB5CC8",
         "0x2791Bca1f2de4661ED88A30C99A7a9449Aa84174"},
        {"0xdAC17F958D2ee523a2206206994597C13D831ec7", "0xFd086bC7CD5C481DCC9C85ebE478A1C0b69FCbb9",
         "0xc2132D05D31c914a87C6611C10748AEb04B58e8F"},
        {"0x6B175474E89094C44Da98b954EedeAC495271d0F", "0xDA10009cBd5D07dd0CeCc66161FC93D7c9000da1",
         "0x8f3Cf7ad23Cd3CaDbD9735AFf958023239c6A063"},
    }};
    return lists;
}

std::string feeTierLabel(std::uint64_t fee) {
    switch (fee) {
    case 100:
        return "0.01%";
    case 500:
        return "0.05%";
    case 3000:
        return "0.3%";
    case 10000:
        return "1%";
    default:
        break;
    }
    char buffer[64];
    const double percent = static_cast<double>(fee) / 10000.0;
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, percent, std::chars_format::fixed);
    return std::string(buffer, error == std::errc() ? end : buffer) + "%";
}

} // namespace qm
