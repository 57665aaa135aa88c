// Approved WalletConnect requests signed by the wallet's signer and answered: signatures that
// the published key of the test phrase makes, a transaction sent once on anvil (a double press,
// a failed answer and its retry, approvals again after a node kept what it refused, a dApp
// asking again under a new id, also after a restart, Send Anyway where no server can place the
// earlier one, another request replacing one a node's pool holds), eth_signTransaction waiting on
// the chain's word about an earlier transaction, a rejection that waits while signing, a lock that
// wins.
#include "AnvilNode.h"
#include "AppStateFixture.h"
#include "HandMadeDapp.h"
#include "LaggingBackend.h"
#include "RPCProxy.h"
#include "RelayFixture.h"
#include "RunTask.h"
#include "core/encoding/Hex.h"
#include "services/evm/EIP191.h"
#include "services/evm/EIP712.h"
#include "services/evm/TypedDataJSON.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/FlowService.h"
#include "state/flows/SignedBroadcast.h"
#include "state/walletconnect/WalletConnectService.h"
#include "ui/walletconnect/WalletConnectViewModel.h"

#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using test::AnvilNode;
using test::HandMadeDapp;
using test::RelayFixture;
using test::runTask;
using test::waitUntil;

const std::string kAddress = "0x9858EfFD232B4033E47d90003D41EC34EcaEda94";
const std::string kPassword = "correct horse";

// The published key of the test phrase at m/44'/60'/0'/0/0.
Bytes abandonKey() {
    return *hexToBytes("1ab42cc412b618bdea3a599e3c9bae199ebf030895b039e9db1e30dafb12b727");
}

SecureBytes password(std::string_view text) {
    return SecureBytes::fromText(text);
}

const char* kTyped = R"({"types": {
    "EIP712Domain": [{"name": "name", "type": "string"}, {"name": "chainId", "type": "uint256"}],
    "Permit": [{"name": "spender", "type": "address"}, {"name": "value", "type": "uint256"}]},
  "primaryType": "Permit", "domain": {"name": "Token", "chainId": 137},
  "message": {"spender": "0x2222222222222222222222222222222222222222",
              "value": 115792089237316195423570985008687907853269984665640564039457584007913129639935}})";

class WalletConnectSigningTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!RelayFixture::isAvailable() || !AnvilNode::isAvailable()) {
            GTEST_SKIP() << "node, anvil and tests/peers are not installed (scripts/install-deps)";
        }
        relay = std::make_unique<RelayFixture>();
        anvil = std::make_unique<AnvilNode>(137);
        anvil->setBalance(kAddress, "0x56bc75e2d63100000"); // 100 POL
        proxy.setTarget(anvil->url());
        // The chain's answer asked for often, and a refusal watched briefly.
        FlowLimits limits;
        limits.pollInterval = std::chrono::milliseconds(50);
        limits.confirmationTimeout = std::chrono::seconds(10);
        flows = std::make_unique<FlowService>(limits);
        WalletConnectService::Options options;
        options.manager.endpoint = WCRelayEndpoint{relay->url(), "quillmark-tests"};
        options.manager.sessionsFile =
            std::filesystem::path(folder.path().toStdString()) / "wc_sessions_v2.json";
        options.flows = flows.get();
        env = std::make_unique<test::AppStateFixture>(
            options, std::array<std::optional<QUrl>, 4>{std::nullopt, std::nullopt, proxy.url(),
                                                        std::nullopt});
        env->state().loadStoredState();
        runTask(env->state().createWallet(test::AppStateFixture::abandonPhrase(), kPassword));
        env->state().stopBackgroundTasks();
        runTask(service().setup());
        dapp = std::make_unique<HandMadeDapp>(*relay);
        runTask(service().pair(dapp->pairingURI()));
        dapp->propose(1);
        ASSERT_TRUE(waitUntil([&] { return !service().proposals().empty(); }));
        runTask(service().approveProposal(1));
        dapp->readAnswer();
    }

    WalletConnectService& service() { return env->walletConnectService(); }

    // Waits for request `id` in the line, its transaction prepared as the sheet waits for it,
    // and approves it.
    bool sign(std::int64_t id, std::string_view secret = kPassword) {
        EXPECT_TRUE(waitUntil([&] {
            const auto& requests = service().requests();
            return std::any_of(requests.begin(), requests.end(),
                               [&](const WCPreparedRequest& r) { return r.request.id == id; });
        }));
        waitForReview(id);
        return runTask(service().approveRequest(dapp->sessionTopic, id, password(secret)));
    }
    void waitForReview(std::int64_t id) {
        EXPECT_TRUE(waitUntil([&] {
            const WCTransactionReview* review = service().transactionReview(dapp->sessionTopic, id);
            return !review || !review->preparing;
        }));
    }
    std::string failureOfSigning(std::int64_t id, std::string_view secret) {
        try {
            sign(id, secret);
        } catch (const std::exception& error) {
            return error.what();
        }
        return "no error";
    }
    // Request `id` of `transaction`, approved while `node` keeps what it refuses: it fails with
    // the node's text, and the one transaction the node kept is mined.
    void approveKeptAndRefused(const test::LaggingBackend& node, std::int64_t id,
                               const json& transaction) {
        dapp->request(id, "eth_sendTransaction", json::array({transaction}), "eip155:137");
        EXPECT_THAT(failureOfSigning(id, kPassword), ::testing::HasSubstr("daemon error: timeout"));
        ASSERT_EQ(node.kept().size(), 1u);
        EXPECT_EQ(anvil->minedReceipt(node.kept().front())["status"], "0x1");
    }
    json answerTo(std::int64_t id) {
        EXPECT_TRUE(waitUntil([&] {
            const auto answers = dapp->answers();
            return std::any_of(answers.begin(), answers.end(),
                               [&](const json& a) { return a["id"] == id; });
        }));
        for (const json& answer : dapp->answers()) {
            if (answer["id"] == id) {
                return answer;
            }
        }
        return {};
    }
    // Transactions the node has taken, mined or not: anvil mines on a task of its own, so a
    // "latest" count can lag the send on a busy machine.
    std::uint64_t sentCount() {
        return *hexToUInt64(
            test::runTask(env->state()
                              .networkManager()
                              .evmClient(Chain::polygon)
                              ->call<std::string>("eth_getTransactionCount",
                                                  json::array({kAddress, "pending"}))));
    }

    QTemporaryDir folder;
    std::unique_ptr<RelayFixture> relay;
    std::unique_ptr<AnvilNode> anvil;
    test::RPCProxy proxy;
    std::unique_ptr<FlowService> flows;
    std::unique_ptr<test::AppStateFixture> env;
    std::unique_ptr<HandMadeDapp> dapp;
};

