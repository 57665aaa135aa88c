// The sale sheet's quote: amounts read exactly, the texts of the figures, an estimate used only
// for the amount it was quoted for, superseded quotes dropped, maximum costs past 2^64, the
// pause before quoting; over a scripted node and over the Solidity stand-in on anvil, where the
// confirmation sheet follows each step, lost answers and a kept refusal buy once.

#include "LaggingBackend.h"
#include "LocaleScope.h"
#include "NOVRSaleChain.h"
#include "NOVRSaleWallet.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "services/sale/NOVRSaleContract.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"
#include "ui/sale/NOVRSwapViewModel.h"

#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <tuple>

namespace qm {
namespace {

using nlohmann::json;
using test::HttpFixtureRequest;
using test::HttpFixtureResponse;
using test::RefreshFixture;
using test::runTask;
using Direction = NOVRSwapViewModel::Direction;

const QString dash = QStringLiteral("\u2014");

UInt256 units(std::uint64_t value) {
    return UInt256(0, 0, 0, value);
}

const UInt256 allOnes(~0ULL, ~0ULL, ~0ULL, ~0ULL); // 2^256 - 1

std::string wordHex(const UInt256& value) {
    return "0x" + bytesToPlainHex(value.bigEndianWord());
}

// A sale contract scripted on the fixture's JSON-RPC server: floorPrice() and
// estimateBuyCost() answer from the fields below, and every call is counted by function.
class ScriptedSale : public ::testing::Test {
protected:
    void SetUp() override {
        env.rpc().setHandler([this](const HttpFixtureRequest& request) {
            const json body = json::parse(request.body.toStdString());
            const std::string data = body.at("params")[0].at("data");
            const std::string selector = data.substr(0, 10);
            ++calls[selector];
            if (selector == "0x9363c812") {
                return floorAnswer ? *floorAnswer
                                   : HttpFixtureResponse::jsonRPCResult(wordHex(floor));
            }
            if (!costAnswers.empty()) {
                HttpFixtureResponse answer = costAnswers.front();
                costAnswers.erase(costAnswers.begin());
                return answer;
            }
            return HttpFixtureResponse::jsonRPCResult(wordHex(cost));
        });
        vm.setAppState(&env.state());
    }

    int floorCalls() { return calls["0x9363c812"]; }
    int costCalls() { return calls["0xee23af07"]; }
    void quote() { runTask(vm.fetchQuote()); }

