// Who holds a sender's nonce, asked of anvil through a proxy that can answer a method itself:
// free while the mined count is not past it, ours or another's from the block where the count
// passed it (wherever the search starts) or, on a node without old state, from what the block
// explorer lists; only a transaction the sender's key signed for the chain counts, and only at
// the nonce it carries; unknown whenever an answer is missing, malformed, unsigned or at odds
// with the others (two of the key's transactions proven at one nonce).
#include "AnvilNode.h"
#include "BlockscoutSent.h"
#include "HttpFixture.h"
#include "PrunedNode.h"
#include "RPCProxy.h"
#include "RunTask.h"
#include "core/crypto/Keccak.h"
#include "core/crypto/Secp256k1.h"
#include "core/encoding/Hex.h"
#include "services/evm/BlockExplorerClient.h"
#include "services/evm/JSONRPCClient.h"
#include "state/flows/EVMNonceHolder.h"
#include "state/flows/EVMTransactionSteps.h"
#include "state/flows/SignedBroadcast.h"

#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using test::AnvilNode;
using test::HttpFixtureResponse;
using Answer = std::optional<HttpFixtureResponse>;

const std::string madeUp = "0x" + std::string(64, 'a');
const std::string sender = AnvilNode::devAccount(0);
const std::string other = AnvilNode::devAccount(1);

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::uint64_t number(const json& quantity) {
    return hexToUInt64(quantity.get<std::string>()).value();
}

// anvil's well-known first development key, the sender's: another wallet of the same key.
const Bytes senderKey =
    hexToBytes("0xac0974bec39a17e36ba4a6b4d238ff944bacb478cbed5efcae784d7bf4f2ff80").value();

// A node's transaction object `tx` (type 2) changed by `change` and given the hash of what it
// says then, as a node that makes it up would.
json remade(json tx, const std::function<void(ETHSignedTransaction&)>& change) {
    ETHNodeTransaction read;
    fromRPCResult(tx, read);
    ETHSignedTransaction& signedForm = read.signedForm.value();
    change(signedForm);
    tx["chainId"] = UInt256(0, 0, 0, signedForm.fields.chainID).description();
    tx["value"] = signedForm.fields.value.description();
    tx["v"] = tx["yParity"] = UInt256(0, 0, 0, signedForm.yParity).description();
    tx["r"] = signedForm.r.description();
    tx["s"] = signedForm.s.description();
    tx["hash"] = bytesToHex(signedForm.hash());
    return tx;
}

// Signed by the sender's key again, as the fields now are.
void signAgain(ETHSignedTransaction& tx) {
    const auto [signature, recoveryID] =
        Secp256k1::shared().signRecoverable(tx.fields.signingHash(), senderKey);
    tx.r = UInt256::fromBigEndianBytes(ByteView(signature).first(32));
    tx.s = UInt256::fromBigEndianBytes(ByteView(signature).last(32));
    tx.yParity = static_cast<std::uint64_t>(recoveryID);
}

// The explorer's item of a transaction the sender sent.
json listed(const std::string& hash, std::uint64_t nonce) {
    return test::blockscoutSentItem(hash, nonce, sender);
}

class NonceHolderOnAnvil : public ::testing::Test {
protected:
    void SetUp() override {
        if (!AnvilNode::isAvailable()) {
            GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
        }
        node = std::make_unique<AnvilNode>(1);
        proxy.setTarget(node->url());
        client = std::make_shared<JSONRPCClient>(proxy.url());
        blockscout.setHandler(test::blockscoutSentPages(sender, &pages));
    }

    NonceHolder holder(std::uint64_t nonce, const std::string& hash,
                       std::optional<std::uint64_t> fromBlock = std::nullopt,
                       const std::string& from = sender, CancellationToken cancel = {}) {
        return test::runTask(findNonceHolder(
            client, explorer, NonceHolderQuery{Chain::ethereum, from, nonce, hash, fromBlock},
            cancel));
    }

    // Signed by the sender at `nonce` (type 2) and never sent: its bytes.
    std::string signedNeverSent(std::uint64_t nonce) {
        return node
            ->rpc("eth_signTransaction", {{{"from", sender},
                                           {"to", other},
                                           {"nonce", UInt256(0, 0, 0, nonce).description()},
                                           {"gas", "0x5208"},
                                           {"maxFeePerGas", "0x77359400"},
                                           {"maxPriorityFeePerGas", "0x1"}}})
            .get<std::string>();
    }