TEST_F(WalletConnectSigningTest, MessagesAndTypedDataAreSignedByTheWalletsKey) {
    dapp->request(1, "personal_sign", {"0x68656c6c6f", kAddress});
    // A wrong password signs nothing and answers nothing; the request stays for a retry.
    EXPECT_EQ(failureOfSigning(1, "wrong password"), "Incorrect password");
    EXPECT_EQ(service().requests().size(), 1u);
    EXPECT_TRUE(dapp->answers().empty());
    EXPECT_TRUE(sign(1));
    EXPECT_EQ(answerTo(1)["result"],
              bytesToHex(personalSign(*hexToBytes("68656c6c6f"), abandonKey())));
    EXPECT_TRUE(service().requests().empty());

    // Hex digits without "0x" are signed as the text they are.
    dapp->request(2, "personal_sign", {"deadbeef", kAddress});
    EXPECT_TRUE(sign(2));
    EXPECT_EQ(answerTo(2)["result"], bytesToHex(personalSign(utf8View("deadbeef"), abandonKey())));

    dapp->request(3, "eth_signTypedData_v4", {kAddress, kTyped}, "eip155:137");
    EXPECT_TRUE(sign(3));
    EXPECT_EQ(answerTo(3)["result"],
              bytesToHex(signTypedData(*parseTypedData(kTyped), abandonKey())));

    // A method the wallet does not serve is not signed; the user rejects it.
    dapp->request(4, "eth_sign", {kAddress, "0x68"});
    EXPECT_EQ(failureOfSigning(4, kPassword), "Signing failed: Unsupported method: eth_sign");
    runTask(service().rejectRequest(dapp->sessionTopic, 4));
    EXPECT_EQ(answerTo(4)["error"]["code"], 5000);
}

