#include "state/refresh/EVMRefresh.h"

#include "core/encoding/AsciiCase.h"
#include "core/encoding/Hex.h"
#include "core/storage/TokenStore.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/JSONRPCClient.h"
#include "services/evm/TokenDiscovery.h"
#include "state/TokenPriceLookup.h"
#include "state/refresh/BalanceDeadline.h"
#include "state/refresh/ListDeadline.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>

namespace qm {
namespace {

// The selector of balanceOf(address): the first four bytes of its Keccak-256.
constexpr const char* balanceOfSelector = "70a08231";
constexpr std::size_t addressBytes = 20;
constexpr std::size_t wordBytes = 32;

void setNativeBalance(EVMAccountState& account, const UInt256& wei) {
    account.balanceWei = wei;
    account.balanceNative = weiToCoins(wei);
    account.balanceLoad.end(false);
}

struct AccountRef {
    std::string id;
    std::string address;
};

// The balance entry of `token` from an eth_call result; none when the result is no 32-byte word
// (a contract that answers nothing tells no balance, not a zero).
std::optional<TokenBalance> tokenBalanceFrom(const Token& token, const std::string& result) {
    const std::optional<Bytes> bytes = hexToBytes(result);
    if (!bytes || bytes->size() < wordBytes) {
        return std::nullopt;
    }
    TokenBalance entry;
    entry.token = token;
    const UInt256 value = UInt256::fromBigEndianBytes(ByteView(bytes->data(), wordBytes));
    entry.balance = value.description();
    entry.balanceFormatted = TokenBalance::balanceFormattedFromHex(entry.balance, token.decimals);
    return entry;
}

// The entry of `token` when this run could not read its balance: the last one read, in
// `before`, if any (priced again below); else a balance not known.
TokenBalance unreadTokenBalance(const Token& token, const std::vector<TokenBalance>& before) {
    TokenBalance entry;
    const auto last = std::find_if(before.begin(), before.end(), [&](const TokenBalance& b) {
        return b.token.contractAddress == token.contractAddress && b.balanceKnown;
    });
    if (last != before.end()) {
        entry.balance = last->balance;
        entry.balanceFormatted = last->balanceFormatted;
    } else {
        entry.balanceKnown = false;
    }
    entry.token = token;
    entry.balanceLoadFailed = true;
    return entry;
}

// The account's token list; none when the job is to end. A token whose balance cannot be read
// keeps its last one (see unreadTokenBalance), taken from `before`, the account's list so far.
QCoro::Task<std::optional<std::vector<TokenBalance>>>
tokenBalances(RefreshJob job, std::shared_ptr<JSONRPCClient> client, std::vector<Token> tokens,
              std::string address, std::vector<TokenBalance> before) {
    const std::string data = std::string("0x") + balanceOfSelector + std::string(24, '0') +
                             lowercaseASCII(std::string_view(address).substr(2));
    std::vector<TokenBalance> list;
    for (const Token& token : tokens) {
        if (job.shouldStop()) {
            co_return std::nullopt;
        }
        std::optional<TokenBalance> read;
        try {
            nlohmann::json call = nlohmann::json::object();
            call["to"] = token.contractAddress;
            call["data"] = data;
            nlohmann::json params = nlohmann::json::array();
            params.push_back(std::move(call));
            params.push_back("latest");
            const auto result = co_await untilCancelled(
                client->call<std::string>(std::string("eth_call"), std::move(params), job.token),
                job.token);
            if (!result) {
                co_return std::nullopt;
            }
            read = tokenBalanceFrom(token, *result);
        } catch (const std::exception&) {
            // Not read in this run.
        }
        TokenBalance entry = read ? std::move(*read) : unreadTokenBalance(token, before);
        if (entry.balanceFormatted > 0) {
            if (job.shouldStop()) {
                co_return std::nullopt;
            }
            std::optional<std::optional<double>> price;
            try {
                price = co_await untilCancelled(
                    job.state->tokenPrices().tokenPriceUSD(token, client, job.token), job.token);
            } catch (const std::exception&) {
                entry.priceLoadFailed = true; // listed without a value for this run
                price = std::optional<double>();
            }
            if (!price) {
                co_return std::nullopt;
            }
            entry.priceUSD = *price;
        }
        list.push_back(std::move(entry));
    }
    co_return list;
}

// The token list of the chain's account `index` when it is still `id`; else none.
std::vector<TokenBalance> listedTokens(const AppState& state, Chain chain, std::size_t index,
                                       const std::string& id) {
    const auto& accounts = state.evmAccounts(chain);
    if (index < accounts.size() && accounts[index].id() == id) {
        return accounts[index].tokens;
    }
    return {};
}

// Marks the token lists of the chain's live accounts as not loaded, except those of the
// accounts in `ended`; the rows stay.
void markTokensFailed(AppState& state, Chain chain, const std::set<std::string>& ended = {}) {
    forEachUnended(state.evmAccounts(chain), ended, [&](std::size_t i, const std::string& id) {
        writeEVMAccount(state, chain, i, id, [](EVMAccountState& a) { a.endTokensLoad(true); });
    });
}

// Each balance written, or found not to be loadable, ends on `balances`, the job's deadline.
QCoro::Task<void> retryNativeBalances(RefreshJob job, Chain chain, std::vector<AccountRef> accounts,
                                      ListDeadline& balances) {
    if (job.shouldStop()) {
        co_return;
    }
    NetworkManager& network = job.state->networkManager();
    network.setConnectionPhase(chain, ConnectionPhase::fetchFailed);
    const std::shared_ptr<JSONRPCClient> client =
        co_await network.connectedEVMClient(chain, job.token);
    if (job.shouldStop()) {
        co_return;
    }
    if (!client) {
        balances.expireNow();
        co_return;
    }
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        if (job.shouldStop()) {
            co_return;
        }
        std::optional<UInt256> wei;
        try {
            // Built outside the await: gcc 12 cannot keep an initializer list across one.
            nlohmann::json params = nlohmann::json::array();
            params.push_back(accounts[i].address);
            params.push_back("latest");
            const auto result =
                co_await untilCancelled(client->call<std::string>(std::string("eth_getBalance"),
                                                                  std::move(params), job.token),
                                        job.token);
            if (!result) {
                co_return;
            }
            wei = UInt256::fromHex(*result); // none: "Cannot parse balance"
        } catch (const std::exception&) {
            // No balance: the account is skipped.
        }
        if (job.shouldStop() ||
            !writeEVMAccount(*job.state, chain, i, accounts[i].id, [&](EVMAccountState& a) {
                if (wei) {
                    setNativeBalance(a, *wei);
                } else {
                    a.balanceLoad.end(true); // skipped: its last known balance stays
                }
            })) {
            co_return;
        }
        balances.ended(accounts[i].id);
    }
}

} // namespace

