// Buying and selling NOVR against the Solidity stand-in of the sale on anvil (chain id 42161):
// balances after, the allowance paths, the slippage bound enforced on chain, the approval in a
// block before the buy (also with 12-second blocks), the ways a run ends, the max network fee
// prepared for the review against what was signed, a gas price risen since the review, and a
// wrong password that shows no step it did not take.

#include "NOVRSaleWallet.h"
#include "RunTask.h"
#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "services/evm/ERC20.h"
#include "services/sale/NOVRSaleContract.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"
#include "state/sale/NOVRSaleFlow.h"

#include <QTest>
#include <cstdio>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using test::NOVRSaleChain;
using test::RefreshFixture;
using Step = TransactionFlow::Step;

UInt256 units(std::uint64_t value) {
    return UInt256(0, 0, 0, value);
}

UInt256 novr(std::uint64_t wholeTokens) {
    return *units(wholeTokens).checkedMultiply(*UInt256::powerOfTen(18));
}

const UInt256 unlimited(~0ULL, ~0ULL, ~0ULL, ~0ULL);

UInt256 quantity(const json& value) {
    return *UInt256::fromHex(value.get<std::string>());
}

// The most a mined transaction could have paid the network: its gas limit times its fee cap.
UInt256 allowedFee(const json& transaction) {
    return *quantity(transaction.at("gas"))
                .checkedMultiply(quantity(transaction.at("maxFeePerGas")));
}

class SaleFlow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::AnvilNode::isAvailable()) {
            GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
        }
        sale = std::make_unique<test::NOVRSaleWallet>();
        chain = &sale->chain();
        env = &sale->env();
        wallet = sale->address();
    }

    void useLimits(FlowLimits limits) {
        flows = std::make_unique<FlowService>(limits);
        flow = flows->flow("sale:arbitrum");
        QObject::connect(flow, &TransactionFlow::stepChanged,
                         [this] { steps.push_back(flow->step()); });
    }

    // The order prepared as the review prepares it.
    NOVRPreparedSale prepare(NOVRSaleOrder order) {
        return test::runTask(prepareNOVRSale(&env->state(), order, {}));
    }
    // Why the order cannot be prepared.
    std::string refusal(NOVRSaleOrder order) {
        return test::failureOf(prepareNOVRSale(&env->state(), order, {}));
    }

    // Runs the prepared order to its end; the step it ended at.
    Step runPrepared(NOVRPreparedSale prepared, const char* password = "correct horse",
                     std::function<void(const NOVRPreparedSale&)> revised = {}) {
        steps.clear();
        EXPECT_TRUE(
            startNOVRSale(*flow, NOVRSaleRequest{&env->state(), SecureBytes::fromText(password),
                                                 std::move(prepared), revised}));
        // Long enough for two 12-second blocks.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !flow->isRunning(); }, 60'000));
        return flow->step();
    }
    // Prepares and runs the order.
    Step run(NOVRSaleOrder order, const char* password = "correct horse") {
        return runPrepared(prepare(order), password);
    }
    bool start(NOVRSaleOrder order) {
        return startNOVRSale(
            *flow, NOVRSaleRequest{
                       &env->state(), SecureBytes::fromText("correct horse"), prepare(order), {}});
    }

    static NOVRSaleOrder buy(const UInt256& amount, std::optional<UInt256> maxCost) {
        return {NOVRSaleOrder::Direction::buy, amount, maxCost};
    }
    static NOVRSaleOrder sell(const UInt256& amount) {
        return {NOVRSaleOrder::Direction::sell, amount, std::nullopt};
    }

    // Raises the node's gas price past `factor` times what it is.
    void raiseGasPrice(std::uint64_t factor) {
        const UInt256 now = quantity(chain->node().rpc("eth_gasPrice", json::array()));
        // The next block's base fee is 7/8 of an empty block's: 8/7 more makes up for it.
        chain->node().mineWithBaseFee(
            now.checkedMultiply(units(factor * 8 / 7 + factor / 50)).value().description());
        ASSERT_GT(quantity(chain->node().rpc("eth_gasPrice", json::array())),
                  *now.checkedMultiply(units(factor)));
    }

    // The call data of the transaction the flow sent last.
    std::string sentInput() {
        return chain->transaction(flow->txHash().toStdString()).at("input").get<std::string>();
    }

    std::unique_ptr<test::NOVRSaleWallet> sale;
    NOVRSaleChain* chain = nullptr;
    RefreshFixture* env = nullptr;
    std::unique_ptr<FlowService> flows;
    TransactionFlow* flow = nullptr;
    std::vector<Step> steps;
    std::string wallet;

    static FlowLimits quickLimits() {
        FlowLimits limits;
        limits.pace = 0;
        limits.pollInterval = std::chrono::milliseconds(50);
        limits.confirmationTimeout = std::chrono::seconds(20);
        return limits;
    }
};