TEST_F(WalletConnectSigningTest, ATransactionIsSentOnceAndItsHashAnsweredEvenAfterARetry) {
    const json transaction = {{"from", kAddress},
                              {"to", "0x2222222222222222222222222222222222222222"},
                              {"value", "0x14d1120d7b160000"}};
    dapp->request(10, "eth_sendTransaction", json::array({transaction}), "eip155:137");
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 1; }));
    waitForReview(10);
    // The answer cannot reach the relay: the transaction is sent, its hash kept.
    relay->control({{"op", "reply"},
                    {"method", "irn_publish"},
                    {"text", R"({"id":$ID,"jsonrpc":"2.0","error":{"message":"full"}})"}});
    // A double press makes one transaction.
    auto first = service().approveRequest(dapp->sessionTopic, 10, password(kPassword));
    auto second = service().approveRequest(dapp->sessionTopic, 10, password(kPassword));
    EXPECT_FALSE(runTask(std::move(second)));
    EXPECT_THROW(runTask(std::move(first)), std::exception);
    EXPECT_EQ(sentCount(), 1u);
    EXPECT_EQ(service().requests().size(), 1u);
    // Neither the dApp nor the user heard that it left: kept untold.
    AttemptLedger& ledger = env->state().attemptLedger();
    ASSERT_EQ(ledger.all().size(), 1u);
    EXPECT_FALSE(ledger.all().front().told);
    relay->control({{"op", "reply"}, {"method", "irn_publish"}, {"text", nullptr}});
    // The retry answers with the same hash and sends nothing new (no password needed).
    EXPECT_TRUE(sign(10, ""));
    EXPECT_EQ(sentCount(), 1u);
    const std::string hash = answerTo(10)["result"];
    ASSERT_TRUE(ledger.find(hash));
    EXPECT_TRUE(ledger.find(hash)->told);
    const json receipt = anvil->minedReceipt(hash);
    EXPECT_EQ(receipt["status"], "0x1");
    EXPECT_EQ(receipt["from"], "0x9858effd232b4033e47d90003d41ec34ecaeda94");

    // eth_signTransaction signs and sends nothing.
    dapp->request(11, "eth_signTransaction", json::array({transaction}), "eip155:137");
    EXPECT_TRUE(sign(11));
    const std::string raw = answerTo(11)["result"];
    EXPECT_TRUE(raw.starts_with("0x02"));
    EXPECT_EQ(sentCount(), 1u);

    // Not while a transaction of the account that the user was told failed may still land:
    // the dApp would send it beside that one.
    UnsettledAttempt failed;
    failed.chain = Chain::polygon;
    failed.account = "0x9858effd232b4033e47d90003d41ec34ecaeda94";
    failed.id = "0x" + std::string(64, 'a');
    failed.wire = "0x02";
    failed.kind = "send";
    failed.summary = "2 POL";
    failed.detail = "to 0x222222...222222";
    failed.nonce = 1;
    runTask(ledger.keep(failed));
    dapp->request(12, "eth_signTransaction", json::array({transaction}), "eip155:137");
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 1; }));
    waitForReview(12);
    EXPECT_THROW(runTask(service().approveRequest(dapp->sessionTopic, 12, password(kPassword))),
                 EarlierAttemptError);
    EXPECT_EQ(sentCount(), 1u);
    ledger.markTold(failed.id);
    EXPECT_TRUE(sign(12));
}

// The dApp hears the hash of the transaction the wallet signed, never the node's word for it:
// a node answering another (mined) transaction's hash has refused ours, and the dApp hears an
// error; a lost answer, or another hash, from a node that took it still answers the dApp with
// our hash.
TEST_F(WalletConnectSigningTest, TheDappHearsOurOwnHashOrARefusal) {
    const json transaction = json::array({{{"from", kAddress},
                                           {"to", "0x2222222222222222222222222222222222222222"},
                                           {"value", "0x1"}}});
    const std::string other = anvil->send(AnvilNode::devAccount(0), AnvilNode::devAccount(1), "0x");
    proxy.setOverride("eth_sendRawTransaction", [&](const json&) {
        return std::optional(test::HttpFixtureResponse::jsonRPCResult(other));
    });
    dapp->request(20, "eth_sendTransaction", transaction, "eip155:137");
    EXPECT_THAT(failureOfSigning(20, kPassword), ::testing::HasSubstr(other));
    EXPECT_EQ(sentCount(), 0u);

    proxy.setOverride("eth_sendRawTransaction", [&](const json& params) {
        anvil->rpc("eth_sendRawTransaction", params);
        return std::optional(test::HttpFixtureResponse::withStatus(504));
    });
    EXPECT_TRUE(sign(20));
    const std::string hash = answerTo(20)["result"];
    EXPECT_NE(hash, other);
    EXPECT_EQ(anvil->minedReceipt(hash)["status"], "0x1");
    EXPECT_EQ(sentCount(), 1u);

    // Taken, and answered with another hash: the dApp still hears the one of our bytes.
    proxy.setOverride("eth_sendRawTransaction", [&](const json& params) {
        anvil->rpc("eth_sendRawTransaction", params);
        return std::optional(test::HttpFixtureResponse::jsonRPCResult(other));
    });
    dapp->request(21, "eth_sendTransaction", transaction, "eip155:137");
    EXPECT_TRUE(sign(21));
    const std::string second = answerTo(21)["result"];
    EXPECT_NE(second, other);
    EXPECT_EQ(anvil->minedReceipt(second)["status"], "0x1");
    EXPECT_EQ(sentCount(), 2u);
}

// A node that keeps the transaction yet answers an error while its lookups (and its count of
// mined transactions) lag: approved again meanwhile, the request stays listed and the dApp hears
// nothing; approved again once they caught up, it is answered with the hash of the one that
// landed, and one payment left.
TEST_F(WalletConnectSigningTest, ARequestApprovedAgainAfterItsTransactionWasKeptPaysOnce) {
    const std::string to = "0x4444444444444444444444444444444444444444";
    const json transaction = {{"from", kAddress}, {"to", to}, {"value", "0xde0b6b3a7640000"}};
    test::LaggingBackend node(proxy, anvil->url(), test::LaggingBackend::Family::evm,
                              "daemon error: timeout", std::chrono::hours(1));
    dapp->request(30, "eth_sendTransaction", json::array({transaction}), "eip155:137");
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 1; }));
    waitForReview(30);
    for (int approval = 0; approval < 3; ++approval) {
        EXPECT_THROW(runTask(service().approveRequest(dapp->sessionTopic, 30, password(kPassword))),
                     std::exception);
        EXPECT_EQ(service().requests().size(), 1u);
        EXPECT_TRUE(dapp->answers().empty());
    }
    node.catchUp();
    EXPECT_TRUE(runTask(service().approveRequest(dapp->sessionTopic, 30, password(kPassword))));
    const std::string hash = answerTo(30)["result"];
    ASSERT_FALSE(node.kept().empty());
    EXPECT_EQ(hash, node.kept().front());
    EXPECT_EQ(anvil->minedReceipt(hash)["status"], "0x1");
    EXPECT_EQ(anvil->rpc("eth_getBalance", {to, "latest"}), "0xde0b6b3a7640000"); // 1 POL, once
    EXPECT_EQ(sentCount(), 1u);
}