    // The node's blocks list the sender's transactions as `change` makes them.
    void rewriteSendersEntries(std::function<void(json&)> change) {
        proxy.setOverride("eth_getBlockByNumber", [this, change](const json& params) -> Answer {
            json answer = node->rpc("eth_getBlockByNumber", params);
            for (json& tx : answer["transactions"]) {
                if (hexToBytes(tx.at("from").get<std::string>()) == hexToBytes(sender)) {
                    change(tx);
                }
            }
            return HttpFixtureResponse::jsonRPCResult(answer);
        });
    }

    // A payment of 1 wei from `from`, mined; its hash.
    std::string pay(const std::string& from) {
        return node->send(from, AnvilNode::devAccount(2), "0x", "0x1");
    }

    std::uint64_t blockOf(const std::string& hash) {
        return number(node->minedReceipt(hash).at("blockNumber"));
    }

    void mine(std::uint64_t blocks) {
        node->rpc("anvil_mine", json::array({UInt256(0, 0, 0, blocks).description()}));
    }

    std::unique_ptr<AnvilNode> node;
    test::RPCProxy proxy;
    std::shared_ptr<JSONRPCClient> client;
    // The explorer's pages of what the sender sent, in order; the search asks it only when
    // `explorer` is set.
    std::vector<json> pages;
    test::HttpFixture blockscout;
    BlockExplorerClient explorerClient{
        [this] {
            BlockExplorerClient::BaseURLs urls;
            urls[chainIndex(Chain::ethereum)] = blockscout.url("/api/v2").toString().toStdString();
            return urls;
        }(),
        HttpTimeouts{std::chrono::seconds(15), std::chrono::seconds(60)}};
    QPointer<BlockExplorerClient> explorer;
};

TEST_F(NonceHolderOnAnvil, TheBlockWhereTheCountPassedTheNonceNamesItsHolder) {
    mine(3);
    const std::string first = pay(sender); // nonce 0
    mine(6);
    const std::string second = pay(sender); // nonce 1
    // The third shares its block with another sender's transaction of the same nonce.
    pay(other);
    pay(other);
    node->setAutomine(false);
    const std::string othersThird = node->send(other, AnvilNode::devAccount(2), "0x", "0x1");
    const std::string third = node->send(sender, AnvilNode::devAccount(2), "0x", "0x1");
    node->mine();
    ASSERT_EQ(blockOf(third), blockOf(othersThird));
    mine(2);

    const std::uint64_t firstBlock = blockOf(first);
    const std::uint64_t secondBlock = blockOf(second);
    // Wherever the search starts: nowhere given, block 0, the block before, the block itself
    // (its count is past the nonce already), a block past the latest.
    for (const std::optional<std::uint64_t> from :
         {std::optional<std::uint64_t>(), std::optional<std::uint64_t>(0),
          std::optional(firstBlock - 1), std::optional(firstBlock),
          std::optional<std::uint64_t>(1000)}) {
        EXPECT_EQ(holder(0, first, from), NonceHolder::ours) << from.value_or(99);
        EXPECT_EQ(holder(0, second, from), NonceHolder::another) << from.value_or(99);
        EXPECT_EQ(holder(1, second, from), NonceHolder::ours) << from.value_or(99);
        EXPECT_EQ(holder(1, madeUp, from), NonceHolder::another) << from.value_or(99);
        EXPECT_EQ(holder(2, third, from), NonceHolder::ours) << from.value_or(99);
        EXPECT_EQ(holder(2, othersThird, from), NonceHolder::another) << from.value_or(99);
    }
    EXPECT_EQ(holder(1, second, secondBlock - 1), NonceHolder::ours);
    // Hashes and addresses in any case.
    EXPECT_EQ(holder(1, upper(second), std::nullopt, upper(sender)), NonceHolder::ours);
    EXPECT_EQ(holder(2, othersThird, std::nullopt, other), NonceHolder::ours);

    // Not mined: free, in the pool or nowhere.
    EXPECT_EQ(holder(3, madeUp), NonceHolder::free);
    const std::string pooled = node->send(sender, AnvilNode::devAccount(2), "0x", "0x1");
    EXPECT_EQ(holder(3, pooled), NonceHolder::free);
    EXPECT_EQ(holder(4, madeUp), NonceHolder::free);
    node->mine();
    EXPECT_EQ(holder(3, pooled), NonceHolder::ours);
}