TEST_F(SaleFlow, BuyThenSellWithBalancesAfterAndOneUnlimitedApprovalEach) {
    useLimits(quickLimits());
    AppState& state = env->state();
    state.refreshOrchestrator().setSuspendedForTesting(false);
    state.setLastRefresh(std::nullopt);
    const UInt256 cost = NOVRSaleChain::curveCost(novr(1));
    ASSERT_EQ(cost, units(1'005'000));
    const UInt256 maxCost = *novrMaxCost(cost, 100);

    ASSERT_EQ(run(buy(novr(1), maxCost)), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_DOUBLE_EQ(flow->progress(), 1.0);
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet), novr(1));
    EXPECT_EQ(chain->balanceOf(usdcArbitrumAddress, wallet), units(100'000'000 - 1'005'000));
    // An approval of 2^256 - 1, then the buy: two transactions, the buy a type-2 one carrying
    // the amount and the maximum cost.
    EXPECT_EQ(chain->allowance(usdcArbitrumAddress, wallet), unlimited);
    EXPECT_EQ(chain->minedNonce(wallet), 2u);
    const json mined = chain->transaction(flow->txHash().toStdString());
    EXPECT_EQ(mined.at("type"), "0x2");
    EXPECT_EQ(mined.at("chainId"), "0xa4b1");
    EXPECT_EQ(hexToBytes(mined.at("input").get<std::string>()), buyCalldata(novr(1), maxCost));
    EXPECT_EQ(chain->receipt(flow->txHash().toStdString()).at("status"), "0x1");
    // The balances are read again once the buy is in a block.
    EXPECT_TRUE(RefreshFixture::waitUntil([&] { return state.lastRefresh().has_value(); }));
    state.refreshOrchestrator().setSuspendedForTesting(true);

    // A second buy finds the unlimited allowance: no approval.
    ASSERT_EQ(run(buy(novr(1), *novrMaxCost(units(1'015'000), 100))), Step::Confirmed);
    EXPECT_EQ(chain->minedNonce(wallet), 3u);

    // Selling 0.5 NOVR at the floor price: an approval on the NOVR token, then the sale.
    const UInt256 half = *novr(1).checkedMultiplyDivide(units(1), units(2));
    const UInt256 usdcBefore = chain->balanceOf(usdcArbitrumAddress, wallet);
    ASSERT_EQ(run(sell(half)), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet), *novr(2).checkedSubtract(half));
    EXPECT_EQ(chain->balanceOf(usdcArbitrumAddress, wallet),
              *usdcBefore.checkedAdd(*novrFloorProceeds(half, units(NOVRSaleChain::floorPrice))));
    EXPECT_EQ(chain->allowance(novrTokenAddress, wallet), unlimited);
    EXPECT_EQ(hexToBytes(sentInput()), sellCalldata(half));
    EXPECT_EQ(chain->minedNonce(wallet), 5u);
}

