// Solana swaps signed by the wallet through the swap view model, against the loopback
// aggregator of tests/peers: its orders are real transactions built by @solana/web3.js, its
// execute request verifies every signature and runs the transaction in litesvm, whose node the
// wallet asks for the signature's status. Balances before and after, only the wallet's slot
// written, and every way a swap can end: refused before signing (among them a transaction that
// would take more than its order, seen by simulating it on the wallet's node), refused by the
// aggregator, confirmed, failed on chain, expired, or not seen in time.

#include "AggregatorFixture.h"
#include "AppStateFixture.h"
#include "HttpFixture.h"
#include "LaggingBackend.h"
#include "RPCProxy.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "core/crypto/Base58.h"
#include "core/encoding/Base64.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/swap/AggregatorClient.h"
#include "services/swap/EVMSwapTokens.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"
#include "state/send/SolanaSend.h"
#include "state/swap/SolanaSwapCheck.h"
#include "state/swap/SolanaSwapExecution.h"
#include "ui/swap/SwapViewModel.h"

#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>
#include <limits>

namespace qm {
namespace {

using json = nlohmann::json;
using Step = TransactionFlow::Step;
using test::AggregatorFixture;
using test::RefreshFixture;
using test::runTask;

const QString password = QStringLiteral("correct horse");
constexpr const char* apiKey = "swap-test-key";
constexpr std::uint64_t fee = 5000; // lamports per signature

TEST(SolanaSwapVerdict, OnlyAConfirmedStatusWithoutErrorCounts) {
    EXPECT_EQ(signatureVerdict(std::nullopt), std::nullopt);
    SignatureStatus status;
    EXPECT_EQ(signatureVerdict(status), std::nullopt); // no level: not yet
    status.confirmationStatus = "processed";
    EXPECT_EQ(signatureVerdict(status), std::nullopt);
    status.confirmationStatus = "confirmed";
    EXPECT_EQ(signatureVerdict(status), true);
    status.confirmationStatus = "finalized";
    EXPECT_EQ(signatureVerdict(status), true);
    status.err = json{{"InstructionError", json::array({0, "InvalidAccountData"})}};
    EXPECT_EQ(signatureVerdict(status), false);
    status.confirmationStatus = "processed"; // a failure is final at any level
    EXPECT_EQ(signatureVerdict(status), false);
}

// The aggregator's blockhash is bounded from the node's own answers: valid at a slot, then the
// height at a slot at or past that one, plus 150 (the blockhash was made at or below it). None
// from a height read behind the validity's slot, for a blockhash not valid, or past 64 bits.
TEST(SolanaSwapVerdict, TheBlockhashBoundIsNeverBelowWhatTheNodeSays) {
    test::HttpFixture server;
    const auto node = std::make_shared<SolanaRPCClient>(server.url());
    const auto answer = [&](const json& result) {
        server.enqueue(test::HttpFixtureResponse::jsonRPCResult(result));
    };
    const auto bound = [&](std::uint64_t validAt, std::uint64_t slot, std::uint64_t height) {
        answer({{"context", {{"slot", validAt}}}, {"value", true}});
        answer({{"absoluteSlot", slot}, {"blockHeight", height}});
        return runTask(blockhashLastValidBound(node, "H", {}));
    };
    EXPECT_EQ(bound(100, 100, 90), 240u);
    EXPECT_EQ(bound(100, 130, 120), 270u);
    EXPECT_EQ(bound(100, 99, 90), std::nullopt);
    constexpr std::uint64_t top = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(bound(100, top, top - 150), top);
    EXPECT_EQ(bound(100, top, top - 149), std::nullopt);
    const std::size_t asked = server.requests().size();
    answer({{"context", {{"slot", 100}}}, {"value", false}});
    EXPECT_EQ(runTask(blockhashLastValidBound(node, "H", {})), std::nullopt);
    EXPECT_EQ(server.requests().size(), asked + 1); // no height asked
}

// A created wallet on the fixture's runtime with 10 SOL, and a swap view model on Solana. The
// wallet reaches the runtime through a proxy the test may stand in.
class SolanaSwapWallet {
public:
    // The chain's answer is awaited for `confirmationTimeout` at most.
    explicit SolanaSwapWallet(
        AggregatorFixture& fixture,
        std::chrono::milliseconds confirmationTimeout = std::chrono::milliseconds(1500))
        : m_fixture(fixture), m_env(setup(proxied(fixture.rpcURL()))),
          m_flows(limits(confirmationTimeout)) {
        AppState& state = m_env.state();
        m_env.refresh().setSuspendedForTesting(true);
        runTask(state.createWallet(test::AppStateFixture::abandonPhrase(), password.toStdString()));
        state.stopBackgroundTasks();
        address = state.solanaAccounts().at(0).account.address;
        rpc = std::make_unique<SolanaRPCClient>(fixture.rpcURL());
        // The abandon phrase's account is the same in every test: drain what an earlier
        // test left by measuring from here.
        fixture.airdrop(address, 10'000'000'000);
        model.setAppState(&state);
        model.setFlowService(&m_flows);
        model.setChain(Chain::solana);
        model.setPassword(password);
        QObject::connect(flow(), &TransactionFlow::stepChanged,
                         [this] { steps.push_back(flow()->step()); });
    }

    TransactionFlow* flow() { return model.flow(); }
    AppState& state() { return m_env.state(); }
    // The wallet's Solana node, in front of the runtime.
    test::RPCProxy& node() { return m_node; }

    // The node's status index lags: it shows no signature, in an answer for slot 1 (which proves
    // no expiry), until showStatuses().
    void hideStatuses() {
        m_node.setOverride("getSignatureStatuses", [](const json& params) {
            json unseen = json::array();
            for (std::size_t i = 0; i < params.at(0).size(); ++i) {
                unseen.push_back(nullptr);
            }
            return std::optional(test::HttpFixtureResponse::jsonRPCResult(
                {{"context", {{"slot", 1}}}, {"value", unseen}}));
        });
    }
    void showStatuses() { m_node.clearOverrides(); }

    // A send of `lamports` to `to` on the send sheet's flow, run to its end, its face showing
    // `summary` and `detail` as the sheet's would; the flow.
    TransactionFlow* send(std::uint64_t lamports, const std::string& to, const QString& summary,
                          const QString& detail) {
        SolanaSendRequest made;
        made.state = &state();
        made.walletID = state().wallet()->id;
        made.password = SecureBytes::fromText(password.toStdString());
        made.prepared = prepareSolanaSend(&state(), SolanaSendForm{to, lamports});
        TransactionFlow* sheet = m_flows.flow("send:solana");
        sheet->reset();
        sheet->setSummary(summary, detail);
        auto held = std::make_shared<SolanaSendRequest>(std::move(made));
        EXPECT_TRUE(sheet->start(Step::Signing, [held](FlowRun run) {
            return runSolanaSend(std::move(run), std::move(*held));
        }));
        EXPECT_TRUE(QTest::qWaitFor([sheet] { return !sheet->isRunning(); }, 30'000));
        return sheet;
    }
    static SwapToken sol() { return SwapToken::native(Chain::solana); }
    static SwapToken usdc() { return {"USDC", AggregatorFixture::usdcMint, 6, false}; }

    // Sets the inputs and waits for their order; the order, if one came.
    std::optional<SolanaSwapQuote> quote(const SwapToken& in, const SwapToken& out,
                                         const QString& amount) {
        model.setTokenIn(in);
        model.setTokenOut(out);
        model.setAmountInString(amount);
        runTask(model.fetchQuote());
        return model.currentSolanaQuote();
    }

    // Starts the swap and waits for the flow's end; the final step.
    Step swap() {
        steps.clear();
        EXPECT_TRUE(model.executeSolanaSwap());
        EXPECT_TRUE(QTest::qWaitFor([this] { return !flow()->isRunning(); }, 30'000));
        return flow()->step();
    }

    // Execute requests since this wallet was made.
    std::size_t executeRequests() { return allExecuteRequests() - m_executesBefore; }
    std::size_t allExecuteRequests() {
        std::size_t count = 0;
        for (const json& request : m_fixture.requests()) {
            count += request.at("path") == "/ultra/v1/execute" ? 1 : 0;
        }
        return count;
    }
    // The signed transaction of the last execute request.
    Bytes lastSigned() {
        const json requests = m_fixture.requests();
        for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
            if (it->at("path") == "/ultra/v1/execute") {
                const json body = json::parse(it->at("body").get<std::string>());
                return base64Decode(body.at("signedTransaction").get<std::string>()).value();
            }
        }
        return {};
    }

    std::uint64_t lamports() { return runTask(rpc->getBalance(address)); }
    std::uint64_t usdcHeld() {
        std::uint64_t total = 0;
        for (const SPLTokenAccountInfo& account : runTask(rpc->getTokenAccountsByOwner(address))) {
            if (account.mint == AggregatorFixture::usdcMint) {
                total += std::stoull(account.amount);
            }
        }
        return total;
    }

    std::string address;
    SwapViewModel model;
    std::vector<Step> steps;
    std::unique_ptr<SolanaRPCClient> rpc;

private:
    QUrl proxied(const QUrl& rpc) {
        m_node.setTarget(rpc);
        return m_node.url();
    }
    static RefreshFixture::Setup setup(const QUrl& rpc) {
        RefreshFixture::Setup s;
        s.solana = rpc;
        return s;
    }
    static TransactionFlow::Limits limits(std::chrono::milliseconds confirmationTimeout) {
        TransactionFlow::Limits l;
        l.pollInterval = std::chrono::milliseconds(50);
        l.confirmationTimeout = confirmationTimeout;
        l.pace = 0;
        return l;
    }

    AggregatorFixture& m_fixture;
    std::size_t m_executesBefore = allExecuteRequests();
    test::RPCProxy m_node;
    RefreshFixture m_env;
    FlowService m_flows;
};

class SolanaSwap : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QStandardPaths::findExecutable("node").isEmpty()) {
            return;
        }
        fixture = new AggregatorFixture(apiKey);
        if (fixture->isRunning()) {
            qputenv(AggregatorEndpoint::kBaseURLVariable,
                    fixture->aggregatorURL().toString().toUtf8());
            qputenv(AggregatorEndpoint::kAPIKeyVariable, apiKey);
        }
    }
    static void TearDownTestSuite() {
        qunsetenv(AggregatorEndpoint::kBaseURLVariable);
        qunsetenv(AggregatorEndpoint::kAPIKeyVariable);
        delete fixture;
        fixture = nullptr;
    }
    void SetUp() override {
        if (!fixture || !fixture->isRunning()) {
            GTEST_SKIP() << "node or the test peers are not installed (scripts/install-deps)";
        }
        fixture->script(json::object());
        wallet = std::make_unique<SolanaSwapWallet>(*fixture);
    }

    static inline AggregatorFixture* fixture = nullptr;
    std::unique_ptr<SolanaSwapWallet> wallet;
};

TEST_F(SolanaSwap, BothWaysTheWalletSignsItsSlotOnlyAndTheNodeConfirms) {
    SolanaSwapWallet& w = *wallet;
    const std::uint64_t solBefore = w.lamports();
    const std::uint64_t usdcBefore = w.usdcHeld();

    const std::optional<SolanaSwapQuote> buy = w.quote(w.sol(), w.usdc(), "1.5");
    ASSERT_TRUE(buy) << w.model.quoteErrorText().toStdString();
    EXPECT_EQ(buy->inputMint, wrappedSOLMint);
    EXPECT_EQ(buy->inAmount, 1'500'000'000u);
    EXPECT_EQ(w.model.expectedOutputText(), "225.0000");
    // The order's own threshold, not an estimate.
    EXPECT_EQ(w.model.minimumReceivedText(), "223.875"); // exact: the review shows every digit
    EXPECT_FALSE(w.model.minimumIsEstimate());
    EXPECT_EQ(w.model.route(), "Jupiter Ultra");
    EXPECT_TRUE(w.model.canSwap());

    // One transaction even for two presses.
    EXPECT_TRUE(w.model.executeSolanaSwap());
    EXPECT_FALSE(w.model.executeSolanaSwap());
    EXPECT_FALSE(w.model.canSwap());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.flow()->isRunning(); }, 30'000));
    EXPECT_EQ(w.flow()->step(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.steps, (std::vector<Step>{Step::Signing, Step::Broadcasting,
                                          Step::WaitingConfirmation, Step::Confirmed}));
    EXPECT_EQ(w.flow()->progress(), 1.0);
    // Only the first slot was written; the id is that signature.
    const Bytes unsigned_ = base64Decode(*buy->transactionBase64).value();
    const Bytes signed_ = w.lastSigned();
    ASSERT_EQ(signed_.size(), unsigned_.size());
    for (std::size_t i = 0; i < signed_.size(); ++i) {
        if (i < 1 || i > 64) {
            EXPECT_EQ(signed_[i], unsigned_[i]) << "byte " << i << " changed";
        }
    }
    EXPECT_EQ(w.flow()->txHash().toStdString(), base58Encode(ByteView(signed_).subspan(1, 64)));
    EXPECT_EQ(w.lamports(), solBefore - 1'500'000'000 - 2 * fee);
    EXPECT_EQ(w.usdcHeld(), usdcBefore + 225'000'000);

    // Back through a versioned transaction with a lookup table.
    w.model.reset();
    w.model.setPassword(password);
    fixture->script({{"order", json::array({"versioned"})}});
    const std::uint64_t solMiddle = w.lamports();
    const std::optional<SolanaSwapQuote> sell = w.quote(w.usdc(), w.sol(), "30");
    ASSERT_TRUE(sell) << w.model.quoteErrorText().toStdString();
    EXPECT_EQ(sell->outputMint, wrappedSOLMint);
    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.lastSigned()[1 + 2 * 64], 0x80);
    EXPECT_EQ(w.usdcHeld(), usdcBefore + 195'000'000);
    EXPECT_EQ(w.lamports(), solMiddle + 200'000'000 - 2 * fee);
}

TEST_F(SolanaSwap, NothingIsSignedOrSentThatMustNotBe) {
    SolanaSwapWallet& w = *wallet;
    const std::uint64_t solBefore = w.lamports();
    const auto refused = [&](const char* why, const std::string& text) {
        EXPECT_EQ(w.swap(), Step::Failed) << why;
        EXPECT_EQ(w.flow()->errorMessage().toStdString(), text) << why;
        EXPECT_TRUE(w.flow()->txHash().isEmpty()) << why;
        EXPECT_EQ(w.executeRequests(), 0u) << why;
    };

    ASSERT_TRUE(w.quote(w.sol(), w.usdc(), "1"));
    w.model.setPassword(QStringLiteral("wrong horse"));
    refused("wrong password", "Incorrect password");
    w.model.setPassword(password);

    // No slot for the wallet, another first signer, a broken Base64 text.
    fixture->script({{"order", json::array({"zeroSlots", "foreignSigner", "lineBreak"})}});
    for (const char* amount : {"0.1", "0.2"}) {
        ASSERT_TRUE(w.quote(w.sol(), w.usdc(), amount));
        refused(amount, "Failed: Invalid TX format");
    }
    ASSERT_TRUE(w.quote(w.sol(), w.usdc(), "0.3"));
    refused("line break", "Failed: Invalid transaction data");

    // An edit after the order: nothing is signed until the order of the new amount has come.
    ASSERT_TRUE(w.quote(w.sol(), w.usdc(), "1"));
    w.model.setAmountInString("2");
    EXPECT_FALSE(w.model.canSwap());
    EXPECT_FALSE(w.model.executeSolanaSwap()); // and it asks for the new order itself
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.model.hasQuote(); }, 10'000));
    EXPECT_EQ(w.model.currentSolanaQuote()->inAmount, 2'000'000'000u);
    EXPECT_EQ(w.executeRequests(), 0u);
    EXPECT_EQ(w.lamports(), solBefore);
    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.lamports(), solBefore - 2'000'000'000 - 2 * fee);

    // Orders refused while quoting: the aggregator's texts; an amount past 64 bits is never
    // asked for.
    fixture->script({{"order", json::array({"429", "outAmountNumber", "otherInAmount"})}});
    for (const char* text :
         {"Jupiter: Network busy, try again in a few seconds", "Jupiter: Cannot parse quote",
          "Jupiter: Order is for another amount"}) {
        w.model.setAmountInString(w.model.amountInString() == "3" ? "4" : "3");
        runTask(w.model.fetchQuote());
        EXPECT_FALSE(w.model.hasQuote()) << text;
        EXPECT_EQ(w.model.quoteErrorText().toStdString(), text);
    }
    fixture->script({{"order", json::array({"noThreshold"})}});
    ASSERT_TRUE(w.quote(w.sol(), w.usdc(), "1"));
    EXPECT_TRUE(w.model.minimumIsEstimate());
    EXPECT_EQ(w.model.minimumReceivedText(), "149.25");
    const std::size_t asked = fixture->requests().size();
    w.model.setAmountInString("18446744073.709551616"); // 2^64 lamports
    runTask(w.model.fetchQuote());
    EXPECT_EQ(w.model.quoteErrorText(), "The amount is too large");
    EXPECT_EQ(fixture->requests().size(), asked);
}

TEST_F(SolanaSwap, EachEndIsReportedAsTheAggregatorAndTheNodeSawIt) {
    SolanaSwapWallet& w = *wallet;
    std::uint64_t amount = 10;
    // Each swap types the password again: one that left used it up.
    const auto order = [&] {
        ++amount;
        EXPECT_TRUE(w.quote(w.sol(), w.usdc(), QStringLiteral("0.0%1").arg(amount)));
        w.model.setPassword(password);
    };

    // Refusals of the aggregator: back to the review, nothing moved.
    const std::uint64_t solBefore = w.lamports();
    fixture->script(
        {{"execute", json::array({"429", "500", "failedWithError", "failedWithoutError"})}});
    order();
    for (const char* text : {"Jupiter: Network busy, try again in a few seconds",
                             "Jupiter: Swap execution failed (HTTP 500)",
                             "Jupiter: Slippage tolerance exceeded", "Jupiter: Unknown error"}) {
        EXPECT_EQ(w.swap(), Step::Failed) << text;
        EXPECT_EQ(w.flow()->errorMessage().toStdString(), text);
        EXPECT_TRUE(w.flow()->txHash().isEmpty());
    }
    EXPECT_EQ(w.lamports(), solBefore);
    // The refused transaction may still land until its blockhash expires: another order is not
    // signed until then, and says so.
    const std::size_t executes = w.executeRequests();
    order();
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage().toStdString(),
              "Failed: The last attempt of this swap may still go through until its blockhash "
              "expires, in about a minute; nothing was signed. Try again once it has expired.");
    EXPECT_EQ(w.executeRequests(), executes);
    fixture->script({{"age", 200}});

    // "Success" that the node never sees: submitted with the signature, never confirmed.
    fixture->script({{"execute", json::array({"notLanded"})}});
    order();
    EXPECT_EQ(w.swap(), Step::Submitted);
    EXPECT_FALSE(w.model.hasPassword());
    EXPECT_EQ(w.flow()->txHash().toStdString(),
              base58Encode(ByteView(w.lastSigned()).subspan(1, 64)));
    EXPECT_EQ(w.steps.back(), Step::Submitted);
    EXPECT_NE(std::find(w.steps.begin(), w.steps.end(), Step::WaitingConfirmation), w.steps.end());

    // Its blockhash too old by now, still unseen: it can no longer land.
    fixture->script({{"execute", json::array({"expired"})}});
    order();
    EXPECT_EQ(w.swap(), Step::Reverted);
    EXPECT_EQ(w.flow()->errorMessage(), "Failed: Expired before it landed");

    // Landed, and failed there.
    fixture->script({{"execute", json::array({"landedFailed"})}});
    order();
    EXPECT_EQ(w.swap(), Step::Reverted);
    EXPECT_EQ(w.flow()->errorMessage(), "Failed: Swap failed on chain");
    EXPECT_FALSE(w.flow()->txHash().isEmpty());

    // The answer lost after the aggregator ran it: cut in the middle, or lost before it
    // started (the request is sent again and refused as a request already done). Followed
    // on the node, and confirmed.
    for (const char* kase : {"runThenCut", "runThenDrop"}) {
        const std::uint64_t usdcBefore = w.usdcHeld();
        fixture->script({{"execute", json::array({kase})}});
        order();
        EXPECT_EQ(w.swap(), Step::Confirmed) << kase << w.flow()->errorMessage().toStdString();
        EXPECT_EQ(w.usdcHeld(), usdcBefore + 150'000 * amount) << kase;
    }
}

// The last valid height of the order's blockhash is bounded on the wallet's node before the
// password is used: a node that does not hold the blockhash as valid (behind the aggregator's),
// or cannot say, gives no bound, and nothing is signed.
TEST_F(SolanaSwap, AnOrderWhoseBlockhashTheNodeDoesNotHoldValidIsNotSigned) {
    SolanaSwapWallet& w = *wallet;
    const std::uint64_t sol = w.lamports();
    ASSERT_TRUE(w.quote(w.sol(), w.usdc(), "0.5"));
    fixture->script({{"unknownBlockhashes", true}});
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage().toStdString(),
              "Failed: The swap's blockhash is not valid on the wallet's Solana node; nothing "
              "was signed");
    fixture->script({{"nodeWithout", json::array({"isBlockhashValid"})}});
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage().toStdString(),
              "SolanaRPCClient: RPC error -32601: Method not found");
    EXPECT_EQ(w.executeRequests(), 0u);
    EXPECT_EQ(w.lamports(), sol);
    // Known again: signed, sent and confirmed.
    fixture->script(json::object());
    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.lamports(), sol - 500'000'000 - 2 * fee);
}

TEST_F(SolanaSwap, ATransactionTakingMoreThanItsOrderIsRefusedBeforeThePasswordIsUsed) {
    SolanaSwapWallet& w = *wallet;
    fixture->airdrop(w.address, 100'000'000'000);
    // Each refused before the aggregator has anything: the wallet's balances as they were.
    const auto refused = [&](const char* kase, const SwapToken& in, const SwapToken& out,
                             const char* amount, const std::string& text) {
        fixture->script({{"order", json::array({kase})}});
        ASSERT_TRUE(w.quote(in, out, amount)) << kase;
        const std::size_t executed = w.executeRequests();
        const std::uint64_t sol = w.lamports();
        const std::uint64_t usdc = w.usdcHeld();
        EXPECT_EQ(w.swap(), Step::Failed) << kase;
        EXPECT_EQ(w.flow()->errorMessage().toStdString(), "Failed: " + text) << kase;
        EXPECT_FALSE(w.flow()->hasBroadcast()) << kase;
        EXPECT_EQ(w.executeRequests(), executed) << kase;
        EXPECT_EQ(w.lamports(), sol) << kase;
        EXPECT_EQ(w.usdcHeld(), usdc) << kase;
    };
    // An order for 0.1 SOL whose transaction also moves 99 SOL of the wallet elsewhere.
    const std::string drained = "The swap's transaction would take 99.10001 SOL from the wallet, "
                                "more than the 0.10001 SOL the order and its fees allow; nothing "
                                "was signed";
    refused("drainSol", w.sol(), w.usdc(), "0.1", drained);
    EXPECT_EQ(w.executeRequests(), 0u);
    // Refused the same with a wrong password: the signer was never asked.
    w.model.setPassword(QStringLiteral("wrong horse"));
    refused("drainSol", w.sol(), w.usdc(), "0.1", drained);
    w.model.setPassword(password);

    // Some USDC to spend, from an honest order.
    ASSERT_TRUE(w.quote(w.sol(), w.usdc(), "1"));
    ASSERT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    w.model.setPassword(password);
    // The input token twice over; the output taken back and more, through a lookup table.
    refused("drainToken", w.usdc(), w.sol(), "30",
            "The swap's transaction would take 60 USDC from the wallet, more than the "
            "order's 30 USDC; nothing was signed");
    refused("takeOutput", w.sol(), w.usdc(), "0.01",
            "The swap's transaction would take 1 USDC from the wallet, a token the order "
            "does not spend; nothing was signed");
    // Nothing taken yet, but another may spend the wallet's USDC or SOL later.
    refused("approve", w.sol(), w.usdc(), "0.01",
            "The swap's transaction would give control of a token account of the wallet "
            "to someone else; nothing was signed");
    refused("assign", w.sol(), w.usdc(), "0.01",
            "The swap's transaction would hand the wallet's account to a program; nothing "
            "was signed");
    refused("feeHigh", w.sol(), w.usdc(), "0.01",
            "The swap's transaction sets a priority fee of 0.02 SOL, more than the 0.01 "
            "SOL the wallet allows; nothing was signed");
}

TEST_F(SolanaSwap, HonestOrdersPassTheCheckAndAnUncheckedOneIsRefused) {
    SolanaSwapWallet& w = *wallet;
    // A priority fee, and the output's associated account created for the wallet: both paid
    // within what the order allows.
    std::uint64_t sol = w.lamports();
    fixture->script({{"order", json::array({"priorityFee"})}});
    ASSERT_TRUE(w.quote(w.sol(), w.usdc(), "1"));
    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.lamports(), sol - 1'000'000'000 - 2 * fee - 10'000);
    for (const std::uint64_t rent : {tokenAccountRent, std::uint64_t(0)}) {
        w.model.setPassword(password);
        sol = w.lamports();
        const std::uint64_t usdc = w.usdcHeld();
        fixture->script({{"order", json::array({"createsAccount"})}});
        ASSERT_TRUE(w.quote(w.sol(), w.usdc(), rent ? "0.5" : "0.4"));
        EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
        EXPECT_EQ(w.lamports(), sol - (rent ? 500'000'000 : 400'000'000) - 2 * fee - rent);
        EXPECT_EQ(w.usdcHeld(), usdc + (rent ? 75'000'000 : 60'000'000));
    }

    // The transaction fails on the node; the node cannot simulate.
    w.model.setPassword(password);
    const std::size_t executed = w.executeRequests();
    sol = w.lamports();
    fixture->script({{"order", json::array({"poolShort"})}});
    ASSERT_TRUE(w.quote(w.sol(), w.usdc(), "0.01"));
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_TRUE(w.flow()->errorMessage().startsWith(
        "Failed: The swap's transaction fails on the wallet's Solana node: "))
        << w.flow()->errorMessage().toStdString();
    EXPECT_TRUE(w.flow()->errorMessage().endsWith("; nothing was signed"));
    fixture->script({{"order", json::array({"legacy"})},
                     {"nodeWithout", json::array({"simulateTransaction"})}});
    ASSERT_TRUE(w.quote(w.sol(), w.usdc(), "0.02"));
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage().toStdString(),
              "Failed: The swap could not be checked on the wallet's Solana node "
              "(SolanaRPCClient: RPC error -32601: Method not found); nothing was signed");
    EXPECT_EQ(w.executeRequests(), executed);
    EXPECT_EQ(w.lamports(), sol);
}

