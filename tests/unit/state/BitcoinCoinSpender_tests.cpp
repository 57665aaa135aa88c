// Who spends a coin, read from a scripted Electrum server's histories and transactions: what
// the server behind the send tests (a mempool that answers as a node does) cannot produce:
// entries before the coin or in its own block, long histories, made-up spenders, and answers
// that cannot be read.
#include "ElectrumFixture.h"
#include "RunTask.h"
#include "core/crypto/Secp256k1.h"
#include "core/encoding/Hex.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/bitcoin/ElectrumScriptHash.h"
#include "state/send/BitcoinCoinSpender.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qm {
namespace {

using nlohmann::json;

// The coin's key and its P2WPKH script.
const SecureBytes key(Bytes(32, 0x11));
const Bytes script = [] {
    Bytes made{0x00, 0x14};
    const Bytes hash = hash160(Secp256k1::shared().compressedPublicKey(key));
    made.insert(made.end(), hash.begin(), hash.end());
    return made;
}();

std::string line(const json& request, const char* key, json value) {
    return json{{"jsonrpc", "2.0"}, {"id", request.at("id")}, {key, std::move(value)}}.dump() +
           "\n";
}

// A signed-looking transaction spending `outpoint` (txid in display hex, index) that pays
// `value` to the script; its raw hex. Its witness is made up: it proves no spend.
std::string spending(const std::string& txid, std::uint32_t index, std::uint64_t value = 1'000) {
    Bytes hash = *hexToBytes(txid);
    std::reverse(hash.begin(), hash.end());
    BTCTxInput input{hash, index, 0xFFFFFFFD, {Bytes(71, 0x30), Bytes(33, 0x02)}};
    return bytesToPlainHex(BTCSigner::serialize(true, 2, {input}, {{value, script}}, 0));
}

// A transaction spending `coin` that pays `value`, signed by the coin's key; its raw hex.
std::string signedSpending(const UTXO& coin, std::uint64_t value) {
    Bytes hash = *hexToBytes(coin.txHash);
    std::reverse(hash.begin(), hash.end());
    BTCUnsignedTransaction tx;
    tx.inputs = {{hash, static_cast<std::uint32_t>(coin.outputIndex), 0xFFFFFFFD, {}}};
    tx.outputs = {{value, script}};
    std::vector<SecureBytes> keys;
    keys.push_back(key.clone());
    BTCSigner::sign(tx, {coin}, keys);
    return bytesToPlainHex(BTCSigner::serialize(true, 2, tx.inputs, tx.outputs, 0));
}

std::string idOf(const std::string& raw) {
    return *BTCTransactionParser::transactionID(raw);
}

// A server that knows `transactions` (by id) and one history: the coin's script hash's.
class ScriptedServer {
public:
    ScriptedServer() {
        server.answerRaw("blockchain.scripthash.get_history", [this](const json& request) {
            if (request.at("params").at(0) != electrumScriptHashOfScript(script)) {
                return std::optional(line(request, "result", json::array()));
            }
            return std::optional(line(request, "result", history));
        });
        server.answerRaw("blockchain.transaction.get", [this](const json& request) {
            const std::string txid = request.at("params").at(0);
            fetched.push_back(txid);
            const auto found = transactions.find(txid);
            if (found == transactions.end()) {
                return std::optional(
                    line(request, "error",
                         {{"code", -5}, {"message", "No such mempool or blockchain transaction"}}));
            }
            return std::optional(line(request, "result", found->second));
        });
        client = std::make_shared<ElectrumClient>(server.host(), server.port(), server.useTLS());
        test::runTask(client->connect());
    }

    // `raw` known to the server and listed at `height`; its id.
    std::string list(const std::string& raw, std::int64_t height) {
        const std::string id = idOf(raw);
        transactions[id] = raw;
        history.push_back({{"tx_hash", id}, {"height", height}});
        return id;
    }

    CoinSpender spenderOf(const UTXO& coin, const std::string& ours) {
        fetched.clear();
        return test::runTask(coinSpender(client, {BTCSpend{coin, 0}}, ours));
    }

