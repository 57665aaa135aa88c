// Swaps signed by the wallet and sent to Uniswap V3 on anvil, driven through the swap view
// model: each shape with its balances after and the max network fee of its review against
// what was signed, the approval awaited to its receipt (also with a block every few seconds),
// reverted approvals and swaps reported as such, wrong passwords and stale quotes that send
// nothing, a gas price risen since the review and a swap that needs more gas once its approval
// is in a block stopping before they sign, a node that keeps what it refuses while its
// lookups lag, pressed again until the swap leaves once, a swap or approval kept in a pool
// replaced at its nonce, one reviewed before a send of the account was kept there paying what
// replacing the send asks, lost answers, and a send of the same account kept that way holding
// the swap back.

#include "AnvilNode.h"
#include "AppStateFixture.h"
#include "LaggingBackend.h"
#include "RPCProxy.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "TestContracts.h"
#include "UniswapV3Fixture.h"
#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "services/evm/ERC20.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/SwapError.h"
#include "services/swap/UniswapCalldata.h"
#include "services/swap/UniswapQuoter.h"
#include "state/AppState.h"
#include "state/flows/ERC20Approval.h"
#include "state/flows/EVMFeeBounds.h"
#include "state/flows/EVMPreparedCall.h"
#include "state/flows/EVMTransactionSteps.h"
#include "state/flows/FlowService.h"
#include "state/send/EVMPreparedSend.h"
#include "state/send/EVMSend.h"
#include "state/swap/EVMSwapExecution.h"
#include "ui/swap/SwapViewModel.h"

