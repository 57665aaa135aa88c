// The Bitcoin jobs against the Electrum fixture, and the history entries they build from
// raw transactions.
#include "RefreshFixture.h"
#include "RunTask.h"
#include "TestHex.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "state/refresh/BitcoinHistory.h"
#include "state/refresh/BitcoinRefresh.h"
#include "state/refresh/BitcoinTransactionInputs.h"

#include <gtest/gtest.h>

using namespace qm;
using qm::test::RefreshFixture;
using qm::test::runTask;
using json = nlohmann::json;

namespace {

struct Input {
    std::string txHash; // display order
    std::uint32_t index = 0;
};
struct Output {
    std::uint64_t value = 0;
    Bytes script;
};

void appendLE(Bytes& out, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// A raw transaction in the network serialisation (segwit with one witness item per input).
std::string rawTransaction(const std::vector<Input>& inputs, const std::vector<Output>& outputs,
                           bool segwit = true) {
    Bytes tx;
    appendLE(tx, 2, 4);
    if (segwit) {
        tx.push_back(0x00);
        tx.push_back(0x01);
    }
    tx.push_back(static_cast<std::uint8_t>(inputs.size()));
    for (const Input& input : inputs) {
        Bytes hash = test::unhex(input.txHash);
        tx.insert(tx.end(), hash.rbegin(), hash.rend());
        appendLE(tx, input.index, 4);
        tx.push_back(0x00); // empty script
        appendLE(tx, 0xfffffffd, 4);
    }
    tx.push_back(static_cast<std::uint8_t>(outputs.size()));
    for (const Output& output : outputs) {
        appendLE(tx, output.value, 8);
        tx.push_back(static_cast<std::uint8_t>(output.script.size()));
        tx.insert(tx.end(), output.script.begin(), output.script.end());
    }
    if (segwit) {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            tx.push_back(0x01);
            tx.push_back(0x21);
            Bytes key = RefreshFixture::testKey(99);
            tx.insert(tx.end(), key.begin(), key.end());
        }
    }
    appendLE(tx, 0, 4);
    return test::hex(tx);
}

std::string hashOf(char c) {
    return std::string(64, c);
}

// A pay-to-pubkey-hash script no test address has.
Bytes strangerScript() {
    Bytes script{0x76, 0xa9, 0x14};
    script.insert(script.end(), 20, 0x55);
    script.push_back(0x88);
    script.push_back(0xac);
    return script;
}

// An output paying test key `key`, or a stranger for -1.
Output pay(std::uint64_t value, int key) {
    return {value, key >= 0 ? RefreshFixture::testOutputScript(key) : strangerScript()};
}

struct TestAccount {
    BitcoinHistoryContext context;

    TestAccount() {
        for (int key : {0, 1, 2}) {
            context.ownAddresses.insert(RefreshFixture::testAddress(key));
        }
        context.tip = 100;
        context.now = Date{1'000'000};
    }
    void addRaw(const std::string& hash, const std::string& hex) {
        auto parsed = BitcoinRawTransaction::fromHex(hex);
        ASSERT_TRUE(parsed);
        context.rawTransactions.emplace(hash, *parsed);
    }
    Transaction entry(const std::string& hash, std::int64_t height,
                      std::set<std::string> involved) const {
        return bitcoinTransaction(hash, ElectrumTxRef{hash, height, std::nullopt}, involved,
                                  context);
    }
};

// Scripted per script hash: balances, histories and raw transactions of a small account.
struct ScriptedServer {
    std::map<std::string, json> balances, histories, raw;

    // Each method answers from its table, else with its fallback; no fallback is an error.
    void install(test::ElectrumFixture& server) {
        server.answer("blockchain.headers.subscribe", {{"height", 100}, {"hex", "00"}});
        const std::tuple<const char*, std::map<std::string, json>*, std::optional<json>> methods[] =
            {{"blockchain.scripthash.get_balance", &balances,
              json{{"confirmed", 0}, {"unconfirmed", 0}}},
             {"blockchain.scripthash.get_history", &histories, json::array()},
             {"blockchain.transaction.get", &raw, std::nullopt}};
        for (const auto& [method, table, fallback] : methods) {
            server.answerRaw(method, [table, fallback](const json& request) {
                json reply = {{"jsonrpc", "2.0"}, {"id", request["id"]}};
                const auto found = table->find(request["params"][0].get<std::string>());
                if (found != table->end() || fallback) {
                    reply["result"] = found != table->end() ? found->second : *fallback;
                } else {
                    reply["error"] = {{"code", 2}, {"message", "missing"}};
                }
                return std::optional<std::string>(reply.dump() + "\n");
            });
        }
    }
};

} // namespace