TEST_F(SaleFlow, AnAllowanceOfExactlyTheMaximumSkipsTheApprovalOneUnitLessDoesNot) {
    useLimits(quickLimits());
    const UInt256 maxCost = *novrMaxCost(units(1'005'000), 100);
    chain->approve(usdcArbitrumAddress, wallet, maxCost); // the wallet's first transaction
    ASSERT_EQ(run(buy(novr(1), maxCost)), Step::Confirmed);
    EXPECT_EQ(chain->minedNonce(wallet), 2u);
    // The buy spent the allowance down to what the maximum left over.
    EXPECT_EQ(chain->allowance(usdcArbitrumAddress, wallet),
              *maxCost.checkedSubtract(units(1'005'000)));

    chain->approve(usdcArbitrumAddress, wallet, *maxCost.checkedSubtract(units(1)));
    const UInt256 secondCost = NOVRSaleChain::curveCost(novr(2));
    ASSERT_EQ(run(buy(novr(1), maxCost)), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(chain->minedNonce(wallet), 5u); // its approval, the flow's approval, the buy
    EXPECT_EQ(chain->allowance(usdcArbitrumAddress, wallet), unlimited);
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet), novr(2));
    EXPECT_EQ(chain->balanceOf(usdcArbitrumAddress, wallet),
              *units(100'000'000).checkedSubtract(secondCost));
}

// The double's price rises between the quote and the buy. Known before sending, the node's
// estimate refuses the buy; risen in the block that takes the buy, the buy reverts there. Both
// are failures, and neither moves a token.
TEST_F(SaleFlow, APriceAboveTheMaximumFailsBeforeSendingOrRevertsOnChain) {
    useLimits(quickLimits());
    chain->approve(usdcArbitrumAddress, wallet, unlimited);
    const UInt256 maxCost = *novrMaxCost(units(1'005'000), 100);
    // Risen before the review: the node refuses the estimate, nothing can be reviewed.
    chain->setMarkup(200);
    EXPECT_THAT(refusal(buy(novr(1), maxCost)), ::testing::HasSubstr("cost above maximum"));
    // Risen between the review and the press: the node refuses the estimate then.
    chain->setMarkup(0);
    const NOVRPreparedSale reviewed = prepare(buy(novr(1), maxCost));
    chain->setMarkup(200);
    EXPECT_EQ(runPrepared(reviewed), Step::Failed);
    EXPECT_THAT(flow->errorMessage().toStdString(), ::testing::HasSubstr("cost above maximum"));
    EXPECT_TRUE(flow->txHash().isEmpty());
    EXPECT_EQ(chain->minedNonce(wallet), 1u);

    chain->setMarkup(0);
    chain->node().setAutomine(false);
    EXPECT_TRUE(start(buy(novr(1), maxCost)));
    ASSERT_TRUE(RefreshFixture::waitUntil(
        [&] { return flow->step() == Step::WaitingConfirmation || !flow->isRunning(); }));
    ASSERT_EQ(flow->step(), Step::WaitingConfirmation) << flow->errorMessage().toStdString();
    // Another account raises the price with a higher tip: mined first, in the same block.
    chain->raiseMarkupAhead(200);
    chain->node().mine();
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return !flow->isRunning(); }));
    EXPECT_EQ(flow->step(), Step::Reverted);
    EXPECT_EQ(flow->errorMessage(), "The transaction was reverted on chain.");
    EXPECT_EQ(chain->receipt(flow->txHash().toStdString()).at("status"), "0x0");
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet), UInt256());
    EXPECT_EQ(chain->balanceOf(usdcArbitrumAddress, wallet), units(100'000'000));
}