// A dApp that hears nothing back asks again under a new id with the same transaction (2 POL),
// from a node that kept the first while its lookups lag and its count is ahead of them. While
// the first may still land, the second signs nothing and says the first may have gone through;
// once the lookups see the first, the second is refused once, saying it went through. The
// recipient is paid once.
TEST_F(WalletConnectSigningTest, ADappAskingAgainUnderANewIdSignsNothingBesideTheFirst) {
    const std::string to = "0x5555555555555555555555555555555555555555";
    const json transaction = {{"from", kAddress}, {"to", to}, {"value", "0x1bc16d674ec80000"}};
    test::LaggingBackend node(proxy, anvil->url(), test::LaggingBackend::Family::evm,
                              "daemon error: timeout", std::chrono::hours(1),
                              test::LaggingBackend::Count::ahead);
    ASSERT_NO_FATAL_FAILURE(approveKeptAndRefused(node, 60, transaction));

    const std::string earlier = "Your earlier dApp transaction (Send 2 POL to 0x555555...555555)";
    dapp->request(61, "eth_sendTransaction", json::array({transaction}), "eip155:137");
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 2; }));
    waitForReview(61);
    EXPECT_EQ(service().replacementNote(dapp->sessionTopic, 61).toStdString(),
              "This replaces your earlier dApp transaction (Send 2 POL to 0x555555...555555) "
              "that may still go through.");
    EXPECT_EQ(failureOfSigning(61, kPassword),
              earlier + " may have gone through: the network has used its nonce, and no server "
                        "shows by which transaction. Look for it in the account's history or on a "
                        "block explorer. Nothing was signed. Send Anyway signs this one as a new "
                        "transaction, which pays again if the earlier one went through.");
    EXPECT_EQ(node.kept().size(), 1u);

    node.catchUp();
    EXPECT_EQ(failureOfSigning(61, kPassword), earlier + " went through; nothing new was signed.");
    EXPECT_EQ(node.kept().size(), 1u);
    EXPECT_TRUE(dapp->answers().empty());
    EXPECT_EQ(service().requests().size(), 2u);
    EXPECT_EQ(anvil->rpc("eth_getBalance", {to, "latest"}), "0x1bc16d674ec80000"); // 2 POL, once
    EXPECT_EQ(sentCount(), 1u);

    // The first request, still waiting, approved again after that: its own transaction, which
    // went through, is what the dApp hears; nothing new is signed.
    EXPECT_TRUE(sign(60, kPassword));
    EXPECT_EQ(answerTo(60)["result"], node.kept().front());
    EXPECT_EQ(node.kept().size(), 1u);
    EXPECT_EQ(anvil->rpc("eth_getBalance", {to, "latest"}), "0x1bc16d674ec80000");
}

// The same, and once the lookups caught up the first request is approved again: it is followed,
// the dApp hears the hash of what landed and the sheet's note says it went through. The
// recipient is paid once.
TEST_F(WalletConnectSigningTest, TheFirstRequestApprovedAgainAnswersWithWhatLanded) {
    const std::string to = "0x6666666666666666666666666666666666666666";
    const json transaction = {{"from", kAddress}, {"to", to}, {"value", "0x1bc16d674ec80000"}};
    test::LaggingBackend node(proxy, anvil->url(), test::LaggingBackend::Family::evm,
                              "daemon error: timeout", std::chrono::hours(1),
                              test::LaggingBackend::Count::ahead);
    ASSERT_NO_FATAL_FAILURE(approveKeptAndRefused(node, 70, transaction));
    const std::string first = node.kept().front();
    dapp->request(71, "eth_sendTransaction", json::array({transaction}), "eip155:137");
    EXPECT_THAT(failureOfSigning(71, kPassword), ::testing::HasSubstr("may have gone through"));

    node.catchUp();
    EXPECT_TRUE(sign(70, ""));
    EXPECT_EQ(answerTo(70)["result"], first);
    EXPECT_EQ(service().followedNote().toStdString(),
              "Your earlier dApp transaction (Send 2 POL to 0x666666...666666) went through; "
              "nothing new was signed.");
    EXPECT_EQ(node.kept().size(), 1u);
    runTask(service().rejectRequest(dapp->sessionTopic, 71));
    EXPECT_EQ(answerTo(71)["error"]["code"], 5000);
    EXPECT_EQ(anvil->rpc("eth_getBalance", {to, "latest"}), "0x1bc16d674ec80000"); // 2 POL, once
    EXPECT_EQ(sentCount(), 1u);
}