TEST(BitcoinTransactionInputs, ReadsOutPointsOfLegacyAndSegwitForms) {
    const std::vector<Input> inputs{{hashOf('a'), 0}, {"00" + std::string(60, '1') + "ff", 7}};
    const std::vector<Output> outputs{pay(1000, 0)};
    for (bool segwit : {true, false}) {
        const auto spent = parseSpentOutputs(rawTransaction(inputs, outputs, segwit));
        ASSERT_TRUE(spent);
        ASSERT_EQ(spent->size(), 2u);
        EXPECT_EQ((*spent)[0], (BitcoinOutPoint{hashOf('a'), 0}));
        EXPECT_EQ((*spent)[1], (BitcoinOutPoint{"00" + std::string(60, '1') + "ff", 7}));
        // The outputs of the same bytes read as the service's parser reads them.
        const auto parsed =
            BTCTransactionParser::parseOutputs(rawTransaction(inputs, outputs, segwit));
        ASSERT_EQ(parsed.size(), 1u);
        EXPECT_EQ(parsed[0].address, RefreshFixture::testAddress(0));
    }
    // Bitcoin's genesis coinbase: one input spending the null out-point 0xffffffff.
    const std::string genesis =
        "01000000010000000000000000000000000000000000000000000000000000000000000000ffffffff4d04"
        "ffff001d0104455468652054696d65732030332f4a616e2f32303039204368616e63656c6c6f72206f6e20"
        "6272696e6b206f66207365636f6e64206261696c6f757420666f722062616e6b73ffffffff0100f2052a01"
        "000000434104678afdb0fe5548271967f1a67130b7105cd6a828e03909a67962e0ea1f61deb649f6bc3f4c"
        "ef38c4f35504e51ec112de5c384df7ba0b8d578a4c702b6bf11d5fac00000000";
    const auto coinbase = parseSpentOutputs(genesis);
    ASSERT_TRUE(coinbase);
    ASSERT_EQ(coinbase->size(), 1u);
    EXPECT_EQ((*coinbase)[0], (BitcoinOutPoint{std::string(64, '0'), 0xffffffffu}));

    // Truncated anywhere in the inputs, not hex, odd length, or an absurd input count: absent.
    const std::string whole = rawTransaction(inputs, outputs, false);
    for (std::size_t cut : {0u, 90u, 170u}) {
        EXPECT_FALSE(parseSpentOutputs(whole.substr(0, cut))) << cut;
    }
    EXPECT_FALSE(parseSpentOutputs("zz" + whole.substr(2)));
    EXPECT_FALSE(parseSpentOutputs(whole + "0"));
    EXPECT_FALSE(parseSpentOutputs("02000000fdffff" + std::string(80, '0')));
}

TEST(BitcoinHistory, ConfirmationsStatusAndTimeFollowTipAndHeight) {
    TestAccount account;
    const std::string hex = rawTransaction({{hashOf('f'), 0}}, {pay(150, 0)});
    for (char c : {'1', '2', '3', '4'}) {
        account.addRaw(hashOf(c), hex);
    }
    const std::set<std::string> involved{RefreshFixture::testAddress(0)};

    const Transaction six = account.entry(hashOf('1'), 95, involved);
    EXPECT_EQ(six.confirmations, 6);
    EXPECT_EQ(six.status, TransactionStatus::confirmed);
    ASSERT_TRUE(six.timestamp);
    EXPECT_EQ(six.timestamp->secondsSinceReferenceDate, 1'000'000 - 5 * 600);

    const Transaction five = account.entry(hashOf('2'), 96, involved);
    EXPECT_EQ(five.confirmations, 5);
    EXPECT_EQ(five.status, TransactionStatus::pending);

    // A lagging server (tip below the height): no negative count.
    const Transaction ahead = account.entry(hashOf('3'), 120, involved);
    EXPECT_EQ(ahead.confirmations, 0);
    EXPECT_EQ(ahead.status, TransactionStatus::pending);

    // In the mempool: no height, no confirmations, no time; the amount is still known.
    const Transaction mempool = account.entry(hashOf('4'), 0, involved);
    EXPECT_FALSE(mempool.blockHeight);
    EXPECT_EQ(mempool.confirmations, 0);
    EXPECT_FALSE(mempool.timestamp);
    EXPECT_EQ(mempool.amount, "0.00000150 BTC");
    EXPECT_EQ(mempool.amountRaw, 150u);

    // A reference with an impossible height is dropped, not wrapped into a count.
    BitcoinHistoryReferences references;
    references.add({hashOf('1'), std::numeric_limits<std::int64_t>::max(), std::nullopt}, "a");
    references.add({hashOf('2'), 7, std::nullopt}, "a");
    EXPECT_EQ(references.hashes, std::vector<std::string>{hashOf('2')});
}