// The aggregator runs the swap, then answers what proves nothing: a gateway's 504, a page that
// is no answer, or "Success" naming another transaction. The wallet's node lags meanwhile: its
// status index shows the swap only after more looks than a refusal is given. The node decides:
// followed under the wallet's own signature and confirmed, never back to the review, once.
TEST_F(SolanaSwap, AnAnswerThatProvesNothingLeavesTheOutcomeToTheNode) {
    wallet.reset();
    wallet = std::make_unique<SolanaSwapWallet>(*fixture, std::chrono::seconds(20));
    SolanaSwapWallet& w = *wallet;
    std::uint64_t amount = 20;
    for (const char* kase : {"runThen504", "runThenUnreadable", "otherSignature"}) {
        ++amount;
        ASSERT_TRUE(w.quote(w.sol(), w.usdc(), QStringLiteral("0.0%1").arg(amount))) << kase;
        w.model.setPassword(password);
        const std::uint64_t usdc = w.usdcHeld();
        fixture->script({{"execute", json::array({kase})}});
        w.hideStatuses();
        const int looks = w.node().requestCount("getSignatureStatuses");
        w.steps.clear();
        ASSERT_TRUE(w.model.executeSolanaSwap()) << kase;
        // A refusal ends after 1 + 3 looks.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return w.node().requestCount("getSignatureStatuses") > looks + 5 ||
                       !w.flow()->isRunning();
            },
            30'000));
        w.showStatuses();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !w.flow()->isRunning(); }, 30'000));
        EXPECT_EQ(w.flow()->step(), Step::Confirmed)
            << kase << ": " << w.flow()->errorMessage().toStdString();
        EXPECT_EQ(std::find(w.steps.begin(), w.steps.end(), Step::Failed), w.steps.end()) << kase;
        EXPECT_EQ(w.flow()->txHash().toStdString(),
                  base58Encode(ByteView(w.lastSigned()).subspan(1, 64)))
            << kase;
        EXPECT_EQ(w.usdcHeld(), usdc + 150'000 * amount) << kase;
    }
}

