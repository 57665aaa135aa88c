// What the account screen's lists say while their first load runs, over whole refreshes with
// short limits: loading, then rows, empty or failed; against servers that accept and never
// answer, failed once the limit has passed, however many servers the pools still have to try
// (and the balances with them); and past the limit, only the lists still loading.

#include "RefreshFixture.h"
#include "RunTask.h"
#include "core/storage/TokenStore.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/TokenDiscovery.h"
#include "state/AppState.h"
#include "ui/history/TransactionListModel.h"
#include "ui/portfolio/AccountTokensModel.h"
#include "ui/portfolio/PortfolioModel.h"

#include <gtest/gtest.h>
#include <optional>
#include <type_traits>

namespace qm {
namespace {

using test::HttpFixtureRequest;
using test::HttpFixtureResponse;
using test::RefreshFixture;
using json = nlohmann::json;

const std::string evmOwner = "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf";
const std::string solOwner = "9WzDXwBbmkg8ZTbNMqUxvQRAyrZzDsGYdLVL9zYtAWWM";

// What a list shows, as the screen chooses it.
template <typename Model> std::string shown(const Model& model) {
    if (model.count() > 0) {
        return "rows";
    }
    if (model.loadFailed()) {
        return "failed";
    }
    return model.loading() ? "loading" : "empty";
}

// Every state a list showed, in order, from its first.
template <typename Model> struct Shown {
    explicit Shown(const Model& model) {
        steps.push_back(shown(model));
        const auto note = [this, &model] {
            if (steps.back() != shown(model)) {
                steps.push_back(shown(model));
            }
        };
        QObject::connect(&model, &Model::countChanged, note);
        QObject::connect(&model, &Model::loadingChanged, note);
        QObject::connect(&model, &Model::loadFailedChanged, note);
    }
    std::vector<std::string> steps;
};

using Steps = std::vector<std::string>;

// An account's list on its screen, with every state it showed.
template <typename Model> struct ListOnScreen {
    ListOnScreen(AppState& state, const std::string& accountID) : model(&state, nullptr) {
        if constexpr (std::is_same_v<Model, AccountTokensModel>) {
            model.setAccountID(accountID);
        } else {
            model.setAccountId(QString::fromStdString(accountID));
        }
        shown.emplace(model);
    }
    const Steps& steps() const { return shown->steps; }

    Model model;
    std::optional<Shown<Model>> shown;
};
using Tokens = ListOnScreen<AccountTokensModel>;
using History = ListOnScreen<TransactionListModel>;

HttpFixtureResponse rpcResult(const json& value) {
    return HttpFixtureResponse::json(
        QByteArray::fromStdString(json{{"jsonrpc", "2.0"}, {"id", 1}, {"result", value}}.dump()));
}

HttpFixtureResponse page(const json& items) {
    return HttpFixtureResponse::json(
        QByteArray::fromStdString(json{{"items", items}, {"next_page_params", nullptr}}.dump()));
}

} // namespace

TEST(LoadingLists, StalledServersReadAsFailedOnceTheLimitHasPassed) {
    RefreshFixture::Setup setup;
    // The lists' limit is the clients' total one; each JSON-RPC pool has six servers, which
    // fail over one after another after 200 ms of silence each.
    setup.httpTimeouts =
        HttpTimeouts{std::chrono::milliseconds(200), std::chrono::milliseconds(400)};
    setup.serversPerPool = 6;
    // Electrum's requests would wait far longer than the test.
    setup.electrumRequestTimeout = std::chrono::minutes(5);
    RefreshFixture env(setup);
    env.setBitcoinAddresses({0});
    env.setEVMAccount(Chain::ethereum, evmOwner);
    env.setSolanaAccount(solOwner);
    env.rpc().setHandler([](const HttpFixtureRequest&) { return HttpFixtureResponse::stalling(); });
    env.web().setHandler([](const HttpFixtureRequest&) { return HttpFixtureResponse::stalling(); });
    for (const char* method : {"blockchain.headers.subscribe", "blockchain.scripthash.get_balance",
                               "blockchain.scripthash.get_history"}) {
        env.electrum().stall(method);
    }

    Tokens tokens(env.state(), "eth-0");
    History ethereum(env.state(), "eth-0");
    History bitcoin(env.state(), "btc-0");
    History solana(env.state(), "sol-0");
    // The balances: unknown all along, and the total with them, never a zero.
    PortfolioModel portfolio(&env.state(), nullptr);
    std::vector<QStringList> totals{{portfolio.totalText(), portfolio.totalNote()}};
    QObject::connect(&portfolio, &PortfolioModel::totalsChanged, [&] {
        if (totals.back() != QStringList{portfolio.totalText(), portfolio.totalNote()}) {
            totals.push_back({portfolio.totalText(), portfolio.totalNote()});
        }
    });
    const auto balancesFailed = [&state = env.state()] {
        return state.bitcoinAccounts().at(0).balanceLoad.failed &&
               state.evmAccounts(Chain::ethereum).at(0).balanceLoad.failed &&
               state.solanaAccounts().at(0).balanceLoad.failed;
    };
    // Where the fail-over stood when the token list failed.
    std::optional<ConnectionPhase> poolWhenFailed;
    QObject::connect(&tokens.model, &AccountTokensModel::loadFailedChanged,
                     [&] { poolWhenFailed = env.state().networkManager().ethPool().phase; });

    CancellationToken token;
    auto pass = env.refresh().refreshAll(token);
    EXPECT_TRUE(RefreshFixture::waitUntil([&] {
        return tokens.model.loadFailed() && ethereum.model.loadFailed() &&
               bitcoin.model.loadFailed() && solana.model.loadFailed() && balancesFailed();
    }));
    for (const auto* steps :
         {&tokens.steps(), &ethereum.steps(), &bitcoin.steps(), &solana.steps()}) {
        EXPECT_EQ(*steps, (Steps{"loading", "failed"}));
    }
    const QString unknown = QStringLiteral("\u2014");
    EXPECT_EQ(totals, (std::vector<QStringList>{{unknown, "Some balances are still loading."},
                                                {unknown, "Some balances could not be loaded."}}));
    // Not after the whole pool was tried: the servers' time-outs one after another do not add
    // up against the list.
    ASSERT_TRUE(poolWhenFailed);
    EXPECT_NE(*poolWhenFailed, ConnectionPhase::allFailed);

    token.cancel();
    test::runTask(std::move(pass));
}

// One account's tokens answer, another's stall: past the limit only the list still loading
// reads as failed, and the one that had loaded keeps its rows.
TEST(LoadingLists, PastTheLimitOnlyAListStillLoadingReadsAsFailed) {
    RefreshFixture::Setup setup;
    // The limit, and each request's own: the stalled request, sent well after the job began
    // (further than a timer may be off, a twentieth of it), ends only after the limit.
    setup.httpTimeouts = HttpTimeouts{std::chrono::seconds(4), std::chrono::seconds(4)};
    RefreshFixture env(setup);
    const std::string stalledOwner = "0x2b5ad5c4795c026514f8317c7a215e218dccd6cf";
    std::vector<EVMAccountState> accounts(2);
    for (int i = 0; i < 2; ++i) {
        accounts[static_cast<std::size_t>(i)].account = {accountID(Chain::ethereum, i),
                                                         Chain::ethereum, i,
                                                         i == 0 ? evmOwner : stalledOwner, ""};
    }
    env.state().setEVMAccounts(Chain::ethereum, accounts);
    const std::string tokenAddress = "0x00000000000000000000000000000000000c0de1";
    ASSERT_EQ(env.tokens().add(Token{tokenAddress, "TST", "Test", 6, Chain::ethereum}),
              TokenStore::AddResult::added);
    // The built-in tokens stored already: discovery asks nothing about them.
    for (const KnownToken& known : knownTokensByChain().at(Chain::ethereum)) {
        ASSERT_EQ(env.tokens().add(Token{known.contractAddress, known.symbol, known.name,
                                         known.decimals, Chain::ethereum}),
                  TokenStore::AddResult::added);
    }
    // The test token's balance of the first account answers 42 base units, the second's never.
    // The second account's coin balance answers 0.6 s late, so that its stalled request starts
    // that much after the job. Every other read answers zero.
    const QByteArray second = QByteArray::fromStdString(stalledOwner.substr(2));
    env.rpc().setHandler([&](const HttpFixtureRequest& request) {
        const bool call = request.body.contains("eth_call");
        if (call && request.body.contains(QByteArray::fromStdString(tokenAddress))) {
            return request.body.contains(second) ? HttpFixtureResponse::stalling()
                                                 : rpcResult("0x" + std::string(62, '0') + "2a");
        }
        if (call) {
            return rpcResult("0x" + std::string(64, '0'));
        }
        if (request.body.contains("eth_getBalance") && request.body.contains(second)) {
            HttpFixtureResponse late = rpcResult("0x1");
            late.behaviour = HttpFixtureResponse::Behaviour::delay;
            late.delayMs = 600;
            return late;
        }
        const bool number =
            request.body.contains("eth_getBalance") || request.body.contains("eth_gasPrice");
        return rpcResult(number ? json("0x1") : json::array());
    });
    env.web().setHandler([](const HttpFixtureRequest&) { return page(json::array()); });

    Tokens answered(env.state(), "eth-0");
    Tokens stalled(env.state(), "eth-1");
    CancellationToken token;
    auto pass = env.refresh().refreshAll(token);
    EXPECT_TRUE(RefreshFixture::waitUntil([&] { return stalled.model.loadFailed(); }));
    EXPECT_EQ(stalled.steps(), (Steps{"loading", "failed"}));
    EXPECT_EQ(answered.steps(), (Steps{"loading", "rows"}));
    EXPECT_FALSE(answered.model.loadFailed());
    // Both balances came before the tokens: known, neither marked.
    for (const EVMAccountState& account : env.state().evmAccounts(Chain::ethereum)) {
        EXPECT_EQ(account.balanceLoad, (BalanceLoad{true, false})) << account.id();
    }

    token.cancel();
    test::runTask(std::move(pass));
}

TEST(LoadingLists, AnAnswerEndsTheLoadingWithItsRowsOrNone) {
    RefreshFixture env;
    for (const bool holdings : {false, true}) {
        SCOPED_TRACE(holdings ? "rows" : "none");
        env.setEVMAccount(Chain::ethereum, evmOwner); // a new account state: nothing known yet
        // Every balance read answers zero, or 42 base units; the explorer's pages are empty, or
        // hold one transfer.
        env.rpc().setHandler([holdings](const HttpFixtureRequest& request) {
            if (request.body.contains("eth_call")) {
                return rpcResult("0x" + std::string(62, '0') + (holdings ? "2a" : "00"));
            }
            const bool number =
                request.body.contains("eth_getBalance") || request.body.contains("eth_gasPrice");
            return rpcResult(number ? json("0x1") : json::array());
        });
        env.web().setHandler([holdings](const HttpFixtureRequest& request) {
            json items = json::array();
            if (holdings && !request.target.contains("/token-transfers")) {
                items.push_back({{"hash", "0xa1"},
                                 {"from", {{"hash", evmOwner}}},
                                 {"to", {{"hash", "0x00000000000000000000000000000000000000bb"}}},
                                 {"value", "1"},
                                 {"timestamp", "2024-05-01T12:00:00.000000Z"},
                                 {"block_number", 100},
                                 {"status", "ok"},
                                 {"confirmations", 12}});
            }
            return page(items);
        });

        Tokens tokens(env.state(), "eth-0");
        History history(env.state(), "eth-0");
        test::runTask(env.refresh().refreshAll({}));
        const std::string outcome = holdings ? "rows" : "empty";
        EXPECT_EQ(tokens.steps(), (Steps{"loading", outcome}));
        EXPECT_EQ(history.steps(), (Steps{"loading", outcome}));
    }
}

} // namespace qm