// The first approval's transaction kept by a node that answered an error, its lookups behind
// its count, outlives the program: after a restart (its dApp session restored), the dApp asking
// again under a new id signs nothing while the chain cannot say which transaction holds the
// nonce, then is refused once, saying the first went through. One payment.
TEST_F(WalletConnectSigningTest, AKeptTransactionOutlivesARestart) {
    const std::string to = "0x7777777777777777777777777777777777777777";
    const json transaction = {{"from", kAddress}, {"to", to}, {"value", "0x1bc16d674ec80000"}};
    test::LaggingBackend node(proxy, anvil->url(), test::LaggingBackend::Family::evm,
                              "daemon error: timeout", std::chrono::hours(1),
                              test::LaggingBackend::Count::ahead);
    ASSERT_NO_FATAL_FAILURE(approveKeptAndRefused(node, 80, transaction));

    env->restart();
    env->state().loadStoredState();
    runTask(env->state().unlock(kPassword));
    env->state().stopBackgroundTasks();
    runTask(service().setup());
    const std::string earlier = "Your earlier dApp transaction (Send 2 POL to 0x777777...777777)";
    dapp->request(81, "eth_sendTransaction", json::array({transaction}), "eip155:137");
    ASSERT_TRUE(waitUntil([&] {
        const auto& requests = service().requests();
        return std::any_of(requests.begin(), requests.end(),
                           [](const WCPreparedRequest& r) { return r.request.id == 81; });
    }));
    waitForReview(81);
    EXPECT_EQ(service().replacementNote(dapp->sessionTopic, 81).toStdString(),
              "This replaces your earlier dApp transaction (Send 2 POL to 0x777777...777777) "
              "that may still go through.");
    EXPECT_EQ(failureOfSigning(81, kPassword),
              earlier + " may have gone through: the network has used its nonce, and no server "
                        "shows by which transaction. Look for it in the account's history or on a "
                        "block explorer. Nothing was signed. Send Anyway signs this one as a new "
                        "transaction, which pays again if the earlier one went through.");

    node.catchUp();
    EXPECT_EQ(failureOfSigning(81, kPassword), earlier + " went through; nothing new was signed.");
    EXPECT_EQ(node.kept().size(), 1u);
    EXPECT_EQ(anvil->rpc("eth_getBalance", {to, "latest"}), "0x1bc16d674ec80000"); // 2 POL, once
    EXPECT_EQ(sentCount(), 1u);
}

// The first request's transaction kept by a node that answered an error and counts it, while no
// block or lookup shows it: no server can say which transaction took its nonce. The dApp asks
// for another payment; the sheet says what the wallet knows, offers Send Anyway and keeps the
// password, and no longer names the first as replaced; Sign again signs nothing. Send Anyway
// signs one new transaction at the next nonce, and the dApp hears its hash.
TEST_F(WalletConnectSigningTest, SendAnywaySignsBesideATransactionNoServerCanPlace) {
    const std::string to = "0x8888888888888888888888888888888888888888";
    const json transaction = {{"from", kAddress}, {"to", to}, {"value", "0x1bc16d674ec80000"}};
    test::LaggingBackend node(proxy, anvil->url(), test::LaggingBackend::Family::evm,
                              "daemon error: timeout", std::chrono::hours(1),
                              test::LaggingBackend::Count::ahead);
    ASSERT_NO_FATAL_FAILURE(approveKeptAndRefused(node, 90, transaction));
    runTask(service().rejectRequest(dapp->sessionTopic, 90));
    const json other = {{"from", kAddress}, {"to", to}, {"value", "0xde0b6b3a7640000"}};
    dapp->request(91, "eth_sendTransaction", json::array({other}), "eip155:137");
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 1; }));
    waitForReview(91);

    WalletConnectViewModel sheet(env->state());
    ASSERT_EQ(sheet.requestKey().toStdString(), dapp->sessionTopic + "/91");
    EXPECT_FALSE(sheet.replacementNote().isEmpty());
    sheet.setPassword(QString::fromStdString(kPassword));
    for (int press = 0; press < 2; ++press) {
        runTask(sheet.approveRequest());
        EXPECT_EQ(sheet.signError().toStdString(),
                  "Your earlier dApp transaction (Send 2 POL to 0x888888...888888) may have gone "
                  "through: the network has used its nonce, and no server shows by which "
                  "transaction. Look for it in the account's history or on a block explorer. "
                  "Nothing was signed. Send Anyway signs this one as a new transaction, which "
                  "pays again if the earlier one went through.");
        EXPECT_TRUE(sheet.offersSendAnyway());
        EXPECT_TRUE(sheet.hasPassword());
        EXPECT_TRUE(sheet.replacementNote().isEmpty());
        EXPECT_EQ(sentCount(), 1u);
    }

    node.answerNewOnes();
    sheet.sendAnyway();
    const std::string hash = answerTo(91)["result"];
    EXPECT_NE(hash, node.kept().front());
    const json sent = anvil->rpc("eth_getTransactionByHash", {hash});
    EXPECT_EQ(sent["nonce"], "0x1");
    EXPECT_EQ(sent["value"], "0xde0b6b3a7640000");
    EXPECT_EQ(anvil->minedReceipt(hash)["status"], "0x1");
    EXPECT_EQ(sentCount(), 2u);
    EXPECT_FALSE(sheet.offersSendAnyway());
    EXPECT_EQ(anvil->rpc("eth_getBalance", {to, "latest"}), "0x29a2241af62c0000"); // 2 + 1 POL
}