    RefreshFixture env;
    NOVRSwapViewModel vm;
    UInt256 floor = units(1'234'567);
    UInt256 cost = units(2'500'000);
    std::optional<HttpFixtureResponse> floorAnswer;
    std::vector<HttpFixtureResponse> costAnswers; // used first, in order
    std::map<std::string, int> calls;
};

TEST_F(ScriptedSale, ANewModelAndAmountsThatAreNoUsableNumber) {
    EXPECT_EQ(vm.direction(), Direction::Buy);
    EXPECT_EQ(vm.slippageBps(), 100);
    EXPECT_EQ(vm.amountString(), "");
    EXPECT_FALSE(vm.canReview());
    EXPECT_EQ(vm.estimatedUSDCText(), dash);
    EXPECT_EQ(vm.maxCostText(), dash);
    EXPECT_EQ(vm.floorPriceText(), dash);

    vm.setAmountString("1");
    quote();
    ASSERT_TRUE(vm.canReview());
    test::LocaleScope english("en_US");
    // Text that is no number needs no words; text whose own fault has a name says it.
    const std::map<std::string, QString> texts = {
        {"", {}},
        {" 1", {}},
        {"1 ", {}},
        {"abc", {}},
        {"0", {}},
        {"0.000", {}},
        {"-1", "The amount cannot be negative"},
        {"inf", {}},
        {"0x10", {}},
        {"1,5", "Use a point as the decimal separator"},
        {"1e-19", "Too many decimal places"},
        {"0.0000000000000000001", "Too many decimal places"},
    };
    for (const auto& [text, error] : texts) {
        vm.setAmountString(QString::fromUtf8(text));
        EXPECT_FALSE(vm.usableAmount()) << text;
        EXPECT_FALSE(vm.canReview()) << text;
        quote();
        EXPECT_FALSE(vm.floorPriceRaw()) << text;
        EXPECT_FALSE(vm.hasEstimatedCost()) << text;
        EXPECT_EQ(vm.quoteErrorText(), error) << text;
        EXPECT_FALSE(vm.isQuoting()) << text;
    }
    EXPECT_EQ(floorCalls(), 1);
    // Exactly, never through a double: 0.1 NOVR is 10^17 base units.
    vm.setAmountString("0.1");
    EXPECT_EQ(vm.usableAmount(), *UInt256::powerOfTen(17));
    vm.setAmountString("1e-18");
    EXPECT_EQ(vm.usableAmount(), units(1));
}

TEST_F(ScriptedSale, BuyAndSellTexts) {
    vm.setAmountString("1.5");
    quote();
    EXPECT_EQ(vm.estimatedCostUSDC(), units(2'500'000));
    EXPECT_EQ(vm.estimatedUSDCText(), "2.5000");
    EXPECT_EQ(vm.maxCostText(), "2.5250");
    EXPECT_EQ(vm.maxCostUSDC(), units(2'525'000));
    EXPECT_EQ(vm.floorPriceText(), "1.2346 USDC");
    EXPECT_EQ(vm.slippageText(), "1%");
    EXPECT_TRUE(vm.canReview());
    const std::map<int, std::pair<const char*, const char*>> slippages = {
        {50, {"0.5%", "2.5125"}}, {200, {"2%", "2.5500"}}, {300, {"3%", "2.5750"}}};
    for (const auto& [bps, texts] : slippages) {
        vm.setSlippageBps(bps);
        EXPECT_EQ(vm.slippageText(), texts.first);
        EXPECT_EQ(vm.maxCostText(), texts.second);
    }
    vm.setSlippageBps(-1);
    vm.setSlippageBps(10'001);
    EXPECT_EQ(vm.slippageBps(), 300);

    for (const auto& [value, text] : std::map<std::uint64_t, const char*>{
             {5'000, "0.005000"}, {1'500'000'000, "1500.00"}, {0, "0"}}) {
        cost = units(value);
        quote();
        EXPECT_EQ(vm.estimatedUSDCText(), text);
    }

    // Selling 2.5 NOVR at the floor price: 3.0864175 USDC; no cost is asked for.
    const int costsBefore = costCalls();
    vm.toggleDirection();
    vm.setAmountString("2.5");
    EXPECT_EQ(vm.estimatedUSDCText(), "3.0864");
    quote();
    EXPECT_EQ(vm.estimatedUSDCText(), "3.0864");
    EXPECT_EQ(vm.maxCostText(), dash);
    EXPECT_TRUE(vm.canReview());
    EXPECT_EQ(costCalls(), costsBefore);
}

// The confirmation reads every figure exactly, as it will be sent and paid; the form keeps the
// lists' rounding. Under de_DE the comma is the amount's decimal point.
TEST_F(ScriptedSale, TheReviewShowsExactFigures) {
    const auto rows = [&] {
        std::vector<std::pair<QString, QString>> out;
        for (const QVariant& row : vm.reviewRows()) {
            const QVariantList pair = row.toList();
            out.emplace_back(pair.at(0).toString(), pair.at(1).toString());
        }
        return out;
    };
    using Rows = std::vector<std::pair<QString, QString>>;
    test::LocaleScope german("de_DE");
    vm.setAmountString("01,50");
    quote();
    EXPECT_EQ(vm.usableAmount(), units(1'500'000'000'000'000'000));
    EXPECT_EQ(vm.estimatedUSDCText(), "2.5000");
    EXPECT_EQ(rows(), (Rows{{"Amount", "1.5 NOVR"},
                            {"Estimated cost", "2.5 USDC"},
                            {"Max cost", "2.525 USDC"},
                            {"Slippage", "1%"},
                            {"Floor price", "1.234567 USDC"}}));
    EXPECT_EQ(vm.orderLine(), "2.5 USDC \u2192 1.5 NOVR");
    EXPECT_EQ(vm.contractAddress(), "0x5ed14b12336d678d17aB2e4F1A799E74225d6740");

    // Selling 2.5 NOVR at 1.234567 USDC: 3.0864175, of which the sale pays whole base units.
    vm.toggleDirection();
    vm.setAmountString("2.5");
    quote();
    EXPECT_EQ(vm.estimatedUSDCText(), "3.0864");
    EXPECT_EQ(rows(), (Rows{{"Amount", "2.5 NOVR"},
                            {"You receive", "3.086417 USDC"},
                            {"Price", "Floor (guaranteed)"},
                            {"Floor price", "1.234567 USDC"}}));
    EXPECT_EQ(vm.orderLine(), "2.5 NOVR \u2192 3.086417 USDC");
}

// A node that cannot be reached is named as the user knows it, not in the network library's
// words ("Connection closed", "Host ... not found").
TEST_F(ScriptedSale, AnUnreachableNodeIsNamed) {
    HttpFixtureResponse closed;
    closed.behaviour = HttpFixtureResponse::Behaviour::close;
    floorAnswer = closed;
    vm.setAmountString("1");
    quote();
    EXPECT_EQ(vm.quoteErrorText(), "Cannot connect to Arbitrum RPC");
    EXPECT_FALSE(vm.canReview());
}

TEST_F(ScriptedSale, AnEstimateServesOnlyTheAmountItWasQuotedFor) {
    vm.setAmountString("1");
    quote();
    ASSERT_EQ(vm.estimatedCostUSDC(), units(2'500'000));
    // Another amount: no figure, no review, until it is quoted.
    vm.setAmountString("2");
    EXPECT_FALSE(vm.estimatedCostUSDC());
    EXPECT_FALSE(vm.maxCostUSDC());
    EXPECT_EQ(vm.estimatedUSDCText(), dash);
    EXPECT_EQ(vm.maxCostText(), dash);
    EXPECT_FALSE(vm.canReview());
    // The same amount written otherwise is the same amount.
    vm.setAmountString("1.000");
    EXPECT_EQ(vm.estimatedCostUSDC(), units(2'500'000));
    EXPECT_TRUE(vm.canReview());

    // A failed estimate for the amount: its error shows and nothing can be reviewed.
    costAnswers.push_back(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"error":{"code":3,"message":"execution reverted"}})"));
    quote();
    EXPECT_THAT(vm.quoteErrorText().toStdString(), ::testing::HasSubstr("execution reverted"));
    EXPECT_FALSE(vm.canReview());
    // Turning round clears the estimate and the error; selling needs the floor price only.
    vm.toggleDirection();
    EXPECT_EQ(vm.direction(), Direction::Sell);
    EXPECT_FALSE(vm.hasQuoteError());
    EXPECT_FALSE(vm.hasEstimatedCost());
    EXPECT_TRUE(vm.canReview());
    vm.toggleDirection();
    EXPECT_FALSE(vm.canReview());
}

TEST_F(ScriptedSale, ASupersededQuoteIsDroppedAndItsRequestAborted) {
    vm.setAmountString("1");
    costAnswers.push_back(HttpFixtureResponse::stalling());
    vm.fetchQuote();
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return costCalls() == 1; }));
    EXPECT_TRUE(vm.isQuoting());
    EXPECT_FALSE(vm.canReview());

    cost = units(5'000'000);
    vm.setAmountString("2");
    EXPECT_FALSE(vm.isQuoting());
    quote();
    RefreshFixture::spin(50);
    EXPECT_EQ(env.rpc().openStalls(), 0);
    EXPECT_FALSE(vm.hasQuoteError());
    EXPECT_FALSE(vm.isQuoting());
    EXPECT_EQ(vm.estimatedCostUSDC(), units(5'000'000));
    vm.setAmountString("1");
    EXPECT_FALSE(vm.estimatedCostUSDC());

    // A failing floor price of a superseded quote leaves no error behind either.
    floorAnswer = HttpFixtureResponse::stalling();
    vm.fetchQuote();
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return env.rpc().openStalls() == 1; }));
    vm.reset();
    RefreshFixture::spin(50);
    EXPECT_FALSE(vm.hasQuoteError());
    EXPECT_FALSE(vm.isQuoting());
    EXPECT_EQ(vm.amountString(), "");
}