// The node takes the buy and answers another transaction's hash, one mined with status 1: the
// run follows its own buy's hash, which reverts, never the node's word. An answer naming
// another transaction while the node does not have ours is a refusal.
TEST_F(SaleFlow, TheRunFollowsItsOwnHashWhateverTheNodeAnswers) {
    useLimits(quickLimits());
    chain->approve(usdcArbitrumAddress, wallet, unlimited);
    const UInt256 maxCost = *novrMaxCost(units(1'005'000), 100);
    const std::string other = chain->node().send(test::AnvilNode::devAccount(0),
                                                 test::AnvilNode::devAccount(1), "0x", "0x1");
    ASSERT_EQ(chain->receipt(other).at("status"), "0x1");
    sale->proxy().setOverride("eth_sendRawTransaction", [&](const json& params) {
        chain->node().rpc("eth_sendRawTransaction", params);
        return std::optional(test::HttpFixtureResponse::jsonRPCResult(other));
    });
    chain->node().setAutomine(false);
    EXPECT_TRUE(start(buy(novr(1), maxCost)));
    ASSERT_TRUE(RefreshFixture::waitUntil(
        [&] { return flow->step() == Step::WaitingConfirmation || !flow->isRunning(); }));
    ASSERT_EQ(flow->step(), Step::WaitingConfirmation) << flow->errorMessage().toStdString();
    EXPECT_NE(flow->txHash().toStdString(), other);
    chain->raiseMarkupAhead(200);
    chain->node().mine();
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return !flow->isRunning(); }));
    EXPECT_EQ(flow->step(), Step::Reverted);
    EXPECT_EQ(chain->receipt(flow->txHash().toStdString()).at("status"), "0x0");
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet), UInt256());

    // Not forwarded: refused with the node's answer, back to the review.
    chain->node().setAutomine(true);
    chain->setMarkup(0);
    sale->proxy().setOverride("eth_sendRawTransaction", [&](const json&) {
        return std::optional(test::HttpFixtureResponse::jsonRPCResult(other));
    });
    flow->reset();
    EXPECT_EQ(run(buy(novr(1), maxCost)), Step::Failed);
    EXPECT_EQ(flow->errorMessage().toStdString(), "The server refused the transaction: " + other);
    EXPECT_TRUE(flow->txHash().isEmpty());
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet), UInt256());
}

TEST_F(SaleFlow, AMaximumCostPast64BitsIsSignedWhole) {
    useLimits(quickLimits());
    const UInt256 amount = novr(1'000'000'000'000);
    const UInt256 cost = NOVRSaleChain::curveCost(amount);
    ASSERT_GT(cost, UInt256(0, 0, 1, 0));
    chain->mint(usdcArbitrumAddress, wallet, *cost.checkedMultiply(units(2)));
    const UInt256 maxCost = *novrMaxCost(cost, 100);
    ASSERT_EQ(run(buy(amount, maxCost)), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(hexToBytes(sentInput()), buyCalldata(amount, maxCost));
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet), amount);
}

TEST_F(SaleFlow, WrongPasswordNoQuoteNoGasNoContractOrNoAccountFailBeforeSending) {
    useLimits(quickLimits());
    const UInt256 maxCost = *novrMaxCost(units(1'005'000), 100);
    EXPECT_EQ(run(buy(novr(1), maxCost), "not the password"), Step::Failed);
    EXPECT_EQ(flow->errorMessage(), "Incorrect password");
    EXPECT_TRUE(flow->txHash().isEmpty());
    EXPECT_EQ(chain->minedNonce(wallet), 0u);

    EXPECT_EQ(refusal(buy(novr(1), std::nullopt)), "Invalid amount");
    EXPECT_EQ(refusal(sell(UInt256())), "Invalid amount");

    // No gas money: the node refuses the approval; nothing went out.
    const NOVRPreparedSale reviewed = prepare(sell(novr(1)));
    chain->node().setBalance(wallet, "0x0");
    EXPECT_EQ(runPrepared(reviewed), Step::Failed);
    EXPECT_THAT(flow->errorMessage().toStdString(), ::testing::HasSubstr("funds"));
    EXPECT_TRUE(flow->txHash().isEmpty());

    // No sale contract at its address: nothing is prepared, approved or sent, also when it
    // went after the review.
    chain->node().setBalance(wallet, "0x8ac7230489e80000");
    const NOVRPreparedSale buying = prepare(buy(novr(1), maxCost));
    chain->node().setCode(std::string(novrSaleContractAddress), "0x");
    EXPECT_EQ(refusal(buy(novr(1), maxCost)), "Pool error: floorPrice returned invalid data");
    EXPECT_EQ(runPrepared(buying), Step::Failed);
    EXPECT_EQ(flow->errorMessage(), "Pool error: floorPrice returned invalid data");
    EXPECT_EQ(chain->minedNonce(wallet), 0u);

    env->state().setEVMAccounts(Chain::arbitrum, {});
    EXPECT_EQ(refusal(sell(novr(1))), "No Arbitrum account found");
    EXPECT_EQ(runPrepared(reviewed), Step::Failed);
    EXPECT_EQ(flow->errorMessage(), "No Arbitrum account found");
    EXPECT_DOUBLE_EQ(flow->progress(), 0.0);
}

