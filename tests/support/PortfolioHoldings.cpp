#include "PortfolioHoldings.h"

#include "ExactBalances.h"

#include <array>
#include <utility>

namespace qm::test {
namespace {

// A few names, so rows and discs differ.
constexpr std::array<const char*, 6> symbols{"USDC", "LINK", "UNI", "AAVE", "WBTC", "DAI"};
constexpr std::array<const char*, 6> names{"USD Coin", "Chainlink",       "Uniswap",
                                           "Aave",     "Wrapped Bitcoin", "Dai Stablecoin"};

std::optional<double> priceOf(std::size_t i) {
    if (i % 3 == 2) {
        return std::nullopt;
    }
    return 1.0 + static_cast<double>(i % 7);
}

std::vector<TokenBalance> evmTokens(Chain chain, std::size_t count) {
    std::vector<TokenBalance> tokens;
    for (std::size_t i = 0; i < count; ++i) {
        TokenBalance token = evmToken(
            "0x" + std::to_string(static_cast<int>(chain)) + std::to_string(1000 + i),
            symbols[i % symbols.size()], names[i % names.size()], 12'500'000 * (i + 1), priceOf(i));
        token.token.chain = chain;
        tokens.push_back(std::move(token));
    }
    return tokens;
}

} // namespace

TokenBalance evmToken(std::string address, std::string symbol, std::string name,
                      std::uint64_t amount, std::optional<double> price) {
    TokenBalance result;
    result.token.contractAddress = std::move(address);
    result.token.symbol = std::move(symbol);
    result.token.name = std::move(name);
    result.token.decimals = 6;
    const Amount exact{UInt256(0, 0, 0, amount), 6};
    result.balance = exact.value.description();
    result.balanceFormatted = exact.toDouble();
    result.priceUSD = price;
    return result;
}

SPLTokenBalance splToken(std::string mint, std::string symbol, std::string name,
                         std::uint8_t decimals, std::uint64_t amount, std::optional<double> price) {
    SPLTokenBalance result;
    result.mint = std::move(mint);
    result.symbol = std::move(symbol);
    result.name = std::move(name);
    result.decimals = decimals;
    result.amount = amount;
    result.priceUSD = price;
    return result;
}

void giveHoldings(AppState& state, std::size_t tokensPerAccount) {
    state.updateBitcoinAccount(0, "btc-0", [](BTCAccountState& account) {
        account.balanceSats = 4'218'000;
        account.balanceLoad.end(false);
    });
    const std::array<std::pair<Chain, const char*>, 3> evm{
        {{Chain::ethereum, "1.25"}, {Chain::arbitrum, "0.4"}, {Chain::polygon, "310"}}};
    for (const auto& entry : evm) {
        const Chain chain = entry.first;
        const char* balance = entry.second;
        const std::string id = state.evmAccounts(chain).at(0).id();
        state.updateEVMAccount(chain, 0, id, [&](EVMAccountState& account) {
            setNativeBalance(account, balance);
            account.tokens = evmTokens(chain, tokensPerAccount);
        });
    }
    state.updateSolanaAccount(0, "sol-0", [tokensPerAccount](SolanaAccountState& account) {
        account.balanceLamports = 18'500'000'000;
        account.balanceLoad.end(false);
        account.tokens.clear();
        for (std::size_t i = 0; i < tokensPerAccount; ++i) {
            account.tokens.push_back(
                splToken("Mint" + std::to_string(i), symbols[(i + 3) % symbols.size()],
                         names[(i + 3) % names.size()], 6, 2'500'000 * (i + 1), priceOf(i)));
        }
    });
    state.setBtcPriceUSD(97'123.45);
    state.setEthPriceUSD(3'412.8);
    state.setSolPriceUSD(171.2);
    state.setChainPrices({{Chain::bitcoin, {97'123.45, 1.25}},
                          {Chain::ethereum, {3'412.8, -0.8}},
                          {Chain::arbitrum, {0.92, 2.1}},
                          {Chain::polygon, {0.41, -3.3}},
                          {Chain::solana, {171.2, 4.6}}});
}

} // namespace qm::test