// A node that keeps only recent state (as most do): a nonce taken a few blocks ago is found by
// going back from the latest block, never asking about old ones.
TEST_F(NonceHolderOnAnvil, ARecentHolderIsFoundAskingOnlyAboutRecentBlocks) {
    mine(300);
    const std::string ours = pay(sender);
    mine(5);
    const std::uint64_t latest = number(node->rpc("eth_blockNumber", json::array()));
    int oldAsked = 0;
    proxy.setOverride("eth_getTransactionCount", [&](const json& params) -> Answer {
        const std::optional<std::uint64_t> block = hexToUInt64(params.at(1).get<std::string>());
        if (block && *block + 64 < latest) {
            ++oldAsked;
            return HttpFixtureResponse::json(
                R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"missing trie node"}})");
        }
        return std::nullopt;
    });
    EXPECT_EQ(holder(0, ours), NonceHolder::ours);
    EXPECT_EQ(holder(0, madeUp), NonceHolder::another);
    EXPECT_EQ(oldAsked, 0);
    // Given where the signing stood, it starts there.
    EXPECT_EQ(holder(0, ours, blockOf(ours) - 1), NonceHolder::ours);
    EXPECT_EQ(oldAsked, 0);
    // Asked from genesis, such a node cannot say.
    EXPECT_EQ(holder(0, ours, 0), NonceHolder::unknown);

    // Started where the count was past already, long before the latest block: it goes back
    // from there, and searches only between the blocks it found, not up to the latest.
    proxy.clearOverrides();
    mine(1000);
    const int counts = proxy.requestCount("eth_getTransactionCount");
    EXPECT_EQ(holder(0, ours, blockOf(ours)), NonceHolder::ours);
    EXPECT_EQ(proxy.requestCount("eth_getTransactionCount"), counts + 3); // latest, there, before
}

// A look asks whether the chain knows a transaction and, when it does not, whether it can no
// longer land: both answers come from one search of the blocks.
TEST_F(NonceHolderOnAnvil, ALookSearchesTheBlocksOnce) {
    mine(20);
    // Signed by the sender at nonce 0 and never sent; another of its transactions takes it.
    const std::string wire = node->rpc("eth_signTransaction", {{{"from", sender},
                                                                {"to", other},
                                                                {"nonce", "0x0"},
                                                                {"gas", "0x5208"},
                                                                {"maxFeePerGas", "0x77359400"},
                                                                {"maxPriorityFeePerGas", "0x1"}}})
                                 .get<std::string>();
    pay(sender);
    mine(20);
    const SignedBroadcast tx = evmBroadcast(
        client, nullptr, EVMSigned{hexToBytes(wire).value(), sender, 0, 10, Chain::ethereum});
    EXPECT_FALSE(test::runTask(tx.lookup({})));
    EXPECT_TRUE(test::runTask(tx.lapsed({})));
    EXPECT_EQ(proxy.requestCount("eth_blockNumber"), 1);
    EXPECT_EQ(proxy.requestCount("eth_getBlockByNumber"), 1);
    // Asked on its own (as the watch asks it), the lapse searches for itself.
    EXPECT_TRUE(test::runTask(tx.lapsed({})));
    EXPECT_EQ(proxy.requestCount("eth_getBlockByNumber"), 2);
}

