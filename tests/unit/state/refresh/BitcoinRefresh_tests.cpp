// A whole refresh against Electrum is in FullRefresh_tests; here the mended faults.
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
    std::uint32_t index;
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

// A raw transaction in the legacy network serialisation.
std::string rawTransaction(const std::vector<Input>& inputs, const std::vector<Output>& outputs) {
    Bytes tx;
    appendLE(tx, 2, 4);
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
    appendLE(tx, 0, 4);
    return test::hex(tx);
}

std::string hashOf(char c) {
    return std::string(64, c);
}

// A pay-to-pubkey-hash script no test address has.
Bytes strangerScript() {
    return test::unhex("76a914" + std::string(40, '5') + "88ac");
}

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

// Answers balances per script hash (zero for any other), the tip and empty histories.
void answerBalances(test::ElectrumFixture& server, const std::map<std::string, json>& balances) {
    server.answer("blockchain.headers.subscribe", {{"height", 100}, {"hex", "00"}});
    server.answer("blockchain.scripthash.get_history", json::array());
    server.answerRaw("blockchain.scripthash.get_balance", [balances](const json& request) {
        const auto found = balances.find(request["params"][0].get<std::string>());
        const json result =
            found != balances.end() ? found->second : json{{"confirmed", 0}, {"unconfirmed", 0}};
        return std::optional<std::string>(
            json{{"jsonrpc", "2.0"}, {"id", request["id"]}, {"result", result}}.dump() + "\n");
    });
}

} // namespace

TEST(BitcoinTransactionInputs, UnreadableBytesGiveNoOutPoints) {
    const std::string whole = rawTransaction({{hashOf('a'), 0}, {hashOf('b'), 7}}, {pay(1000, 0)});
    ASSERT_TRUE(parseSpentOutputs(whole));
    const std::string broken[] = {"",
                                  whole.substr(0, 90),
                                  whole.substr(0, 170),
                                  "zz" + whole.substr(2),
                                  whole + "0",
                                  "02000000fdffff" + std::string(80, '0')};
    for (const std::string& hex : broken) {
        EXPECT_FALSE(parseSpentOutputs(hex)) << hex;
    }
}

TEST(BitcoinHistory, SpendingOwnOutputsIsSentAndAbsurdValuesAreDropped) {
    TestAccount account;
    const std::string own0 = RefreshFixture::testAddress(0);
    const std::string own1 = RefreshFixture::testAddress(1);
    const std::string funding = hashOf('a');
    account.addRaw(funding, rawTransaction({{hashOf('e'), 3}},
                                           {pay(40'000, 0), pay(900, -1), pay(10'000, 1)}));
    const Transaction received = account.entry(funding, 90, {own0, own1});
    EXPECT_EQ(received.direction, TransactionDirection::received);
    EXPECT_EQ(received.amountRaw, 50'000u);

    // A send with its change back to the spending address: sent, for what left the account.
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

    // Outputs that sum past 2^64, or one above 21 million bitcoin, and impossible heights.
    EXPECT_FALSE(BitcoinRawTransaction::fromHex(
        rawTransaction({{hashOf('e'), 0}}, {pay(maxMoneySats, 0), pay(maxMoneySats + 1, 1)})));
    EXPECT_EQ(account.entry(funding, 120, {own0}).confirmations, 0); // server tip lags
    BitcoinHistoryReferences references;
    references.add({hashOf('1'), std::numeric_limits<std::int64_t>::max(), std::nullopt}, "a");
    references.add({hashOf('2'), 7, std::nullopt}, "a");
    EXPECT_EQ(references.hashes, std::vector<std::string>{hashOf('2')});
}

TEST(BitcoinRefresh, AddressesAddedOrRemovedDuringThePassSurvive) {
    RefreshFixture env;
    env.setBitcoinAddresses({0, 1, 2});
    std::map<std::string, json> balances;
    for (int key : {0, 1, 2, 3}) {
        balances[RefreshFixture::testScriptHash(key)] = {{"confirmed", 1000 * (key + 1)},
                                                         {"unconfirmed", 0}};
    }
    answerBalances(env.electrum(), balances);
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
    auto older = env.state().bitcoinAccounts();
    older[0].addresses[1].balanceSats = 777;
    older[0].addresses[0].txCount = 9;
    older[0].balanceSats = 777;
    older[0].balanceLoad.end(false);
    env.state().setBitcoinAccounts(older);
    // Address 1: more than all bitcoin there is, dropped like a failure, never summed.
    answerBalances(env.electrum(),
                   {{RefreshFixture::testScriptHash(0), {{"confirmed", 5'000}, {"unconfirmed", 0}}},
                    {RefreshFixture::testScriptHash(1),
                     {{"confirmed", 18'000'000'000'000'000'000u}, {"unconfirmed", 0}}}});
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
    // A sum without address 1 is no balance of the account: the last known one stays, said
    // to be old.
    EXPECT_EQ(account.balanceSats, 777u);
    EXPECT_EQ(account.balanceLoad, (BalanceLoad{true, true}));

    // The history job never reconnects: stalled histories keep the older rows, marked as not
    // loaded, and ask for no raw transactions. An answer loads it again.
    const std::string id = env.state().bitcoinAccounts().at(0).id();
    env.state().updateBitcoinAccount(
        0, id, [](BTCAccountState& a) { a.transactions.emplace_back().id = "older"; });
    runTask(refreshBitcoinHistory({&env.state(), {}}));
    ASSERT_EQ(env.state().bitcoinAccounts().at(0).transactions.size(), 1u);
    EXPECT_EQ(env.state().bitcoinAccounts().at(0).transactions[0].id, "older");
    EXPECT_TRUE(env.state().bitcoinAccounts().at(0).historyLoadFailed);
    EXPECT_EQ(env.electrum().connectionCount(), 2);
    EXPECT_EQ(env.electrum().requestCount("blockchain.transaction.get"), 0);
    env.electrum().answer("blockchain.scripthash.get_history", json::array());
    runTask(refreshBitcoinHistory({&env.state(), {}}));
    EXPECT_TRUE(env.state().bitcoinAccounts().at(0).transactions.empty());
    EXPECT_FALSE(env.state().bitcoinAccounts().at(0).historyLoadFailed);
}