TEST_F(ScriptedSale, MaximumCostsPast64BitsAreExactOrRefused) {
    vm.setAmountString("1000000000000");
    cost = UInt256(0, 0, 3, 5); // 3 * 2^64 + 5
    quote();
    EXPECT_EQ(vm.maxCostUSDC(), UInt256::fromHex("0x307ae147ae147ae19"));
    EXPECT_TRUE(vm.canReview());
    cost = allOnes;
    quote();
    EXPECT_EQ(vm.estimatedCostUSDC(), allOnes);
    EXPECT_FALSE(vm.maxCostUSDC());
    EXPECT_EQ(vm.maxCostText(), dash);
    EXPECT_FALSE(vm.canReview());
}

TEST_F(ScriptedSale, EditsWithinThePauseGiveOneQuote) {
    vm.setQuoteDelay(std::chrono::milliseconds(150));
    vm.setAmountString("1");
    vm.setAmountString("12");
    vm.setAmountString("123");
    RefreshFixture::spin(60);
    EXPECT_EQ(floorCalls(), 0);
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return !vm.isQuoting() && costCalls() == 1; }));
    RefreshFixture::spin(300);
    EXPECT_EQ(floorCalls(), 1);
    EXPECT_EQ(costCalls(), 1);
    EXPECT_EQ(vm.usableAmount(), *units(123).checkedMultiply(*UInt256::powerOfTen(18)));
    EXPECT_TRUE(vm.hasEstimatedCost());

    // The sheet appears: one quote after the pause. Closed within it: none.
    vm.scheduleQuote();
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return floorCalls() == 2; }));
    {
        NOVRSwapViewModel closing;
        closing.setAppState(&env.state());
        closing.setAmountString("5");
    }
    RefreshFixture::spin(400);
    EXPECT_EQ(floorCalls(), 2);
}