TEST_F(NonceHolderOnAnvil, AnythingMissingOrAtOddsIsUnknown) {
    mine(2);
    const std::string ours = pay(sender);
    const std::uint64_t block = blockOf(ours);
    mine(3);
    ASSERT_EQ(holder(0, ours), NonceHolder::ours);

    const auto withBlock = [&](std::function<void(json&)> change) {
        proxy.setOverride("eth_getBlockByNumber", [this, change](const json& params) -> Answer {
            json answer = node->rpc("eth_getBlockByNumber", params);
            change(answer);
            return HttpFixtureResponse::jsonRPCResult(answer);
        });
    };
    // The block is not there (a backend behind the one that counted).
    withBlock([](json& answer) { answer = nullptr; });
    EXPECT_EQ(holder(0, ours), NonceHolder::unknown);
    EXPECT_EQ(holder(0, madeUp), NonceHolder::unknown);
    // Another block than the one asked for.
    withBlock([](json& answer) { answer["number"] = "0x1"; });
    EXPECT_EQ(holder(0, madeUp), NonceHolder::unknown);
    // The sender's transaction missing from it, or listed twice.
    withBlock([](json& answer) { answer["transactions"] = json::array(); });
    EXPECT_EQ(holder(0, madeUp), NonceHolder::unknown);
    withBlock([](json& answer) { answer["transactions"].push_back(answer["transactions"].at(0)); });
    EXPECT_EQ(holder(0, madeUp), NonceHolder::unknown);
    // Only the hashes of its transactions, or one of another shape.
    withBlock([](json& answer) {
        answer["transactions"] = json::array({answer["transactions"].at(0).at("hash")});
    });
    EXPECT_EQ(holder(0, madeUp), NonceHolder::unknown);
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, json>>{{"hash", "0x" + std::string(62, 'a')},
                                                   {"from", "0x1234"},
                                                   {"nonce", 0},
                                                   {"nonce", "0x1" + std::string(16, '0')}}) {
        withBlock(
            [key = key, value = value](json& answer) { answer["transactions"][0][key] = value; });
        EXPECT_EQ(holder(0, madeUp), NonceHolder::unknown) << key << " " << value;
    }
    proxy.clearOverrides();
    ASSERT_EQ(holder(0, madeUp), NonceHolder::another);

    // A count at a block that fails or is no quantity.
    const auto countAtBlocks = [&](HttpFixtureResponse answer) {
        proxy.setOverride("eth_getTransactionCount", [answer](const json& params) -> Answer {
            return params.at(1) == "latest" ? std::nullopt : std::optional(answer);
        });
    };
    countAtBlocks(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"missing trie node"}})"));
    EXPECT_EQ(holder(0, madeUp), NonceHolder::unknown);
    countAtBlocks(HttpFixtureResponse::jsonRPCResult("0xzz"));
    EXPECT_EQ(holder(0, madeUp), NonceHolder::unknown);
    // A count at the latest block that is not past the nonce (at odds with the latest count),
    // or one past it at every block.
    countAtBlocks(HttpFixtureResponse::jsonRPCResult("0x0"));
    EXPECT_EQ(holder(0, madeUp), NonceHolder::unknown);
    countAtBlocks(HttpFixtureResponse::jsonRPCResult("0x1"));
    EXPECT_EQ(holder(0, madeUp, block - 1), NonceHolder::unknown);
    proxy.clearOverrides();
    // A latest block from a backend behind the count's.
    proxy.setOverride("eth_blockNumber", [&](const json&) -> Answer {
        return HttpFixtureResponse::jsonRPCResult(UInt256(0, 0, 0, block - 1).description());
    });
    EXPECT_EQ(holder(0, madeUp), NonceHolder::unknown);
    proxy.clearOverrides();

    // No sender or hash of the right length, no client, or cancelled.
    EXPECT_EQ(holder(0, ours, std::nullopt, "0x1234"), NonceHolder::unknown);
    EXPECT_EQ(holder(0, "0x1234"), NonceHolder::unknown);
    EXPECT_EQ(test::runTask(findNonceHolder(
                  nullptr, nullptr,
                  NonceHolderQuery{Chain::ethereum, sender, 0, ours, std::nullopt}, {})),
              NonceHolder::unknown);
    const CancellationToken cancelled;
    cancelled.cancel();
    EXPECT_EQ(holder(0, ours, std::nullopt, sender, cancelled), NonceHolder::unknown);
    EXPECT_EQ(holder(0, ours), NonceHolder::ours);
}

