// The watch over the wallet's unsettled transactions, against anvil and looking every 50 ms:
// one the user saw leave is forgotten once mined, one whose nonce another transaction of its
// sender took is forgotten though the user never heard of it, and one mined while the user was
// told it failed stays (the next press of its account says it went through rather than sign
// another payment beside it) until the user is told; on a node without old state, the explorer
// points at the transaction that took the nonce.
#include "AnvilNode.h"
#include "AppStateFixture.h"
#include "BlockscoutSent.h"
#include "PrunedNode.h"
#include "RPCProxy.h"
#include "RunTask.h"
#include "core/crypto/Keccak.h"
#include "core/encoding/Hex.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/AttemptWatch.h"

#include <QTest>
#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>

namespace qm {
namespace {

using test::AnvilNode;

// A send from anvil's first account at `nonce`, its signed bytes `wire`, as the ledger keeps it.
UnsettledAttempt sendOf(const std::string& id, const std::string& wire, std::uint64_t nonce,
                        bool told) {
    UnsettledAttempt attempt;
    attempt.chain = Chain::polygon;
    attempt.account = AnvilNode::devAccount(0);
    std::transform(attempt.account.begin(), attempt.account.end(), attempt.account.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    attempt.id = id;
    attempt.wire = wire;
    attempt.origin = "send:polygon";
    attempt.kind = "send";
    attempt.summary = "0 POL";
    attempt.detail = "to 0x70997970...79c8";
    attempt.counterparty = AnvilNode::devAccount(1);
    attempt.createdAt = Date::now();
    attempt.told = told;
    attempt.nonce = nonce;
    attempt.signedAtBlock = 0;
    return attempt;
}

TEST(AttemptWatch, ForgetsWhatSettledAndKeepsWhatWentThroughUntilTheUserIsTold) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    AnvilNode anvil(137);
    test::AppStateFixture::RPCPools pools;
    pools[2] = anvil.url();
    test::AppStateFixture env(pools);
    const std::string toldFailed =
        anvil.send(AnvilNode::devAccount(0), AnvilNode::devAccount(1), "0x"); // nonce 0, mined
    const std::string sawLeave =
        anvil.send(AnvilNode::devAccount(0), AnvilNode::devAccount(1), "0x"); // nonce 1, mined
    const auto wire = [&](const std::string& id) {
        return anvil.rpc("eth_getRawTransactionByHash", {id}).get<std::string>();
    };
    // Signed by the same key at sawLeave's nonce, never sent.
    const std::string other = anvil
                                  .rpc("eth_signTransaction", {{{"from", AnvilNode::devAccount(0)},
                                                                {"to", AnvilNode::devAccount(2)},
                                                                {"nonce", "0x1"},
                                                                {"gas", "0x5208"},
                                                                {"maxFeePerGas", "0x77359400"},
                                                                {"maxPriorityFeePerGas", "0x1"}}})
                                  .get<std::string>();
    const std::string neverSent = bytesToHex(keccak256(hexToBytes(other).value()));
    AttemptLedger& ledger = env.state().attemptLedger();
    test::runTask(ledger.keep(sendOf(toldFailed, wire(toldFailed), 0, false)));
    test::runTask(ledger.keep(sendOf(sawLeave, wire(sawLeave), 1, true)));
    test::runTask(ledger.keep(sendOf(neverSent, other, 1, false)));

    AttemptWatch watch(env.state(), ledger, std::chrono::milliseconds(50));
    watch.start();
    // Each round looks at them in that order: the first was looked at before the others went.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !ledger.find(sawLeave) && !ledger.find(neverSent); }, 10'000));
    EXPECT_TRUE(ledger.find(toldFailed).has_value());

    // A press said it went through.
    ledger.markTold(toldFailed);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ledger.all().empty(); }, 10'000));
}

// On a node that keeps no old state the blocks cannot say who took an attempt's nonce: the
// explorer points at the transaction of the same key that did, the node shows it signed and in
// a block, and the watch forgets the attempt.
TEST(AttemptWatch, OnANodeWithoutOldStateForgetsWhatTheExplorerShowsLapsed) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    AnvilNode anvil(137);
    test::RPCProxy proxy;
    proxy.setTarget(anvil.url());
    test::AppStateFixture::RPCPools pools;
    pools[2] = proxy.url();
    test::AppStateFixture env(pools);
    const std::string sender = AnvilNode::devAccount(0);
    const std::string other = anvil
                                  .rpc("eth_signTransaction", {{{"from", sender},
                                                                {"to", AnvilNode::devAccount(2)},
                                                                {"nonce", "0x0"},
                                                                {"gas", "0x5208"},
                                                                {"maxFeePerGas", "0x77359400"},
                                                                {"maxPriorityFeePerGas", "0x1"}}})
                                  .get<std::string>();
    const std::string neverSent = bytesToHex(keccak256(hexToBytes(other).value()));
    const std::vector<nlohmann::json> pages = {
        {test::blockscoutSentItem(anvil.send(sender, AnvilNode::devAccount(1), "0x"), 0, sender)}};
    anvil.rpc("anvil_mine", {"0x12c"});
    test::keepOnlyRecentState(proxy, anvil);
    env.web().setHandler(test::blockscoutSentPages(sender, &pages));
    AttemptLedger& ledger = env.state().attemptLedger();
    test::runTask(ledger.keep(sendOf(neverSent, other, 0, false)));

    AttemptWatch watch(env.state(), ledger, std::chrono::milliseconds(50));
    watch.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ledger.all().empty(); }, 10'000));
}

} // namespace
} // namespace qm