TEST(BitcoinHistory, DirectionAndAmounts) {
    TestAccount account;
    const std::string own0 = RefreshFixture::testAddress(0);
    const std::string own1 = RefreshFixture::testAddress(1);

    // Received from outside, paying two addresses of the account: one entry, both summed.
    const std::string funding = hashOf('a');
    account.addRaw(funding, rawTransaction({{hashOf('e'), 3}},
                                           {pay(40'000, 0), pay(900, -1), pay(10'000, 1)}));
    const Transaction received = account.entry(funding, 90, {own0, own1});
    EXPECT_EQ(received.direction, TransactionDirection::received);
    EXPECT_EQ(received.amountRaw, 50'000u);
    EXPECT_EQ(received.amount, "0.00050000 BTC");
    EXPECT_EQ(received.to, own0);
    EXPECT_EQ(received.from, BTCTransactionParser::address(strangerScript()));

    // An ordinary send from the first address with the change back to it: it spends the
    // account's output, so it is sent, for the amount that left the account.
    const std::string payment = hashOf('b');
    account.addRaw(payment, rawTransaction({{funding, 0}}, {pay(25'000, -1), pay(14'000, 0)}));
    const Transaction sent = account.entry(payment, 95, {own0});
    EXPECT_EQ(sent.direction, TransactionDirection::sent);
    EXPECT_EQ(sent.amountRaw, 25'000u);
    EXPECT_EQ(sent.from, own0);
    EXPECT_EQ(sent.to, BTCTransactionParser::address(strangerScript()));

    // Spending from an account address that is not among the outputs, all paid to the account.
    const std::string consolidation = hashOf('c');
    account.addRaw(consolidation, rawTransaction({{funding, 2}}, {pay(9'000, 2)}));
    const Transaction internal =
        account.entry(consolidation, 96, {own1, RefreshFixture::testAddress(2)});
    EXPECT_EQ(internal.direction, TransactionDirection::sent);
    EXPECT_EQ(internal.amountRaw, 0u);
    EXPECT_EQ(internal.to, "");

    // No raw transaction: received, "? BTC", status as usual.
    const Transaction unknown = account.entry(hashOf('d'), 90, {own0});
    EXPECT_EQ(unknown.direction, TransactionDirection::received);
    EXPECT_EQ(unknown.amount, "? BTC");
    EXPECT_EQ(unknown.status, TransactionStatus::confirmed);

    // Outputs that sum past 2^64, or one above 21 million bitcoin: not believed.
    const std::string absurd =
        rawTransaction({{hashOf('e'), 0}}, {pay(maxMoneySats, 0), pay(maxMoneySats + 1, 1)});
    EXPECT_FALSE(BitcoinRawTransaction::fromHex(absurd));
    EXPECT_EQ(bitcoinAmountText(maxMoneySats), "21000000.00000000 BTC");
}

TEST(BitcoinHistory, PendingFirstThenHighestBlock) {
    auto entry = [](const std::string& id, TransactionStatus status,
                    std::optional<std::int64_t> height) {
        Transaction t;
        t.id = id;
        t.status = status;
        t.blockHeight = height;
        return t;
    };
    using S = TransactionStatus;
    std::vector<Transaction> history{
        entry("old", S::confirmed, 10),    entry("p-low", S::pending, 96),
        entry("new", S::confirmed, 90),    entry("mempool", S::pending, std::nullopt),
        entry("p-high", S::pending, 98),   entry("same-a", S::confirmed, 50),
        entry("same-b", S::confirmed, 50),
    };
    sortBitcoinHistory(history);
    std::vector<std::string> order;
    for (const Transaction& t : history) {
        order.push_back(t.id);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"mempool", "p-high", "p-low", "new", "same-a",
                                               "same-b", "old"}));
}

TEST(BitcoinRefresh, BalancesAndHistoryLandInTheAccount) {
    RefreshFixture env;
    env.setBitcoinAddresses({0, 1});
    const std::string sh0 = RefreshFixture::testScriptHash(0);
    const std::string sh1 = RefreshFixture::testScriptHash(1);
    ScriptedServer chain;
    chain.balances[sh0] = {{"confirmed", 40'000}, {"unconfirmed", 9'999}}; // mempool not counted
    chain.balances[sh1] = {{"confirmed", 10'000}, {"unconfirmed", 0}};
    // a: a payment to both addresses; b: a send from address 0 with its
    // change back to address 0 (in the mempool); c: its raw form is missing.
    chain.histories[sh0] = json::array({{{"tx_hash", hashOf('a')}, {"height", 95}},
                                        {{"tx_hash", hashOf('b')}, {"height", 0}, {"fee", 200}},
                                        {{"tx_hash", hashOf('c')}, {"height", 97}}});
    chain.histories[sh1] = json::array({{{"tx_hash", hashOf('a')}, {"height", 95}}});
    chain.raw[hashOf('a')] =
        rawTransaction({{hashOf('9'), 0}}, {pay(40'000, 0), pay(10'000, 1), pay(5, -1)});
    chain.raw[hashOf('b')] = rawTransaction({{hashOf('a'), 0}}, {pay(30'000, -1), pay(9'800, 0)});
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

    ASSERT_EQ(account.transactions.size(), 3u);
    const Transaction& b = account.transactions[0];
    EXPECT_EQ(b.txHash, hashOf('b'));
    EXPECT_EQ(b.direction, TransactionDirection::sent);
    EXPECT_EQ(b.status, TransactionStatus::pending);
    const Transaction& c = account.transactions[1];
    EXPECT_EQ(c.txHash, hashOf('c'));
    EXPECT_EQ(c.amount, "? BTC");
    const Transaction& a = account.transactions[2];
    EXPECT_EQ(a.direction, TransactionDirection::received);
    EXPECT_EQ(a.amountRaw, 50'000u); // one entry for both addresses
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