// The first request's transaction kept in the node's pool while the node answered an error, its
// lookup null, and no block mined: only the pool holds its nonce. The dApp's other payment,
// reviewed before that, is approved: nothing is signed, its review now names the first as
// replaced and pays what the pool asks to take it in its place. Approved again, it is signed at
// that nonce, no Send Anyway, and the dApp hears its hash. Once a block is mined, one payment
// landed: the second.
TEST_F(WalletConnectSigningTest, ATransactionKeptInThePoolIsReplacedAtItsNonce) {
    const std::string to = "0x1212121212121212121212121212121212121212";
    anvil->setAutomine(false);
    test::LaggingBackend node(proxy, anvil->url(), test::LaggingBackend::Family::evm,
                              "daemon error: timeout", std::chrono::hours(1));
    dapp->request(110, "eth_sendTransaction",
                  json::array({{{"from", kAddress}, {"to", to}, {"value", "0x1bc16d674ec80000"}}}),
                  "eip155:137");
    dapp->request(111, "eth_sendTransaction",
                  json::array({{{"from", kAddress}, {"to", to}, {"value", "0xde0b6b3a7640000"}}}),
                  "eip155:137");
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 2; }));
    waitForReview(111);
    EXPECT_THAT(failureOfSigning(110, kPassword), ::testing::HasSubstr("daemon error: timeout"));
    ASSERT_EQ(node.kept().size(), 1u);
    runTask(service().rejectRequest(dapp->sessionTopic, 110));
    const json held = anvil->rpc("eth_getTransactionByHash", {node.kept().front()});
    const UInt256 heldCap = *UInt256::fromHex(held["maxFeePerGas"].get<std::string>());
    const auto shown = [&] {
        const WCTransactionReview* review = service().transactionReview(dapp->sessionTopic, 111);
        return review && review->prepared ? review->prepared->transaction : ETHTransaction{};
    };
    EXPECT_EQ(shown().maxFeePerGas, heldCap);

    EXPECT_THAT(failureOfSigning(111, kPassword),
                ::testing::StartsWith("The network fee changed: the max network fee is now "));
    EXPECT_EQ(service().replacementNote(dapp->sessionTopic, 111).toStdString(),
              "This replaces your earlier dApp transaction (Send 2 POL to 0x121212...121212) "
              "that may still go through.");
    EXPECT_GT(shown().maxFeePerGas, heldCap);
    EXPECT_EQ(node.kept().size(), 1u);

    node.answerNewOnes();
    const ETHTransaction signing = shown();
    EXPECT_TRUE(sign(111));
    const std::string hash = answerTo(111)["result"];
    const json sent = anvil->rpc("eth_getTransactionByHash", {hash});
    EXPECT_EQ(sent["nonce"], "0x0");
    EXPECT_EQ(sent["maxFeePerGas"], signing.maxFeePerGas.description());
    EXPECT_EQ(sent["maxPriorityFeePerGas"], signing.maxPriorityFeePerGas.description());
    EXPECT_EQ(sentCount(), 1u);
    anvil->mine();
    EXPECT_EQ(anvil->minedReceipt(hash)["status"], "0x1");
    EXPECT_EQ(anvil->rpc("eth_getBalance", {to, "latest"}), "0xde0b6b3a7640000"); // 1 POL, once
    EXPECT_EQ(sentCount(), 1u);
}

// eth_signTransaction (which the dApp sends itself) asks the chain about the account's earlier
// transaction the user was told failed: refused while it may land, refused once saying it went
// through once the chain shows it, then signed.
TEST_F(WalletConnectSigningTest, ASignedTransactionWaitsOnlyWhileTheEarlierOneMayLand) {
    const std::string to = "0x9999999999999999999999999999999999999999";
    const json transaction = {{"from", kAddress}, {"to", to}, {"value", "0x1bc16d674ec80000"}};
    test::LaggingBackend node(proxy, anvil->url(), test::LaggingBackend::Family::evm,
                              "daemon error: timeout", std::chrono::hours(1),
                              test::LaggingBackend::Count::ahead);
    ASSERT_NO_FATAL_FAILURE(approveKeptAndRefused(node, 100, transaction));
    runTask(service().rejectRequest(dapp->sessionTopic, 100));
    const std::string earlier = "Your earlier dApp transaction (Send 2 POL to 0x999999...999999)";
    dapp->request(101, "eth_signTransaction", json::array({transaction}), "eip155:137");
    EXPECT_EQ(failureOfSigning(101, kPassword),
              earlier + " may still go through, and a transaction signed for the dApp could "
                        "land beside it; nothing was signed.");

    node.catchUp();
    EXPECT_EQ(failureOfSigning(101, kPassword), earlier + " went through; nothing new was signed.");
    EXPECT_TRUE(sign(101));
    const std::string raw = answerTo(101)["result"];
    EXPECT_TRUE(raw.starts_with("0x02"));
    EXPECT_EQ(sentCount(), 1u);
}