// A block that lists, from the sender with the nonce, anything but a transaction the sender's
// key signed for this chain proves nothing: not a bare claim, fields the signature is not
// over, a hash that is not theirs, the mirror of a genuine signature (which anyone can make), a
// signature for another chain, nor a transaction of a type the wallet never signs.
TEST_F(NonceHolderOnAnvil, OnlyATransactionTheSendersKeySignedForTheChainHoldsANonce) {
    mine(2);
    const std::string ours = pay(sender); // nonce 0
    mine(2);
    ASSERT_EQ(holder(0, ours), NonceHolder::ours);
    ASSERT_EQ(holder(0, madeUp), NonceHolder::another);

    const std::vector<std::pair<std::string, std::function<void(json&)>>> forgeries = {
        {"a claim without a signature",
         [](json& tx) {
             tx = {{"hash", madeUp}, {"from", tx.at("from")}, {"nonce", "0x0"}};
         }},
        {"fields the signature is not over",
         [](json& tx) {
             tx = remade(tx, [](ETHSignedTransaction& t) { t.fields.value = UInt256(0, 0, 0, 2); });
         }},
        {"a hash that is not the fields'", [](json& tx) { tx["hash"] = madeUp; }},
        {"the signature mirrored",
         [](json& tx) {
             tx = remade(tx, [](ETHSignedTransaction& t) {
                 const UInt256 order(~0ULL, ~0ULL - 1, 0xBAAEDCE6AF48A03BULL,
                                     0xBFD25E8CD0364141ULL);
                 t.s = order.checkedSubtract(t.s).value();
                 t.yParity ^= 1;
             });
         }},
        {"signed for another chain",
         [](json& tx) {
             tx = remade(tx, [](ETHSignedTransaction& t) {
                 t.fields.chainID = 42161;
                 signAgain(t);
             });
         }},
    };
    for (const auto& [forgery, change] : forgeries) {
        rewriteSendersEntries(change);
        EXPECT_EQ(holder(0, ours), NonceHolder::unknown) << forgery;
        EXPECT_EQ(holder(0, madeUp), NonceHolder::unknown) << forgery;
    }
    // Another payment genuinely signed by the key at the nonce: it holds it, not ours.
    rewriteSendersEntries([](json& tx) {
        tx = remade(tx, [](ETHSignedTransaction& t) {
            t.fields.value = UInt256(0, 0, 0, 2);
            signAgain(t);
        });
    });
    EXPECT_EQ(holder(0, ours), NonceHolder::another);
    proxy.clearOverrides();

    // Legacy (EIP-155) and access-list transactions of the sender, signed by anvil.
    const auto sendTyped = [&](json fields) {
        fields["from"] = sender;
        fields["to"] = other;
        fields["gasPrice"] = "0x77359400";
        return node->rpc("eth_sendTransaction", json::array({fields})).get<std::string>();
    };
    const std::string legacy = sendTyped(json::object());
    const std::string accessList = sendTyped({{"accessList", json::array()}});
    ASSERT_EQ(node->minedReceipt(legacy).at("type"), "0x0");
    ASSERT_EQ(node->minedReceipt(accessList).at("type"), "0x1");
    EXPECT_EQ(holder(1, madeUp), NonceHolder::unknown);
    EXPECT_EQ(holder(2, madeUp), NonceHolder::unknown);
    EXPECT_EQ(holder(0, madeUp), NonceHolder::another);
}

// On a node that keeps no old state, the explorer's list of what the sender sent points at the
// transactions with the nonce, and the node's answer on each, signed and in a block, names the
// holder: another wallet of the same key took the nonce of a transaction signed and never sent.
// The explorer's word alone proves nothing.
TEST_F(NonceHolderOnAnvil, WhereTheNodeKeepsNoOldStateTheExplorerPointsAtTheHolder) {
    mine(2);
    const std::string first = pay(sender); // nonce 0
    const std::string neverSent = bytesToHex(keccak256(hexToBytes(signedNeverSent(1)).value()));
    const std::uint64_t signing = number(node->rpc("eth_blockNumber", json::array()));
    const std::string others = pay(sender); // nonce 1
    const std::string later = pay(sender);  // nonce 2
    mine(300);
    test::keepOnlyRecentState(proxy, *node);
    EXPECT_EQ(holder(1, neverSent, signing), NonceHolder::unknown);
    explorer = &explorerClient;
    EXPECT_EQ(holder(1, neverSent, signing), NonceHolder::unknown); // it lists nothing

    // Newest first, a page at a time: the reading stops at the page past the nonce.
    pages = {{listed(later, 2)}, {listed(others, 1)}, {listed(first, 0)}, {listed(madeUp, 1)}};
    const std::size_t asked = blockscout.requests().size();
    EXPECT_EQ(holder(1, neverSent, signing), NonceHolder::another);
    EXPECT_EQ(blockscout.requests().size(), asked + 3);
    EXPECT_EQ(holder(1, others, signing), NonceHolder::ours);

    // It lists only what the node does not have.
    pages = {{listed(neverSent, 1), listed(madeUp, 1)}};
    EXPECT_EQ(holder(1, neverSent, signing), NonceHolder::unknown);
    // The node's answer not in a block, or another transaction than the one asked for, though
    // signed by the key at the nonce.
    pages = {{listed(others, 1)}};
    const auto answering = [&](std::function<void(json&)> change) {
        proxy.setOverride("eth_getTransactionByHash", [this, change](const json& params) -> Answer {
            json answer = node->rpc("eth_getTransactionByHash", params);
            change(answer);
            return HttpFixtureResponse::jsonRPCResult(answer);
        });
    };
    answering([](json& tx) { tx["blockNumber"] = nullptr; });
    EXPECT_EQ(holder(1, neverSent, signing), NonceHolder::unknown);
    answering([](json& tx) {
        tx = remade(tx, [](ETHSignedTransaction& t) {
            t.fields.value = UInt256(0, 0, 0, 2);
            signAgain(t);
        });
    });
    EXPECT_EQ(holder(1, neverSent, signing), NonceHolder::unknown);
    answering([](json&) {});
    EXPECT_EQ(holder(1, neverSent, signing), NonceHolder::another);
}