// A send the node kept while the wallet heard a refusal, its status index lagging: a swap of the
// same account signs nothing while the send may land, and once the node shows it, the swap's
// press says it went through, naming it. The next press swaps. The send paid once.
TEST_F(SolanaSwap, ASwapWaitsForAKeptSendAndSaysItWentThrough) {
    SolanaSwapWallet& w = *wallet;
    const std::string payee = base58Encode(Bytes(32, 0x5a));
    const std::string detail = "to " + payee.substr(0, 8) + "..." + payee.substr(payee.size() - 6);
    test::LaggingBackend lagging(w.node(), fixture->rpcURL(), test::LaggingBackend::Family::solana,
                                 "Node is behind by 42 slots", std::chrono::hours(1));
    TransactionFlow* sent =
        w.send(250'000'000, payee, QStringLiteral("0.25 SOL"), QString::fromStdString(detail));
    ASSERT_EQ(sent->step(), Step::Failed) << sent->errorMessage().toStdString();
    ASSERT_EQ(lagging.kept().size(), 1u);

    // An amount no other test swaps: while no block passes, the same order is the same
    // transaction.
    ASSERT_TRUE(w.quote(w.sol(), w.usdc(), "0.615"));
    const std::uint64_t usdc = w.usdcHeld();
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage().toStdString(),
              "Your earlier send of 0.25 SOL " + detail +
                  " may still go through until its blockhash expires, in about a minute; nothing "
                  "was signed. Try this one once it has expired.");
    EXPECT_EQ(w.executeRequests(), 0u);

    lagging.catchUp();
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage().toStdString(),
              "Your earlier send of 0.25 SOL " + detail + " went through; nothing new was signed.");
    EXPECT_EQ(w.executeRequests(), 0u);
    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.usdcHeld(), usdc + 92'250'000);
    EXPECT_EQ(runTask(w.rpc->getBalance(payee)), 250'000'000u);
    EXPECT_EQ(lagging.kept().size(), 1u);
    w.node().clearOverrides();
}