TEST(SaleQuoteOnAnvil, TheStandInQuotesBuysSalesAndItsFaults) {
    if (!test::AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    test::NOVRSaleChain chain;
    RefreshFixture::Setup setup;
    setup.arbitrum = chain.url();
    RefreshFixture env(setup);
    NOVRSwapViewModel vm;
    vm.setAppState(&env.state());

    vm.setAmountString("1");
    runTask(vm.fetchQuote());
    EXPECT_EQ(vm.estimatedCostUSDC(), units(1'005'000));
    EXPECT_EQ(vm.estimatedUSDCText(), "1.0050");
    EXPECT_EQ(vm.floorPriceText(), "1.2346 USDC");
    vm.setAmountString("1000000000000");
    runTask(vm.fetchQuote());
    EXPECT_EQ(vm.estimatedCostUSDC(), test::NOVRSaleChain::curveCost(*UInt256::powerOfTen(30)));
    vm.toggleDirection();
    runTask(vm.fetchQuote());
    EXPECT_TRUE(vm.canReview());

    chain.setFloorMode(1);
    runTask(vm.fetchQuote());
    EXPECT_EQ(vm.quoteErrorText(), "Pool error: floorPrice returned invalid data");
    EXPECT_FALSE(vm.canReview());
    chain.setFloorMode(2);
    runTask(vm.fetchQuote());
    EXPECT_THAT(vm.quoteErrorText().toStdString(), ::testing::HasSubstr("floor price unavailable"));
}

// The confirmation sheet's side of the model over a created wallet and the stand-in on anvil.
class SaleSheetOnAnvil : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::AnvilNode::isAvailable()) {
            GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
        }
        sale = std::make_unique<test::NOVRSaleWallet>();
        chain = &sale->chain();
        wallet = sale->address();
        FlowLimits limits;
        limits.pace = 0;
        limits.pollInterval = std::chrono::milliseconds(50);
        flows = std::make_unique<FlowService>(limits);
        vm = std::make_unique<NOVRSwapViewModel>();
        vm->setAppState(&sale->state());
        vm->setFlow(flows->flow("sale:arbitrum"));
    }

    // Review Swap: prepares the figures shown and waits for the confirmation to open on them.
    void review() {
        vm->review();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !vm->isPreparing(); }, 20'000));
        ASSERT_TRUE(vm->hasReview()) << vm->prepareError().toStdString();
        EXPECT_TRUE(vm->showConfirmation());
    }

    void confirm(const QString& password) {
        vm->setPassword(password);
        vm->executeSwap();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !vm->isSending(); }, 20'000));
    }

    std::unique_ptr<test::NOVRSaleWallet> sale;
    test::NOVRSaleChain* chain = nullptr;
    std::unique_ptr<FlowService> flows;
    std::unique_ptr<NOVRSwapViewModel> vm;
    std::string wallet;
};