// A list of what the sender sent that the explorer could not give whole points at nothing: a
// page it refused or that cannot be read leaves the holder unknown, even where the pages read
// name one, as one it did not give might name another.
TEST_F(NonceHolderOnAnvil, AListTheExplorerCouldNotGiveWholeLeavesTheHolderUnknown) {
    mine(2);
    const std::string first = pay(sender); // nonce 0
    const std::string neverSent = bytesToHex(keccak256(hexToBytes(signedNeverSent(1)).value()));
    const std::uint64_t signing = number(node->rpc("eth_blockNumber", json::array()));
    const std::string others = pay(sender); // nonce 1
    mine(300);
    test::keepOnlyRecentState(proxy, *node);
    explorer = &explorerClient;
    // The first page lists the holder but no lower nonce: the second must be read.
    HttpFixtureResponse second = HttpFixtureResponse::withStatus(503);
    blockscout.setHandler([&](const test::HttpFixtureRequest& request) {
        if (request.target.contains("index=")) {
            return second;
        }
        const json body = {{"items", json::array({listed(others, 1)})},
                           {"next_page_params", {{"index", 1}}}};
        return HttpFixtureResponse::json(QByteArray::fromStdString(body.dump()));
    });
    EXPECT_EQ(holder(1, neverSent, signing), NonceHolder::unknown);
    second = HttpFixtureResponse::json("{\"items\": \"busy\"}");
    EXPECT_EQ(holder(1, neverSent, signing), NonceHolder::unknown);
    second = HttpFixtureResponse::json(QByteArray::fromStdString(
        json{{"items", json::array({listed(first, 0)})}, {"next_page_params", nullptr}}.dump()));
    EXPECT_EQ(holder(1, neverSent, signing), NonceHolder::another);
    blockscout.setHandler(
        [](const test::HttpFixtureRequest&) { return HttpFixtureResponse::withStatus(503); });
    EXPECT_EQ(holder(1, neverSent, signing), NonceHolder::unknown);
}

// Two different transactions of the key proven at one nonce cannot both be in blocks: a node
// that shows both (in the block that took the nonce, or each asked by the hash the explorer
// lists) is at odds with itself, and names no holder, ours least of all.
TEST_F(NonceHolderOnAnvil, TwoOfTheKeysTransactionsProvenAtOneNonceNameNoHolder) {
    mine(2);
    const std::string ours = pay(sender); // nonce 0
    mine(2);
    json twin;
    rewriteSendersEntries([&twin](json& tx) {
        tx = twin = remade(tx, [](ETHSignedTransaction& t) {
            t.fields.value = UInt256(0, 0, 0, 2);
            signAgain(t);
        });
    });
    ASSERT_EQ(holder(0, ours), NonceHolder::another); // the twin alone holds it
    const std::string twinHash = twin.at("hash");
    // The block lists ours beside its twin, in either order.
    for (const bool twinFirst : {false, true}) {
        proxy.setOverride("eth_getBlockByNumber", [&, twinFirst](const json& params) -> Answer {
            json answer = node->rpc("eth_getBlockByNumber", params);
            json& entries = answer["transactions"];
            if (!entries.empty() &&
                hexToBytes(entries.at(0).at("from").get<std::string>()) == hexToBytes(sender)) {
                entries.insert(twinFirst ? entries.begin() : entries.end(), twin);
            }
            return HttpFixtureResponse::jsonRPCResult(answer);
        });
        EXPECT_EQ(holder(0, ours), NonceHolder::unknown) << twinFirst;
        EXPECT_EQ(holder(0, twinHash), NonceHolder::unknown) << twinFirst;
    }
    proxy.clearOverrides();

    // A node without old state: the explorer lists both, and the node shows each signed and in
    // a block.
    mine(300);
    test::keepOnlyRecentState(proxy, *node);
    proxy.setOverride("eth_getTransactionByHash", [&](const json& params) -> Answer {
        return params.at(0) == twinHash ? Answer(HttpFixtureResponse::jsonRPCResult(twin))
                                        : std::nullopt;
    });
    explorer = &explorerClient;
    pages = {{listed(twinHash, 0)}};
    ASSERT_EQ(holder(0, ours), NonceHolder::another);
    for (const json& both :
         {json{listed(ours, 0), listed(twinHash, 0)}, json{listed(twinHash, 0), listed(ours, 0)}}) {
        pages = {both};
        EXPECT_EQ(holder(0, ours), NonceHolder::unknown);
        EXPECT_EQ(holder(0, twinHash), NonceHolder::unknown);
    }
}