TEST_F(SaleFlow, ASecondStartWhileOneRunsDoesNothing) {
    useLimits(quickLimits());
    const UInt256 maxCost = *novrMaxCost(units(1'005'000), 100);
    const NOVRPreparedSale reviewed = prepare(buy(novr(1), maxCost));
    EXPECT_TRUE(startNOVRSale(
        *flow, {&env->state(), SecureBytes::fromText("correct horse"), reviewed, {}}));
    EXPECT_FALSE(startNOVRSale(
        *flow, {&env->state(), SecureBytes::fromText("correct horse"), reviewed, {}}));
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return !flow->isRunning(); }));
    EXPECT_EQ(flow->step(), Step::Confirmed);
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet), novr(1));
    EXPECT_EQ(chain->minedNonce(wallet), 2u);
}

TEST_F(SaleFlow, NoReceiptInTimeEndsSubmittedWithTheHash) {
    FlowLimits limits = quickLimits();
    limits.confirmationTimeout = std::chrono::milliseconds(600);
    useLimits(limits);
    chain->approve(usdcArbitrumAddress, wallet, unlimited);
    chain->node().setAutomine(false);
    EXPECT_EQ(run(buy(novr(1), *novrMaxCost(units(1'005'000), 100))), Step::Submitted);
    EXPECT_THAT(flow->txHash().toStdString(), ::testing::StartsWith("0x"));
    EXPECT_TRUE(chain->receipt(flow->txHash().toStdString()).is_null());
    chain->node().mine();
    EXPECT_EQ(chain->receipt(flow->txHash().toStdString()).at("status"), "0x1");
}

// Blocks every 12 seconds: an approval still waiting for its block when the time is up stops
// the run with a clear error and nothing else goes out; given the time, the buy goes out only
// once an approval is in a block.
TEST_F(SaleFlow, TheApprovalIsInABlockBeforeTheBuyWithTwelveSecondBlocks) {
    FlowLimits limits = quickLimits();
    limits.pollInterval = std::chrono::milliseconds(250);
    limits.confirmationTimeout = std::chrono::milliseconds(300);
    useLimits(limits);
    chain->node().setIntervalMining(12);
    const UInt256 maxCost = *novrMaxCost(units(1'005'000), 100);
    EXPECT_EQ(run(buy(novr(1), maxCost)), Step::Failed);
    EXPECT_EQ(flow->errorMessage(),
              "The approval was not confirmed in time. Try again in a moment.");
    EXPECT_TRUE(flow->txHash().isEmpty());

    limits.confirmationTimeout = std::chrono::seconds(60);
    useLimits(limits);
    ASSERT_EQ(run(buy(novr(1), maxCost)), Step::Confirmed) << flow->errorMessage().toStdString();
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet), novr(1));
    // In the block before the buy's, the sale could already take the wallet's USDC.
    const json receipt = chain->receipt(flow->txHash().toStdString());
    const std::uint64_t block = *hexToUInt64(receipt.at("blockNumber").get<std::string>());
    char before[24];
    std::snprintf(before, sizeof before, "0x%llx", static_cast<unsigned long long>(block - 1));
    EXPECT_EQ(chain->allowance(usdcArbitrumAddress, wallet, before), unlimited);
}

