// The Bitcoin send against the Electrum server of tests/peers that keeps a coin set and a
// mempool (bitcoinjs-lib checks every broadcast; a coin is spent once), behind the wallet's
// Electrum fixture, where a test can stand between them: an earlier attempt whose coin another
// transaction spent lapses and the wallet sends again from its other coins; one whose coin is
// merely no longer listed, or whose spender is made up, binds the next press, also after a
// restart; a server that says it holds the transaction already has taken it.
#include "AppStateFixture.h"
#include "ElectrumMempoolServer.h"
#include "RunTask.h"
#include "core/crypto/BIP39.h"
#include "core/crypto/Bech32.h"
#include "core/encoding/Hex.h"
#include "platform/AtomicFile.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "services/bitcoin/ElectrumScriptHash.h"
#include "state/AccountDerivation.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/FlowService.h"
#include "state/send/BitcoinBroadcast.h"
#include "state/send/BitcoinSend.h"

#include <QTest>
#include <algorithm>
#include <any>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace qm {
namespace {

using nlohmann::json;
using Step = TransactionFlow::Step;

constexpr const char* password = "correct horse 1";
const std::string recipient = segwitAddressEncode("bc", 0, Bytes(20, 0x35));

std::string line(const json& request, const char* key, json value) {
    return json{{"jsonrpc", "2.0"}, {"id", request.at("id")}, {key, std::move(value)}}.dump() +
           "\n";
}

std::vector<std::string> coinsOf(const std::string& raw) {
    return BTCTransactionParser::spending(raw).value().outpoints;
}

class BitcoinSendOnMempool : public ::testing::Test {
protected:
    void SetUp() override {
        NetworkManager::Options network;
        network.electrumLimits.requestTimeout = std::chrono::seconds(5);
        env = std::make_unique<test::AppStateFixture>(test::AppStateFixture::RPCPools{}, network);
        AppState& state = env->state();
        state.loadStoredState();
        test::runTask(state.createWallet(test::AppStateFixture::abandonPhrase(), password));
        state.stopBackgroundTasks();
        address = state.bitcoinAccounts().front().addresses.front().address;
        // One coin of 50,000 sat at the first address.
        server = std::make_unique<test::ElectrumMempoolServer>(address, 50'000, 1);
        if (!server->isRunning()) {
            GTEST_SKIP() << "node is missing (scripts/install-deps)";
        }
        server->serve(env->electrum());
        hideFromLookups();
        limits.pollInterval = std::chrono::milliseconds(20);
        limits.confirmationTimeout = std::chrono::seconds(2);
        limits.pace = 0;
        flows = std::make_unique<FlowService>(limits);
    }

    // A new process over the same folder, keychain and servers, its wallet unlocked.
    void restartAndUnlock() {
        env->restart();
        env->state().loadStoredState();
        test::runTask(env->state().unlock(password));
        env->state().stopBackgroundTasks();
        flows = std::make_unique<FlowService>(limits);
    }

    // A send of `sats` prepared as the review prepares it.
    BitcoinSendRequest request(std::uint64_t sats) {
        BitcoinSendRequest made;
        made.state = &env->state();
        made.walletID = env->state().wallet()->id;
        made.password = SecureBytes::fromText(password);
        made.prepared = test::runTask(prepareBitcoinSend(
            &env->state(), BitcoinSendForm{recipient, sats, SendFeeLevel::normal, false}, {}));
        return made;
    }

    // Runs a send to its end, its sheet showing `summary` (none: nothing) and `detail`; the flow.
    TransactionFlow* send(BitcoinSendRequest made, const QString& summary = {},
                          const QString& detail = QStringLiteral("to bc1qx...x35")) {
        TransactionFlow* flow = flows->flow("send:bitcoin");
        flow->reset();
        flow->setSummary(summary, summary.isEmpty() ? QString() : detail);
        auto held = std::make_shared<BitcoinSendRequest>(std::move(made));
        EXPECT_TRUE(flow->start(Step::Signing, [held](FlowRun run) {
            return runBitcoinSend(std::move(run), std::move(*held));
        }));
        EXPECT_TRUE(QTest::qWaitFor([flow] { return !flow->isRunning(); }, 30'000));
        return flow;
    }

    // Each broadcast is recorded, then `answer` gives the wallet's answer (the server's own
    // when it gives none).
    void onBroadcast(std::function<std::optional<std::string>(const json&)> answer) {
        env->electrum().answerRaw("blockchain.transaction.broadcast",
                                  [this, answer](const json& request) {
                                      broadcasts.push_back(request.at("params").at(0));
                                      std::optional<std::string> given = answer(request);
                                      return given ? given : server->exchange(request);
                                  });
    }
    // The server takes each broadcast and the wallet hears `refusal`; its lookups (the
    // transaction, the histories) do not show what it took until reveal().
    void keepAndRefuse(const std::string& refusal) {
        onBroadcast([this, refusal](const json& request) {
            const json taken = json::parse(server->exchange(request));
            if (taken.contains("result")) {
                hidden.insert(taken.at("result").get<std::string>());
            }
            return line(request, "error", {{"code", 1}, {"message", refusal}});
        });
    }
    void reveal() { hidden.clear(); }

    // A send of 30,000 sat ("0.0003 BTC") from coins of 50,000 and 90,000 that the server keeps
    // while the wallet hears an error, its lookups not showing it: its id.
    std::string sendKeptAndRefused() {
        server->call("test.fund", {address, 90'000});
        keepAndRefuse("daemon error: timeout");
        TransactionFlow* flow = send(request(30'000), "0.0003 BTC");
        EXPECT_EQ(flow->step(), Step::Failed);
        EXPECT_EQ(hidden.size(), 1u);
        return hidden.empty() ? std::string() : *hidden.begin();
    }
    // While `first` (the first broadcast) may land, a press of another payment spends one of its
    // coins, and the server refuses it: `first` alone pays.
    void expectAnotherPaymentSpendsItsCoin(const std::string& first) {
        const std::vector<std::string> firstCoins = coinsOf(broadcasts.front());
        const std::size_t before = broadcasts.size();
        TransactionFlow* flow = send(request(20'000), "0.0002 BTC");
        EXPECT_EQ(flow->step(), Step::Failed);
        ASSERT_EQ(broadcasts.size(), before + 1);
        const std::vector<std::string> coins = coinsOf(broadcasts.back());
        EXPECT_TRUE(std::any_of(firstCoins.begin(), firstCoins.end(), [&](const std::string& c) {
            return std::count(coins.begin(), coins.end(), c) == 1;
        }));
        EXPECT_EQ(received().at("txids"), json::array({first}));
    }
    // Once the lookups show `first`, a press (of a form edited to another amount and recipient)
    // follows it instead of signing and shows its texts: one payment, of its amount.
    void expectFollowed(const std::string& first) {
        reveal();
        onBroadcast([](const json&) { return std::nullopt; });
        TransactionFlow* flow = send(request(20'000), "0.0002 BTC", "to bc1qy...y36");
        ASSERT_EQ(flow->step(), Step::Submitted) << flow->errorMessage().toStdString();
        EXPECT_EQ(flow->txHash().toStdString(), first);
        EXPECT_EQ(flow->summary().toStdString(), "0.0003 BTC");
        EXPECT_FALSE(flow->earlierNote().isEmpty());
        EXPECT_EQ(flow->detail(), "to bc1qx...x35");
        EXPECT_EQ(flow->earlierNote(),
                  "Your earlier send of 0.0003 BTC to bc1qx...x35 went through; nothing new was "
                  "signed.");
        EXPECT_EQ(received().at("sats"), 30'000);
        EXPECT_EQ(received().at("txids"), json::array({first}));
    }

    // What the server's transactions paid the recipient: {sats, txids}.
    json received() { return server->call("test.received", {recipient}); }

    std::unique_ptr<test::AppStateFixture> env;
    std::unique_ptr<test::ElectrumMempoolServer> server;
    FlowLimits limits;
    std::unique_ptr<FlowService> flows;
    std::string address;
    std::vector<std::string> broadcasts;
    std::set<std::string> hidden;
    // Transactions the lookups show besides the server's, by id: each known to
    // blockchain.transaction.get and in the mempool of one script hash's history.
    struct MadeUp {
        std::string scriptHash;
        std::string raw;
    };
    std::map<std::string, MadeUp> madeUp;

private:
    // A lagging index: the ids in `hidden` are unknown to blockchain.transaction.get and
    // missing from every history; those `madeUp` are there.
    void hideFromLookups() {
        env->electrum().answerRaw("blockchain.transaction.get", [this](const json& request) {
            const std::string id = request.at("params").at(0).get<std::string>();
            if (madeUp.contains(id)) {
                return std::optional(line(request, "result", madeUp.at(id).raw));
            }
            if (hidden.contains(id)) {
                return std::optional(
                    line(request, "error",
                         {{"code", 2}, {"message", "No such mempool or blockchain transaction"}}));
            }
            return std::optional(server->exchange(request));
        });
        env->electrum().answerRaw("blockchain.scripthash.get_history", [this](const json& request) {
            json answer = json::parse(server->exchange(request));
            json& history = answer.at("result");
            history.erase(std::remove_if(history.begin(), history.end(),
                                         [this](const json& entry) {
                                             return hidden.contains(entry.at("tx_hash"));
                                         }),
                          history.end());
            for (const auto& [id, made] : madeUp) {
                if (made.scriptHash == request.at("params").at(0)) {
                    history.push_back({{"tx_hash", id}, {"height", 0}});
                }
            }
            return std::optional(answer.dump() + "\n");
        });
    }
};

// The coin of the review is spent elsewhere as the wallet broadcasts: the server refuses
// "missing or spent" and keeps nothing, and a coin of 90,000 sat arrives. The next press finds
// the spender, forgets the refused attempt and pays from the other coin: once.
TEST_F(BitcoinSendOnMempool, ACoinSpentElsewhereLetsTheWalletSendAgain) {
    std::vector<std::string> spentElsewhere;
    onBroadcast([&](const json&) -> std::optional<std::string> {
        if (broadcasts.size() == 1) {
            spentElsewhere = coinsOf(broadcasts.front());
            server->spendElsewhere(spentElsewhere);
            server->call("test.fund", {address, 90'000});
        }
        return std::nullopt;
    });
    BitcoinSendRequest made = request(40'000);
    const BitcoinPreparedSend shown = made.prepared;
    TransactionFlow* flow = send(std::move(made));
    ASSERT_EQ(flow->step(), Step::Failed);
    EXPECT_EQ(flow->errorMessage().toStdString(), "Server error 1: bad-txns-inputs-missingorspent");
    EXPECT_TRUE(flow->txHash().isEmpty());
    EXPECT_EQ(received().at("sats"), 0);

    // The same review pressed again: signed from the other coin, at the figures shown.
    BitcoinSendRequest again = request(40'000);
    again.prepared = shown;
    flow = send(std::move(again));
    ASSERT_EQ(flow->step(), Step::Submitted) << flow->errorMessage().toStdString();
    ASSERT_EQ(broadcasts.size(), 2u);
    const std::vector<std::string> spent = coinsOf(broadcasts.back());
    for (const std::string& coin : spentElsewhere) {
        EXPECT_EQ(std::count(spent.begin(), spent.end(), coin), 0) << coin;
    }
    EXPECT_EQ(received().at("sats"), 40'000);
    EXPECT_EQ(received().at("txids"), json::array({flow->txHash().toStdString()}));
}

// The server takes the first transaction while the wallet hears an error, and its lookups and
// histories do not show it: the coin is no longer listed, and no spender is known. A press with
// another amount must spend that coin too (the server refuses it: the first holds the coin);
// nothing pays from the other coin alone. Once the lookups catch up, a press follows the
// first transaction: one payment, the first amount.
TEST_F(BitcoinSendOnMempool, ACoinNoLongerListedWithNoSpenderKnownBindsTheNextPress) {
    server->call("test.fund", {address, 90'000});
    keepAndRefuse("daemon error: timeout");
    BitcoinSendRequest made = request(30'000);
    const std::vector<BTCSpend> firstSpends = made.prepared.spends;
    TransactionFlow* flow = send(std::move(made));
    ASSERT_EQ(flow->step(), Step::Failed);
    EXPECT_EQ(flow->errorMessage().toStdString(), "Server error 1: daemon error: timeout");
    ASSERT_EQ(hidden.size(), 1u);
    const std::string first = *hidden.begin();
    const std::vector<std::string> firstCoins = coinsOf(broadcasts.front());

    flow = send(request(20'000));
    ASSERT_EQ(flow->step(), Step::Failed);
    ASSERT_EQ(broadcasts.size(), 2u);
    const std::vector<std::string> secondCoins = coinsOf(broadcasts.back());
    for (const std::string& coin : firstCoins) {
        EXPECT_EQ(std::count(secondCoins.begin(), secondCoins.end(), coin), 1) << coin;
    }
    EXPECT_EQ(received().at("txids"), json::array({first}));

    // Each rebuilt from its bytes, id and coins (as a ledger keeps them), with no connection
    // of its own: neither is known, and the first's coins have no spender yet.
    const auto rebuilt = [&](const std::string& raw) {
        const std::string id = BTCTransactionParser::transactionID(raw).value();
        return bitcoinBroadcast(&env->state(), nullptr, raw, id, firstSpends);
    };
    const SignedBroadcast firstAgain = rebuilt(broadcasts.front());
    const SignedBroadcast secondAgain = rebuilt(broadcasts.back());
    EXPECT_EQ(firstAgain.id, first);
    EXPECT_FALSE(test::runTask(firstAgain.lookup({})));
    EXPECT_FALSE(test::runTask(secondAgain.lapsed({})));
    reveal();
    // The lookups caught up: the first is known, and the second can never land.
    EXPECT_TRUE(test::runTask(firstAgain.lookup({})));
    EXPECT_FALSE(test::runTask(secondAgain.lookup({})));
    EXPECT_TRUE(test::runTask(secondAgain.lapsed({})));
    EXPECT_FALSE(test::runTask(firstAgain.lapsed({})));

    onBroadcast([](const json&) { return std::nullopt; });
    flow = send(request(20'000));
    ASSERT_EQ(flow->step(), Step::Submitted) << flow->errorMessage().toStdString();
    EXPECT_EQ(flow->txHash().toStdString(), first);
    EXPECT_EQ(received().at("sats"), 30'000);
    EXPECT_EQ(received().at("txids"), json::array({first}));
}

// The same server, and the program ends between the refused send and the next press. The
// attempt comes back from the wallet's folder at the unlock, untold, and binds the next press as
// it did before: another payment spends its coin (the server refuses it), never the other coin
// alone; once the lookups catch up, a press follows it and says so. One payment.
TEST_F(BitcoinSendOnMempool, AKeptSendOutlivesARestart) {
    const std::string first = sendKeptAndRefused();
    restartAndUnlock();
    const std::vector<UnsettledAttempt> kept = env->state().attemptLedger().of(
        Chain::bitcoin, env->state().bitcoinAccounts().front().id());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept.front().id, first);
    EXPECT_EQ(kept.front().wire, broadcasts.front());
    EXPECT_EQ(kept.front().summary, "0.0003 BTC");
    EXPECT_FALSE(kept.front().told);

    expectAnotherPaymentSpendsItsCoin(first);
    expectFollowed(first);
    EXPECT_EQ(broadcasts.back(), broadcasts.front()); // its own bytes again
}

// The server lists a made-up spender of the kept send's coin: with no witness, with a signature
// that does not verify, one over another amount, one by another key of the wallet. None proves
// the coin spent: each time another payment spends that coin too (the server refuses it),
// never the other coin alone. One payment.
TEST_F(BitcoinSendOnMempool, AMadeUpSpenderOfAKeptSendsCoinProvesNothing) {
    const std::string first = sendKeptAndRefused();
    const BTCSpend coin = env->state().attemptLedger().find(first).value().coins.front();
    const SecureBytes seed = BIP39::seed(test::AppStateFixture::abandonPhrase(), "");
    Bytes hash = hexToBytes(coin.utxo.txHash).value();
    std::reverse(hash.begin(), hash.end());
    for (const std::uint32_t how : {0u, 1u, 2u, 3u}) {
        BTCUnsignedTransaction tx;
        tx.inputs = {{hash, static_cast<std::uint32_t>(coin.utxo.outputIndex), 0xFFFFFFFD, {}}};
        tx.outputs = {{coin.utxo.value - 1'000 - how, coin.utxo.scriptPubKey}};
        UTXO signedFor = coin.utxo;
        signedFor.value += how == 2 ? 1 : 0;
        std::vector<SecureBytes> keys;
        keys.push_back(accountPrivateKey(seed, Chain::bitcoin, coin.derivationIndex + how / 3));
        BTCSigner::sign(tx, {signedFor}, keys);
        if (how == 0) {
            tx.inputs[0].witness.clear();
        } else if (how == 1) {
            tx.inputs[0].witness[0][8] ^= 1; // a bit of R
        }
        const std::string raw =
            bytesToPlainHex(BTCSigner::serialize(true, 2, tx.inputs, tx.outputs, 0));
        madeUp = {{BTCTransactionParser::transactionID(raw).value(),
                   {electrumScriptHashOfScript(coin.utxo.scriptPubKey), raw}}};
        expectAnotherPaymentSpendsItsCoin(first);
    }
}

// The stored bytes of the kept send no longer read as the transaction the ledger names (the file
// was damaged). They are never sent, yet the attempt binds its coin as before, and once the
// lookups know it a press follows it: the account is never blocked, and one payment lands.
TEST_F(BitcoinSendOnMempool, AKeptSendWhoseStoredBytesAreDamagedStillBindsAndIsFollowed) {
    const std::string first = sendKeptAndRefused();
    const std::filesystem::path file =
        env->dataLocation() / "Quillmark" / "unsettled-attempts.json";
    const std::optional<Bytes> bytes = readFileIfExists(file);
    ASSERT_TRUE(bytes);
    json stored = json::parse(bytes->begin(), bytes->end());
    std::string damaged = stored.at(0).at("wire");
    damaged.back() = damaged.back() == '0' ? '1' : '0'; // another lock time: another txid
    stored.at(0)["wire"] = damaged;
    writeFileAtomically(file, utf8View(stored.dump()));

    restartAndUnlock();
    expectAnotherPaymentSpendsItsCoin(first);
    const std::size_t sent = broadcasts.size();
    expectFollowed(first);
    EXPECT_EQ(broadcasts.size(), sent); // the damaged bytes never left
}

// The kept send's txid and its coins' written in upper case in the file: read as the chain writes
// them, it is the one record of the one payment, binding the next press and then followed.
TEST_F(BitcoinSendOnMempool, AKeptSendWhoseIdIsStoredInUpperCaseIsOneRecord) {
    const std::string first = sendKeptAndRefused();
    const auto upperCased = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), ::toupper);
        return text;
    };
    env->restartWithTheKeptRecordEdited(
        [&](json& record) {
            record["id"] = upperCased(record.at("id"));
            for (json& coin : record.at("coins")) {
                coin["utxo"]["txHash"] = upperCased(coin.at("utxo").at("txHash"));
            }
        },
        password);
    flows = std::make_unique<FlowService>(limits);
    expectAnotherPaymentSpendsItsCoin(first);
    expectFollowed(first);
    const std::vector<UnsettledAttempt>& kept = env->state().attemptLedger().all();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept.front().id, first);
}

// A server that takes the transaction and answers that it holds it already, plainly or wrapped
// in an Electrum server's text, has taken it, though its lookups do not show it yet: the send
// ends submitted with the transaction's id on the first press, one payment.
TEST_F(BitcoinSendOnMempool, TxnAlreadyInMempoolIsTaken) {
    server->call("test.fund", {address, 90'000});
    std::uint64_t paid = 0;
    for (const std::string refusal :
         {"txn-already-in-mempool",
          "the transaction was rejected by network rules.\n\ntxn-already-in-mempool"}) {
        keepAndRefuse(refusal);
        const std::size_t before = broadcasts.size();
        TransactionFlow* flow = send(request(20'000));
        ASSERT_EQ(flow->step(), Step::Submitted)
            << refusal << ": " << flow->errorMessage().toStdString();
        EXPECT_EQ(broadcasts.size(), before + 1) << refusal;
        ASSERT_EQ(hidden.size(), 1u) << refusal;
        EXPECT_EQ(flow->txHash().toStdString(), *hidden.begin()) << refusal;
        paid += 20'000;
        EXPECT_EQ(received().at("sats"), paid) << refusal;
        reveal();
    }
    EXPECT_EQ(received().at("txids").size(), 2u);
}

// What a ledger kept is taken only as the transaction it names: its id in any letter case, its
// coins as its conflict.
TEST(BitcoinBroadcast, RebuiltOnlyFromBytesThatAreTheTransactionNamed) {
    const std::string raw = bytesToPlainHex(BTCSigner::serialize(
        true, 2, {{Bytes(32, 0x11), 1, 0xFFFFFFFD, {Bytes(71, 0x30), Bytes(33, 0x02)}}},
        {{20'000, Bytes(22, 0x00)}}, 0));
    const std::string id = BTCTransactionParser::transactionID(raw).value();
    std::string upper = id;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    const BTCSpend coin{UTXO{std::string(64, '1'), 1, 25'000, 800'000, Bytes(22, 0x00)}, 3};
    const SignedBroadcast tx = bitcoinBroadcast(nullptr, nullptr, raw, upper, {coin});
    EXPECT_EQ(tx.id, id);
    EXPECT_EQ(tx.record.id, id);
    EXPECT_EQ(tx.record.wire, raw);
    ASSERT_EQ(tx.record.coins.size(), 1u);
    EXPECT_EQ(tx.record.coins.front().utxo, coin.utxo);
    EXPECT_EQ(tx.record.coins.front().derivationIndex, 3u);
    EXPECT_THROW(bitcoinBroadcast(nullptr, nullptr, raw, std::string(64, '0'), {coin}), Error);
    EXPECT_THROW(bitcoinBroadcast(nullptr, nullptr, raw + "00", id, {coin}), Error);
    EXPECT_THROW(bitcoinBroadcast(nullptr, nullptr, "not a transaction", id, {coin}), Error);
}

} // namespace
} // namespace qm