TEST_F(SaleSheetOnAnvil, TheSheetFollowsEachStepAndASecondConfirmSendsNothing) {
    vm->setAmountString("1");
    runTask(vm->fetchQuote());
    ASSERT_TRUE(vm->canReview());
    // Nothing is confirmed unreviewed.
    vm->setPassword("correct horse");
    vm->executeSwap();
    EXPECT_FALSE(vm->isSending());
    review();
    // The approval of USDC first: the max fee of both, the buy's part a bound.
    EXPECT_TRUE(vm->reviewIncludesApproval());
    const std::string feeText = Amount{vm->saleReview()->call.maxFee, 18}.exactText() + " ETH";
    EXPECT_EQ(vm->reviewMaxFee().toStdString(), feeText);

    // A wrong password shows no step that did not happen.
    std::vector<QString> titles;
    const QMetaObject::Connection watch =
        QObject::connect(vm.get(), &NOVRSwapViewModel::flowChanged, [&] {
            if (vm->showsProgress() && (titles.empty() || titles.back() != vm->stepTitle())) {
                titles.push_back(vm->stepTitle());
            }
        });
    confirm("wrong horse");
    QObject::disconnect(watch);
    EXPECT_EQ(titles, std::vector<QString>{"Checking allowance..."});
    EXPECT_EQ(vm->errorText(), "Incorrect password");
    EXPECT_TRUE(vm->hasReview()); // the same figures: the same review
    // The flow took the password: none is left with the form.
    EXPECT_FALSE(vm->hasPassword());
    EXPECT_FALSE(vm->showsProgress());
    EXPECT_EQ(chain->minedNonce(wallet), 0u);

    // What the sheet shows at each step: title, the four stages, the three connectors.
    std::vector<std::tuple<QString, QVariantList, QVariantList>> seen;
    QObject::connect(vm.get(), &NOVRSwapViewModel::flowChanged, [&] {
        auto shown = std::make_tuple(vm->stepTitle(), vm->stages(), vm->connectors());
        if (vm->showsProgress() && (seen.empty() || seen.back() != shown)) {
            seen.push_back(shown);
        }
    });
    vm->setPassword("correct horse");
    vm->executeSwap();
    EXPECT_TRUE(vm->isSending());
    EXPECT_FALSE(vm->hasError());
    EXPECT_FALSE(vm->canReview());
    vm->executeSwap(); // a double click
    ASSERT_TRUE(QTest::qWaitFor([&] { return !vm->isSending(); }, 20'000));
    EXPECT_TRUE(vm->isComplete());
    EXPECT_TRUE(vm->isFinished());
    EXPECT_TRUE(vm->showsProgress());
    EXPECT_DOUBLE_EQ(vm->broadcastProgress(), 1.0);
    EXPECT_EQ(chain->receipt(vm->txHash().toStdString()).at("status"), "0x1");
    EXPECT_EQ(chain->minedNonce(wallet), 2u); // one approval, one buy

    const auto stages = [](int a, int b, int c, int d) { return QVariantList{a, b, c, d}; };
    const auto links = [](bool a, bool b, bool c) { return QVariantList{a, b, c}; };
    const std::vector<std::tuple<QString, QVariantList, QVariantList>> expected = {
        {"Checking allowance...", stages(1, 0, 0, 0), links(false, false, false)},
        {"Approving token...", stages(1, 0, 0, 0), links(false, false, false)},
        {"Signing transaction...", stages(2, 1, 0, 0), links(true, false, false)},
        {"Broadcasting to network...", stages(2, 2, 1, 0), links(true, true, false)},
        {"Waiting for confirmation...", stages(2, 2, 2, 1), links(true, true, true)},
        {"Swap complete!", stages(2, 2, 2, 2), links(true, true, true)},
    };
    EXPECT_EQ(seen, expected);

    // A sheet opened again on the flow shows the outcome and the order as confirmed.
    EXPECT_EQ(vm->orderLine(), "1.005 USDC \u2192 1 NOVR");
    vm->setAmountString("7");
    NOVRSwapViewModel reopened;
    EXPECT_FALSE(reopened.showConfirmation());
    reopened.setFlow(vm->flow());
    EXPECT_TRUE(reopened.showConfirmation());
    EXPECT_TRUE(reopened.isComplete());
    EXPECT_EQ(reopened.txHash(), vm->txHash());
    EXPECT_EQ(reopened.orderLine(), "1.005 USDC \u2192 1 NOVR");

    // Done: an empty form without password, the flow idle, the sheet closed.
    vm->setShowConfirmation(true);
    vm->reset();
    EXPECT_EQ(vm->amountString(), "");
    EXPECT_FALSE(vm->hasPassword());
    EXPECT_FALSE(vm->showsProgress());
    EXPECT_EQ(vm->broadcastStep(), TransactionFlow::Step::Idle);
    EXPECT_EQ(vm->txHash(), "");
    EXPECT_EQ(vm->orderLine(), "\u2014 USDC \u2192  NOVR");
    EXPECT_FALSE(vm->showConfirmation());
    EXPECT_FALSE(vm->hasReview());
    EXPECT_EQ(vm->direction(), Direction::Buy);
}

TEST_F(SaleSheetOnAnvil, ARevertedBuyGoesBackToTheReviewAndQuotesAgain) {
    vm->setQuoteDelay(std::chrono::milliseconds(20));
    chain->approve(usdcArbitrumAddress, wallet, UInt256(~0ULL, ~0ULL, ~0ULL, ~0ULL));
    vm->setAmountString("1");
    runTask(vm->fetchQuote());
    ASSERT_EQ(vm->estimatedCostUSDC(), units(1'005'000));

    review();
    EXPECT_FALSE(vm->reviewIncludesApproval());
    chain->node().setAutomine(false);
    vm->setPassword("correct horse");
    vm->executeSwap();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return vm->broadcastStep() == TransactionFlow::Step::WaitingConfirmation; }, 20'000));
    chain->raiseMarkupAhead(300);
    chain->node().mine();
    chain->node().setAutomine(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !vm->isSending(); }, 20'000));
    EXPECT_FALSE(vm->showsProgress());
    EXPECT_EQ(vm->errorText(), "The transaction was reverted on chain.");
    // The price that reverted it is quoted anew: 3 % more.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return vm->estimatedCostUSDC() == units(1'035'150) && !vm->isQuoting(); }, 20'000));
    EXPECT_EQ(vm->maxCostText(), "1.0455");
    // The open confirmation is prepared again for the new figures: only they can be confirmed.
    ASSERT_TRUE(QTest::qWaitFor([&] { return vm->hasReview(); }, 20'000));
    EXPECT_EQ(vm->saleReview()->order.maxCost, units(1'045'501));
    EXPECT_TRUE(vm->showConfirmation());
    // Another try asks for the password again: the first run took it.
    EXPECT_FALSE(vm->hasPassword());
}

// The node takes the approval and the buy and every answer is lost: each is found on the chain
// by its own hash; one approval, one buy, the sheet complete on the buy's hash. Then a node that
// keeps a buy while answering an error, its lookups behind its count: another order reviewed
// after it names the buy it would replace, and its press signs nothing; once the lookups caught
// up, the press follows the earlier buy, and the sheet shows that order and its hash and says
// nothing new was signed. Each order that left is bought once.
TEST_F(SaleSheetOnAnvil, LostAnswersAndAKeptRefusalBuyOnce) {
    sale->proxy().setOverride("eth_sendRawTransaction", [&](const json& params) {
        try {
            chain->node().rpc("eth_sendRawTransaction", params);
        } catch (const std::runtime_error&) {
            // Sent again: the node has it.
        }
        return std::optional(HttpFixtureResponse::withStatus(504));
    });
    vm->setAmountString("1");
    runTask(vm->fetchQuote());
    review();
    EXPECT_TRUE(vm->reviewIncludesApproval());
    confirm("correct horse");
    ASSERT_TRUE(vm->isComplete()) << vm->errorText().toStdString();
    EXPECT_EQ(chain->minedNonce(wallet), 2u); // one approval, one buy
    EXPECT_EQ(chain->receipt(vm->txHash().toStdString()).at("status"), "0x1");
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet), *UInt256::powerOfTen(18));
    vm->reset();
    sale->proxy().clearOverrides();

    test::LaggingBackend backend(sale->proxy(), chain->node().url(),
                                 test::LaggingBackend::Family::evm, "Node is behind",
                                 std::chrono::hours(1), test::LaggingBackend::Count::ahead);
    vm->setAmountString("2");
    runTask(vm->fetchQuote());
    review();
    EXPECT_TRUE(vm->replacementNote().isEmpty());
    const QString first = vm->orderLine();
    confirm("correct horse");
    EXPECT_THAT(vm->errorText().toStdString(), ::testing::HasSubstr("Node is behind"));
    ASSERT_EQ(backend.kept().size(), 1u);
    EXPECT_EQ(chain->node().minedReceipt(backend.kept().front()).at("status"), "0x1");

    vm->setAmountString("3");
    runTask(vm->fetchQuote());
    review();
    const std::string earlier = "Your earlier order of " + first.toStdString() + " on Arbitrum";
    EXPECT_EQ(vm->replacementNote().toStdString(), "This replaces your earlier order of " +
                                                       first.toStdString() +
                                                       " on Arbitrum that may still go through.");
    confirm("correct horse");
    EXPECT_EQ(vm->errorText().toStdString(),
              earlier + " may have gone through: the network has used its nonce, and no server "
                        "shows by which transaction. Look for it in the account's history or on a "
                        "block explorer. Nothing was signed. Send Anyway signs this one as a new "
                        "transaction, which pays again if the earlier one went through.");
    EXPECT_TRUE(vm->offersSendAnyway());
    EXPECT_TRUE(vm->replacementNote().isEmpty()); // Send Anyway would replace nothing
    EXPECT_EQ(backend.kept().size(), 1u);

    backend.catchUp();
    if (!vm->hasReview()) {
        review();
    }
    confirm("correct horse");
    ASSERT_TRUE(vm->isComplete()) << vm->errorText().toStdString();
    EXPECT_EQ(vm->txHash().toStdString(), backend.kept().front());
    EXPECT_EQ(vm->orderLine().toStdString(), first.toStdString());
    EXPECT_EQ(vm->earlierNote().toStdString(), earlier + " went through; nothing new was signed.");
    EXPECT_EQ(backend.kept().size(), 1u);
    EXPECT_EQ(chain->minedNonce(wallet), 3u);
    EXPECT_EQ(chain->balanceOf(novrTokenAddress, wallet),
              *UInt256::powerOfTen(18)->checkedMultiply(units(3)));
}

// The review belongs to the figures it was prepared for: an edit drops it, a failure to
// prepare shows and opens nothing, and Review Swap clears an earlier attempt's failure.
TEST_F(SaleSheetOnAnvil, AReviewAnswersTheFiguresItWasPreparedFor) {
    vm->setAmountString("1");
    runTask(vm->fetchQuote());
    review();
    const NOVRPreparedSale first = *vm->saleReview();
    EXPECT_EQ(first.order.amount, *UInt256::powerOfTen(18));
    EXPECT_EQ(first.order.maxCost, units(1'015'050));
    vm->setShowConfirmation(false);
    vm->setSlippageBps(300);
    EXPECT_FALSE(vm->hasReview());
    EXPECT_FALSE(vm->isPreparing()); // the confirmation is closed: nothing prepares by itself
    review();
    EXPECT_EQ(vm->saleReview()->order.maxCost, units(1'035'150));
    vm->setShowConfirmation(false);

    // A sale contract that stopped answering after the quote: nothing is prepared, the
    // confirmation stays closed and the failure shows.
    chain->setFloorMode(2);
    vm->toggleDirection();
    runTask(vm->fetchQuote());
    EXPECT_FALSE(vm->canReview()); // the quote failed
    chain->setFloorMode(0);
    runTask(vm->fetchQuote());
    ASSERT_TRUE(vm->canReview());
    chain->setFloorMode(2);
    vm->review();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !vm->isPreparing(); }, 20'000));
    EXPECT_FALSE(vm->hasReview());
    EXPECT_FALSE(vm->showConfirmation());
    EXPECT_THAT(vm->prepareError().toStdString(), ::testing::HasSubstr("floor price unavailable"));
    chain->setFloorMode(0);

    // A failed attempt's text goes with the next Review Swap.
    vm->toggleDirection();
    runTask(vm->fetchQuote());
    review();
    confirm("wrong horse");
    EXPECT_EQ(vm->errorText(), "Incorrect password");
    vm->setShowConfirmation(false);
    review();
    EXPECT_FALSE(vm->hasError());
    EXPECT_EQ(vm->broadcastStep(), TransactionFlow::Step::Idle);
    EXPECT_EQ(chain->minedNonce(wallet), 0u);
}

} // namespace
} // namespace qm
