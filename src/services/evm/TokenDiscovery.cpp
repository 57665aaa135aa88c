#include "services/evm/TokenDiscovery.h"

#include "core/crypto/Keccak.h"
#include "core/crypto/UInt256.h"
#include "core/encoding/AsciiCase.h"
#include "core/encoding/Hex.h"
#include "services/evm/ERC20.h"
#include "services/evm/ERC20Resolver.h"
#include "services/evm/JSONRPCClient.h"

#include <QPointer>
#include <cstdio>
#include <set>

namespace qm {
namespace {

// How far back the log scan looks.
constexpr std::uint64_t logWindowBlocks = 50'000;

std::set<std::string> storedAddresses(const TokenStore& store, Chain chain) {
    std::set<std::string> addresses;
    for (const Token& token : store.tokens(chain)) {
        addresses.insert(lowercaseASCII(token.contractAddress));
    }
    return addresses;
}

std::string quantityText(std::uint64_t value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(value));
    return buffer;
}

bool added(TokenStore::AddResult result) {
    return result != TokenStore::AddResult::duplicate;
}

// The balance of a known token, or absent when the read failed or is unusable.
QCoro::Task<std::optional<UInt256>> knownTokenBalance(std::shared_ptr<JSONRPCClient> client,
                                                      std::string tokenAddress, Bytes owner,
                                                      CancellationToken cancel) {
    Bytes data = balanceOfSelector();
    data.insert(data.end(), 12, 0);
    data.insert(data.end(), owner.begin(), owner.end());
    std::string result;
    try {
        result =
            co_await client->ethCall(std::move(tokenAddress), bytesToHex(data), std::move(cancel));
    } catch (const std::exception&) {
        co_return std::nullopt;
    }
    const auto bytes = hexToBytes(result);
    if (!bytes || bytes->size() < 32) {
        co_return std::nullopt;
    }
    co_return UInt256::fromBigEndianBytes(ByteView(*bytes).first(32));
}

QCoro::Task<std::optional<Token>> tryResolve(std::string contract, Chain chain,
                                             std::shared_ptr<JSONRPCClient> client,
                                             CancellationToken cancel) {
    try {
        co_return co_await ERC20Resolver::resolve(std::move(contract), chain, std::move(client),
                                                  std::move(cancel));
    } catch (const std::exception&) {
        co_return std::nullopt;
    }
}

} // namespace