// The other way: the aggregator runs a swap and answers that it failed, and the node's status
// index lags. A send of the same account signs nothing while the swap may land; once the node
// shows it, the send's press says it went through, naming it; the next press sends. The swap
// swapped once.
TEST_F(SolanaSwap, ASendWaitsForAKeptSwapAndSaysItWentThrough) {
    SolanaSwapWallet& w = *wallet;
    const std::string payee = base58Encode(Bytes(32, 0x5b));
    const QString detail = QStringLiteral("to somebody");
    ASSERT_TRUE(w.quote(w.sol(), w.usdc(), "0.385"));
    const std::uint64_t usdc = w.usdcHeld();
    fixture->script({{"execute", json::array({"runThenRefuse"})}});
    w.hideStatuses();
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage().toStdString(), "Jupiter: Transaction not confirmed");
    const std::string earlier = "Your earlier swap of " + w.flow()->summary().toStdString() + " " +
                                w.flow()->detail().toStdString();

    const int sends = w.node().requestCount("sendTransaction");
    TransactionFlow* sent = w.send(100'000'000, payee, QStringLiteral("0.1 SOL"), detail);
    EXPECT_EQ(sent->step(), Step::Failed);
    EXPECT_EQ(sent->errorMessage().toStdString(),
              earlier + " may still go through until its blockhash expires, in about a minute; "
                        "nothing was signed. Try this one once it has expired.");
    EXPECT_EQ(w.node().requestCount("sendTransaction"), sends);

    w.showStatuses();
    sent = w.send(100'000'000, payee, QStringLiteral("0.1 SOL"), detail);
    EXPECT_EQ(sent->step(), Step::Failed);
    EXPECT_EQ(sent->errorMessage().toStdString(),
              earlier + " went through; nothing new was signed.");
    EXPECT_EQ(w.node().requestCount("sendTransaction"), sends);
    sent = w.send(100'000'000, payee, QStringLiteral("0.1 SOL"), detail);
    EXPECT_EQ(sent->step(), Step::Confirmed) << sent->errorMessage().toStdString();
    EXPECT_EQ(runTask(w.rpc->getBalance(payee)), 100'000'000u);
    EXPECT_EQ(w.usdcHeld(), usdc + 57'750'000);
}

} // namespace
} // namespace qm