// The explorer only points: a genuine transaction of the key that it lists under another nonce
// than the one the transaction carries proves nothing of that nonce.
TEST_F(NonceHolderOnAnvil, ATransactionListedUnderAnotherNonceProvesNothing) {
    mine(2);
    pay(sender);                           // nonce 0
    const std::string later = pay(sender); // nonce 1
    const std::string neverSent = bytesToHex(keccak256(hexToBytes(signedNeverSent(2)).value()));
    const std::string taken = pay(sender); // nonce 2
    mine(300);
    test::keepOnlyRecentState(proxy, *node);
    explorer = &explorerClient;
    pages = {{listed(later, 2)}};
    EXPECT_EQ(holder(2, neverSent), NonceHolder::unknown);
    pages = {{listed(taken, 2)}};
    EXPECT_EQ(holder(2, neverSent), NonceHolder::another);
}

// A new signing takes the nonce of an earlier attempt that may still land while the chain has
// not mined past it, whatever the node's pool holds. Once the chain has mined past it (it may
// have moved since the attempt was asked about), the nonce's holder decides: the attempt itself
// went through; none proven leaves the choice to the user; another's is taken all the same (that
// signing is refused). A count that cannot be read signs nothing.
TEST_F(NonceHolderOnAnvil, ASigningTakesAnAttemptsNonceUntilTheChainHasMinedPastIt) {
    const auto nonceFor = [&](const std::optional<UnsettledAttempt>& conflict,
                              std::uint64_t pending) {
        return test::runTask(conflictingNonce(
            client, nullptr, EarlierAttempts{std::nullopt, conflict}, pending, {}));
    };
    const auto failure = [&](const UnsettledAttempt& conflict) {
        try {
            nonceFor(conflict, 1);
        } catch (const EarlierAttemptError& error) {
            return std::pair<std::string, std::string>(error.what(), error.undecided());
        }
        return std::pair<std::string, std::string>("signed", "");
    };
    mine(2);
    node->setAutomine(false);
    UnsettledAttempt attempt;
    attempt.account = sender;
    attempt.kind = "send";
    attempt.summary = "1 ETH";
    attempt.nonce = 0;
    attempt.id = node->send(sender, other, "0x", "0x1");
    EXPECT_EQ(nonceFor(std::nullopt, 7), 7u);
    EXPECT_EQ(nonceFor(attempt, 1), 0u); // only the pool holds it
    proxy.setOverride("eth_getTransactionCount", [](const json& params) -> Answer {
        return params.at(1) == "latest" ? std::optional(HttpFixtureResponse::withStatus(502))
                                        : std::nullopt;
    });
    EXPECT_THROW(nonceFor(attempt, 1), JSONRPCClientError);
    proxy.clearOverrides();

    node->mine();
    EXPECT_EQ(failure(attempt).first,
              "Your earlier send of 1 ETH went through; nothing new was signed.");
    EXPECT_EQ(failure(attempt).second, "");
    UnsettledAttempt replaced = attempt;
    replaced.id = madeUp;
    EXPECT_EQ(nonceFor(replaced, 1), 0u);
    rewriteSendersEntries([](json& tx) { tx["hash"] = madeUp; });
    EXPECT_EQ(failure(replaced).second, madeUp);
    EXPECT_EQ(failure(attempt).second, attempt.id);
}

} // namespace
} // namespace qm