double weiToCoins(const UInt256& wei) {
    const double whole = std::ldexp(static_cast<double>(wei.w0), 192) +
                         std::ldexp(static_cast<double>(wei.w1), 128) +
                         std::ldexp(static_cast<double>(wei.w2), 64) + static_cast<double>(wei.w3);
    return whole / 1e18;
}

QCoro::Task<void> refreshEVMBalances(RefreshJob job, Chain chain) {
    if (job.shouldStop() ||
        (chain != Chain::ethereum && chain != Chain::arbitrum && chain != Chain::polygon)) {
        co_return;
    }
    // The connection, discovery and the balances all count against the lists' limit.
    ListDeadline deadline(listLoadLimit(*job.state),
                          [job, chain](const std::set<std::string>& ended) {
                              if (!job.shouldStop()) {
                                  markTokensFailed(*job.state, chain, ended);
                              }
                          });
    ListDeadline balances = balanceDeadline(job, chain);
    const std::shared_ptr<JSONRPCClient> client =
        co_await job.state->networkManager().connectedEVMClient(chain, job.token);
    if (job.shouldStop()) {
        co_return;
    }
    std::vector<AccountRef> accounts;
    for (const EVMAccountState& account : job.state->evmAccounts(chain)) {
        accounts.push_back({account.id(), account.account.address});
    }
    if (!client) {
        markTokensFailed(*job.state, chain);
        balances.expireNow();
        co_return;
    }

    for (const AccountRef& account : accounts) {
        if (job.shouldStop()) {
            co_return;
        }
        const auto added = co_await untilCancelled(
            discoverTokens(account.address, chain, client, job.state->tokenStore(), job.token),
            job.token);
        if (!added) {
            co_return;
        }
    }

    for (std::size_t i = 0; i < accounts.size(); ++i) {
        if (job.shouldStop()) {
            co_return;
        }
        std::optional<UInt256> wei;
        bool failed = false;
        try {
            wei = co_await untilCancelled(client->getBalance(accounts[i].address, job.token),
                                          job.token);
        } catch (const std::exception&) {
            failed = true;
        }
        if (failed) {
            // The lists of the accounts before this one came in; the others keep their rows.
            for (std::size_t rest = i; rest < accounts.size(); ++rest) {
                writeEVMAccount(*job.state, chain, rest, accounts[rest].id,
                                [](EVMAccountState& a) { a.endTokensLoad(true); });
                deadline.ended(accounts[rest].id);
            }
            co_await retryNativeBalances(job, chain, accounts, balances);
            co_return;
        }
        if (!wei) {
            co_return;
        }
        if (job.shouldStop() ||
            !writeEVMAccount(*job.state, chain, i, accounts[i].id,
                             [&](EVMAccountState& a) { setNativeBalance(a, *wei); })) {
            co_return;
        }
        balances.ended(accounts[i].id);
        const std::vector<Token> tokens = job.state->tokenStore().tokens(chain);
        const std::optional<Bytes> addressBytes20 = hexToBytes(accounts[i].address);
        if (tokens.empty() || !addressBytes20 || addressBytes20->size() != addressBytes) {
            writeEVMAccount(*job.state, chain, i, accounts[i].id,
                            [](EVMAccountState& a) { a.endTokensLoad(false); });
            deadline.ended(accounts[i].id);
            continue;
        }
        std::optional<std::vector<TokenBalance>> list =
            co_await tokenBalances(job, client, tokens, accounts[i].address,
                                   listedTokens(*job.state, chain, i, accounts[i].id));
        if (!list || job.shouldStop() ||
            !writeEVMAccount(*job.state, chain, i, accounts[i].id, [&](EVMAccountState& a) {
                a.tokens = std::move(*list);
                a.endTokensLoad(false);
            })) {
            co_return;
        }
        deadline.ended(accounts[i].id);
    }
}

} // namespace qm