#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace qm {
namespace {

using json = nlohmann::json;
using Step = TransactionFlow::Step;
using test::AnvilNode;
using test::RefreshFixture;
using test::runTask;
using test::UniswapV3Fixture;

const QString password = QStringLiteral("correct horse");
// Whom the account's sends pay.
const std::string payee = "0x3535353535353535353535353535353535353535";

UInt256 whole(std::uint64_t count, unsigned decimals) {
    return UInt256(0, 0, 0, count).checkedMultiply(UInt256::powerOfTen(decimals).value()).value();
}

UInt256 quantity(const json& value) {
    return UInt256::fromHex(value.get<std::string>()).value();
}

TEST(SwapFees, TheTipNeverExceedsTheCapAndLimitsHaveFloors) {
    const UInt256 gwei = UInt256::powerOfTen(9).value();
    EVMNodeFigures figures;
    figures.nonce = 7;
    figures.gasPrice = gwei.checkedMultiply(UInt256(0, 0, 0, 20)).value();
    figures.priorityFee = gwei;
    const ETHTransaction approval =
        buildEVMTransaction(Chain::polygon, Bytes(20, 1), UInt256(), {}, figures, 60'000, 2);
    EXPECT_EQ(approval.chainID, 137u);
    EXPECT_EQ(approval.nonce, 7u);
    EXPECT_EQ(approval.maxFeePerGas, gwei.checkedMultiply(UInt256(0, 0, 0, 40)).value());
    EXPECT_EQ(approval.maxPriorityFeePerGas, gwei);
    // A tip above three times the gas price is cut to the cap.
    figures.gasPrice = UInt256(0, 0, 0, 20);
    figures.priorityFee = UInt256(0, 0, 0, 100);
    const ETHTransaction swap =
        buildEVMTransaction(Chain::arbitrum, Bytes(20, 1), UInt256(), {}, figures, 240'000, 3);
    EXPECT_EQ(swap.chainID, 42161u);
    EXPECT_EQ(swap.maxFeePerGas, UInt256(0, 0, 0, 60));
    EXPECT_EQ(swap.maxPriorityFeePerGas, UInt256(0, 0, 0, 60));
    figures.gasPrice = UInt256::max();
    EXPECT_THROW(buildEVMTransaction(Chain::ethereum, Bytes(20, 1), UInt256(), {}, figures, 1, 3),
                 std::range_error);

    EXPECT_EQ(approvalGasLimit(45'000), 60'000u);
    EXPECT_EQ(approvalGasLimit(80'000), 80'000u);

    // A call prepared from its own estimate: a fifth over the larger of it and the floor.
    EVMCallPlan plan;
    plan.chain = Chain::polygon;
    plan.token = Bytes(20, 2);
    plan.spender = Bytes(20, 3);
    plan.to = plan.spender;
    plan.gasFloor = 200'000;
    plan.feeFactor = 3;
    figures.nonce = 7;
    figures.gasPrice = gwei;
    figures.priorityFee = gwei;
    figures.gasEstimate = 150'000;
    EVMPreparedCall call = preparedCallFromFigures(plan, false, figures);
    EXPECT_EQ(call.call.gasLimit, 240'000u);
    EXPECT_FALSE(call.approval.has_value());
    EXPECT_FALSE(call.callLimitIsBound);
    figures.gasEstimate = 300'000;
    call = preparedCallFromFigures(plan, false, figures);
    EXPECT_EQ(call.call.gasLimit, 360'000u);
    EXPECT_EQ(call.maxFee, gwei.checkedMultiply(UInt256(0, 0, 0, 3 * 360'000)).value());
    EXPECT_EQ(call.callTransaction(9).nonce, 9u);
    EXPECT_EQ(call.callTransaction(9).maxFeePerGas, gwei.checkedMultiply(UInt256(0, 0, 0, 3)));
    // With the approval first, from the approval's estimate: the call gets its floor with the
    // margin and the next nonce, and the max fee counts both.
    figures.gasEstimate = 45'000;
    call = preparedCallFromFigures(plan, true, figures);
    ASSERT_TRUE(call.approval.has_value());
    EXPECT_EQ(call.approval->gasLimit, 60'000u);
    EXPECT_EQ(call.approval->maxFeePerGas, gwei.checkedMultiply(UInt256(0, 0, 0, 2)));
    EXPECT_EQ(call.approval->nonce, 7u);
    EXPECT_EQ(call.call.gasLimit, 240'000u);
    EXPECT_EQ(call.call.nonce, 8u);
    EXPECT_TRUE(call.callLimitIsBound);
    EXPECT_EQ(call.maxFee,
              gwei.checkedMultiply(UInt256(0, 0, 0, 2 * 60'000 + 3 * 240'000)).value());
    const ETHTransaction approve = call.approvalTransaction(7);
    EXPECT_EQ(approve.to, plan.token);
    EXPECT_EQ(approve.data, erc20ApproveCalldata(plan.spender, UInt256::max()));
    EXPECT_EQ(maxNetworkFeeText(call), "0.00084 POL");
    // Figures no honest chain gives are refused before any arithmetic is done with them.
    figures.gasEstimate = ~std::uint64_t{0};
    EXPECT_THROW(preparedCallFromFigures(plan, false, figures), UnbelievableFees);
    figures.gasEstimate = 0;
    figures.gasPrice = UInt256::max();
    EXPECT_THROW(preparedCallFromFigures(plan, true, figures), UnbelievableFees);
}

TEST(SwapFees, TheGasMarginIsAFifthOfTheLargerOfEstimateAndFloorUpToTheLastFittingLimit) {
    EXPECT_EQ(gasLimitWithMargin(0, 200'000), 240'000u);
    EXPECT_EQ(gasLimitWithMargin(200'004, 200'000), 240'004u); // the fifth rounds down
    // The largest estimate whose limit still fits 64 bits gives exactly 2^64 - 1.
    constexpr std::uint64_t lastFitting = 15'372'286'728'091'293'013u;
    EXPECT_EQ(gasLimitWithMargin(lastFitting, 0), ~std::uint64_t{0});
    EXPECT_THROW(gasLimitWithMargin(lastFitting + 1, 0), std::range_error);
    EXPECT_THROW(gasLimitWithMargin(0, lastFitting + 1), std::range_error);
}

// A created wallet whose first EVM account holds 100 coins and 10,000 USDC on a chain with
// Uniswap V3, and a swap view model on it.
class SwapWallet {
public:
    explicit SwapWallet(Chain chain,
                        std::chrono::milliseconds confirmationTimeout = std::chrono::seconds(60))
        : m_node(evmChainID(chain)), m_uniswap(m_node, chain),
          m_env(setup(chain, proxied(m_proxy, m_node.url()))),
          m_flows(limits(confirmationTimeout)) {
        AppState& state = m_env.state();
        m_env.refresh().setSuspendedForTesting(true);
        runTask(state.createWallet(test::AppStateFixture::abandonPhrase(), password.toStdString()));
        state.stopBackgroundTasks();
        address = state.evmAccounts(chain).at(0).account.address;
        m_node.setBalance(address, whole(100, 18).description());
        m_uniswap.mint(m_uniswap.usdc(), address, whole(10'000, 6));
        model.setAppState(&state);
        model.setFlowService(&m_flows);
        model.setChain(chain);
        model.setPassword(password);
        QObject::connect(flow(), &TransactionFlow::stepChanged,
                         [this] { steps.push_back(flow()->step()); });
    }

    AnvilNode& node() { return m_node; }
    AppState& state() { return m_env.state(); }
    FlowService& flows() { return m_flows; }
    // Between the wallet and the node.
    test::RPCProxy& proxy() { return m_proxy; }
    UniswapV3Fixture& uniswap() { return m_uniswap; }
    TransactionFlow* flow() { return model.flow(); }
    SwapToken usdc() const { return {"USDC", m_uniswap.usdc(), 6, false}; }
    SwapToken dai() const { return {"DAI", m_uniswap.dai(), 18, false}; }
    SwapToken native() const { return SwapToken::native(m_uniswap.chain()); }

    // Sets the inputs and waits for their quote.
    SwapQuote quote(const SwapToken& in, const SwapToken& out, const QString& amount) {
        model.setTokenIn(in);
        model.setTokenOut(out);
        model.setAmountInString(amount);
        runTask(model.fetchQuote());
        EXPECT_TRUE(model.hasQuote()) << model.quoteErrorText().toStdString();
        return model.currentQuote().value_or(SwapQuote{});
    }

    // Review Swap: prepares the swap of the current quote and waits for it.
    void review() {
        model.review();
        EXPECT_TRUE(QTest::qWaitFor([this] { return !model.isPreparing(); }, 30'000));
        EXPECT_TRUE(model.hasReview()) << model.prepareError().toStdString();
    }

    // Starts the swap (reviewed first when it is not) and waits for the flow's end; the final
    // step.
    Step swap() {
        if (!model.hasReview()) {
            review();
        }
        steps.clear();
        EXPECT_TRUE(model.executeEVMSwap());
        EXPECT_TRUE(QTest::qWaitFor([this] { return !flow()->isRunning(); }, 90'000));
        return flow()->step();
    }

    std::uint64_t nonce() {
        return hexToUInt64(
                   m_node.rpc("eth_getTransactionCount", {address, "pending"}).get<std::string>())
            .value();
    }

    // Waits for the running flow to end, mining a block for each transaction the pool takes
    // once more than `raw` were sent (an approval is awaited to its block before the swap is
    // signed). False when it has not ended in time.
    bool mineUntilTheRunEnds(int raw) {
        const auto minedCount = [&] {
            return hexToUInt64(m_node.rpc("eth_getTransactionCount", {address, "latest"})
                                   .get<std::string>())
                .value();
        };
        return QTest::qWaitFor(
            [&] {
                if (proxy().requestCount("eth_sendRawTransaction") > raw &&
                    minedCount() < nonce()) {
                    m_node.mine();
                }
                return !flow()->isRunning();
            },
            90'000);
    }

    json transaction(const QString& hash) {
        return m_node.rpc("eth_getTransactionByHash", json::array({hash.toStdString()}));
    }
    json receipt(const QString& hash) { return m_node.minedReceipt(hash.toStdString()); }
    // The most the wallet's mined transactions from the `from`-th on could have paid the
    // network: the sum of their gas limits times their fee caps.
    UInt256 allowedFees(std::size_t from) {
        UInt256 sum;
        const std::vector<json> sent = m_node.minedTransactionsFrom(address);
        for (std::size_t i = from; i < sent.size(); ++i) {
            sum = sum.checkedAdd(quantity(sent[i].at("gas"))
                                     .checkedMultiply(quantity(sent[i].at("maxFeePerGas")))
                                     .value())
                      .value();
        }
        return sum;
    }
    // Raises the node's gas price past `factor` times what it is.
    void raiseGasPrice(std::uint64_t factor) {
        const UInt256 now = quantity(m_node.rpc("eth_gasPrice", json::array()));
        // The next block's base fee is 7/8 of an empty block's: 8/7 more makes up for it.
        m_node.mineWithBaseFee(now.checkedMultiply(UInt256(0, 0, 0, factor * 8 / 7 + factor / 50))
                                   .value()
                                   .description());
        ASSERT_GT(quantity(m_node.rpc("eth_gasPrice", json::array())),
                  now.checkedMultiply(UInt256(0, 0, 0, factor)).value());
    }
    // Pays 1 ETH from the account to `payee` as the send sheet does; its flow, ended.
    TransactionFlow* sendOneETH() {
        auto sending = std::make_shared<EVMSendRequest>();
        sending->state = &state();
        sending->walletID = state().wallet()->id;
        sending->password = SecureBytes::fromText(password.toStdString());
        const Chain chain = m_uniswap.chain();
        sending->prepared = runTask(
            prepareEVMSend(&state(), EVMSendForm{chain, std::nullopt, payee, whole(1, 18)}, {}));
        TransactionFlow* send =
            m_flows.flow(QStringLiteral("send:") + QString::fromStdString(rawValue(chain)));
        send->setSummary("1 ETH", "to 0x353535...353535");
        EXPECT_TRUE(send->start(Step::Signing, [sending](FlowRun run) {
            return runEVMSend(std::move(run), std::move(*sending));
        }));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !send->isRunning(); }, 60'000));
        return send;
    }
    UInt256 payeeBalance() { return quantity(m_node.rpc("eth_getBalance", {payee, "latest"})); }
    UInt256 gasPaid(const QString& hash) {
        const json r = receipt(hash);
        return quantity(r.at("gasUsed"))
            .checkedMultiply(quantity(r.at("effectiveGasPrice")))
            .value();
    }

    std::string address;
    SwapViewModel model;
    std::vector<Step> steps;

private:
    static QUrl proxied(test::RPCProxy& proxy, const QUrl& node) {
        proxy.setTarget(node);
        return proxy.url();
    }
    static RefreshFixture::Setup setup(Chain chain, const QUrl& url) {
        RefreshFixture::Setup s;
        (chain == Chain::ethereum   ? s.ethereum
         : chain == Chain::arbitrum ? s.arbitrum
                                    : s.polygon) = url;
        return s;
    }
    static TransactionFlow::Limits limits(std::chrono::milliseconds confirmationTimeout) {
        TransactionFlow::Limits l;
        l.pollInterval = std::chrono::milliseconds(50);
        l.confirmationTimeout = confirmationTimeout;
        l.pace = 0;
        return l;
    }

    AnvilNode m_node;
    UniswapV3Fixture m_uniswap;
    test::RPCProxy m_proxy;
    RefreshFixture m_env;
    FlowService m_flows;
};

class SwapOnAnvil : public ::testing::TestWithParam<std::uint64_t> {
protected:
    void SetUp() override {
        if (!AnvilNode::isAvailable()) {
            GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
        }
        const Chain chain = GetParam() == 1       ? Chain::ethereum
                            : GetParam() == 42161 ? Chain::arbitrum
                                                  : Chain::polygon;
        wallet = std::make_unique<SwapWallet>(chain);
    }
    std::unique_ptr<SwapWallet> wallet;
};

TEST_P(SwapOnAnvil, EachShapeSwapsToTheWalletAndIsConfirmedByItsReceipt) {
    SwapWallet& w = *wallet;
    UniswapV3Fixture& uniswap = w.uniswap();

    // Native in: no allowance to read, no approval; one transaction even for two presses.
    const SwapQuote buy = w.quote(w.native(), w.usdc(), "1.5");
    EXPECT_EQ(buy.amountIn, whole(15, 17));
    EXPECT_FALSE(w.model.executeEVMSwap()); // nothing is signed unreviewed
    w.review();
    EXPECT_FALSE(w.model.reviewIncludesApproval());
    const UInt256 buyFee = w.model.evmReview()->call.maxFee;
    const std::string feeText =
        Amount{buyFee, 18}.exactText() + " " + nativeSymbol(uniswap.chain());
    EXPECT_EQ(w.model.reviewMaxFee().toStdString(), feeText);
    EXPECT_TRUE(w.model.executeEVMSwap());
    EXPECT_FALSE(w.model.executeEVMSwap());
    EXPECT_FALSE(w.model.canSwap());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.flow()->isRunning(); }, 90'000));
    EXPECT_EQ(w.flow()->step(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.nonce(), 1u);
    EXPECT_EQ(uniswap.balanceOf(uniswap.usdc(), w.address),
              whole(10'000, 6).checkedAdd(buy.amountOut).value());
    const json sent = w.transaction(w.flow()->txHash());
    EXPECT_EQ(sent.at("type"), "0x2");
    EXPECT_EQ(hexToBytes(sent.at("from").get<std::string>()), hexToBytes(w.address));
    EXPECT_EQ(hexToBytes(sent.at("to").get<std::string>()), hexToBytes(uniswapRouterAddress));
    EXPECT_EQ(quantity(sent.at("value")), buy.amountIn);
    EXPECT_LE(quantity(sent.at("maxPriorityFeePerGas")), quantity(sent.at("maxFeePerGas")));
    EXPECT_GE(quantity(sent.at("gas")), UInt256(0, 0, 0, 240'000));
    EXPECT_EQ(quantity(sent.at("chainId")), UInt256(0, 0, 0, evmChainID(uniswap.chain())));
    // The max network fee reviewed is what the signed swap allows.
    EXPECT_EQ(w.allowedFees(0), buyFee);

    // Token to native: the approval first (the largest amount), then the multicall.
    const UInt256 etherBefore = uniswap.nativeBalance(w.address);
    w.model.reset();
    w.model.setPassword(password);
    const SwapQuote sell = w.quote(w.usdc(), w.native(), "1000");
    w.review();
    // The approval first: the swap's own limit is its floor with the margin until then.
    EXPECT_TRUE(w.model.reviewIncludesApproval());
    ASSERT_TRUE(w.model.evmReview()->call.approval.has_value());
    EXPECT_EQ(w.model.evmReview()->call.call.gasLimit, 240'000u);
    const UInt256 sellFee = w.model.evmReview()->call.maxFee;
    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.allowedFees(1), sellFee); // the approval's and the swap's
    EXPECT_FALSE(w.model.hasPassword());  // used up once the transactions left
    EXPECT_EQ(w.steps,
              (std::vector<Step>{Step::CheckingAllowance, Step::Approving, Step::Signing,
                                 Step::Broadcasting, Step::WaitingConfirmation, Step::Confirmed}));
    EXPECT_EQ(uniswap.allowance(uniswap.usdc(), w.address, uniswapRouterAddress), UInt256::max());
    EXPECT_EQ(w.nonce(), 3u);
    // The approval's gas is all the ether spent besides the swap's own.
    const UInt256 approvalGas = etherBefore.checkedAdd(sell.amountOut)
                                    .value()
                                    .checkedSubtract(w.gasPaid(w.flow()->txHash()))
                                    .value()
                                    .checkedSubtract(uniswap.nativeBalance(w.address))
                                    .value();
    EXPECT_GT(approvalGas, UInt256());
    EXPECT_LT(approvalGas, UInt256::powerOfTen(16).value());

    // Token to token with the allowance in place: no approval this time.
    w.model.reset();
    w.model.setPassword(password);
    const SwapQuote stable = w.quote(w.usdc(), w.dai(), "250.5");
    EXPECT_EQ(stable.amountIn, UInt256(0, 0, 0, 250'500'000));
    w.review();
    EXPECT_FALSE(w.model.reviewIncludesApproval());
    const UInt256 stableFee = w.model.evmReview()->call.maxFee;
    EXPECT_EQ(w.swap(), Step::Confirmed);
    EXPECT_EQ(w.allowedFees(3), stableFee);
    EXPECT_EQ(w.steps,
              (std::vector<Step>{Step::CheckingAllowance, Step::Signing, Step::Broadcasting,
                                 Step::WaitingConfirmation, Step::Confirmed}));
    EXPECT_EQ(uniswap.balanceOf(uniswap.dai(), w.address), stable.amountOut);
    EXPECT_EQ(w.nonce(), 4u);
}

INSTANTIATE_TEST_SUITE_P(Chains, SwapOnAnvil, ::testing::Values(1u, 42161u, 137u),
                         [](const auto& info) { return "chain" + std::to_string(info.param); });

TEST(SwapExecution, WrongPasswordsAndStaleQuotesSendNothing) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    SwapWallet w(Chain::arbitrum);
    w.quote(w.native(), w.usdc(), "1");
    w.model.setPassword(QStringLiteral("wrong horse"));
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.steps, (std::vector<Step>{Step::CheckingAllowance, Step::Failed})); // no signing
    EXPECT_FALSE(w.flow()->errorMessage().isEmpty());
    EXPECT_EQ(w.model.errorText(), w.flow()->errorMessage()); // under the password field
    EXPECT_TRUE(w.model.hasPassword()); // nothing left: kept for a corrected retry
    EXPECT_TRUE(w.flow()->txHash().isEmpty());
    EXPECT_EQ(w.nonce(), 0u);

    // Edits after the quote: nothing starts until the quote of the new inputs has come.
    w.model.setPassword(password);
    ASSERT_TRUE(w.model.showConfirmation());
    w.model.setAmountInString("2");
    EXPECT_FALSE(w.model.canSwap());
    // The review of the old amount goes, and the confirmation open on it closes.
    EXPECT_FALSE(w.model.hasReview());
    EXPECT_FALSE(w.model.showConfirmation());
    EXPECT_FALSE(w.model.executeEVMSwap()); // and it asks for the new quote itself
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.model.hasQuote(); }, 10'000));
    EXPECT_EQ(w.model.currentQuote()->amountIn, whole(2, 18));
    w.model.setSlippageBps(300);
    EXPECT_FALSE(w.model.executeEVMSwap());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.model.hasQuote(); }, 10'000));
    const SwapQuote quote = *w.model.currentQuote();
    EXPECT_EQ(w.nonce(), 0u);
    EXPECT_EQ(w.swap(), Step::Confirmed);
    EXPECT_FALSE(w.model.hasError());
    // What was signed is the new quote: 2 coins, and the minimum at 3 % slippage.
    const Bytes data =
        hexToBytes(w.transaction(w.flow()->txHash()).at("input").get<std::string>()).value();
    ASSERT_EQ(data.size(), 228u);
    EXPECT_EQ(UInt256::fromBigEndianBytes(ByteView(data.data() + 132, 32)), whole(2, 18));
    EXPECT_EQ(UInt256::fromBigEndianBytes(ByteView(data.data() + 164, 32)),
              minimumAmountOut(quote.amountOut, 300));
}

TEST(SwapExecution, APriceMovedByAnotherAccountFailsTheSwap) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    SwapWallet w(Chain::ethereum);
    const std::string other = AnvilNode::devAccount(2);
    const auto moveThePrice = [&](const std::string& tipHex) {
        const SwapQuote big =
            runTask(uniswapQuote(w.native(), w.usdc(), whole(5, 18), 0, Chain::ethereum,
                                 std::make_shared<JSONRPCClient>(w.node().url())));
        const RouterCall call =
            uniswapSwapCalldata(big, hexToBytes(other).value(), Chain::ethereum);
        json tx = {{"from", other},
                   {"to", uniswapRouterAddress},
                   {"data", bytesToHex(call.data)},
                   {"value", call.value.description()},
                   {"gas", "0x7a120"},
                   {"maxFeePerGas", "0x174876e800"},
                   {"maxPriorityFeePerGas", tipHex}};
        return w.node().rpc("eth_sendTransaction", json::array({tx})).get<std::string>();
    };

    // Moved after the review, before the swap: the node refuses its estimate; nothing leaves.
    w.quote(w.native(), w.usdc(), "1");
    w.review();
    moveThePrice("0x3b9aca00");
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_NE(w.flow()->errorMessage().toStdString().find("Too little received"), std::string::npos)
        << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.nonce(), 0u);

    // Moved after the swap left, in the same block and ahead of it: the receipt says reverted.
    w.model.reset();
    w.model.setPassword(password);
    w.quote(w.native(), w.usdc(), "1");
    w.review();
    w.node().setAutomine(false);
    w.steps.clear();
    ASSERT_TRUE(w.model.executeEVMSwap());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w.flow()->step() == Step::WaitingConfirmation; }, 30'000));
    moveThePrice("0x174876e800");
    w.node().mine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.flow()->isRunning(); }, 30'000));
    EXPECT_EQ(w.flow()->step(), Step::Reverted);
    EXPECT_EQ(w.flow()->errorMessage(), "Failed: Swap reverted");
    EXPECT_EQ(w.receipt(w.flow()->txHash()).at("status"), "0x0");
    EXPECT_EQ(w.uniswap().balanceOf(w.uniswap().usdc(), w.address), whole(10'000, 6));
}

TEST(SwapExecution, TheSwapWaitsForTheApprovalsBlock) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    SwapWallet w(Chain::polygon);
    UniswapV3Fixture& uniswap = w.uniswap();
    // A block every 3 seconds (far longer than signing and sending take): the swap can only be
    // estimated and sent once the approval is in a block.
    w.node().setIntervalMining(3);
    w.quote(w.usdc(), w.native(), "100");
    // The wallet's mined transactions when the swap starts being built: the approval's.
    std::optional<std::uint64_t> minedAtSigning;
    QObject::connect(w.flow(), &TransactionFlow::stepChanged, [&] {
        if (w.flow()->step() == Step::Signing) {
            minedAtSigning = hexToUInt64(
                w.node().rpc("eth_getTransactionCount", {w.address, "latest"}).get<std::string>());
        }
    });
    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.steps.at(1), Step::Approving);
    EXPECT_EQ(minedAtSigning, 1u);
    EXPECT_EQ(uniswap.balanceOf(uniswap.usdc(), w.address), whole(9'900, 6));
    EXPECT_EQ(w.nonce(), 2u);
}

TEST(SwapExecution, AnApprovalThatRevertsStopsTheSwap) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    SwapWallet w(Chain::ethereum);
    UniswapV3Fixture& uniswap = w.uniswap();
    // The same balances under code whose approvals can be switched off.
    w.node().setCode(uniswap.usdc(),
                     test::TestContracts::shared().deployedBytecode("BreakableUSDC"));
    w.quote(w.usdc(), w.native(), "100");
    w.review();
    w.node().setAutomine(false);
    w.steps.clear();
    ASSERT_TRUE(w.model.executeEVMSwap());
    // The node holds the approval; approvals are switched off ahead of it in the same block.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.nonce() == 1; }, 30'000));
    json off = {{"from", AnvilNode::devAccount(0)},
                {"to", uniswap.usdc()},
                {"data", bytesToHex(functionSelector("breakApprovals()"))},
                {"gas", "0x186a0"},
                {"maxFeePerGas", "0x174876e800"},
                {"maxPriorityFeePerGas", "0x174876e800"}};
    w.node().rpc("eth_sendTransaction", json::array({off}));
    w.node().mine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.flow()->isRunning(); }, 30'000));
    EXPECT_EQ(w.flow()->step(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage(), "The approval was reverted on chain.");
    EXPECT_EQ(w.steps.back(), Step::Failed);
    EXPECT_EQ(std::count(w.steps.begin(), w.steps.end(), Step::Signing), 0);
    EXPECT_EQ(w.nonce(), 1u); // the approval only
    EXPECT_EQ(uniswap.balanceOf(uniswap.usdc(), w.address), whole(10'000, 6));
}

// A node answering another transaction's hash (one mined, status 1) has not taken ours: the
// approval, then the swap, is refused with that answer and nothing follows it; a node that takes
// the swap and answers another hash is followed on our own hash.
TEST(SwapExecution, TheSwapFollowsItsOwnHashNeverTheNodesAnswer) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    SwapWallet w(Chain::arbitrum);
    UniswapV3Fixture& uniswap = w.uniswap();
    const std::string other =
        w.node().send(AnvilNode::devAccount(0), AnvilNode::devAccount(1), "0x", "0x1");
    ASSERT_EQ(w.node().minedReceipt(other).at("status"), "0x1");
    w.proxy().setOverride("eth_sendRawTransaction", [&](const json&) {
        return std::optional(test::HttpFixtureResponse::jsonRPCResult(other));
    });
    w.quote(w.usdc(), w.dai(), "10");
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage().toStdString(),
              "The server refused the transaction: " + other);
    EXPECT_EQ(std::count(w.steps.begin(), w.steps.end(), Step::Signing), 0);
    EXPECT_EQ(w.nonce(), 0u);

    // The approval goes through; the swap is refused.
    int sends = 0;
    w.proxy().setOverride("eth_sendRawTransaction", [&](const json&) {
        return ++sends == 1 ? std::nullopt
                            : std::optional(test::HttpFixtureResponse::jsonRPCResult(other));
    });
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage().toStdString(),
              "The server refused the transaction: " + other);
    EXPECT_EQ(w.nonce(), 1u); // the approval only
    EXPECT_EQ(uniswap.balanceOf(uniswap.usdc(), w.address), whole(10'000, 6));

    // Taken, and answered with another hash: our own swap is followed to its receipt.
    w.proxy().setOverride("eth_sendRawTransaction", [&](const json& params) {
        w.node().rpc("eth_sendRawTransaction", params);
        return std::optional(test::HttpFixtureResponse::jsonRPCResult(other));
    });
    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_NE(w.flow()->txHash().toStdString(), other);
    EXPECT_EQ(w.receipt(w.flow()->txHash()).at("status"), "0x1");
    EXPECT_EQ(uniswap.balanceOf(uniswap.usdc(), w.address), whole(9'990, 6));
}

TEST(SwapExecution, AnApprovalNeverMinedStopsTheSwapAndARetryGoesOn) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    SwapWallet w(Chain::arbitrum, std::chrono::milliseconds(1500));
    UniswapV3Fixture& uniswap = w.uniswap();
    w.quote(w.usdc(), w.dai(), "10");
    w.node().setAutomine(false);
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage(),
              "The approval was not confirmed in time. Try again in a moment.");
    EXPECT_EQ(std::count(w.steps.begin(), w.steps.end(), Step::Signing), 0);
    EXPECT_TRUE(w.flow()->txHash().isEmpty());
    EXPECT_EQ(w.nonce(), 1u); // the approval waits in the pool; no swap behind it

    // Once it is mined the same quote swaps without a second approval.
    w.node().mine();
    w.node().setAutomine(true);
    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.steps,
              (std::vector<Step>{Step::CheckingAllowance, Step::Signing, Step::Broadcasting,
                                 Step::WaitingConfirmation, Step::Confirmed}));
    EXPECT_EQ(uniswap.balanceOf(uniswap.usdc(), w.address), whole(9'990, 6));
    EXPECT_EQ(w.nonce(), 2u);
}

// The node's gas price a thousandfold between the review and the press: nothing is signed,
// the review shows the swap prepared again with its max network fee, and the next press signs
// exactly that.
TEST(SwapExecution, AGasPriceRisenSinceTheReviewStopsBeforeSigningAndTheNextPressPaysIt) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    SwapWallet w(Chain::ethereum);
    w.quote(w.native(), w.usdc(), "1");
    w.review();
    const EVMPreparedSwap shown = *w.model.evmReview();
    w.raiseGasPrice(1000);
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.steps, (std::vector<Step>{Step::CheckingAllowance, Step::Failed}));
    EXPECT_EQ(w.nonce(), 0u);
    ASSERT_TRUE(w.model.hasReview());
    const EVMPreparedSwap revised = *w.model.evmReview();
    EXPECT_EQ(revised.order, shown.order);
    EXPECT_GT(revised.call.maxFee, shown.call.maxFee.checkedMultiply(UInt256(0, 0, 0, 300)));
    EXPECT_EQ(w.model.errorText(), "This transaction now needs a max network fee of " +
                                       w.model.reviewMaxFee() +
                                       ", more than the one shown. Review it and confirm again.");
    EXPECT_TRUE(w.model.hasPassword()); // nothing left: kept for the next press

    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    const json sent = w.transaction(w.flow()->txHash());
    EXPECT_EQ(quantity(sent.at("maxFeePerGas")), revised.call.call.maxFeePerGas);
    EXPECT_EQ(w.allowedFees(0), revised.call.maxFee);
    EXPECT_EQ(w.nonce(), 1u);
}

// A token whose transfers cost far more gas than a swap's floor: the review can only bound the
// swap's gas while its approval comes first. Once the approval is in a block the swap's
// estimate passes that bound: the swap stops before it is signed, the approval done, and the
// review shows the swap alone with its estimated limit, which the next press signs.
TEST(SwapExecution, ASwapNeedingMoreGasOnceApprovedStopsBeforeTheSwapOnly) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    SwapWallet w(Chain::arbitrum);
    UniswapV3Fixture& uniswap = w.uniswap();
    w.node().setCode(uniswap.usdc(), test::TestContracts::shared().deployedBytecode("HeavyUSDC"));
    Bytes setWeight = functionSelector("setWeight(uint256)");
    const Bytes ten = UInt256(0, 0, 0, 10).bigEndianWord();
    setWeight.insert(setWeight.end(), ten.begin(), ten.end());
    uniswap.transact(AnvilNode::devAccount(0), uniswap.usdc(), bytesToHex(setWeight));

    w.quote(w.usdc(), w.native(), "100");
    w.review();
    ASSERT_TRUE(w.model.reviewIncludesApproval());
    const QString boundFee = w.model.reviewMaxFee();
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.steps, (std::vector<Step>{Step::CheckingAllowance, Step::Approving, Step::Signing,
                                          Step::Failed}));
    EXPECT_EQ(w.nonce(), 1u); // the approval only
    EXPECT_EQ(uniswap.allowance(uniswap.usdc(), w.address, uniswapRouterAddress), UInt256::max());
    ASSERT_TRUE(w.model.hasReview());
    EXPECT_FALSE(w.model.reviewIncludesApproval());
    const EVMPreparedSwap revised = *w.model.evmReview();
    EXPECT_GT(revised.call.call.gasLimit, 240'000u);
    EXPECT_NE(w.model.reviewMaxFee(), boundFee);
    EXPECT_NE(w.model.errorText().indexOf(w.model.reviewMaxFee()), -1)
        << w.model.errorText().toStdString();
    EXPECT_TRUE(w.flow()->txHash().isEmpty());

    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.steps,
              (std::vector<Step>{Step::CheckingAllowance, Step::Signing, Step::Broadcasting,
                                 Step::WaitingConfirmation, Step::Confirmed}));
    const json sent = w.transaction(w.flow()->txHash());
    EXPECT_EQ(quantity(sent.at("gas")), UInt256(0, 0, 0, revised.call.call.gasLimit));
    EXPECT_EQ(w.allowedFees(1), revised.call.maxFee);
    EXPECT_EQ(uniswap.balanceOf(uniswap.usdc(), w.address), whole(9'900, 6));
    EXPECT_EQ(w.nonce(), 2u);
    // The approval, done in its block, was not sent again.
    EXPECT_EQ(w.proxy().requestCount("eth_sendRawTransaction"), 2);
}

// A node that keeps every transaction yet answers an error, and whose lookups do not see one
// for 5 s, while its count of mined transactions lags with them or is ahead of them (a count past
// a nonce whose block the lookups do not show yet proves nothing): the approval fails, then the
// swap, and the user presses again until it leaves. Every later signing takes the nonce of what
// was kept, or signs nothing while the chain cannot say who took it, so the token is approved
// once and swapped once, and the flow ends on the swap that landed.
TEST(SwapExecution, PressedAgainAfterRefusalsOfKeptTransactionsItSwapsOnce) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    for (const auto count :
         {test::LaggingBackend::Count::lagging, test::LaggingBackend::Count::ahead}) {
        SwapWallet w(Chain::arbitrum);
        UniswapV3Fixture& uniswap = w.uniswap();
        const test::LaggingBackend backend(w.proxy(), w.node().url(),
                                           test::LaggingBackend::Family::evm, "Node is behind",
                                           std::chrono::seconds(5), count);
        w.quote(w.usdc(), w.native(), "100");
        w.review();
        int presses = 0;
        Step step = Step::Failed;
        while (step == Step::Failed && presses < 200) {
            ++presses;
            step = w.swap();
        }
        ASSERT_EQ(step, Step::Confirmed) << w.flow()->errorMessage().toStdString();
        EXPECT_GT(presses, 2);
        EXPECT_EQ(w.nonce(), 2u); // one approval, one swap
        EXPECT_EQ(uniswap.balanceOf(uniswap.usdc(), w.address), whole(9'900, 6));
        const json swapped = w.transaction(w.flow()->txHash());
        EXPECT_EQ(hexToBytes(swapped.at("to").get<std::string>()),
                  hexToBytes(uniswapRouterAddress));
        EXPECT_EQ(swapped.at("nonce"), "0x1");
        EXPECT_EQ(w.receipt(w.flow()->txHash()).at("status"), "0x1");
    }
}

// A node keeps the swap (or the approval before it) in its pool yet answers an error, its
// lookup null, while no block is mined: only the pool holds the nonce. Reviewed again for
// another amount, the review names what it replaces and the press signs at that nonce, paying
// what the pool asks to take it in its place; no Send Anyway. As blocks are mined, one swap (and
// one approval) lands: the one of the second review.
TEST(SwapExecution, ASwapKeptInThePoolIsReplacedAtItsNonce) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    for (const bool approving : {false, true}) {
        SwapWallet w(Chain::arbitrum);
        UniswapV3Fixture& uniswap = w.uniswap();
        w.node().setAutomine(false);
        test::LaggingBackend backend(w.proxy(), w.node().url(), test::LaggingBackend::Family::evm,
                                     "insufficient funds for gas * price + value",
                                     std::chrono::hours(1));
        const auto reviewed = [&](const char* pay, const char* paid) {
            w.quote(approving ? w.usdc() : w.native(), approving ? w.native() : w.usdc(),
                    approving ? pay : paid);
            w.review();
        };
        // Small swaps: the node estimates the next one over its pool, this one swapped.
        reviewed("100", "0.01");
        EXPECT_EQ(w.swap(), Step::Failed);
        ASSERT_EQ(backend.kept().size(), 1u);
        ASSERT_EQ(w.nonce(), 1u); // the pool holds it

        reviewed("50", "0.005");
        EXPECT_FALSE(w.model.replacementNote().isEmpty());
        backend.answerNewOnes();
        const int raw = w.proxy().requestCount("eth_sendRawTransaction");
        w.model.setPassword(password);
        ASSERT_TRUE(w.model.executeEVMSwap());
        ASSERT_TRUE(w.mineUntilTheRunEnds(raw));
        ASSERT_EQ(w.flow()->step(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
        EXPECT_FALSE(w.flow()->offersSendAnyway());
        const std::vector<json> mined = w.node().minedTransactionsFrom(w.address);
        ASSERT_EQ(mined.size(), approving ? 2u : 1u);
        EXPECT_EQ(quantity(mined.back().at("nonce")), UInt256(0, 0, 0, approving ? 1 : 0));
        EXPECT_EQ(mined.back().at("hash"), w.flow()->txHash().toStdString());
        if (approving) {
            EXPECT_EQ(uniswap.balanceOf(uniswap.usdc(), w.address), whole(9'950, 6));
        } else {
            EXPECT_EQ(quantity(mined.back().at("value")), whole(5, 15));
        }
    }
}

// A swap (and an approval before it) reviewed, then a send of the account that a node keeps in
// its pool while it answers an error, no block mined: the swap takes the send's nonce, which
// the fees of its review do not pay the pool to replace. The press signs nothing and the review
// shows the swap prepared again with what the pool asks; the next press replaces the send with
// it. One swap (and one approval) lands; the send never.
TEST(SwapExecution, ASwapReviewedBeforeASendKeptInThePoolPaysItsReplacementOrSignsNothing) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    for (const bool approving : {true, false}) {
        SwapWallet w(Chain::arbitrum);
        w.node().setAutomine(false);
        w.quote(approving ? w.usdc() : w.native(), approving ? w.native() : w.usdc(),
                approving ? "100" : "0.01");
        w.review();
        ASSERT_EQ(w.model.reviewIncludesApproval(), approving);
        test::LaggingBackend backend(w.proxy(), w.node().url(), test::LaggingBackend::Family::evm,
                                     "insufficient funds for gas * price + value",
                                     std::chrono::hours(1));
        ASSERT_EQ(w.sendOneETH()->step(), Step::Failed);
        ASSERT_EQ(backend.kept().size(), 1u);
        ASSERT_EQ(w.nonce(), 1u); // the pool holds it
        const json held = w.node().rpc("eth_getTransactionByHash", {backend.kept().front()});

        backend.answerNewOnes(); // what the node thinks of a signing is heard
        const int raw = w.proxy().requestCount("eth_sendRawTransaction");
        EXPECT_EQ(w.swap(), Step::Failed) << w.flow()->errorMessage().toStdString();
        EXPECT_EQ(w.proxy().requestCount("eth_sendRawTransaction"), raw); // nothing signed
        ASSERT_TRUE(w.model.hasReview());
        // Its fee cap may have paid already: the tip alone does not change the max network fee.
        EXPECT_NE(w.model.errorText().indexOf(w.model.reviewMaxFee()), -1)
            << w.model.errorText().toStdString();
        EXPECT_TRUE(w.model.errorText().endsWith("Review it and confirm again."));
        const EVMPreparedCall& revised = w.model.evmReview()->call;
        const EVMPreparedFees first = approving ? revised.approval.value() : revised.call;
        EXPECT_GT(first.maxFeePerGas, quantity(held.at("maxFeePerGas")));
        EXPECT_GT(first.maxPriorityFeePerGas, quantity(held.at("maxPriorityFeePerGas")));

        ASSERT_TRUE(w.model.executeEVMSwap());
        ASSERT_TRUE(w.mineUntilTheRunEnds(raw));
        ASSERT_EQ(w.flow()->step(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
        const std::vector<json> mined = w.node().minedTransactionsFrom(w.address);
        ASSERT_EQ(mined.size(), approving ? 2u : 1u);
        EXPECT_EQ(quantity(mined.front().at("maxFeePerGas")), first.maxFeePerGas);
        EXPECT_EQ(mined.back().at("hash"), w.flow()->txHash().toStdString());
        EXPECT_EQ(w.payeeBalance(), UInt256());
    }
}

// Bad luck on the swap's account. The node takes the approval and the swap and every answer is
// lost (a gateway's 504): each is found on the chain by its own hash, the swap signed once the
// approval is in its block; one approval, one swap, the flow on the swap's hash. Then a send from
// the account that a node kept while answering an error, its lookups behind its count: while the
// chain cannot say which transaction holds the send's nonce, the swap's review names the send it
// would replace and its press signs nothing; once the lookups caught up, a press says the send
// went through and signs nothing, and the next one swaps at the next nonce. The recipient is
// paid once.
TEST(SwapExecution, LostAnswersAndAKeptSendOfTheAccountNeverSwapTwice) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    SwapWallet w(Chain::arbitrum);
    UniswapV3Fixture& uniswap = w.uniswap();
    w.proxy().setOverride("eth_sendRawTransaction", [&](const json& params) {
        try {
            w.node().rpc("eth_sendRawTransaction", params);
        } catch (const std::runtime_error&) {
            // Sent again: the node has it.
        }
        return std::optional(test::HttpFixtureResponse::withStatus(504));
    });
    w.quote(w.usdc(), w.native(), "100");
    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    EXPECT_EQ(w.steps,
              (std::vector<Step>{Step::CheckingAllowance, Step::Approving, Step::Signing,
                                 Step::Broadcasting, Step::WaitingConfirmation, Step::Confirmed}));
    EXPECT_EQ(w.nonce(), 2u);
    json swapped = w.transaction(w.flow()->txHash());
    EXPECT_EQ(swapped.at("nonce"), "0x1");
    EXPECT_EQ(hexToBytes(swapped.at("to").get<std::string>()), hexToBytes(uniswapRouterAddress));
    EXPECT_EQ(uniswap.balanceOf(uniswap.usdc(), w.address), whole(9'900, 6));
    EXPECT_EQ(uniswap.allowance(uniswap.usdc(), w.address, uniswapRouterAddress), UInt256::max());
    w.proxy().clearOverrides();
    w.model.setPassword(password); // the swap took it

    test::LaggingBackend backend(w.proxy(), w.node().url(), test::LaggingBackend::Family::evm,
                                 "Node is behind", std::chrono::hours(1),
                                 test::LaggingBackend::Count::ahead);
    TransactionFlow* send = w.sendOneETH();
    ASSERT_EQ(send->step(), Step::Failed);
    ASSERT_EQ(backend.kept().size(), 1u);
    EXPECT_EQ(w.node().minedReceipt(backend.kept().front()).at("status"), "0x1");

    const std::string earlier = "Your earlier send of 1 ETH to 0x353535...353535";
    w.quote(w.native(), w.usdc(), "1");
    w.review();
    EXPECT_EQ(w.model.replacementNote().toStdString(),
              "This replaces your earlier send of 1 ETH to 0x353535...353535 that may still go "
              "through.");
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage().toStdString(),
              earlier + " may have gone through: the network has used its nonce, and no server "
                        "shows by which transaction. Look for it in the account's history or on a "
                        "block explorer. Nothing was signed. Send Anyway signs this one as a new "
                        "transaction, which pays again if the earlier one went through.");
    EXPECT_TRUE(w.flow()->offersSendAnyway());
    EXPECT_TRUE(w.model.replacementNote().isEmpty()); // Send Anyway would replace nothing
    EXPECT_EQ(backend.kept().size(), 1u);

    backend.catchUp();
    EXPECT_EQ(w.swap(), Step::Failed);
    EXPECT_EQ(w.flow()->errorMessage().toStdString(),
              earlier + " went through; nothing new was signed.");
    EXPECT_EQ(backend.kept().size(), 1u);
    EXPECT_TRUE(w.model.replacementNote().isEmpty());
    EXPECT_EQ(w.swap(), Step::Confirmed) << w.flow()->errorMessage().toStdString();
    swapped = w.transaction(w.flow()->txHash());
    EXPECT_EQ(swapped.at("nonce"), "0x3");
    EXPECT_EQ(hexToBytes(swapped.at("to").get<std::string>()), hexToBytes(uniswapRouterAddress));
    EXPECT_EQ(w.nonce(), 4u);
    EXPECT_EQ(w.payeeBalance(), whole(1, 18));
}

} // namespace
} // namespace qm