// The max network fee prepared for the review is the most the signed transactions allow:
// their gas limits times their fee caps, read back from the mined ones; the buy's own limit is
// a bound while its approval comes first, and its estimate once it does not.
TEST_F(SaleFlow, TheReviewedMaxFeeIsWhatTheSignedTransactionsAllow) {
    useLimits(quickLimits());
    const UInt256 maxCost = *novrMaxCost(units(1'005'000), 100);
    const NOVRPreparedSale first = prepare(buy(novr(1), maxCost));
    ASSERT_TRUE(first.call.approval.has_value());
    EXPECT_TRUE(first.call.callLimitIsBound);
    EXPECT_EQ(first.call.call.gasLimit, 240'000u);
    EXPECT_EQ(first.call.maxFee, *first.call.approval->maxFee.checkedAdd(first.call.call.maxFee));
    ASSERT_EQ(runPrepared(first), Step::Confirmed) << flow->errorMessage().toStdString();
    std::vector<json> sent = chain->node().minedTransactionsFrom(wallet);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(hexToBytes(sent[0].at("input").get<std::string>()),
              erc20ApproveCalldata(saleAddressBytes(novrSaleContractAddress), unlimited));
    EXPECT_EQ(quantity(sent[0].at("maxFeePerGas")), first.call.approval->maxFeePerGas);
    EXPECT_EQ(quantity(sent[1].at("maxFeePerGas")), first.call.call.maxFeePerGas);
    EXPECT_EQ(*allowedFee(sent[0]).checkedAdd(allowedFee(sent[1])), first.call.maxFee);

    const NOVRPreparedSale second = prepare(buy(novr(1), *novrMaxCost(units(1'015'000), 100)));
    EXPECT_FALSE(second.call.approval.has_value());
    EXPECT_FALSE(second.call.callLimitIsBound);
    ASSERT_EQ(runPrepared(second), Step::Confirmed) << flow->errorMessage().toStdString();
    sent = chain->node().minedTransactionsFrom(wallet);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(allowedFee(sent[2]), second.call.maxFee);
    EXPECT_EQ(quantity(sent[2].at("gas")), units(second.call.call.gasLimit));
    EXPECT_EQ(maxNetworkFeeText(second.call),
              (Amount{second.call.maxFee, 18}.exactText() + " ETH"));
}

// The node's gas price a thousandfold between the review and the press: nothing is signed,
// the buy is prepared again with its new max network fee named; the next press pays that.
TEST_F(SaleFlow, AGasPriceRisenSinceTheReviewStopsBeforeSigningAndTheNextPressPaysTheNewFee) {
    useLimits(quickLimits());
    chain->approve(usdcArbitrumAddress, wallet, unlimited);
    const NOVRPreparedSale reviewed = prepare(buy(novr(1), *novrMaxCost(units(1'005'000), 100)));
    raiseGasPrice(1000);
    std::optional<NOVRPreparedSale> revised;
    EXPECT_EQ(runPrepared(reviewed, "correct horse",
                          [&](const NOVRPreparedSale& again) { revised = again; }),
              Step::Failed);
    EXPECT_EQ(steps, (std::vector<Step>{Step::CheckingAllowance, Step::Failed}));
    ASSERT_TRUE(revised.has_value());
    EXPECT_EQ(revised->order, reviewed.order);
    EXPECT_GT(revised->call.maxFee, *reviewed.call.maxFee.checkedMultiply(units(300)));
    EXPECT_EQ(flow->errorMessage().toStdString(),
              "This transaction now needs a max network fee of " +
                  maxNetworkFeeText(revised->call) +
                  ", more than the one shown. Review it and confirm again.");
    EXPECT_EQ(chain->minedNonce(wallet), 1u); // the test's approval only

    ASSERT_EQ(runPrepared(*revised), Step::Confirmed) << flow->errorMessage().toStdString();
    const json mined = chain->transaction(flow->txHash().toStdString());
    EXPECT_EQ(quantity(mined.at("maxFeePerGas")), revised->call.call.maxFeePerGas);
    EXPECT_EQ(allowedFee(mined), revised->call.maxFee);
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet), novr(1));
}