const std::map<Chain, std::vector<KnownToken>>& knownTokensByChain() {
    static const std::map<Chain, std::vector<KnownToken>> tokens = {
        {Chain::ethereum,
         {
             {"0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "USDC", "USD Coin", 6},
             {"0xdAC17F958D2ee523a2206206994597C13D831ec7", "USDT", "Tether USD", 6},
             {"0x6B175474E89094C44Da98b954EedeAC495271d0F", "DAI", "Dai Stablecoin", 18},
             {"0xC02aaA39b223FE8D0A0e5C4F27eAD9083C756Cc2", "WETH", "Wrapped Ether", 18},
             {"0x2260FAC5E5542a773Aa44fBCfeDf7C193bc2C599", "WBTC", "Wrapped BTC", 8},
             {"0x514910771AF9Ca656af840dff83E8264EcF986CA", "LINK", "Chainlink", 18},
             {"0x1f9840a85d5aF5bf1D1762F925BDADdC4201F984", "UNI", "Uniswap", 18},
             {"0x7Fc66500c84A76Ad7e9c93437bFc5Ac33E2DDaE9", "AAVE", "Aave", 18},
         }},
        {Chain::arbitrum,
         {
             {"0xaf88d065e77c8cC2239327C5EDb3A432268e5831", "USDC", "USD Coin", 6},
             {"0xFF970A61A04b1cA14834A43f5dE4533eBDDB5CC8", "USDC.e", "Bridged USDC", 6},
             {"0xFd086bC7CD5C481DCC9C85ebE478A1C0b69FCbb9", "USDT", "Tether USD", 6},
             {"0xDA10009cBd5D07dd0CeCc66161FC93D7c9000da1", "DAI", "Dai Stablecoin", 18},
             {"0x82aF49447D8a07e3bd95BD0d56f35241523fBab1", "WETH", "Wrapped Ether", 18},
             {"0x2f2a2543B76A4166549F7aaB2e75Bef0aefC5B0f", "WBTC", "Wrapped BTC", 8},
             {"0x912CE59144191C1204E64559FE8253a0e49E6548", "ARB", "Arbitrum", 18},
             {"0xf97f4df75117a78c1A5a0DBb814Af92458539FB4", "LINK", "Chainlink", 18},
             {"0xFa7F8980b0f1E64A2062791cc3b0871572f1F7f0", "UNI", "Uniswap", 18},
             {"0x539bdE0d7Dbd336b79148AA742883198BBF60342", "MAGIC", "Magic", 18},
             {"0xfc5A1A6EB076a2C7aD06eD22C90d7E710E35ad0a", "GMX", "GMX", 18},
         }},
        {Chain::polygon,
         {
             {"0x3c499c542cEF5E3811e1192ce70d8cC03d5c3359", "USDC", "USD Coin", 6},
             {"0x2791Bca1f2de4661ED88A30C99A7a9449Aa84174", "USDC.e", "Bridged USDC", 6},
             {"0xc2132D05D31c914a87C6611C10748AEb04B58e8F", "USDT", "Tether USD", 6},
             {"0x8f3Cf7ad23Cd3CaDbD9735AFf958023239c6A063", "DAI", "Dai Stablecoin", 18},
             {"0x7ceB23fD6bC0adD59E62ac25578270cFf1b9f619", "WETH", "Wrapped Ether", 18},
             {"0x1BFD67037B42Cf73acF2047067bd4F2C47D9BfD6", "WBTC", "Wrapped BTC", 8},
             {"0x53E0bca35eC356BD5ddDFebbD1Fc0fD03FaBad39", "LINK", "Chainlink", 18},
             {"0xb33EaAd8d922B1083446DC23f610c2567fB5180f", "UNI", "Uniswap", 18},
             {"0xBbba073C31bF03b8ACf7c28EF0738DeCF3695683", "SAND", "The Sandbox", 18},
         }},
    };
    return tokens;
}

const std::string& transferEventTopic() {
    static const std::string topic =
        bytesToHex(keccak256(utf8View("Transfer(address,address,uint256)")));
    return topic;
}

QCoro::Task<std::vector<std::string>>
JSONRPCClient::incomingTransferContracts(std::string owner, CancellationToken cancel) {
    const QPointer<JSONRPCClient> self(this);
    std::uint64_t latest = 0;
    try {
        nlohmann::json params = nlohmann::json::array({"latest", false});
        const ETHBlock block =
            co_await call<ETHBlock>(std::string("eth_getBlockByNumber"), std::move(params), cancel);
        const auto number = hexToUInt64(block.number);
        if (!number || *number == 0) {
            co_return std::vector<std::string>{};
        }
        latest = *number;
    } catch (const std::exception&) {
        co_return std::vector<std::string>{};
    }
    if (!self) {
        co_return std::vector<std::string>{};
    }

    std::string ownerDigits = lowercaseASCII(std::move(owner));
    if (ownerDigits.starts_with("0x")) {
        ownerDigits.erase(0, 2);
    }
    nlohmann::json filter = nlohmann::json::object();
    filter["fromBlock"] = quantityText(latest >= logWindowBlocks ? latest - logWindowBlocks : 0);
    filter["toBlock"] = "latest";
    // Any contract, any sender, recipient = owner.
    filter["topics"] = nlohmann::json::array(
        {transferEventTopic(), nullptr, "0x" + std::string(24, '0') + ownerDigits});

    std::vector<ETHLog> logs;
    try {
        nlohmann::json params = nlohmann::json::array({std::move(filter)});
        logs = co_await call<std::vector<ETHLog>>(std::string("eth_getLogs"), std::move(params),
                                                  cancel);
    } catch (const std::exception&) {
        co_return std::vector<std::string>{};
    }

    std::vector<std::string> contracts;
    std::set<std::string> seen;
    for (const ETHLog& log : logs) {
        if (!log.address) {
            continue;
        }
        std::string address = lowercaseASCII(*log.address);
        if (!address.starts_with("0x")) {
            address.insert(0, "0x");
        }
        if (seen.insert(address).second) {
            contracts.push_back(std::move(address));
        }
    }
    co_return contracts;
}

QCoro::Task<int> discoverTokens(std::string owner, Chain chain,
                                std::shared_ptr<JSONRPCClient> client, TokenStore& store,
                                CancellationToken cancel) {
    int count = 0;
    std::set<std::string> stored = storedAddresses(store, chain);

    const auto known = knownTokensByChain().find(chain);
    if (known != knownTokensByChain().end()) {
        for (const KnownToken& token : known->second) {
            if (stored.contains(lowercaseASCII(token.contractAddress))) {
                continue;
            }
            const auto ownerBytes = hexToBytes(owner);
            if (!ownerBytes || ownerBytes->size() != 20) {
                continue;
            }
            const auto balance =
                co_await knownTokenBalance(client, token.contractAddress, *ownerBytes, cancel);
            if (!balance || *balance == UInt256()) {
                continue;
            }
            if (added(store.add(Token{token.contractAddress, token.symbol, token.name,
                                      token.decimals, chain}))) {
                ++count;
            }
        }
    }

    const std::vector<std::string> received =
        co_await client->incomingTransferContracts(owner, cancel);
    if (received.empty()) {
        co_return count;
    }
    stored = storedAddresses(store, chain);
    for (const std::string& contract : received) {
        if (stored.contains(lowercaseASCII(contract))) {
            continue;
        }
        const auto token = co_await tryResolve(contract, chain, client, cancel);
        if (token && added(store.add(*token))) {
            ++count;
        }
    }
    co_return count;
}

} // namespace qm
