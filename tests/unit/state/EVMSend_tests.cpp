// The EVM send against anvil on chain ids 1, 42161 and 137, through a proxy that lets a test
// answer one method itself: exact native and ERC-20 amounts arrive, the mined type-2 fields
// are the prepared ones the fee level asks for, one transaction per double start, consecutive
// nonces for sends not yet mined, the tip capped at the fee cap, a reverted receipt, a gas
// price or estimate above the prepared ones stopping before signing, every failure when
// preparing, before and after the broadcast, a refused send the node kept and mined paid
// once though its lookups lag the count of mined transactions (or its stored bytes were altered),
// and the nonce of a refused send taken by another wallet of the same key, also where only the
// block explorer points at it.
#include "AnvilNode.h"
#include "AppStateFixture.h"
#include "BlockscoutSent.h"
#include "LaggingBackend.h"
#include "PrunedNode.h"
#include "RPCProxy.h"
#include "RunTask.h"
#include "TestContracts.h"
#include "core/crypto/BIP39.h"
#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "platform/AtomicFile.h"
#include "services/evm/ERC20.h"
#include "services/evm/ETHSignedTransaction.h"
#include "services/evm/ETHSigner.h"
#include "services/evm/EthereumAddress.h"
#include "state/AccountDerivation.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/FlowService.h"
#include "state/flows/SignedBroadcast.h"
#include "state/send/EVMSend.h"
#include "state/send/SendError.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <set>

namespace qm {
namespace {

using nlohmann::json;
using test::AnvilNode;
using test::HttpFixtureResponse;
using Step = TransactionFlow::Step;

constexpr const char* password = "correct horse 1";
const std::string recipient = "0x3535353535353535353535353535353535353535";
const std::string usdc = "0x00000000000000000000000000000000000005dc";
const std::string dai = "0x000000000000000000000000000000000000da10";

UInt256 quantity(const json& value) {
    return UInt256::fromHex(value.get<std::string>()).value();
}

UInt256 wei(std::string_view text, unsigned decimals = 18) {
    return Amount::parse(text, decimals).value;
}

// The flow body of a send.
TransactionFlow::Body body(EVMSendRequest made) {
    auto held = std::make_shared<EVMSendRequest>(std::move(made));
    return [held](FlowRun run) { return runEVMSend(std::move(run), std::move(*held)); };
}

// A node's answer of a quantity.
std::optional<HttpFixtureResponse> answer(const UInt256& value) {
    return HttpFixtureResponse::jsonRPCResult(value.description());
}

Chain chainOf(std::uint64_t chainID) {
    return chainID == 1 ? Chain::ethereum : chainID == 42161 ? Chain::arbitrum : Chain::polygon;
}

class EVMSendOnAnvil : public ::testing::TestWithParam<std::uint64_t> {
protected:
    void SetUp() override {
        if (!AnvilNode::isAvailable()) {
            GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
        }
        node = std::make_unique<AnvilNode>(GetParam());
        proxy.setTarget(node->url());
        test::AppStateFixture::RPCPools pools;
        pools[chainIndex(chain()) - 1] = proxy.url();
        // Short time-outs: a reply that never comes ends the request within seconds.
        NetworkManager::Options network;
        network.rpcTimeouts = HttpTimeouts{std::chrono::seconds(3), std::chrono::seconds(5)};
        env = std::make_unique<test::AppStateFixture>(pools, network);
        env->state().loadStoredState();
        test::runTask(env->state().createWallet(test::AppStateFixture::abandonPhrase(), password));
        env->state().stopBackgroundTasks();
        sender = env->state().evmAccounts(chain()).front().account.address;
        node->setBalance(sender, "0x56bc75e2d63100000"); // 100 ether
        FlowLimits limits;
        limits.pollInterval = std::chrono::milliseconds(20);
        limits.confirmationTimeout = std::chrono::seconds(2);
        limits.pace = 0;
        flows = std::make_unique<FlowService>(limits);
    }

    Chain chain() const { return chainOf(GetParam()); }

    // A send prepared with the node's figures of the moment, as the review prepares it.
    EVMSendRequest request(UInt256 amount, SendFeeLevel level = SendFeeLevel::normal,
                           std::optional<Token> token = std::nullopt,
                           std::string to = recipient) const {
        EVMSendRequest made;
        made.state = &env->state();
        made.walletID = env->state().wallet()->id;
        made.password = SecureBytes::fromText(password);
        made.prepared = test::runTask(prepareEVMSend(
            &env->state(), EVMSendForm{chain(), std::move(token), std::move(to), amount, level},
            {}));
        return made;
    }
    // Why the send cannot be prepared.
    std::string refusal(UInt256 amount, std::optional<Token> token = std::nullopt,
                        std::string to = recipient) const {
        try {
            request(amount, SendFeeLevel::normal, std::move(token), std::move(to));
        } catch (const std::exception& error) {
            return error.what();
        }
        return "prepared";
    }

