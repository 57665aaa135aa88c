// The send view model: exact amounts and their refusals, the recipient check, "Max", the fee
// estimates of each chain (texts from exact integers), reset, and one flow per chain that a
// second start cannot run twice. The Bitcoin send itself meets bitcoinjs-lib in its peer test.

#include "RefreshFixture.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"
#include "ui/send/SendViewModel.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

using json = nlohmann::json;
using test::HttpFixtureRequest;
using test::HttpFixtureResponse;
using test::RefreshFixture;
using Step = TransactionFlow::Step;

UInt256 units(std::uint64_t value) {
    return {0, 0, 0, value};
}

const Token usdc{"0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "USDC", "USD Coin", 6,
                 Chain::ethereum};

struct SendModel {
    RefreshFixture env;
    FlowService flows{FlowLimits{}};
    SendViewModel vm;

    explicit SendModel(Chain chain) {
        vm.setAppState(&env.state());
        vm.setFlowService(&flows);
        vm.setChain(chain);
    }
    // Runs one estimate to its end.
    void estimate() {
        vm.refreshFees();
        ASSERT_TRUE(RefreshFixture::waitUntil([&] { return !vm.isFetchingFees(); }));
    }
};

TEST(SendViewModel, AmountsAreExactAndRefusedWhenTheAssetCannotHoldThem) {
    SendModel model(Chain::ethereum);
    SendViewModel& vm = model.vm;
    // Through a double, 1.1 ETH was 1,100,000,000,000,000,128 wei, and 18.45 ETH overflowed.
    vm.setAmountString("1.1");
    EXPECT_EQ(vm.parsedAmount(), units(1'100'000'000'000'000'000));
    vm.setAmountString("123456789.000000000000000001");
    EXPECT_EQ(vm.parsedAmount()->decimalString(), "123456789000000000000000001");
    vm.setAmountString("2.5e-18");
    EXPECT_EQ(vm.amountError(), "Invalid amount");
    vm.setSelectedToken(usdc);
    vm.setAmountString("25");
    EXPECT_EQ(vm.parsedAmount(), units(25'000'000));
    vm.setAmountString("0.0000001");
    EXPECT_FALSE(vm.parsedAmount());

    vm.setSelectedToken(std::nullopt);
    vm.setChain(Chain::bitcoin);
    vm.setAmountString("0.29");
    EXPECT_EQ(vm.parsedAmount(), units(29'000'000));
    EXPECT_EQ(vm.amountError(), "");
    vm.setAmountString("1e-3");
    EXPECT_EQ(vm.parsedAmount(), units(100'000));
    // A fraction of a satoshi, separators, blanks, signs, zero, and more than 64 bits.
    for (const char* text : {"0.000000019", "1,5", " 1", "1 ", "abc", "-1", "0", "0e5", "inf",
                             "184467440737.09551616", "1e30"}) {
        vm.setAmountString(text);
        EXPECT_FALSE(vm.parsedAmount()) << text;
        EXPECT_EQ(vm.amountError(), "Invalid amount") << text;
    }
    vm.setAmountString("");
    EXPECT_EQ(vm.amountError(), "");
    EXPECT_FALSE(vm.canReview());
}

TEST(SendViewModel, RecipientsArePlausibleByPrefixAndLength) {
    SendModel model(Chain::bitcoin);
    SendViewModel& vm = model.vm;
    const QString bech = "bc1q" + QString(38, 'q');
    const std::vector<std::pair<QString, bool>> cases = {
        {"", false},
        {bech, true},
        {bech.left(41), false},
        {"tb1q" + QString(38, 'q'), true},
        {"0x" + QString(40, 'a'), true},
        {"0x" + QString(39, 'a'), false},
        {"0x" + QString(41, 'a'), false},
        {"11111111111111111111111111111111", true},   // 32 zero bytes
        {"1111111111111111111111111111111", false},   // 31
        {"111111111111111111111111111111111", false}, // 33
    };
    for (const auto& [text, valid] : cases) {
        vm.setRecipientAddress(text);
        EXPECT_EQ(vm.isRecipientValid(), valid) << text.toStdString();
    }
    vm.setRecipientAddress(bech);
    vm.setAmountString("0.5");
    EXPECT_TRUE(vm.canReview());
    vm.setAmountString("1,5");
    EXPECT_FALSE(vm.canReview());
}

TEST(SendViewModel, MaxWritesTheExactBalance) {
    SendModel model(Chain::ethereum);
    SendViewModel& vm = model.vm;
    AppState& state = model.env.state();
    model.env.setEVMAccount(Chain::ethereum, "0x00000000000000000000000000000000000000e1");
    state.updateEVMAccount(Chain::ethereum, 0, "eth-0", [](EVMAccountState& account) {
        account.balanceWei = *UInt256::fromHex("0x1056e0f39c37a5c9b8000"); // 1234567.891 ETH
        account.tokens.push_back({usdc, "0x125f0ea5c3", 0, std::nullopt});
    });
    vm.useMaxAmount();
    EXPECT_EQ(vm.amountString(), "1234567.891000000000000000");
    EXPECT_EQ(vm.balanceText(), "1234567.891000 ETH");
    // "%g" made 1.23457e+06 of this balance.
    vm.setSelectedToken(usdc);
    vm.useMaxAmount();
    EXPECT_EQ(vm.amountString(), "78904.206787");
    EXPECT_EQ(vm.balanceText(), "78904.206787 USDC");
    EXPECT_EQ(vm.parsedAmount(), units(0x125f0ea5c3));

    vm.setSelectedToken(std::nullopt);
    vm.setChain(Chain::solana);
    model.env.setSolanaAccount("11111111111111111111111111111111");
    state.updateSolanaAccount(0, state.solanaAccounts().at(0).id(),
                              [](SolanaAccountState& account) { account.balanceLamports = 3000; });
    vm.useMaxAmount();
    EXPECT_EQ(vm.amountString(), "0.000000000");
    EXPECT_EQ(vm.balanceText(), "0.0000 SOL");

    vm.setChain(Chain::bitcoin);
    model.env.setBitcoinAddresses({1});
    state.updateBitcoinAccount(0, state.bitcoinAccounts().at(0).id(),
                               [](BTCAccountState& account) { account.balanceSats = 100'000; });
    vm.useMaxAmount(); // before any estimate: the whole balance
    EXPECT_EQ(vm.amountString(), "0.00100000");
    model.env.electrum().answer("blockchain.estimatefee", -1);
    model.estimate();
    EXPECT_EQ(vm.estimatedFeeSats(), 705u);
    vm.useMaxAmount();
    EXPECT_EQ(vm.amountString(), "0.00099295");

    // "Max" on Bitcoin sends everything until the amount is typed again or the asset or
    // chain changes; the same text written back by the field keeps it.
    EXPECT_TRUE(vm.sendsEverything());
    vm.setAmountString("0.00099295");
    EXPECT_TRUE(vm.sendsEverything());
    vm.setAmountString("0.0009929");
    EXPECT_FALSE(vm.sendsEverything());
    vm.useMaxAmount();
    vm.reset();
    EXPECT_FALSE(vm.sendsEverything());
    vm.useMaxAmount();
    vm.setSelectedToken(usdc);
    EXPECT_FALSE(vm.sendsEverything());
    vm.setSelectedToken(std::nullopt);
    vm.useMaxAmount();
    vm.setChain(Chain::solana);
    EXPECT_FALSE(vm.sendsEverything());
    vm.useMaxAmount();
    EXPECT_FALSE(vm.sendsEverything());
}

TEST(SendViewModel, BitcoinFeesComeFromThreeEstimatesAtOnce) {
    SendModel model(Chain::bitcoin);
    SendViewModel& vm = model.vm;
    test::ElectrumFixture& electrum = model.env.electrum();
    electrum.answer("blockchain.estimatefee", -1);
    vm.setAmountString("0.001");
    model.estimate();
    EXPECT_EQ(vm.feeSnapshot(), BTCFeeSnapshot{});
    EXPECT_EQ(vm.estimatedFeeSats(), 705u);
    EXPECT_EQ(vm.estimatedFeeString(), "0.00000705 BTC (5 sat/vB)");
    EXPECT_EQ(vm.estimatedTotalString(), "0.00100705 BTC");

    // The 1-block request fails; 3 and 6 blocks give 10 and 2 sat/vB. All three were asked
    // before the first answer came.
    electrum.holdAnswers(true);
    electrum.answerRaw("blockchain.estimatefee", [](const json& request) {
        const std::int64_t blocks = request.at("params").at(0).get<std::int64_t>();
        const json id = request.at("id");
        if (blocks == 1) {
            return json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", 1}, {"message", "no"}}}}
                       .dump() +
                   "\n";
        }
        return json{{"jsonrpc", "2.0"}, {"id", id}, {"result", blocks == 3 ? 0.0001 : 0.00001}}
                   .dump() +
               "\n";
    });
    const int before = electrum.requestCount("blockchain.estimatefee");
    vm.setAmountString("1,5"); // leaves the total as it was
    vm.refreshFees();
    ASSERT_TRUE(RefreshFixture::waitUntil(
        [&] { return electrum.requestCount("blockchain.estimatefee") == before + 3; }));
    electrum.holdAnswers(false);
    electrum.releaseHeld();
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return !vm.isFetchingFees(); }));
    EXPECT_EQ(vm.feeSnapshot().fast, BTCFeeRate::fallback(BTCFeeLevel::fast));
    EXPECT_EQ(vm.feeSnapshot().normal, (BTCFeeRate{10, "Normal (~30 min)", 30}));
    EXPECT_EQ(vm.feeSnapshot().slow, (BTCFeeRate{2, "Economy (~60 min)", 60}));
    EXPECT_EQ(vm.estimatedFeeString(), "0.00001410 BTC (10 sat/vB)");
    EXPECT_EQ(vm.estimatedTotalString(), "0.00100705 BTC");
    EXPECT_EQ(vm.feeSnapshotMap()["normal"].toMap()["satPerVByte"].toULongLong(), 10u);
}

TEST(SendViewModel, EVMAndSolanaFeesAreExact) {
    SendModel model(Chain::ethereum);
    SendViewModel& vm = model.vm;
    model.env.rpc().setHandler([](const HttpFixtureRequest& request) {
        const json body = json::parse(request.body.toStdString());
        const std::string method = body.at("method");
        const char* result = method == "eth_maxPriorityFeePerGas" ? "0x59682f00"   // 1.5 Gwei
                                                                  : "0x4a817c800"; // 20 Gwei
        return HttpFixtureResponse::json(QByteArray::fromStdString(
            json{{"jsonrpc", "2.0"}, {"id", body.at("id")}, {"result", result}}.dump()));
    });
    vm.setAmountString("0.5");
    // 21,000 gas at 20 x 2 + 1.5 Gwei: 0.0008715 ETH, exact and rounded half up.
    model.estimate();
    EXPECT_EQ(vm.estimatedFee(), (Amount{units(871'500'000'000'000), 18}));
    EXPECT_EQ(vm.estimatedFeeString(), "0.000872 ETH (41.5 Gwei)");
    EXPECT_EQ(vm.estimatedTotalString(), "0.500872 ETH");
    vm.setSelectedFeeLevel(SendViewModel::FeeLevel::Slow);
    model.estimate();
    EXPECT_EQ(vm.estimatedFeeString(), "0.000452 ETH (21.5 Gwei)");
    vm.setSelectedFeeLevel(SendViewModel::FeeLevel::Normal);
    vm.setSelectedToken(usdc);
    vm.setAmountString("25");
    model.estimate();
    EXPECT_EQ(vm.estimatedTotalString(), "25 USDC + 0.002698 ETH");
    EXPECT_EQ(vm.estimatedFeeSats(), 0u);

    vm.setSelectedToken(std::nullopt);
    vm.setChain(Chain::polygon);
    EXPECT_EQ(vm.estimatedFeeString(), ""); // Ethereum's fee is not Polygon's
    model.estimate();
    EXPECT_EQ(vm.estimatedFeeString(), "0.000872 POL (41.5 Gwei)");

    vm.setChain(Chain::solana);
    vm.setAmountString("1");
    model.estimate();
    EXPECT_EQ(vm.estimatedFeeString(), "0.000005 SOL");
    EXPECT_EQ(vm.estimatedTotalString(), "1.000005000 SOL");
}

TEST(SendViewModel, ResetAndOneFlowPerChainThatStartsOnce) {
    SendModel model(Chain::bitcoin);
    SendViewModel& vm = model.vm;
    EXPECT_EQ(vm.broadcastStep(), Step::Idle);
    EXPECT_EQ(vm.broadcastProgress(), 0.0);
    EXPECT_EQ(vm.selectedFeeLevel(), SendViewModel::FeeLevel::Normal);
    EXPECT_EQ(vm.feeLevelName(SendViewModel::FeeLevel::Fast), "Priority");
    EXPECT_EQ(vm.flow(), model.flows.flow("send:bitcoin"));

    // No wallet: the send fails at once with the flow's failure, and the screens see it.
    vm.setAmountString("0.1");
    vm.sendBitcoin();
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return !vm.isSending(); }));
    EXPECT_EQ(vm.broadcastStep(), Step::Failed);
    EXPECT_EQ(vm.errorMessage(), "No account available");
    vm.sendEVM(); // another chain's entry point does nothing here
    EXPECT_FALSE(vm.isSending());

    // A second model of the same chain sees the same flow, as a sheet opened again does.
    SendViewModel again;
    again.setFlowService(&model.flows);
    again.setChain(Chain::bitcoin);
    EXPECT_EQ(again.errorMessage(), "No account available");

    vm.setRecipientAddress("bc1q");
    vm.setSelectedFeeLevel(SendViewModel::FeeLevel::Fast);
    vm.setPassword("secret");
    vm.setShowConfirmation(true);
    model.env.electrum().answer("blockchain.estimatefee", 0.0002);
    vm.refreshFees();
    vm.reset(); // cancels the estimate before it ran
    RefreshFixture::spin(50);
    EXPECT_EQ(vm.recipientAddress(), "");
    EXPECT_EQ(vm.amountString(), "");
    EXPECT_EQ(vm.selectedFeeLevel(), SendViewModel::FeeLevel::Normal);
    EXPECT_FALSE(vm.hasPassword());
    EXPECT_FALSE(vm.showConfirmation());
    EXPECT_FALSE(vm.isFetchingFees());
    EXPECT_EQ(vm.feeSnapshot(), BTCFeeSnapshot{});
    EXPECT_EQ(vm.estimatedFeeString(), "");
    EXPECT_EQ(vm.broadcastStep(), Step::Idle);
    EXPECT_EQ(vm.errorMessage(), "");
}

} // namespace
} // namespace qm