// A wrong password is reported from the step that checks the allowance: no approval or
// signing step shows, with an approval to come first or without one, and nothing leaves.
TEST_F(SaleFlow, AWrongPasswordShowsNoStepItDidNotTake) {
    useLimits(quickLimits());
    const UInt256 maxCost = *novrMaxCost(units(1'005'000), 100);
    const std::vector<Step> failedAtOnce = {Step::CheckingAllowance, Step::Failed};
    EXPECT_EQ(run(buy(novr(1), maxCost), "wrong horse"), Step::Failed);
    EXPECT_EQ(steps, failedAtOnce);
    EXPECT_EQ(flow->errorMessage(), "Incorrect password");
    EXPECT_DOUBLE_EQ(flow->progress(), 0.0);

    chain->approve(usdcArbitrumAddress, wallet, unlimited);
    EXPECT_EQ(run(buy(novr(1), maxCost), "wrong horse"), Step::Failed);
    EXPECT_EQ(steps, failedAtOnce);
    EXPECT_EQ(flow->errorMessage(), "Incorrect password");
    EXPECT_EQ(chain->minedNonce(wallet), 1u); // the test's approval only
}

// A node answering figures no honest chain gives (an estimate of 2^63 or 2^64 - 1, a gas price
// of 2^200) is refused before the review, for the approval that comes first and for the buy
// alone; turned so between the review and the press, nothing is signed or sent.
TEST_F(SaleFlow, FeeFiguresNoHonestChainGivesAreRefusedBeforeTheReview) {
    useLimits(quickLimits());
    const NOVRSaleOrder order = buy(novr(1), *novrMaxCost(units(1'005'000), 100));
    const auto answering = [&](const char* method, UInt256 value) {
        sale->proxy().setOverride(method, [value](const json&) {
            return std::optional(test::HttpFixtureResponse::jsonRPCResult(value.description()));
        });
    };
    const std::string prefix = "The node's fee figures are not believable: ";
    const UInt256 absurdPrice = *UInt256::fromHex("0x1" + std::string(50, '0')); // 2^200
    for (const bool approved : {false, true}) {
        if (approved) {
            chain->approve(usdcArbitrumAddress, wallet, unlimited);
        }
        for (const UInt256& estimate : {units(1ULL << 63), units(~0ULL)}) {
            answering("eth_estimateGas", estimate);
            EXPECT_EQ(refusal(order), prefix + "the gas estimate is above 30,000,000 gas.");
        }
        sale->proxy().clearOverrides();
        answering("eth_gasPrice", absurdPrice);
        EXPECT_EQ(refusal(order), prefix + "the gas price is above 10,000 gwei per gas.");
        sale->proxy().clearOverrides();
    }

    const NOVRPreparedSale reviewed = prepare(order);
    answering("eth_gasPrice", absurdPrice);
    EXPECT_EQ(runPrepared(reviewed), Step::Failed);
    EXPECT_EQ(flow->errorMessage().toStdString(),
              prefix + "the gas price is above 10,000 gwei per gas.");
    EXPECT_EQ(sale->proxy().requestCount("eth_sendRawTransaction"), 0);
    EXPECT_EQ(chain->minedNonce(wallet), 1u); // the test's approval only
}

} // namespace
} // namespace qm