    test::ElectrumFixture server{test::ElectrumFixture::Mode::plain};
    std::shared_ptr<ElectrumClient> client;
    json history = json::array();
    std::map<std::string, json> transactions;
    std::vector<std::string> fetched;
};

// The coin's funding transaction at height 100; our transaction spends the coin.
struct Coin {
    std::string funding = spending(std::string(64, 'a'), 0, 50'000);
    UTXO utxo{idOf(funding), 0, 50'000, 100, script};
    std::string ours = idOf(spending(utxo.txHash, 0, 40'000));
};

TEST(BitcoinCoinSpender, TheSpenderIsFoundAtOrAfterTheCoinsHeightAndNamed) {
    ScriptedServer chain;
    const Coin coin;
    chain.list(coin.funding, 100);
    // Before the coin's block nothing can spend it: such an entry is never fetched, whatever
    // it would say.
    const std::string early = chain.list(spending(coin.utxo.txHash, 0, 7), 99);
    const std::string unrelated = chain.list(spending(std::string(64, 'b'), 0), 0);
    const std::string sibling = chain.list(spending(coin.utxo.txHash, 1), 120);
    EXPECT_EQ(chain.spenderOf(coin.utxo, coin.ours), CoinSpender::none);
    // The mempool first, then the blocks; never the coin's own transaction or the early one.
    EXPECT_EQ(chain.fetched, (std::vector<std::string>{unrelated, sibling}));

    // Another transaction spends it (in the coin's own block, a later one, or the mempool):
    // ours has lapsed.
    for (const std::int64_t height : {100, 130, -1}) {
        chain.list(signedSpending(coin.utxo, 30'000), height);
        EXPECT_EQ(chain.spenderOf(coin.utxo, coin.ours), CoinSpender::another) << height;
        chain.history.erase(chain.history.size() - 1);
    }
    // One that claims the coin without a witness that verifies proves nothing; a spender listed
    // beside it is still found.
    chain.list(spending(coin.utxo.txHash, 0, 25'000), 0);
    EXPECT_EQ(chain.spenderOf(coin.utxo, coin.ours), CoinSpender::none);
    chain.list(signedSpending(coin.utxo, 20'000), 130);
    EXPECT_EQ(chain.spenderOf(coin.utxo, coin.ours), CoinSpender::another);
    chain.history.erase(chain.history.size() - 1);
    // Our own, in any letter case the id is written.
    std::string ours = coin.ours;
    std::transform(ours.begin(), ours.end(), ours.begin(), ::toupper);
    chain.history.erase(chain.history.size() - 1);
    chain.list(spending(coin.utxo.txHash, 0, 40'000), 0);
    EXPECT_EQ(chain.spenderOf(coin.utxo, ours), CoinSpender::ours);

    // A coin listed in the mempool and mined since: its height is the history's, and a spender
    // in a later block is found.
    UTXO pooled = coin.utxo;
    pooled.height = 0;
    chain.history.erase(chain.history.size() - 1);
    chain.list(signedSpending(coin.utxo, 30'000), 140);
    EXPECT_EQ(chain.spenderOf(pooled, coin.ours), CoinSpender::another);
}

TEST(BitcoinCoinSpender, AnAnswerThatCannotBeReadOrAHistoryTooLongSaysNothing) {
    ScriptedServer chain;
    const Coin coin;
    chain.list(coin.funding, 100);
    const std::string candidate = chain.list(spending(coin.utxo.txHash, 0, 30'000), 0);
    const auto cannotSay = [&] { EXPECT_ANY_THROW(chain.spenderOf(coin.utxo, coin.ours)); };
    // The server does not know what it lists; answers junk; answers another transaction.
    chain.transactions.erase(candidate);
    cannotSay();
    chain.transactions[candidate] = "not a transaction";
    cannotSay();
    chain.transactions[candidate] = spending(std::string(64, 'c'), 0);
    cannotSay();
    chain.transactions[candidate] = 42;
    cannotSay();

    // More candidates than one look fetches, none of them the spender: it cannot say, and it
    // fetched no more than its bound.
    chain.history = json::array();
    chain.list(coin.funding, 100);
    for (std::uint32_t i = 0; i < coinSpenderFetches + 6; ++i) {
        chain.list(spending(std::string(64, 'd'), i), 0);
    }
    cannotSay();
    EXPECT_EQ(chain.fetched.size(), static_cast<std::size_t>(coinSpenderFetches));
    // The spender among the first ones looked at is proof all the same.
    chain.list(signedSpending(coin.utxo, 30'000), -1);
    std::rotate(chain.history.begin() + 1, chain.history.end() - 1, chain.history.end());
    EXPECT_EQ(chain.spenderOf(coin.utxo, coin.ours), CoinSpender::another);
}

} // namespace
} // namespace qm
