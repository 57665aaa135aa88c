#include "RefreshFixture.h"
#include "RunTask.h"
#include "TestHex.h"
#include "state/refresh/BitcoinRefresh.h"

#include <functional>
#include <gtest/gtest.h>

using namespace qm;
using qm::test::RefreshFixture;
using qm::test::runTask;
using json = nlohmann::json;

namespace {

std::string hashOf(char c) {
    return std::string(64, c);
}

void appendLE(Bytes& out, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A legacy-form transaction spending `spent` and paying `outputs` (value, test key or -1 for
// a stranger's script).
std::string rawTransaction(const std::string& spent, std::uint32_t index,
                           const std::vector<std::pair<std::uint64_t, int>>& outputs) {
    Bytes tx;
    appendLE(tx, 2, 4);
    tx.push_back(1);
    Bytes hash = test::unhex(spent);
    tx.insert(tx.end(), hash.rbegin(), hash.rend());
    appendLE(tx, index, 4);
    tx.push_back(0);
    appendLE(tx, 0xffffffff, 4);
    tx.push_back(static_cast<std::uint8_t>(outputs.size()));
    for (const auto& [value, key] : outputs) {
        appendLE(tx, value, 8);
        Bytes script = key >= 0 ? RefreshFixture::testOutputScript(key) : Bytes(22, 0x00);
        if (key < 0) {
            script[1] = 0x14;
            std::fill(script.begin() + 2, script.end(), 0x77);
        }
        tx.push_back(static_cast<std::uint8_t>(script.size()));
        tx.insert(tx.end(), script.begin(), script.end());
    }
    appendLE(tx, 0, 4);
    return test::hex(tx);
}

// Scripted per script hash: balances, histories and raw transactions of a small account.
struct ScriptedServer {
    std::map<std::string, json> balances;
    std::map<std::string, json> histories;
    std::map<std::string, std::string> raw;

    // Answers `method` from what `lookup` gives for the first parameter; none is an error.
    static void serve(test::ElectrumFixture& server, const char* method,
                      std::function<std::optional<json>(const std::string&)> lookup) {
        server.answerRaw(method, [lookup](const json& request) {
            json reply = {{"jsonrpc", "2.0"}, {"id", request["id"]}};
            if (const std::optional<json> result = lookup(request["params"][0])) {
                reply["result"] = *result;
            } else {
                reply["error"] = {{"code", 2}, {"message", "missing"}};
            }
            return std::optional<std::string>(reply.dump() + "\n");
        });
    }

    void install(test::ElectrumFixture& server) {
        server.answer("blockchain.headers.subscribe", {{"height", 100}, {"hex", "00"}});
        serve(server, "blockchain.scripthash.get_balance", [this](const std::string& hash) {
            return std::optional<json>(balances.contains(hash)
                                           ? balances[hash]
                                           : json{{"confirmed", 0}, {"unconfirmed", 0}});
        });
        serve(server, "blockchain.scripthash.get_history", [this](const std::string& hash) {
            return std::optional<json>(histories.contains(hash) ? histories[hash] : json::array());
        });
        serve(server, "blockchain.transaction.get", [this](const std::string& hash) {
            return raw.contains(hash) ? std::optional<json>(raw[hash]) : std::nullopt;
        });
    }
};

} // namespace

TEST(BitcoinRefresh, BalancesAndHistoryLandInTheAccount) {
    RefreshFixture env;
    env.setBitcoinAddresses({0, 1});
    const std::string sh0 = RefreshFixture::testScriptHash(0);
    const std::string sh1 = RefreshFixture::testScriptHash(1);
    ScriptedServer chain;
    chain.balances[sh0] = {{"confirmed", 40'000}, {"unconfirmed", 9'999}}; // mempool not counted
    chain.balances[sh1] = {{"confirmed", 10'000}, {"unconfirmed", 0}};
    // a: a payment to both addresses (confirmed, 6 blocks); b: a send from address 0 with its
    // change back to address 0 (in the mempool); c: its raw form is missing.
    chain.histories[sh0] = json::array({{{"tx_hash", hashOf('a')}, {"height", 95}},
                                        {{"tx_hash", hashOf('b')}, {"height", 0}, {"fee", 200}},
                                        {{"tx_hash", hashOf('c')}, {"height", 97}}});
    chain.histories[sh1] = json::array({{{"tx_hash", hashOf('a')}, {"height", 95}}});
    chain.raw[hashOf('a')] = rawTransaction(hashOf('9'), 0, {{40'000, 0}, {10'000, 1}, {5, -1}});
    chain.raw[hashOf('b')] = rawTransaction(hashOf('a'), 0, {{30'000, -1}, {9'800, 0}});
    chain.install(env.electrum());

    runTask(refreshBitcoinBalances({&env.state(), {}}));
    runTask(refreshBitcoinHistory({&env.state(), {}}));

    const BTCAccountState& account = env.state().bitcoinAccounts().at(0);
    EXPECT_EQ(account.balanceSats, 50'000u);
    ASSERT_EQ(account.addresses.size(), 2u);
    EXPECT_EQ(account.addresses[0].balanceSats, 40'000u);
    EXPECT_EQ(account.addresses[0].txCount, 3);
    EXPECT_TRUE(account.addresses[0].fetched);
    EXPECT_EQ(account.addresses[1].balanceSats, 10'000u);
    EXPECT_EQ(account.addresses[1].txCount, 1);
    EXPECT_EQ(env.state().btcBlockHeight(), 100);

    ASSERT_EQ(account.transactions.size(), 3u);
    const Transaction& b = account.transactions[0];
    EXPECT_EQ(b.txHash, hashOf('b'));
    EXPECT_EQ(b.direction, TransactionDirection::sent);
    EXPECT_EQ(b.status, TransactionStatus::pending);
    EXPECT_FALSE(b.blockHeight);
    const Transaction& c = account.transactions[1];
    EXPECT_EQ(c.txHash, hashOf('c'));
    EXPECT_EQ(c.amount, "? BTC");
    EXPECT_EQ(c.confirmations, 4);
    const Transaction& a = account.transactions[2];
    EXPECT_EQ(a.direction, TransactionDirection::received);
    EXPECT_EQ(a.amountRaw, 50'000u);
    EXPECT_EQ(a.confirmations, 6);
    EXPECT_EQ(env.electrum().requestCount("blockchain.transaction.get"), 3);
}

TEST(BitcoinRefresh, AddressesAddedOrRemovedDuringThePassSurvive) {
    RefreshFixture env;
    env.setBitcoinAddresses({0, 1, 2});
    ScriptedServer chain;
    for (int key : {0, 1, 2, 3}) {
        chain.balances[RefreshFixture::testScriptHash(key)] = {{"confirmed", 1000 * (key + 1)},
                                                               {"unconfirmed", 0}};
    }
    chain.install(env.electrum());
    // While the first balance request is out, the user adds address 3 and removes address 2.
    bool changed = false;
    QObject::connect(&env.electrum(), &test::ElectrumFixture::requestReceived, [&] {
        if (changed) {
            return;
        }
        changed = true;
        auto accounts = env.state().bitcoinAccounts();
        accounts[0].addresses.pop_back();
        accounts[0].addresses.push_back(RefreshFixture::testAddressInfo(3, 2));
        env.state().setBitcoinAccounts(accounts);
    });
    runTask(refreshBitcoinBalances({&env.state(), {}}));

    const auto& addresses = env.state().bitcoinAccounts().at(0).addresses;
    ASSERT_EQ(addresses.size(), 3u);
    EXPECT_EQ(addresses[0].balanceSats, 1000u);
    EXPECT_EQ(addresses[1].balanceSats, 2000u);
    EXPECT_EQ(addresses[2].address, RefreshFixture::testAddress(3)); // kept, fetched next pass
    EXPECT_EQ(addresses[2].balanceSats, 0u);
    EXPECT_FALSE(addresses[2].fetched);
    EXPECT_EQ(env.state().bitcoinAccounts().at(0).balanceSats, 3000u);
}

TEST(BitcoinRefresh, FailuresReconnectOnceAndKeepOlderValues) {
    RefreshFixture::Setup setup;
    setup.electrumRequestTimeout = std::chrono::milliseconds(300);
    RefreshFixture env(setup);
    env.setBitcoinAddresses({0, 1});
    {
        auto accounts = env.state().bitcoinAccounts();
        accounts[0].addresses[1].balanceSats = 777;
        accounts[0].addresses[0].txCount = 9;
        env.state().setBitcoinAccounts(accounts);
    }
    ScriptedServer chain;
    chain.balances[RefreshFixture::testScriptHash(0)] = {{"confirmed", 5'000}, {"unconfirmed", 0}};
    // More than all bitcoin there is: dropped like a failure, never summed.
    chain.balances[RefreshFixture::testScriptHash(1)] = {{"confirmed", 18'000'000'000'000'000'000u},
                                                         {"unconfirmed", 0}};
    chain.install(env.electrum());
    env.electrum().stall("blockchain.scripthash.get_history"); // every history times out

    runTask(refreshBitcoinBalances({&env.state(), {}}));
    const BTCAccountState& account = env.state().bitcoinAccounts().at(0);
    // The first pass failed at the first time-out, reconnected and ran again tolerating them.
    EXPECT_EQ(env.electrum().connectionCount(), 2);
    EXPECT_EQ(env.electrum().requestCount("blockchain.scripthash.get_balance"), 3);
    EXPECT_EQ(account.addresses[0].balanceSats, 5'000u);
    EXPECT_EQ(account.addresses[0].txCount, 9);
    EXPECT_FALSE(account.addresses[0].fetched);
    EXPECT_EQ(account.addresses[1].balanceSats, 777u);
    EXPECT_EQ(account.balanceSats, 5'000u);

    // The history job never reconnects: stalled histories leave an empty list, no raw requests.
    runTask(refreshBitcoinHistory({&env.state(), {}}));
    EXPECT_TRUE(env.state().bitcoinAccounts().at(0).transactions.empty());
    EXPECT_EQ(env.electrum().connectionCount(), 2);
}

TEST(BitcoinRefresh, LockedOrCancelledJobsDoNothing) {
    RefreshFixture env;
    env.setBitcoinAddresses({0});
    ScriptedServer chain;
    chain.install(env.electrum());
    CancellationToken cancelled;
    cancelled.cancel();
    runTask(refreshBitcoinBalances({&env.state(), cancelled}));
    runTask(refreshBitcoinHistory({&env.state(), cancelled}));
    env.state().setIsLocked(true);
    runTask(refreshBitcoinBalances({&env.state(), {}}));
    runTask(refreshBitcoinHistory({&env.state(), {}}));
    EXPECT_EQ(env.electrum().connectionCount(), 0);

    // Locked while the balance request is out: the answer is never written.
    env.state().setIsLocked(false);
    env.electrum().holdAnswers(true);
    auto task = refreshBitcoinBalances({&env.state(), {}});
    ASSERT_TRUE(env.electrum().waitForRequests(1));
    env.state().setIsLocked(true);
    env.electrum().releaseHeld();
    runTask(std::move(task));
    EXPECT_FALSE(env.state().bitcoinAccounts().at(0).addresses[0].fetched);
    EXPECT_EQ(env.electrum().requestCount("blockchain.scripthash.get_history"), 0);
}