TEST_F(WalletConnectSigningTest, TheTransactionSignedIsTheOneReviewedAndAFeeRiseStopsFirst) {
    const json transaction = {{"from", kAddress},
                              {"to", "0x2222222222222222222222222222222222222222"},
                              {"value", "0x2386f26fc10000"}};
    dapp->request(40, "eth_sendTransaction", json::array({transaction}), "eip155:137");
    dapp->request(41, "eth_sendTransaction", json::array({transaction}), "eip155:137");
    const auto review = [&](std::int64_t id) {
        return service().transactionReview(dapp->sessionTopic, id);
    };
    // The two are prepared side by side and either may finish first.
    ASSERT_TRUE(waitUntil(
        [&] { return review(40) && review(40)->prepared && review(41) && review(41)->prepared; }));
    // What the review shows: the limit from the estimate, twice the node's gas price, their
    // product and the total.
    const WCPreparedTransaction shown = *review(40)->prepared;
    const std::uint64_t gasPrice =
        *hexToUInt64(anvil->rpc("eth_gasPrice", json::array()).get<std::string>());
    EXPECT_EQ(shown.transaction.gasLimit, 25'200u); // 21,000 and a fifth
    EXPECT_EQ(shown.transaction.maxFeePerGas, UInt256(0, 0, 0, 2 * gasPrice));
    EXPECT_EQ(shown.maxFee, UInt256(0, 0, 0, 25'200 * 2 * gasPrice));
    EXPECT_EQ(shown.total, UInt256(0, 0, 0, 10'000'000'000'000'000ull + 25'200 * 2 * gasPrice));
    EXPECT_EQ(shown.transaction.nonce, review(41)->prepared->transaction.nonce);

    // The base fee jumps past the fee cap shown: nothing is signed, the new figure is named
    // and shown, and the password stays unused.
    anvil->rpc("anvil_setNextBlockBaseFeePerGas", json::array({"0x174876e800"})); // 100 gwei
    anvil->mine();
    const std::string failure = failureOfSigning(40, kPassword);
    ASSERT_NE(review(40), nullptr);
    ASSERT_TRUE(review(40)->prepared);
    const WCPreparedTransaction revised = *review(40)->prepared;
    EXPECT_GT(revised.maxFee, shown.maxFee);
    EXPECT_EQ(failure, "The network fee changed: the max network fee is now " +
                           exactCoinText(revised.maxFee, Chain::polygon) +
                           ". Review it and sign again.");
    EXPECT_EQ(sentCount(), 0u);
    EXPECT_TRUE(dapp->answers().empty());

    // The next press signs what is shown now; the node decodes the fee cap and limit shown.
    EXPECT_TRUE(sign(40));
    const json sent = anvil->rpc("eth_getTransactionByHash", json::array({answerTo(40)["result"]}));
    EXPECT_EQ(UInt256::fromHex(sent["maxFeePerGas"].get<std::string>()),
              revised.transaction.maxFeePerGas);
    EXPECT_EQ(hexToUInt64(sent["gas"].get<std::string>()), revised.transaction.gasLimit);
    EXPECT_EQ(sent["nonce"], "0x0");

    // The second was prepared with the same nonce before the first left: it is read again at
    // signing, so both are mined. (It also saw the old fee: shown anew first.)
    EXPECT_THAT(failureOfSigning(41, kPassword),
                ::testing::StartsWith("The network fee changed: the max network fee is now "));
    EXPECT_TRUE(sign(41));
    const json second = anvil->minedReceipt(answerTo(41)["result"]);
    EXPECT_EQ(second["status"], "0x1");
    EXPECT_EQ(sentCount(), 2u);

    // eth_signTransaction signs as shown too: the node takes the bytes with the figures shown.
    dapp->request(42, "eth_signTransaction", json::array({transaction}), "eip155:137");
    ASSERT_TRUE(waitUntil([&] { return review(42) && review(42)->prepared; }));
    const WCPreparedTransaction signedShown = *review(42)->prepared;
    EXPECT_TRUE(sign(42));
    const json raw = anvil->rpc("eth_sendRawTransaction", json::array({answerTo(42)["result"]}));
    const json decoded = anvil->rpc("eth_getTransactionByHash", json::array({raw}));
    EXPECT_EQ(UInt256::fromHex(decoded["maxFeePerGas"].get<std::string>()),
              signedShown.transaction.maxFeePerGas);
    EXPECT_EQ(hexToUInt64(decoded["gas"].get<std::string>()), signedShown.transaction.gasLimit);
    EXPECT_EQ(decoded["nonce"], "0x2");
}

// What the dApp names itself (its gas, gas price, fee cap, tip) and what the node answers are
// held to the bounds no honest chain passes: the review shows the refusal instead of figures,
// and Sign signs nothing.
TEST_F(WalletConnectSigningTest, FeeFiguresNoHonestChainGivesAreRefusedBeforeTheReview) {
    const json base = {
        {"from", kAddress}, {"to", "0x2222222222222222222222222222222222222222"}, {"value", "0x1"}};
    const auto with = [&](const json& changes) {
        json changed = base;
        changed.update(changes);
        return changed;
    };
    const std::string absurd = "0x1" + std::string(50, '0'); // 2^200 wei per gas
    const std::string byDapp = "The dApp's fee figures are not believable: ";
    const std::string byNode = "The node's fee figures are not believable: ";
    std::int64_t id = 50;
    const auto refusedWith = [&](json transaction, const std::string& text) {
        dapp->request(id, "eth_sendTransaction", json::array({std::move(transaction)}),
                      "eip155:137");
        ASSERT_TRUE(waitUntil([&] { return service().transactionReview(dapp->sessionTopic, id); }));
        waitForReview(id);
        const WCTransactionReview* review = service().transactionReview(dapp->sessionTopic, id);
        ASSERT_NE(review, nullptr);
        EXPECT_FALSE(review->prepared);
        EXPECT_EQ(review->error, text);
        EXPECT_EQ(failureOfSigning(id, kPassword), text);
        runTask(service().rejectRequest(dapp->sessionTopic, id));
        ++id;
    };
    const std::size_t calls = env->keychain().calls().size();
    for (const char* gas : {"0x8000000000000000", "0xffffffffffffffff", "0x1c9c381"}) {
        refusedWith(with({{"gas", gas}}), byDapp + "its gas limit is above 30,000,000 gas.");
    }
    refusedWith(with({{"gasPrice", absurd}}),
                byDapp + "its gas price is above 10,000 gwei per gas.");
    refusedWith(with({{"maxFeePerGas", absurd}}),
                byDapp + "its fee cap is above 10,000 gwei per gas.");
    refusedWith(with({{"maxPriorityFeePerGas", "0x9184e72a001"}}), // 10^13 + 1
                byDapp + "its tip is above 10,000 gwei per gas.");
    proxy.setOverride("eth_gasPrice", [&](const json&) {
        return std::optional(test::HttpFixtureResponse::jsonRPCResult(absurd));
    });
    refusedWith(base, byNode + "the gas price is above 10,000 gwei per gas.");
    proxy.clearOverrides();
    proxy.setOverride("eth_estimateGas", [&](const json&) {
        return std::optional(test::HttpFixtureResponse::jsonRPCResult("0x8000000000000000"));
    });
    refusedWith(base, byNode + "the gas estimate is above 30,000,000 gas.");
    proxy.clearOverrides();
    EXPECT_EQ(env->keychain().calls().size(), calls); // nothing signed
    EXPECT_EQ(sentCount(), 0u);

    // At the limits themselves the request is reviewed and sent.
    dapp->request(id, "eth_sendTransaction",
                  json::array({with({{"gas", "0x5208"}, {"gasPrice", "0x9184e72a000"}})}),
                  "eip155:137");
    EXPECT_TRUE(sign(id));
    EXPECT_EQ(anvil->minedReceipt(answerTo(id)["result"])["status"], "0x1");
}

TEST_F(WalletConnectSigningTest, RejectWaitsForTheSigningAndALockWins) {
    dapp->request(20, "personal_sign", {"0x01"});
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 1; }));
    // The keychain holds the seed back: the signing waits there.
    env->keychain().hang();
    auto signing = service().approveRequest(dapp->sessionTopic, 20, password(kPassword));
    EXPECT_TRUE(service().isSigning());
    runTask(service().rejectRequest(dapp->sessionTopic, 20));
    EXPECT_EQ(service().requests().size(), 1u);
    env->keychain().release();
    EXPECT_TRUE(runTask(std::move(signing)));
    EXPECT_EQ(answerTo(20)["result"], bytesToHex(personalSign(Bytes{1}, abandonKey())));
    QTest::qWait(100);
    EXPECT_EQ(dapp->answers().size(), 1u); // no rejection after the signature

    dapp->request(21, "personal_sign", {"0x02"});
    ASSERT_TRUE(waitUntil([&] { return service().requests().size() == 1; }));
    env->keychain().hang();
    auto locked = service().approveRequest(dapp->sessionTopic, 21, password(kPassword));
    env->state().lock();
    env->keychain().release();
    EXPECT_THROW(runTask(std::move(locked)), std::exception);
    EXPECT_EQ(service().requests().size(), 1u);
    EXPECT_TRUE(dapp->answers().size() == 1u);
}

} // namespace
} // namespace qm