    // Runs a send on the flow `key` to its end, the event loop running meanwhile (polling
    // pauses would add one to every hop of every request).
    TransactionFlow* send(EVMSendRequest made, const QString& key = "send") {
        TransactionFlow* flow = flows->flow(key);
        QSignalSpy finished(flow, &TransactionFlow::finished);
        EXPECT_TRUE(flow->start(Step::Signing, body(std::move(made))));
        EXPECT_TRUE(finished.count() > 0 || finished.wait(60'000));
        return flow;
    }

    Token token(const std::string& address, const std::string& contract, int decimals) {
        node->setCode(address, test::TestContracts::shared().deployedBytecode(contract));
        const Bytes mint =
            concat(concat(functionSelector("mint(address,uint256)"),
                          UInt256::fromBigEndianBytes(hexToBytes(sender).value()).bigEndianWord()),
                   wei("1000000", decimals).bigEndianWord());
        node->send(AnvilNode::devAccount(0), address, bytesToHex(mint));
        return Token{address, decimals == 6 ? "USDC" : "DAI", "Test", decimals, chain()};
    }

    // A payment of 1 wei at `nonce` from the wallet's account by another wallet of the same
    // phrase (restored elsewhere), mined; its hash.
    std::string payElsewhere(std::uint64_t nonce) {
        const SecureBytes key =
            accountPrivateKey(BIP39::seed(test::AppStateFixture::abandonPhrase(), ""), chain(), 0);
        ETHTransaction tx;
        tx.chainID = GetParam();
        tx.nonce = nonce;
        tx.maxPriorityFeePerGas = UInt256(0, 0, 0, 1);
        tx.maxFeePerGas = UInt256(0, 0, 0, 10'000'000'000);
        tx.gasLimit = 21'000;
        tx.to = hexToBytes(AnvilNode::devAccount(2)).value();
        tx.value = UInt256(0, 0, 0, 1);
        const std::string hash =
            node->rpc("eth_sendRawTransaction", json::array({bytesToHex(ETHSigner::sign(tx, key))}))
                .get<std::string>();
        node->minedReceipt(hash);
        return hash;
    }

    UInt256 balance(const std::string& owner) {
        return quantity(node->rpc("eth_getBalance", {owner, "latest"}));
    }

    UInt256 tokenBalance(const std::string& contract, const std::string& owner) {
        const Bytes data =
            concat(balanceOfSelector(),
                   UInt256::fromBigEndianBytes(hexToBytes(owner).value()).bigEndianWord());
        return quantity(
            node->rpc("eth_call", {{{"to", contract}, {"data", bytesToHex(data)}}, "latest"}));
    }

    json transaction(const TransactionFlow* flow) {
        return node->rpc("eth_getTransactionByHash", {flow->txHash().toStdString()});
    }

    // What the send paid for gas, from its receipt.
    UInt256 gasPaid(const TransactionFlow* flow) {
        const json receipt = node->minedReceipt(flow->txHash().toStdString());
        return quantity(receipt.at("gasUsed"))
            .checkedMultiply(quantity(receipt.at("effectiveGasPrice")))
            .value();
    }

    // The fee fields of the mined transaction against the node's answers: the gas price
    // times 1, 2, 3 and the tip times 1, 1, 2 for economy, normal, priority, the tip capped.
    void expectFees(const json& tx, SendFeeLevel level) {
        const std::uint64_t capFactor = level == SendFeeLevel::slow     ? 1
                                        : level == SendFeeLevel::normal ? 2
                                                                        : 3;
        const std::uint64_t tipFactor = level == SendFeeLevel::fast ? 2 : 1;
        const UInt256 cap = quantity(proxy.lastResult("eth_gasPrice"))
                                .checkedMultiply(UInt256(0, 0, 0, capFactor))
                                .value();
        const UInt256 tip = quantity(proxy.lastResult("eth_maxPriorityFeePerGas"))
                                .checkedMultiply(UInt256(0, 0, 0, tipFactor))
                                .value();
        EXPECT_EQ(quantity(tx.at("maxFeePerGas")), cap);
        EXPECT_EQ(quantity(tx.at("maxPriorityFeePerGas")), std::min(tip, cap));
    }

    std::unique_ptr<AnvilNode> node;
    test::RPCProxy proxy;
    std::unique_ptr<test::AppStateFixture> env;
    std::unique_ptr<FlowService> flows;
    std::string sender;
};

TEST_P(EVMSendOnAnvil, NativeAndTokenAmountsArriveExactlyInTheMinedTypeTwoFields) {
    const UInt256 start = balance(sender);
    // "1.1" through a double would be 1,100,000,000,000,000,128 wei.
    TransactionFlow* flow = send(request(wei("1.1")));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(flow->progress(), 1.0);
    EXPECT_TRUE(flow->errorMessage().isEmpty());
    EXPECT_EQ(balance(recipient), UInt256(0, 0, 0, 1'100'000'000'000'000'000));
    json tx = transaction(flow);
    EXPECT_EQ(tx.at("type"), "0x2");
    EXPECT_EQ(quantity(tx.at("chainId")), UInt256(0, 0, 0, GetParam()));
    EXPECT_EQ(tx.at("nonce"), "0x0");
    EXPECT_EQ(hexToBytes(tx.at("to").get<std::string>()), hexToBytes(recipient));
    EXPECT_EQ(tx.at("input"), "0x");
    EXPECT_EQ(quantity(tx.at("gas")), UInt256(0, 0, 0, 21'000));
    expectFees(tx, SendFeeLevel::normal);
    UInt256 spent = wei("1.1").checkedAdd(gasPaid(flow)).value();

    // Past 2^64 wei (about 18.45 ether), to the last wei, at the priority level.
    flow->reset();
    const UInt256 large = wei("20.000000000000000001");
    flow = send(request(large, SendFeeLevel::fast));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(balance(recipient), wei("21.100000000000000001"));
    tx = transaction(flow);
    EXPECT_EQ(tx.at("nonce"), "0x1");
    expectFees(tx, SendFeeLevel::fast);
    spent = spent.checkedAdd(large).value().checkedAdd(gasPaid(flow)).value();

    // ERC-20 of 6 and 18 decimals: the token contract is called, no value moves.
    const Token sixDecimals = token(usdc, "TestUSDC", 6);
    const Token eighteenDecimals = token(dai, "TestDAI", 18);
    flow->reset();
    flow = send(request(wei("25", 6), SendFeeLevel::slow, sixDecimals));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(tokenBalance(usdc, recipient), UInt256(0, 0, 0, 25'000'000));
    EXPECT_EQ(tokenBalance(usdc, sender), wei("999975", 6));
    tx = transaction(flow);
    EXPECT_EQ(hexToBytes(tx.at("to").get<std::string>()), hexToBytes(usdc));
    EXPECT_EQ(tx.at("value"), "0x0");
    EXPECT_EQ(hexToBytes(tx.at("input").get<std::string>()),
              erc20TransferCalldata(hexToBytes(recipient).value(), wei("25", 6)));
    EXPECT_EQ(quantity(tx.at("gas")),
              std::max(UInt256(0, 0, 0, 65'000), quantity(proxy.lastResult("eth_estimateGas"))));
    expectFees(tx, SendFeeLevel::slow);
    spent = spent.checkedAdd(gasPaid(flow)).value();

    flow->reset();
    const UInt256 tokens = wei("1234.000000000000000001");
    flow = send(request(tokens, SendFeeLevel::normal, eighteenDecimals));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(tokenBalance(dai, recipient), tokens);
    spent = spent.checkedAdd(gasPaid(flow)).value();
    EXPECT_EQ(balance(sender), start.checkedSubtract(spent).value());
}

INSTANTIATE_TEST_SUITE_P(Chains, EVMSendOnAnvil, ::testing::Values(1u, 42161u, 137u),
                         [](const auto& info) { return "chain" + std::to_string(info.param); });

// What does not depend on the chain, on one of them.
class EVMSendOnEthereum : public EVMSendOnAnvil {
protected:
    // Blocks come only when the test mines one; a send waits for its block however long this
    // machine takes to get there.
    void holdMining() {
        FlowLimits patient;
        patient.pollInterval = std::chrono::milliseconds(20);
        patient.confirmationTimeout = std::chrono::minutes(5);
        patient.pace = 0;
        flows = std::make_unique<FlowService>(patient);
        node->setAutomine(false);
    }

    // A press of the send of 1 ETH to 0x3535...35, named as the send sheet names it.
    TransactionFlow* pressSendOfOneEther() {
        TransactionFlow* flow = flows->flow("send");
        flow->reset();
        flow->setSummary("1 ETH", "to 0x353535...353535");
        return send(request(wei("1")));
    }
};

TEST_P(EVMSendOnEthereum, ADoubleStartSendsOnceAndUnminedSendsTakeConsecutiveNonces) {
    // The first waits while the second is prepared and signed, however long that takes here.
    holdMining();
    TransactionFlow* first = flows->flow("send");
    ASSERT_TRUE(first->start(Step::Signing, body(request(wei("1")))));
    EXPECT_FALSE(first->start(Step::Signing, body(request(wei("1")))));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return first->step() == Step::WaitingConfirmation; }, 30'000));
    TransactionFlow* second = flows->flow("other");
    ASSERT_TRUE(second->start(Step::Signing, body(request(wei("2")))));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return second->step() == Step::WaitingConfirmation; }, 30'000));
    node->mine();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !first->isRunning() && !second->isRunning(); }, 30'000));
    EXPECT_EQ(first->step(), Step::Confirmed);
    EXPECT_EQ(second->step(), Step::Confirmed);
    EXPECT_EQ(transaction(first).at("nonce"), "0x0");
    EXPECT_EQ(transaction(second).at("nonce"), "0x1");
    EXPECT_EQ(node->rpc("eth_getTransactionCount", {sender, "latest"}), "0x2");
    EXPECT_EQ(balance(recipient), wei("3"));
    EXPECT_EQ(proxy.requestCount("eth_sendRawTransaction"), 2);
}

TEST_P(EVMSendOnEthereum, ATipAboveTheGasPriceIsCappedAndARevertedReceiptIsReported) {
    // A node suggesting a tip of 100 gwei over a gas price of 1 gwei.
    const UInt256 gwei(0, 0, 0, 1'000'000'000);
    proxy.setOverride("eth_gasPrice", [&](const json&) { return answer(gwei); });
    proxy.setOverride("eth_maxPriorityFeePerGas", [&](const json&) {
        return answer(gwei.checkedMultiply(UInt256(0, 0, 0, 100)).value());
    });
    for (const SendFeeLevel level : {SendFeeLevel::slow, SendFeeLevel::fast}) {
        flows->flow("send")->reset();
        TransactionFlow* flow = send(request(wei("0.5"), level));
        ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
        const json tx = transaction(flow);
        const UInt256 cap = quantity(tx.at("maxFeePerGas"));
        EXPECT_EQ(cap,
                  level == SendFeeLevel::slow ? gwei : gwei.checkedMultiply(UInt256(0, 0, 0, 3)));
        EXPECT_EQ(quantity(tx.at("maxPriorityFeePerGas")), cap);
    }

    // An estimate that lets a transfer of more tokens than held reach the chain: status 0.
    proxy.clearOverrides();
    proxy.setOverride("eth_estimateGas",
                      [&](const json&) { return answer(UInt256(0, 0, 0, 80'000)); });
    const Token held = token(usdc, "TestUSDC", 6);
    TransactionFlow* flow = flows->flow("send");
    flow->reset();
    flow = send(request(wei("2000000", 6), SendFeeLevel::normal, held));
    EXPECT_EQ(flow->step(), Step::Reverted);
    EXPECT_EQ(flow->errorMessage(), "The transaction was reverted");
    EXPECT_EQ(node->minedReceipt(flow->txHash().toStdString()).at("status"), "0x0");
    EXPECT_EQ(tokenBalance(usdc, recipient), UInt256());
}

TEST_P(EVMSendOnEthereum, FailuresBeforeTheBroadcastReturnToTheReviewLaterOnesEndSubmitted) {
    TransactionFlow* flow = flows->flow("send");
    const auto fails = [&](EVMSendRequest made, const QString& text) {
        flow->reset();
        ASSERT_TRUE(flow->start(Step::Signing, body(std::move(made))));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !flow->isRunning(); }, 30'000));
        EXPECT_EQ(flow->step(), Step::Failed);
        EXPECT_EQ(flow->errorMessage(), text);
        EXPECT_TRUE(flow->txHash().isEmpty());
    };
    // Bad input is refused when the send is prepared, and never reaches the network.
    const int before = proxy.requestCount();
    const std::string hex40 = recipient.substr(2);
    // A one-letter typo in a checksummed address: its checksum no longer matches.
    const std::string checksummed = "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed";
    std::string typo = checksummed;
    typo[11] = 'f';
    for (const std::string& bad :
         {"0x" + hex40.substr(1), "0x" + hex40 + "5", "0x" + hex40.substr(1) + "g", "1x" + hex40,
          "0x0x" + hex40.substr(2), std::string(), typo}) {
        EXPECT_EQ(refusal(wei("1"), std::nullopt, bad), "Invalid recipient address") << bad;
    }
    EXPECT_EQ(refusal(UInt256()), "Invalid amount");
    EXPECT_EQ(refusal(wei("1"), Token{"0x1234", "BAD", "Bad", 6, chain()}),
              "Invalid recipient address");
    EXPECT_EQ(proxy.requestCount(), before);
    // "0X", and a valid checksum, are fine.
    EXPECT_TRUE(ethereumAddressBytes("0X" + hex40).has_value());
    EXPECT_EQ(refusal(wei("1"), std::nullopt, checksummed), "prepared");

    // A wrong password: nothing signed, nothing sent.
    EVMSendRequest wrong = request(wei("1"));
    wrong.password = SecureBytes::fromText("not the password");
    fails(std::move(wrong), "Incorrect password");
    EXPECT_EQ(proxy.requestCount("eth_sendRawTransaction"), 0);
    // The node refuses: its text, nothing sent.
    EVMSendRequest unfunded = request(wei("1"));
    node->setBalance(sender, "0x0");
    flow->reset();
    flow = send(std::move(unfunded));
    EXPECT_EQ(flow->step(), Step::Failed);
    EXPECT_NE(flow->errorMessage().indexOf("nsufficient funds"), -1)
        << flow->errorMessage().toStdString();
    node->setBalance(sender, "0x56bc75e2d63100000");
    // No endpoint answers.
    EVMSendRequest unreachable = request(wei("1"));
    proxy.setOverride("eth_gasPrice", [](const json&) {
        return std::optional(HttpFixtureResponse::withStatus(500));
    });
    env->state().networkManager().setConnectionPhase(chain(), ConnectionPhase::disconnected);
    fails(std::move(unreachable),
          QString::fromStdString("Cannot connect to " + displayName(chain()) + " RPC"));
    EXPECT_EQ(refusal(wei("1")), "Cannot connect to " + displayName(chain()) + " RPC");
    proxy.clearOverrides();
    EXPECT_EQ(node->rpc("eth_getTransactionCount", {sender, "pending"}), "0x0");

    // After the broadcast: a failing receipt request, then no receipt in time.
    node->setAutomine(false);
    proxy.setOverride("eth_getTransactionReceipt", [](const json&) {
        return std::optional(HttpFixtureResponse::withStatus(500));
    });
    flow->reset();
    flow = send(request(wei("1")));
    EXPECT_EQ(flow->step(), Step::Submitted);
    EXPECT_FALSE(flow->txHash().isEmpty());
    EXPECT_NE(flow->errorMessage().indexOf("HTTP error"), -1) << flow->errorMessage().toStdString();
    EXPECT_EQ(transaction(flow).at("nonce"), "0x0");
    proxy.clearOverrides();
    flow->reset();
    flow = send(request(wei("1")));
    EXPECT_EQ(flow->step(), Step::Submitted);
    EXPECT_TRUE(flow->errorMessage().isEmpty());
    EXPECT_EQ(transaction(flow).at("nonce"), "0x1");

    // Locked meanwhile: the accounts are gone.
    EVMSendRequest locked = request(wei("1"));
    env->state().lock();
    fails(std::move(locked), "No account available");
    EXPECT_EQ(refusal(wei("1")), "No account available");
    EXPECT_STREQ(SendError::networkUnavailable("Cannot connect to Electrum").what(),
                 "Cannot connect to Electrum");
}

// The node's gas price x1000 between the review and the press: nothing is signed, the send is
// prepared again and its max fee named; the next press signs exactly that max fee. An estimate
// above the prepared gas limit stops the same way.
TEST_P(EVMSendOnEthereum, AGasPriceAboveTheReviewedCapStopsBeforeSigningWithTheNewMaxFee) {
    const UInt256 start = balance(sender);
    EVMSendRequest made = request(wei("1"));
    const EVMPreparedSend shown = made.prepared;
    EXPECT_EQ(shown.gasLimit, 21'000u);
    EXPECT_EQ(shown.maxFee, shown.maxFeePerGas.checkedMultiply(UInt256(0, 0, 0, 21'000)).value());
    const UInt256 high =
        quantity(proxy.lastResult("eth_gasPrice")).checkedMultiply(UInt256(0, 0, 0, 1000)).value();
    proxy.setOverride("eth_gasPrice", [&](const json&) { return answer(high); });
    std::optional<EVMPreparedSend> revised;
    made.revised = [&](const EVMPreparedSend& again) { revised = again; };
    const std::size_t calls = env->keychain().calls().size();
    TransactionFlow* flow = send(std::move(made));
    EXPECT_EQ(flow->step(), Step::Failed);
    ASSERT_TRUE(revised.has_value());
    EXPECT_EQ(revised->maxFeePerGas, high.checkedMultiply(UInt256(0, 0, 0, 2)).value());
    EXPECT_EQ(revised->maxFee, revised->maxFeePerGas.checkedMultiply(UInt256(0, 0, 0, 21'000)));
    EXPECT_EQ(flow->errorMessage().toStdString(),
              "This transaction needs a max fee of " + evmMaxFeeText(*revised) +
                  ", more than the fee shown. Review the new fee and send again.");
    EXPECT_EQ(env->keychain().calls().size(), calls); // the seed never opened
    EXPECT_EQ(proxy.requestCount("eth_sendRawTransaction"), 0);

    // The next press sends what the review shows now.
    EVMSendRequest again = request(wei("1"));
    again.prepared = *revised;
    flows->flow("send")->reset();
    flow = send(std::move(again));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    const json tx = transaction(flow);
    EXPECT_EQ(quantity(tx.at("maxFeePerGas")), revised->maxFeePerGas);
    EXPECT_EQ(quantity(tx.at("gas")), UInt256(0, 0, 0, 21'000));
    EXPECT_FALSE(revised->maxFee < gasPaid(flow)); // paid at most the max fee shown
    EXPECT_EQ(balance(sender),
              start.checkedSubtract(wei("1")).value().checkedSubtract(gasPaid(flow)));

    // An estimate above the prepared gas limit: stopped, with the new limit's max fee.
    proxy.clearOverrides();
    made = request(wei("1"));
    proxy.setOverride("eth_estimateGas",
                      [&](const json&) { return answer(UInt256(0, 0, 0, 30'000)); });
    revised.reset();
    made.revised = [&](const EVMPreparedSend& again) { revised = again; };
    flows->flow("send")->reset();
    flow = send(std::move(made));
    EXPECT_EQ(flow->step(), Step::Failed);
    ASSERT_TRUE(revised.has_value());
    EXPECT_EQ(revised->gasLimit, 30'000u);
    EXPECT_NE(flow->errorMessage().indexOf("needs a max fee of"), -1);
    EXPECT_EQ(proxy.requestCount("eth_sendRawTransaction"), 1);
}

// The node takes the transaction and its answer is lost: the connection closes without a word,
// no answer comes before the time-out, or a gateway answers 504. The send finds the
// transaction on the chain by its own hash and follows it: one payment, its hash shown.
TEST_P(EVMSendOnEthereum, ALostAnswerIsFollowedOnTheChainAndPaysOnce) {
    using Behaviour = HttpFixtureResponse::Behaviour;
    std::uint64_t sent = 0;
    std::set<std::string> signedBytes;
    for (const Behaviour lost : {Behaviour::close, Behaviour::stall, Behaviour::respond}) {
        proxy.setOverride("eth_sendRawTransaction", [&, lost](const json& params) {
            signedBytes.insert(params.dump());
            try {
                node->rpc("eth_sendRawTransaction", params);
            } catch (const std::runtime_error&) {
                // Sent again (Qt repeats a request whose connection closed): the node has it.
            }
            HttpFixtureResponse dropped = HttpFixtureResponse::withStatus(504);
            dropped.behaviour = lost;
            return std::optional(dropped);
        });
        const UInt256 before = balance(recipient);
        signedBytes.clear();
        flows->flow("send")->reset();
        TransactionFlow* flow = send(request(wei("1")));
        ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
        ++sent;
        const json tx = transaction(flow);
        ASSERT_TRUE(tx.is_object());
        EXPECT_EQ(quantity(tx.at("nonce")), UInt256(0, 0, 0, sent - 1));
        EXPECT_EQ(balance(recipient), before.checkedAdd(wei("1")).value());
        // Signed once, whatever went again.
        EXPECT_EQ(signedBytes.size(), 1u);
        // One transaction per send, however the answer went.
        EXPECT_EQ(node->rpc("eth_getTransactionCount", {sender, "latest"}),
                  json(UInt256(0, 0, 0, sent).description()));
    }

    // Lost, and the chain never learns of it (the node dropped it): submitted with the hash
    // and the note, the same bytes sent again meanwhile, never a second signature.
    proxy.setOverride("eth_sendRawTransaction", [](const json&) {
        return std::optional(HttpFixtureResponse::withStatus(504));
    });
    const auto seedOpenings = [&] {
        const std::vector<std::string> calls = env->keychain().calls();
        return std::count_if(calls.begin(), calls.end(), [](const std::string& call) {
            return call.starts_with("load:seed-");
        });
    };
    EVMSendRequest last = request(wei("1"));
    const auto openings = seedOpenings();
    flows->flow("send")->reset();
    TransactionFlow* flow = send(std::move(last));
    EXPECT_EQ(flow->step(), Step::Submitted);
    EXPECT_EQ(flow->errorMessage(), lostAnswerNote());
    EXPECT_FALSE(flow->txHash().isEmpty());
    EXPECT_GT(proxy.requestCount("eth_sendRawTransaction"), 1);
    EXPECT_EQ(seedOpenings(), openings + 1); // signed once
}

// A node that answers another transaction's hash (one that is mined, status 1) has not taken
// ours: a refusal, never "Confirmed".
TEST_P(EVMSendOnEthereum, AnAnswerNamingAnotherTransactionIsARefusal) {
    const std::string other =
        node->send(AnvilNode::devAccount(0), AnvilNode::devAccount(1), "0x", "0x1");
    proxy.setOverride("eth_sendRawTransaction",
                      [&](const json&) { return HttpFixtureResponse::jsonRPCResult(other); });
    TransactionFlow* flow = send(request(wei("1")));
    EXPECT_EQ(flow->step(), Step::Failed);
    EXPECT_EQ(flow->errorMessage().toStdString(), "The server refused the transaction: " + other);
    EXPECT_TRUE(flow->txHash().isEmpty());
    EXPECT_EQ(balance(recipient), UInt256());
}

// A node's lookup must be about our transaction: one that answers another transaction's
// object has said nothing. A refusal stays a refusal (its text shown, nothing shown as sent),
// and a lost answer is followed as any whose chain never says, to the note; unless the block
// that holds the sender's nonce lists ours.
TEST_P(EVMSendOnEthereum, ALookupAnsweringAnotherTransactionSaysNothing) {
    const std::string other =
        node->send(AnvilNode::devAccount(0), AnvilNode::devAccount(1), "0x", "0x1");
    const json otherObject = node->rpc("eth_getTransactionByHash", {other});
    ASSERT_TRUE(otherObject.is_object());
    proxy.setOverride("eth_getTransactionByHash",
                      [&](const json&) { return HttpFixtureResponse::jsonRPCResult(otherObject); });
    // Refused (and not kept): the refusal's text, back to the review. The node refuses those
    // bytes for good: a resend of them that the proxy reads only after the flow gave up on it
    // must not land later (the sends below pay another amount, so they are other bytes).
    std::set<std::string> refused;
    const auto refuse = [&refused](const json& params) {
        refused.insert(params.dump());
        return std::optional(HttpFixtureResponse::json(
            R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"insufficient funds for gas * price + value"}})"));
    };
    proxy.setOverride("eth_sendRawTransaction", refuse);
    TransactionFlow* flow = send(request(wei("2")));
    EXPECT_EQ(flow->step(), Step::Failed);
    EXPECT_EQ(flow->errorMessage().toStdString(),
              "JSONRPCClient: JSON-RPC error -32000: insufficient funds for gas * price + value");
    EXPECT_TRUE(flow->txHash().isEmpty());
    EXPECT_FALSE(flow->hasBroadcast());
    EXPECT_GT(proxy.requestCount("eth_getTransactionByHash"), 1);

    // Taken, its answer lost, the blocks' transactions not shown either: followed to the end
    // of the wait, the note shown with our hash.
    proxy.setOverride("eth_sendRawTransaction", [&](const json& params) {
        if (refused.contains(params.dump())) {
            return refuse(params);
        }
        try {
            node->rpc("eth_sendRawTransaction", params);
        } catch (const std::runtime_error&) {
            // Sent again: the node has it.
        }
        return std::optional(HttpFixtureResponse::withStatus(504));
    });
    proxy.setOverride("eth_getBlockByNumber", [](const json& params) {
        return params.at(1) == true ? std::optional(HttpFixtureResponse::jsonRPCResult(nullptr))
                                    : std::nullopt;
    });
    flow->reset();
    flow->setSummary("1 ETH", "to 0x353535...353535"); // as the send sheet names it
    flow = send(request(wei("1")));
    EXPECT_EQ(flow->step(), Step::Submitted);
    EXPECT_EQ(flow->errorMessage(), lostAnswerNote());
    ASSERT_FALSE(flow->txHash().isEmpty());
    EXPECT_NE(flow->txHash().toStdString(), other);
    EXPECT_EQ(node->minedReceipt(flow->txHash().toStdString()).at("status"), "0x1");
    EXPECT_EQ(balance(recipient), wei("1"));

    // The block that holds its nonce lists ours: known, though the lookup lies. The user never
    // heard that it left, so the next press follows it, names it, and signs nothing.
    const QString lost = flow->txHash();
    proxy.setOverride("eth_getBlockByNumber",
                      [](const json&) -> std::optional<HttpFixtureResponse> { return {}; });
    flow->reset();
    flow = send(request(wei("1")));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(flow->txHash(), lost);
    EXPECT_EQ(flow->earlierNote().toStdString(),
              "Your earlier send of 1 ETH to 0x353535...353535 went through; nothing new was "
              "signed.");
    EXPECT_EQ(balance(recipient), wei("1"));
    // Told now: the press after is a payment of its own, at the next nonce.
    flow->reset();
    flow = send(request(wei("1")));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(transaction(flow).at("nonce"), "0x1");
    EXPECT_EQ(balance(recipient), wei("2"));
}

// A node behind a load balancer keeps and mines the send yet answers an error, while its
// lookups, receipts and block bodies lag the backend that counts the sender's mined
// transactions (a count past the nonce with the hash unknown proves nothing). The send fails
// back to the review; pressed again in that window it signs no other nonce; once the lookups
// catch up, a press follows the first transaction. One payment, whatever the node's text.
// The refused send the node kept outlives the program: after a restart, a press of another
// payment (here from another sheet) signs nothing while the chain cannot say which
// transaction holds the nonce, and the press where it was sent follows it once the chain
// knows it. One payment, named as such; the next press is a payment of its own.
TEST_P(EVMSendOnEthereum, AKeptSendOutlivesARestart) {
    test::LaggingBackend backend(proxy, node->url(), test::LaggingBackend::Family::evm,
                                 "nonce too low", std::chrono::hours(1),
                                 test::LaggingBackend::Count::ahead);
    TransactionFlow* flow = flows->flow("send:ethereum");
    flow->setSummary("1 ETH", "to 0x353535...353535");
    flow = send(request(wei("1")), "send:ethereum");
    ASSERT_EQ(flow->step(), Step::Failed);
    ASSERT_EQ(backend.kept().size(), 1u);
    const std::string first = backend.kept().front();

    env->restart();
    env->state().loadStoredState();
    test::runTask(env->state().unlock(password));
    env->state().stopBackgroundTasks();
    const std::vector<UnsettledAttempt> kept = env->state().attemptLedger().of(chain(), sender);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept.front().id, first);
    EXPECT_FALSE(kept.front().told);

    TransactionFlow* other = send(request(wei("2")), "walletconnect");
    EXPECT_EQ(other->step(), Step::Failed);
    EXPECT_EQ(other->errorMessage().toStdString(),
              "Your earlier send of 1 ETH to 0x353535...353535"
              " may have gone through: the network has used its nonce, and no server "
              "shows by which transaction. Look for it in the account's history or on a "
              "block explorer. Nothing was signed. Send Anyway signs this one as a new "
              "transaction, which pays again if the earlier one went through.");
    EXPECT_EQ(backend.kept().size(), 1u);
    EXPECT_EQ(node->rpc("eth_getTransactionCount", {sender, "pending"}), "0x1");

    backend.catchUp();
    flow->reset();
    flow->setSummary("2 ETH", "to 0x353535...353535");
    flow = send(request(wei("2")), "send:ethereum");
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(flow->txHash().toStdString(), first);
    EXPECT_EQ(flow->summary(), "1 ETH");
    EXPECT_FALSE(flow->earlierNote().isEmpty());
    EXPECT_EQ(balance(recipient), wei("1"));
    EXPECT_TRUE(env->state().attemptLedger().all().empty()); // in a block: settled

    flow->reset();
    flow = send(request(wei("2")), "send:ethereum");
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(balance(recipient), wei("3"));
    proxy.clearOverrides();
}

TEST_P(EVMSendOnEthereum, AKeptSendWhoseLookupsLagTheCountIsPaidOnce) {
    const std::vector<std::string> refusals = {
        "nonce too low", "insufficient funds for gas * price + value", "daemon error: timeout"};
    TransactionFlow* flow = flows->flow("send");
    for (std::size_t sent = 0; sent < refusals.size(); ++sent) {
        const std::string& refusal = refusals[sent];
        // It lags until the test ends it, however slowly the presses run here.
        test::LaggingBackend backend(proxy, node->url(), test::LaggingBackend::Family::evm, refusal,
                                     std::chrono::hours(1), test::LaggingBackend::Count::ahead);
        const UInt256 paid = wei("1").checkedMultiply(UInt256(0, 0, 0, sent + 1)).value();
        const json count = UInt256(0, 0, 0, sent + 1).description();
        const int looks = proxy.requestCount("eth_getTransactionByHash");
        flow->reset();
        flow = send(request(wei("1")));
        EXPECT_EQ(flow->step(), Step::Failed) << refusal;
        EXPECT_EQ(flow->errorMessage().toStdString(),
                  "JSONRPCClient: JSON-RPC error -32000: " + refusal);
        EXPECT_GT(proxy.requestCount("eth_getTransactionByHash"), looks + 1); // watched
        ASSERT_EQ(backend.kept().size(), 1u);
        const std::string first = backend.kept().front();
        EXPECT_EQ(node->minedReceipt(first).at("status"), "0x1");

        // Send again while they lag: nothing of a new nonce leaves.
        flow->reset();
        flow = send(request(wei("1")));
        EXPECT_EQ(flow->step(), Step::Failed) << refusal;
        EXPECT_EQ(node->rpc("eth_getTransactionCount", {sender, "pending"}), count) << refusal;
        EXPECT_EQ(balance(recipient), paid) << refusal;

        // Caught up: the first one is followed to its receipt, nothing new signed.
        backend.catchUp();
        const std::size_t tried = backend.kept().size();
        flow->reset();
        flow = send(request(wei("1")));
        ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
        EXPECT_EQ(flow->txHash().toStdString(), first);
        EXPECT_EQ(backend.kept().size(), tried);
        EXPECT_EQ(node->rpc("eth_getTransactionCount", {sender, "latest"}), count);
        EXPECT_EQ(balance(recipient), paid) << refusal;
        proxy.clearOverrides();
    }
}

// Another wallet of the same key (the phrase restored elsewhere) pays at the nonce of a send the
// user was told failed, between the review and the press. While no block the node shows says
// which transaction holds that nonce, the press signs nothing and says why; once one shows the
// other wallet's transaction there, the earlier send can never land: the press signs at the
// next nonce, with the fee shown. One payment from this wallet.
TEST_P(EVMSendOnEthereum, ANonceTakenByAnotherWalletOfTheKeyIsNeverSignedBeside) {
    proxy.setOverride("eth_sendRawTransaction", [](const json&) {
        return std::optional(HttpFixtureResponse::json(
            R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"Node is behind"}})"));
    });
    TransactionFlow* flow = flows->flow("send");
    flow->setSummary("1 ETH", "to 0x353535...353535");
    flow = send(request(wei("1")));
    ASSERT_EQ(flow->step(), Step::Failed);
    ASSERT_EQ(env->state().attemptLedger().of(chain(), sender).size(), 1u);
    proxy.clearOverrides();

    EVMSendRequest reviewed = request(wei("2"));
    payElsewhere(0);
    proxy.setOverride("eth_getBlockByNumber", [](const json& params) {
        return params.at(1) == true ? std::optional(HttpFixtureResponse::jsonRPCResult(nullptr))
                                    : std::nullopt;
    });
    flow->reset();
    flow->setSummary("2 ETH", "to 0x353535...353535");
    flow = send(std::move(reviewed));
    EXPECT_EQ(flow->step(), Step::Failed);
    EXPECT_EQ(flow->errorMessage().toStdString(),
              "Your earlier send of 1 ETH to 0x353535...353535"
              " may have gone through: the network has used its nonce, and no server "
              "shows by which transaction. Look for it in the account's history or on a "
              "block explorer. Nothing was signed. Send Anyway signs this one as a new "
              "transaction, which pays again if the earlier one went through.");
    EXPECT_EQ(proxy.requestCount("eth_sendRawTransaction"), 1);

    proxy.clearOverrides();
    reviewed = request(wei("2"));
    const EVMPreparedSend shown = reviewed.prepared;
    payElsewhere(1); // after the review
    flow->reset();
    flow->setSummary("2 ETH", "to 0x353535...353535");
    flow = send(std::move(reviewed));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_TRUE(flow->earlierNote().isEmpty());
    const json tx = transaction(flow);
    EXPECT_EQ(tx.at("nonce"), "0x2");
    EXPECT_EQ(quantity(tx.at("maxFeePerGas")), shown.maxFeePerGas);
    EXPECT_EQ(quantity(tx.at("maxPriorityFeePerGas")), shown.maxPriorityFeePerGas);
    EXPECT_EQ(quantity(tx.at("gas")), UInt256(0, 0, 0, shown.gasLimit));
    EXPECT_EQ(balance(recipient), wei("2"));
    EXPECT_TRUE(env->state().attemptLedger().all().empty());
}

// A node keeps the send in its pool yet answers an error, its lookup of the send null, while no
// block is mined: nothing has used the nonce, only the pool holds it (counts: latest n, pending
// n + 1). The very same send pressed again is the same bytes; one reviewed before the first was
// sent signs nothing and is prepared again to pay what the pool asks to take it in the first's
// place; the next press of the payment prepared again, or of another, signs at that nonce as
// the replacement its review names, paying that. None offers Send Anyway. Once a block is
// mined, exactly one payment landed.
TEST_P(EVMSendOnEthereum, ASendKeptInThePoolIsReplacedNeverPaidBeside) {
    holdMining();
    const auto count = [&](const char* tag) {
        return hexToUInt64(node->rpc("eth_getTransactionCount", {sender, tag}).get<std::string>())
            .value();
    };
    struct Case {
        std::string refusal;
        std::string next; // the amount of the next press: "1" is the same payment
    };
    for (const Case& pressed : {Case{"insufficient funds for gas * price + value", "1"},
                                Case{"nonce too low", "2"}, Case{"daemon error: timeout", "0.5"}}) {
        const std::uint64_t mined = count("latest");
        const UInt256 before = balance(recipient);
        test::LaggingBackend backend(proxy, node->url(), test::LaggingBackend::Family::evm,
                                     pressed.refusal, std::chrono::hours(1));
        const auto sendAgain = [&](EVMSendRequest made) {
            TransactionFlow* flow = flows->flow("send");
            flow->reset();
            flow->setSummary("1 ETH", "to 0x353535...353535");
            return send(std::move(made));
        };
        EVMSendRequest first = request(wei("1"));
        const EVMPreparedSend shownFirst = first.prepared;
        EVMSendRequest early = request(wei("3"));
        std::optional<EVMPreparedSend> revised;
        early.revised = [&revised](const EVMPreparedSend& again) { revised = again; };
        TransactionFlow* flow = sendAgain(std::move(first));
        ASSERT_EQ(flow->step(), Step::Failed) << pressed.refusal;
        ASSERT_EQ(backend.kept().size(), 1u);
        EXPECT_EQ(count("latest"), mined);
        EXPECT_EQ(count("pending"), mined + 1);

        EVMSendRequest same = request(wei("1"));
        same.prepared = shownFirst;
        flow = sendAgain(std::move(same));
        EXPECT_EQ(flow->step(), Step::Failed);
        EXPECT_EQ(flow->errorMessage().toStdString(),
                  "JSONRPCClient: JSON-RPC error -32000: " + pressed.refusal);
        EXPECT_FALSE(flow->offersSendAnyway());
        EXPECT_EQ(backend.kept().size(), 1u); // the same bytes
        const json held = node->rpc("eth_getTransactionByHash", {backend.kept().front()});

        flow = sendAgain(std::move(early));
        EXPECT_EQ(flow->step(), Step::Failed);
        EXPECT_TRUE(flow->errorMessage().startsWith("This transaction needs a max fee of"))
            << flow->errorMessage().toStdString();
        EXPECT_FALSE(flow->offersSendAnyway());
        ASSERT_TRUE(revised.has_value());
        EXPECT_GT(revised->maxFeePerGas, quantity(held.at("maxFeePerGas")));
        EXPECT_EQ(backend.kept().size(), 1u);

        backend.answerNewOnes();
        EVMSendRequest next = request(wei(pressed.next));
        const EVMPreparedSend shown = next.prepared;
        EXPECT_GT(shown.maxFeePerGas, quantity(held.at("maxFeePerGas")));
        flow = flows->flow("send");
        flow->reset();
        ASSERT_TRUE(flow->start(Step::Signing, body(std::move(next))));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !flow->isRunning() || flow->hasBroadcast(); }, 30'000));
        ASSERT_TRUE(flow->hasBroadcast()) << flow->errorMessage().toStdString();
        EXPECT_FALSE(flow->offersSendAnyway());
        node->mine();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !flow->isRunning(); }, 30'000));
        ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
        const json tx = transaction(flow);
        EXPECT_EQ(quantity(tx.at("nonce")), UInt256(0, 0, 0, mined));
        EXPECT_EQ(quantity(tx.at("maxFeePerGas")), shown.maxFeePerGas);
        EXPECT_EQ(quantity(tx.at("maxPriorityFeePerGas")), shown.maxPriorityFeePerGas);
        EXPECT_EQ(count("latest"), mined + 1);
        EXPECT_EQ(count("pending"), mined + 1);
        EXPECT_EQ(balance(recipient), before.checkedAdd(wei(pressed.next)).value());
        EXPECT_TRUE(env->state().attemptLedger().all().empty());
        proxy.clearOverrides();
    }
}

// A send the node kept in its pool while answering an error, whose stored bytes were damaged on
// disk while the program was closed, its id intact: a digit of the signature flipped, or the
// fees raised to 2^128 without signing again. Those bytes are never sent and ask no fee: a
// review prepares the node's figures. Once the original lands, the press of the same payment
// finds it by its stored id and follows it: one payment, nothing new signed.
TEST_P(EVMSendOnEthereum, AKeptSendWhoseStoredBytesWereAlteredIsKnownByItsIdAlone) {
    holdMining();
    const auto flipSignatureDigit = [](std::string wire) {
        wire.back() = wire.back() == '0' ? '1' : '0';
        return wire;
    };
    const auto raiseFeesUnsigned = [](const std::string& wire) {
        ETHSignedTransaction tx = ETHSignedTransaction::decode(hexToBytes(wire).value()).value();
        tx.fields.maxFeePerGas = UInt256(0, 1, 0, 0); // 2^128
        tx.fields.maxPriorityFeePerGas = tx.fields.maxFeePerGas;
        return bytesToHex(tx.encode());
    };
    for (const std::function<std::string(std::string)>& alter :
         {std::function<std::string(std::string)>(flipSignatureDigit),
          std::function<std::string(std::string)>(raiseFeesUnsigned)}) {
        const UInt256 before = balance(recipient);
        const std::string mined = node->rpc("eth_getTransactionCount", {sender, "latest"});
        test::LaggingBackend backend(proxy, node->url(), test::LaggingBackend::Family::evm,
                                     "nonce too low", std::chrono::hours(1));
        TransactionFlow* flow = pressSendOfOneEther();
        ASSERT_EQ(flow->step(), Step::Failed);
        ASSERT_EQ(backend.kept().size(), 1u);
        const std::string first = backend.kept().front();

        std::string damaged;
        env->restartWithTheKeptRecordEdited(
            [&](json& record) {
                damaged = alter(record.at("wire").get<std::string>());
                record["wire"] = damaged;
            },
            password);
        const std::vector<UnsettledAttempt> kept = env->state().attemptLedger().all();
        ASSERT_EQ(kept.size(), 1u);
        ASSERT_EQ(kept.front().id, first);
        ASSERT_EQ(kept.front().wire, damaged);

        EXPECT_EQ(refusal(wei("2")), "prepared");

        backend.catchUp();
        node->mine();
        flow = pressSendOfOneEther();
        ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
        EXPECT_EQ(flow->txHash().toStdString(), first);
        EXPECT_EQ(flow->earlierNote().toStdString(),
                  "Your earlier send of 1 ETH to 0x353535...353535 went through; nothing new was "
                  "signed.");
        EXPECT_EQ(backend.kept().size(), 1u);
        node->mine();
        EXPECT_EQ(node->rpc("eth_getTransactionCount", {sender, "pending"}),
                  UInt256(0, 0, 0, hexToUInt64(mined).value() + 1).description());
        EXPECT_EQ(balance(recipient), before.checkedAdd(wei("1")).value());
        EXPECT_TRUE(env->state().attemptLedger().all().empty());
        proxy.clearOverrides();
    }
}

// The same send kept while its bytes stayed intact, but another field of its record edited on
// disk: its nonce (0 to 1), or its id spelled "0X" and upper-case hex. What the bytes carry is
// read from them, and the id in the chain's own spelling: the press while the node's pool holds
// the original replaces it at its nonce, never signs beside it at another; once one of them
// lands, the press follows it. One payment; the records settle.
TEST_P(EVMSendOnEthereum, AKeptSendIsReadFromItsBytesWhateverItsOtherFieldsSay) {
    holdMining();
    const auto nextNonce = [](json& record) { record["nonce"] = record["nonce"].get<int>() + 1; };
    const auto upperCaseID = [](json& record) {
        std::string id = record["id"].get<std::string>();
        std::transform(id.begin(), id.end(), id.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        record["id"] = id;
    };
    for (const std::function<void(json&)>& alter :
         {std::function<void(json&)>(nextNonce), std::function<void(json&)>(upperCaseID)}) {
        const UInt256 before = balance(recipient);
        const std::uint64_t mined =
            hexToUInt64(node->rpc("eth_getTransactionCount", {sender, "latest"}).get<std::string>())
                .value();
        test::LaggingBackend backend(proxy, node->url(), test::LaggingBackend::Family::evm,
                                     "nonce too low", std::chrono::hours(1));
        TransactionFlow* flow = pressSendOfOneEther();
        ASSERT_EQ(flow->step(), Step::Failed);
        ASSERT_EQ(backend.kept().size(), 1u);
        const std::string first = backend.kept().front();

        env->restartWithTheKeptRecordEdited(alter, password);
        const std::vector<UnsettledAttempt> kept = env->state().attemptLedger().all();
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept.front().id, first);
        EXPECT_EQ(kept.front().nonce, mined);

        flow = pressSendOfOneEther();
        // Its replacement, kept by the pool as well.
        ASSERT_EQ(flow->step(), Step::Failed);
        ASSERT_EQ(backend.kept().size(), 2u);
        backend.catchUp();
        node->mine();
        node->mine();
        flow = pressSendOfOneEther();
        ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
        const std::string landed = flow->txHash().toStdString();
        EXPECT_TRUE(landed == first || landed == backend.kept().back()) << landed;
        EXPECT_EQ(node->rpc("eth_getTransactionByHash", {landed}).at("nonce"),
                  UInt256(0, 0, 0, mined).description());
        node->mine();
        EXPECT_EQ(node->rpc("eth_getTransactionCount", {sender, "pending"}),
                  UInt256(0, 0, 0, mined + 1).description());
        EXPECT_EQ(balance(recipient), before.checkedAdd(wei("1")).value());
        EXPECT_TRUE(env->state().attemptLedger().all().empty());
        proxy.clearOverrides();
    }
}

// The same on a node that keeps no old state, which cannot say from its blocks which
// transaction took the nonce: the explorer's list of what the account sent points at the other
// wallet's, and the node, asked by its hash, shows it signed by the key and in a block. The
// press signs at the next nonce; one payment from this wallet.
TEST_P(EVMSendOnEthereum, OnANodeWithoutOldStateTheExplorerPointsAtTheNoncesHolder) {
    proxy.setOverride("eth_sendRawTransaction", [](const json&) {
        return std::optional(HttpFixtureResponse::json(
            R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"Node is behind"}})"));
    });
    TransactionFlow* flow = flows->flow("send");
    flow = send(request(wei("1")));
    ASSERT_EQ(flow->step(), Step::Failed);
    proxy.clearOverrides();
    const std::vector<json> pages = {{test::blockscoutSentItem(payElsewhere(0), 0, sender)}};
    node->rpc("anvil_mine", {"0x12c"});
    test::keepOnlyRecentState(proxy, *node);
    env->web().setHandler(test::blockscoutSentPages(sender, &pages));

    flow->reset();
    flow = send(request(wei("2")));
    ASSERT_EQ(flow->step(), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(transaction(flow).at("nonce"), "0x1");
    EXPECT_EQ(balance(recipient), wei("2"));
    EXPECT_TRUE(env->state().attemptLedger().all().empty());
    proxy.clearOverrides();
}

// Figures no honest chain gives are refused before the review, naming the figure: a gas
// estimate of 2^63 to 2^64 - 1, a gas price of 2^200, a fee cap or tip over 10,000 gwei per gas,
// a gas limit over 30,000,000 or over the latest block's. Nothing is signed, at the review or
// at the press.
TEST_P(EVMSendOnEthereum, FeeFiguresNoHonestChainGivesAreRefusedBeforeTheReview) {
    const auto answering = [&](const char* method, UInt256 value) {
        proxy.setOverride(method, [value](const json&) { return answer(value); });
    };
    const std::string prefix = "The node's fee figures are not believable: ";
    const std::size_t calls = env->keychain().calls().size();
    for (const UInt256& estimate :
         {UInt256(0, 0, 0, 1ULL << 63), UInt256(0, 0, 0, ~0ULL), UInt256(0, 0, 0, 30'000'001)}) {
        answering("eth_estimateGas", estimate);
        EXPECT_EQ(refusal(wei("1")), prefix + "the gas estimate is above 30,000,000 gas.");
    }
    answering("eth_estimateGas", UInt256(0, 0, 0, 30'000'000)); // anvil's own block limit
    EXPECT_EQ(refusal(wei("1")), "prepared");
    // A chain whose blocks hold less.
    proxy.setOverride("eth_getBlockByNumber", [](const json&) {
        return HttpFixtureResponse::jsonRPCResult({{"number", "0x1"}, {"gasLimit", "0x7a120"}});
    });
    EXPECT_EQ(refusal(wei("1")),
              prefix + "the gas estimate is above the latest block's gas limit of 500000.");
    proxy.clearOverrides();

    const UInt256 gwei(0, 0, 0, 1'000'000'000);
    answering("eth_gasPrice", UInt256::fromHex("0x1" + std::string(50, '0')).value()); // 2^200
    EXPECT_EQ(refusal(wei("1")), prefix + "the gas price is above 10,000 gwei per gas.");
    // 10,000 gwei passes as the economy fee cap; at the priority level the cap is three times
    // the gas price.
    answering("eth_gasPrice", gwei.checkedMultiply(UInt256(0, 0, 0, 10'000)).value());
    EXPECT_NO_THROW(request(wei("1"), SendFeeLevel::slow));
    answering("eth_gasPrice", gwei.checkedMultiply(UInt256(0, 0, 0, 4'000)).value());
    EXPECT_NO_THROW(request(wei("1"), SendFeeLevel::slow));
    try {
        request(wei("1"), SendFeeLevel::fast);
        ADD_FAILURE() << "prepared";
    } catch (const std::exception& error) {
        EXPECT_EQ(error.what(), prefix + "the fee cap is above 10,000 gwei per gas.");
    }
    proxy.clearOverrides();
    answering("eth_maxPriorityFeePerGas", gwei.checkedMultiply(UInt256(0, 0, 0, 10'000))
                                              .value()
                                              .checkedAdd(UInt256(0, 0, 0, 1))
                                              .value());
    EXPECT_EQ(refusal(wei("1")), prefix + "the priority fee is above 10,000 gwei per gas.");
    proxy.clearOverrides();
    EXPECT_EQ(env->keychain().calls().size(), calls); // nothing signed

    // Reviewed with honest figures, then the node turns: the press signs nothing.
    for (const char* method : {"eth_gasPrice", "eth_estimateGas"}) {
        EVMSendRequest made = request(wei("1"));
        answering(method, method == std::string("eth_gasPrice")
                              ? UInt256::fromHex("0x1" + std::string(50, '0')).value()
                              : UInt256(0, 0, 0, 1ULL << 63));
        flows->flow("send")->reset();
        TransactionFlow* flow = send(std::move(made));
        EXPECT_EQ(flow->step(), Step::Failed);
        EXPECT_TRUE(flow->errorMessage().startsWith(QString::fromStdString(prefix)))
            << flow->errorMessage().toStdString();
        proxy.clearOverrides();
    }
    EXPECT_EQ(env->keychain().calls().size(), calls);
    EXPECT_EQ(proxy.requestCount("eth_sendRawTransaction"), 0);
}

INSTANTIATE_TEST_SUITE_P(Chain, EVMSendOnEthereum, ::testing::Values(1u));

} // namespace
} // namespace qm
