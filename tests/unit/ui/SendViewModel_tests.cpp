// The send view model: exact amounts and their refusals (the dust limit), the recipient checks
// of each chain (checksums), "Max", the fee estimates of each chain (texts from exact
// integers), the review that opens only on figures prepared for the form as it is, reset, and
// one flow per chain that a second start cannot run twice. The Bitcoin send itself meets
// bitcoinjs-lib in its peer test.

#include "LocaleScope.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "core/crypto/Bech32.h"
#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/FlowService.h"
#include "state/refresh/EVMRefresh.h"
#include "state/send/SendError.h"
#include "ui/portfolio/AccountDetailModel.h"
#include "ui/portfolio/PortfolioRows.h"
#include "ui/send/SendViewModel.h"
#include "ui/shell/SidebarItems.h"

#include <QSignalSpy>
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
    // Presses "Review Transaction" and waits until the send is prepared or refused.
    void review() {
        vm.review();
        ASSERT_TRUE(RefreshFixture::waitUntil([&] { return !vm.isPreparing(); }));
    }
};

// An EVM node's answers: the gas price of 20 Gwei, a priority fee of 1.5 Gwei, an estimate of
// `gas` (none: refused).
void answerFees(RefreshFixture& env, std::optional<std::uint64_t> gas) {
    env.rpc().setHandler([gas](const HttpFixtureRequest& request) {
        const json body = json::parse(request.body.toStdString());
        const std::string method = body.at("method");
        json reply{{"jsonrpc", "2.0"}, {"id", body.at("id")}};
        if (method == "eth_maxPriorityFeePerGas") {
            reply["result"] = "0x59682f00"; // 1.5 Gwei
        } else if (method == "eth_estimateGas" && gas) {
            reply["result"] = UInt256(0, 0, 0, *gas).description();
        } else if (method == "eth_estimateGas") {
            reply["error"] = {{"code", -32000}, {"message", "execution reverted"}};
        } else {
            reply["result"] = "0x4a817c800"; // 20 Gwei
        }
        return HttpFixtureResponse::json(QByteArray::fromStdString(reply.dump()));
    });
}

// A segwit address of `version` whose checksum is the other variant's: Bech32m for version 0,
// Bech32 for 1 (the mix-up BIP-350 forbids).
std::string mixedUpChecksum(int version, const Bytes& program) {
    Bytes data{static_cast<std::uint8_t>(version)};
    const Bytes groups = convertBits(program, 8, 5, true);
    data.insert(data.end(), groups.begin(), groups.end());
    const Bytes checksum =
        bech32CreateChecksum("bc", data, version == 0 ? bech32mConstant : bech32Constant);
    std::string text = "bc1";
    for (const std::uint8_t value : data) {
        text += bech32Charset[value];
    }
    for (const std::uint8_t value : checksum) {
        text += bech32Charset[value];
    }
    return text;
}

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
    // A payment below the dust limit is refused in the form: the network would refuse it.
    vm.setRecipientAddress("bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4");
    vm.setAmountString("0.00000545");
    EXPECT_EQ(vm.parsedAmount(), units(545));
    EXPECT_EQ(vm.amountError(), "Below the network's dust limit: send at least 0.00000546 BTC.");
    EXPECT_FALSE(vm.canReview());
    vm.setAmountString("0.00000546");
    EXPECT_EQ(vm.amountError(), "");
    EXPECT_TRUE(vm.canReview());
    // A fraction of a satoshi, separators, blanks, signs, zero, and more than 64 bits.
    for (const char* text : {"0.000000019", " 1", "1 ", "abc", "-1", "0", "0e5", "inf",
                             "184467440737.09551616", "1e30"}) {
        vm.setAmountString(text);
        EXPECT_FALSE(vm.parsedAmount()) << text;
        EXPECT_EQ(vm.amountError(), "Invalid amount") << text;
    }
    vm.setAmountString("");
    EXPECT_EQ(vm.amountError(), "");
    EXPECT_FALSE(vm.canReview());
}

// The amount field takes the user's decimal comma where the locale writes one, and the point
// always; elsewhere a comma says which separator to use instead of "Invalid amount".
TEST(SendViewModel, AmountsTakeTheLocalesDecimalComma) {
    SendModel model(Chain::bitcoin);
    SendViewModel& vm = model.vm;
    {
        test::LocaleScope german("de_DE");
        for (const char* text : {"0,5", "0.5", ",5"}) {
            vm.setAmountString(text);
            EXPECT_EQ(vm.parsedAmount(), units(50'000'000)) << text;
            EXPECT_EQ(vm.amountError(), "") << text;
        }
        // A thousands point before a decimal comma is two separators: no amount.
        vm.setAmountString("1.000,5");
        EXPECT_FALSE(vm.parsedAmount());
        EXPECT_EQ(vm.amountError(), "Invalid amount");
    }
    test::LocaleScope english("en_US");
    vm.setAmountString("0,5");
    EXPECT_FALSE(vm.parsedAmount());
    EXPECT_EQ(vm.amountError(), "Use a point as the decimal separator");
    vm.setAmountString("0.5");
    EXPECT_EQ(vm.parsedAmount(), units(50'000'000));
}

TEST(SendViewModel, RecipientsAreCheckedForTheirChainWithTheirChecksums) {
    SendModel model(Chain::bitcoin);
    SendViewModel& vm = model.vm;
    const std::string p2wpkh = "bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4";
    const std::string taproot = "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqzk5jj0";
    const std::string checksum = "Not a valid Bitcoin address: its checksum does not match "
                                 "(check every character).";
    std::string typo = p2wpkh;
    typo[10] = 'x';
    const std::vector<std::pair<std::string, std::string>> bitcoin = {
        {p2wpkh, ""},
        {"BC1QW508D6QEJXTDG4Y5R3ZARVARY0C5XW7KV8F3T4", ""},
        {"bc1qrp33g0q5c5txsp9arysrx4k6zdkfs4nce4xj0gdcccefvpysxf3qccfmv3", ""}, // P2WSH
        {taproot, ""},
        {"tb1qw508d6qejxtdg4y5r3zarvary0c5xw7kxpjzsx",
         "This is a test-network address; this wallet pays on Bitcoin's main network (bc1...)."},
        {typo, checksum},
        {p2wpkh.substr(0, 41), checksum},
        {mixedUpChecksum(0, Bytes(20, 0x75)), checksum},
        {mixedUpChecksum(1, Bytes(32, 0x79)), checksum},
        {"bc1qW508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4",
         "A Bitcoin address is written in one letter case, not both."},
        {segwitAddressEncode("bc", 2, Bytes(16, 0x75)),
         "This kind of Bitcoin address cannot be paid from this wallet."},
        {"1BoatSLRHtKNngkdXEeobR76b53LETtpyT",
         "Only bc1 addresses (SegWit and Taproot) can be paid from this wallet."},
        {"0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed",
         "Not a Bitcoin address: a Bitcoin address starts with bc1."},
    };
    for (const auto& [text, problem] : bitcoin) {
        vm.setRecipientAddress(QString::fromStdString(text));
        EXPECT_EQ(vm.recipientError().toStdString(), problem) << text;
        EXPECT_EQ(vm.isRecipientValid(), problem.empty()) << text;
    }
    // The old rule took any "bc1"/"tb1" text of 42 characters.
    vm.setRecipientAddress("bc1q" + QString(38, 'q'));
    EXPECT_FALSE(vm.isRecipientValid());

    vm.setChain(Chain::ethereum);
    const std::string eip55 = "0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed";
    std::string oneLetter = eip55;
    oneLetter[11] = 'f'; // "F" lower-cased: a typo ethers refuses
    std::string oneDigit = eip55;
    oneDigit[5] = '9';
    const std::string capitals =
        "The address's capital letters do not match its checksum (EIP-55): check it for a typo.";
    const std::vector<std::pair<std::string, std::string>> evm = {
        {eip55, ""},
        {"0x5aaeb6053f3e94c9b9a09f33669435e7ef1beaed", ""},
        {"0x5AAEB6053F3E94C9B9A09F33669435E7EF1BEAED", ""},
        {"0X5aaeb6053f3e94c9b9a09f33669435e7ef1beaed", ""},
        {oneLetter, capitals},
        {oneDigit, capitals},
        {"0x" + std::string(39, 'a'), "An address is 0x followed by 40 hexadecimal digits."},
        {"0x" + std::string(41, 'a'), "An address is 0x followed by 40 hexadecimal digits."},
        {p2wpkh, "An address is 0x followed by 40 hexadecimal digits."},
    };
    for (const auto& [text, problem] : evm) {
        vm.setRecipientAddress(QString::fromStdString(text));
        EXPECT_EQ(vm.recipientError().toStdString(), problem) << text;
        EXPECT_EQ(vm.isRecipientValid(), problem.empty()) << text;
    }

    vm.setChain(Chain::solana);
    for (const auto& [text, valid] : std::vector<std::pair<QString, bool>>{
             {"11111111111111111111111111111111", true},   // 32 zero bytes
             {"1111111111111111111111111111111", false},   // 31
             {"111111111111111111111111111111111", false}, // 33
             {QString::fromStdString(eip55), false}}) {
        vm.setRecipientAddress(text);
        EXPECT_EQ(vm.isRecipientValid(), valid) << text.toStdString();
        EXPECT_EQ(vm.recipientError().isEmpty(), valid) << text.toStdString();
    }
    vm.setRecipientAddress("");
    EXPECT_EQ(vm.recipientError(), "");
    EXPECT_FALSE(vm.isRecipientValid());

    vm.setChain(Chain::bitcoin);
    vm.setRecipientAddress(QString::fromStdString(taproot));
    vm.setAmountString("0.5");
    EXPECT_TRUE(vm.canReview());
    vm.setAmountString("1,5");
    EXPECT_FALSE(vm.canReview());
}

// The send sheet, the sidebar, the portfolio and the account screen read one text of a
// balance, from its exact wei: 123,456,500,000,000,000 wei is 0.1234565 ETH, which a double
// holds as 0.12345649... and so once read 0.123456 in the lists.
TEST(SendViewModel, BalanceReadsAsInTheSidebarAndThePortfolio) {
    SendModel model(Chain::ethereum);
    AppState& state = model.env.state();
    model.env.setEVMAccount(Chain::ethereum, "0x00000000000000000000000000000000000000e1");
    const UInt256 wei(0, 0, 0, 123'456'500'000'000'000);
    state.updateEVMAccount(Chain::ethereum, 0, "eth-0", [&](EVMAccountState& account) {
        account.balanceWei = wei;
        account.balanceNative = weiToCoins(wei);
        account.balanceLoad.end(false);
    });
    const QString expected = "0.123457 ETH";
    EXPECT_EQ(model.vm.balanceText(), expected);
    EXPECT_EQ(sidebarItems(state, Chain::ethereum).at(0).balance, expected);
    EXPECT_EQ(accountBalanceText(state, state.evmAccounts(Chain::ethereum).at(0).account),
              expected);
    const std::vector<PortfolioRow> rows = portfolioRows(state);
    const auto row = std::find_if(rows.begin(), rows.end(), [](const PortfolioRow& r) {
        return r.kind == PortfolioRow::Kind::account && r.key == "eth-0";
    });
    ASSERT_NE(row, rows.end());
    EXPECT_EQ(row->balance, expected);
}

TEST(SendViewModel, MaxWritesTheExactBalanceLessTheFee) {
    SendModel model(Chain::ethereum);
    SendViewModel& vm = model.vm;
    AppState& state = model.env.state();
    model.env.setEVMAccount(Chain::ethereum, "0x00000000000000000000000000000000000000e1");
    state.updateEVMAccount(Chain::ethereum, 0, "eth-0", [](EVMAccountState& account) {
        account.balanceWei = *UInt256::fromHex("0x1056e0f39c37a5c9b8000"); // 1234567.891 ETH
        account.balanceLoad.end(false);
        account.tokens.push_back({usdc, "0x125f0ea5c3", 0, std::nullopt});
    });
    // The coin less the max fee (21,000 gas at twice 20 Gwei), once the estimate has it: the
    // whole balance would be refused by the gas estimate.
    answerFees(model.env, 21'000);
    vm.useMaxAmount();
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return !vm.amountString().isEmpty(); }));
    EXPECT_EQ(vm.amountString(), "1234567.89016");
    EXPECT_EQ(vm.estimatedFee(), (Amount{units(840'000'000'000'000), 18}));
    EXPECT_EQ(vm.balanceText(), "1234567.891000 ETH");
    vm.useMaxAmount(); // with the estimate at hand, at once
    EXPECT_EQ(vm.amountString(), "1234567.89016");
    // A token's whole balance: its fee is paid in the coin. "%g" made 1.23457e+06 of this.
    vm.setSelectedToken(usdc);
    vm.useMaxAmount();
    EXPECT_EQ(vm.amountString(), "78904.206787");
    EXPECT_EQ(vm.balanceText(), "78904.206787 USDC");
    EXPECT_EQ(vm.parsedAmount(), units(0x125f0ea5c3));

    vm.setSelectedToken(std::nullopt);
    vm.setChain(Chain::solana);
    model.env.setSolanaAccount("11111111111111111111111111111111");
    state.updateSolanaAccount(0, state.solanaAccounts().at(0).id(),
                              [](SolanaAccountState& account) {
                                  account.balanceLamports = 3000;
                                  account.balanceLoad.end(false);
                              });
    vm.useMaxAmount();
    EXPECT_EQ(vm.amountString(), "0");
    EXPECT_EQ(vm.balanceText(), "0.0000 SOL");

    vm.setChain(Chain::bitcoin);
    model.env.setBitcoinAddresses({1});
    state.updateBitcoinAccount(0, state.bitcoinAccounts().at(0).id(), [](BTCAccountState& account) {
        account.balanceSats = 100'000;
        account.balanceLoad.end(false);
    });
    vm.useMaxAmount(); // before any estimate: the whole balance
    EXPECT_EQ(vm.amountString(), "0.001");
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

// A balance no server has answered for is no zero: the sheet shows it as unknown, with the
// account screen's words once its load failed, and Max writes nothing but says why, until the
// balance is known. A token's balance is unknown until its list has loaded.
TEST(SendViewModel, AnUnknownBalanceIsNoZeroAndMaxWaitsForIt) {
    SendModel model(Chain::bitcoin);
    SendViewModel& vm = model.vm;
    AppState& state = model.env.state();
    model.env.setBitcoinAddresses({1});
    QSignalSpy balanceChanged(&vm, &SendViewModel::balanceChanged);
    const auto shown = [&vm] {
        return QStringList{vm.balanceText(), vm.balanceNote(), vm.amountString(), vm.amountError()};
    };
    EXPECT_EQ(shown(), (QStringList{"\u2014", "", "", ""}));
    vm.useMaxAmount();
    EXPECT_EQ(shown(),
              (QStringList{"\u2014", "", "", "Max needs the balance, which is still loading."}));
    const auto endLoad = [&](bool failed) {
        state.updateBitcoinAccount(0, "btc-0", [failed](BTCAccountState& account) {
            account.balanceSats = failed ? 0 : 100'000;
            account.balanceLoad.end(failed);
        });
    };
    endLoad(true);
    EXPECT_EQ(shown(), (QStringList{"\u2014", "Could not load the Bitcoin balance.", "",
                                    "Max needs the balance, which could not be loaded."}));
    // The answer shows on the open sheet and ends the refusal; Max then writes it.
    const auto notices = balanceChanged.count();
    endLoad(false);
    EXPECT_GT(balanceChanged.count(), notices);
    EXPECT_EQ(shown(), (QStringList{"0.00100000 BTC", "", "", ""}));
    vm.useMaxAmount();
    EXPECT_EQ(vm.amountString(), "0.001");

    // A token of an account whose tokens have not loaded; then could not be loaded.
    vm.reset();
    vm.setChain(Chain::ethereum);
    model.env.setEVMAccount(Chain::ethereum, "0x00000000000000000000000000000000000000e1");
    vm.setSelectedToken(usdc);
    vm.useMaxAmount();
    EXPECT_EQ(shown(),
              (QStringList{"\u2014", "", "", "Max needs the balance, which is still loading."}));
    state.updateEVMAccount(Chain::ethereum, 0, "eth-0",
                           [](EVMAccountState& account) { account.endTokensLoad(true); });
    EXPECT_EQ(shown(), (QStringList{"\u2014", "Could not load the tokens.", "",
                                    "Max needs the balance, which could not be loaded."}));
    // Typing an amount ends the refusal; the coin's balance is its own.
    vm.setAmountString("1");
    EXPECT_EQ(vm.amountError(), "");
    vm.setSelectedToken(std::nullopt);
    EXPECT_EQ(vm.balanceText(), "\u2014");
    EXPECT_EQ(vm.balanceNote(), "");

    // The list loaded but this token's balance could not be read, and never was: unknown, as
    // a coin's; read before: the last balance, said to be old; read: no word.
    const auto listUSDC = [&](bool known, bool failed) {
        state.updateEVMAccount(Chain::ethereum, 0, "eth-0", [&](EVMAccountState& account) {
            account.tokens = {{usdc, known ? "0x4c4b40" : "0x0", known ? 5.0 : 0.0, std::nullopt}};
            account.tokens[0].balanceKnown = known;
            account.tokens[0].balanceLoadFailed = failed;
            account.endTokensLoad(false);
        });
    };
    vm.setSelectedToken(usdc);
    vm.setAmountString({});
    listUSDC(false, true);
    vm.useMaxAmount();
    EXPECT_EQ(shown(), (QStringList{"\u2014", "Could not load the tokens.", "",
                                    "Max needs the balance, which could not be loaded."}));
    listUSDC(true, true);
    EXPECT_EQ(shown(), (QStringList{"5 USDC", "Could not load the tokens.", "", ""}));
    listUSDC(true, false);
    vm.useMaxAmount();
    EXPECT_EQ(shown(), (QStringList{"5 USDC", "", "5", ""}));
}

TEST(SendViewModel, BitcoinFeesComeFromThreeEstimatesAtOnce) {
    SendModel model(Chain::bitcoin);
    SendViewModel& vm = model.vm;
    // Each level's rate as the picker shows it, then the note under it.
    const auto ratesOf = [](const SendViewModel& sheet) {
        const QVariantMap rates = sheet.feeSnapshotMap();
        QStringList texts;
        for (const char* level : {"slow", "normal", "fast"}) {
            texts << rates[level].toMap()["rateText"].toString();
        }
        return texts << sheet.feeRatesNote();
    };
    const auto picker = [&] { return ratesOf(vm); };
    // Before any estimate ended, the defaults are no rates to show.
    EXPECT_EQ(picker(), (QStringList{"\u2014", "\u2014", "\u2014", ""}));
    test::ElectrumFixture& electrum = model.env.electrum();
    electrum.answer("blockchain.estimatefee", -1);
    vm.setAmountString("0.001");
    model.estimate();
    EXPECT_EQ(vm.feeSnapshot(), BTCFeeSnapshot{});
    EXPECT_EQ(picker(), (QStringList{"1 sat/vB", "5 sat/vB", "20 sat/vB",
                                     "Default rates: the fee estimate could not be loaded."}));
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
    EXPECT_EQ(vm.feeSnapshot().normal, (BTCFeeRate{10, "Normal (~30 min)", 30, true}));
    EXPECT_EQ(vm.feeSnapshot().slow, (BTCFeeRate{2, "Economy (~60 min)", 60, true}));
    EXPECT_EQ(picker(), (QStringList{"2 sat/vB", "10 sat/vB", "20 sat/vB",
                                     "Default rate for Priority: the fee estimate could not be "
                                     "loaded."}));
    EXPECT_EQ(vm.estimatedFeeString(), "0.0000141 BTC (10 sat/vB)");
    EXPECT_EQ(vm.estimatedTotalString(), "0.00100705 BTC");
    EXPECT_EQ(vm.feeSnapshotMap()["normal"].toMap()["satPerVByte"].toULongLong(), 10u);

    // No server to ask at all: the estimate ends all the same, on the defaults, named as such.
    SendModel offline(Chain::bitcoin);
    offline.env.electrum().stopListening();
    offline.estimate();
    EXPECT_FALSE(offline.env.state().networkManager().electrumConnected());
    EXPECT_EQ(ratesOf(offline.vm),
              (QStringList{"1 sat/vB", "5 sat/vB", "20 sat/vB",
                           "Default rates: the fee estimate could not be loaded."}));
}

TEST(SendViewModel, EVMAndSolanaFeesAreExact) {
    SendModel model(Chain::ethereum);
    SendViewModel& vm = model.vm;
    model.env.setEVMAccount(Chain::ethereum, "0x00000000000000000000000000000000000000e1");
    answerFees(model.env, 30'000);
    vm.setAmountString("0.5");
    // The max fee a send signs: the gas limit (no recipient yet: the floor of 21,000) times the
    // fee cap, twice the gas price at Normal (the old estimate added the tip: 0.000872).
    model.estimate();
    EXPECT_EQ(vm.estimatedFee(), (Amount{units(840'000'000'000'000), 18}));
    EXPECT_EQ(vm.estimatedFeeString(), "0.00084 ETH (40.0 Gwei)");
    EXPECT_EQ(vm.estimatedTotalString(), "0.50084 ETH");
    vm.setSelectedFeeLevel(SendViewModel::FeeLevel::Slow);
    model.estimate();
    EXPECT_EQ(vm.estimatedFeeString(), "0.00042 ETH (20.0 Gwei)");
    // With a recipient, the node's estimate of the transfer.
    vm.setSelectedFeeLevel(SendViewModel::FeeLevel::Normal);
    vm.setRecipientAddress("0x5aAeb6053F3E94C9b9A09f33669435E7Ef1BeAed");
    model.estimate();
    EXPECT_EQ(vm.estimatedFeeString(), "0.0012 ETH (40.0 Gwei)");
    vm.setSelectedToken(usdc);
    vm.setAmountString("25");
    answerFees(model.env, std::nullopt); // refused: the token's floor of 65,000
    model.estimate();
    EXPECT_EQ(vm.estimatedTotalString(), "25 USDC + 0.0026 ETH");
    EXPECT_EQ(vm.estimatedFeeSats(), 0u);

    vm.setSelectedToken(std::nullopt);
    vm.setChain(Chain::polygon);
    EXPECT_EQ(vm.estimatedFeeString(), ""); // Ethereum's fee is not Polygon's
    model.env.setEVMAccount(Chain::polygon, "0x00000000000000000000000000000000000000e1");
    model.estimate();
    EXPECT_EQ(vm.estimatedFeeString(), "0.00084 POL (40.0 Gwei)");

    vm.setChain(Chain::solana);
    vm.setAmountString("1");
    model.estimate();
    EXPECT_EQ(vm.estimatedFeeString(), "0.000005 SOL");
    EXPECT_EQ(vm.estimatedTotalString(), "1.000005 SOL");
}

// The review opens on figures prepared for the form as it is, never on older ones: an edit
// drops them and an answer for an older form is thrown away; a failure to prepare shows in the
// form, and the failure of an earlier send never under a new review.
TEST(SendViewModel, TheReviewShowsOnlyFiguresPreparedForTheFormAsItIs) {
    SendModel model(Chain::bitcoin);
    SendViewModel& vm = model.vm;
    test::ElectrumFixture& electrum = model.env.electrum();
    model.env.setBitcoinAddresses({1});
    electrum.answer("blockchain.estimatefee", 0.0002); // 20 sat/vB
    electrum.answer("blockchain.scripthash.listunspent",
                    json::array({{{"tx_hash", std::string(64, 'a')},
                                  {"tx_pos", 0},
                                  {"height", 1},
                                  {"value", 1'000'000}}}));
    vm.setRecipientAddress("bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqzk5jj0");
    vm.setAmountString("0.001");
    model.review();
    ASSERT_TRUE(vm.hasReview()) << vm.prepareError().toStdString();
    EXPECT_TRUE(vm.showConfirmation());
    // One input, a Taproot payment (43 vB) and change: 153 vB at 20 sat/vB.
    EXPECT_EQ(vm.reviewRecipient(),
              "bc1p0xlxvlhemja6c4dqv22uapctqupfhlxm9h8z3k2e72q4k9hcz7vqzk5jj0");
    EXPECT_EQ(vm.reviewAmount(), "0.001 BTC");
    EXPECT_EQ(vm.reviewFee(), "0.0000306 BTC (20 sat/vB)");
    EXPECT_EQ(vm.reviewTotal(), "0.0010306 BTC");
    EXPECT_EQ(vm.bitcoinReview()->fee, 3'060u);

    // An earlier send of the account that may still land, kept or settled while the review is
    // open (another sheet's, the watch's): the review says at once what it replaces, or not.
    EXPECT_TRUE(vm.replacementNote().isEmpty());
    QSignalSpy notes(&vm, &SendViewModel::replacementNoteChanged);
    UnsettledAttempt earlier;
    earlier.chain = Chain::bitcoin;
    earlier.account = "btc-0";
    earlier.id = std::string(64, 'e');
    earlier.wire = "00";
    earlier.origin = "send:bitcoin";
    earlier.kind = "send";
    earlier.summary = "0.002 BTC";
    earlier.detail = "to bc1q00...0000";
    earlier.coins.resize(1);
    test::runTask(model.env.state().attemptLedger().keep(earlier));
    EXPECT_EQ(notes.count(), 1);
    EXPECT_EQ(vm.replacementNote(), "This replaces your earlier send of 0.002 BTC to "
                                    "bc1q00...0000 that may still go through.");
    model.env.state().attemptLedger().forget(earlier.id);
    EXPECT_EQ(notes.count(), 2);
    EXPECT_TRUE(vm.replacementNote().isEmpty());

    // Cancel keeps it; an edit drops it.
    vm.setShowConfirmation(false);
    EXPECT_TRUE(vm.hasReview());
    vm.setAmountString("0.0012");
    EXPECT_FALSE(vm.hasReview());
    EXPECT_TRUE(vm.reviewTotal().isEmpty());
    // The server gone: no review, the reason in the form.
    electrum.answerError("blockchain.scripthash.listunspent", 1, "gone");
    model.review();
    EXPECT_FALSE(vm.hasReview());
    EXPECT_FALSE(vm.showConfirmation());
    EXPECT_EQ(vm.prepareError(), "Server error 1: gone");
    vm.setAmountString("0.0011");
    EXPECT_EQ(vm.prepareError(), "");

    // An answer that arrives after an edit answers an older form.
    electrum.answer("blockchain.scripthash.listunspent",
                    json::array({{{"tx_hash", std::string(64, 'a')},
                                  {"tx_pos", 0},
                                  {"height", 1},
                                  {"value", 1'000'000}}}));
    electrum.holdAnswers(true);
    const int asked = electrum.requestCount("blockchain.scripthash.listunspent");
    vm.review();
    EXPECT_TRUE(vm.isPreparing());
    ASSERT_TRUE(RefreshFixture::waitUntil(
        [&] { return electrum.requestCount("blockchain.scripthash.listunspent") > asked; }));
    vm.setAmountString("0.0012");
    EXPECT_FALSE(vm.isPreparing());
    const int estimates = electrum.requestCount("blockchain.estimatefee");
    electrum.holdAnswers(false);
    electrum.releaseHeld();
    // The old preparation runs to its end; its answer is nobody's.
    ASSERT_TRUE(RefreshFixture::waitUntil(
        [&] { return electrum.requestCount("blockchain.estimatefee") > estimates; }));
    RefreshFixture::spin(100);
    EXPECT_FALSE(vm.hasReview());
    EXPECT_FALSE(vm.showConfirmation());

    // The level, the recipient and the chain are part of the form too.
    model.review();
    ASSERT_TRUE(vm.hasReview());
    EXPECT_EQ(vm.reviewTotal(), "0.0012306 BTC");
    vm.setSelectedFeeLevel(SendViewModel::FeeLevel::Fast);
    EXPECT_FALSE(vm.hasReview());
    EXPECT_FALSE(vm.showConfirmation()); // a review on figures of another form closes

    // A failed send's text stays in the form until the next review, never under it.
    TransactionFlow* flow = model.flows.flow("send:bitcoin");
    vm.sendBitcoin(); // nothing to send without a review
    EXPECT_EQ(flow->step(), Step::Idle);
    model.review();
    ASSERT_TRUE(vm.hasReview());
    vm.sendBitcoin(); // no wallet: the flow fails at once
    ASSERT_TRUE(RefreshFixture::waitUntil([&] { return !vm.isSending(); }));
    EXPECT_EQ(vm.errorMessage(), "No account available");
    EXPECT_TRUE(vm.hasReview()); // to be sent again
    vm.setShowConfirmation(false);
    model.review();
    EXPECT_EQ(vm.broadcastStep(), Step::Idle);
    EXPECT_EQ(vm.errorMessage(), "");
    EXPECT_TRUE(vm.showConfirmation());
}

TEST(SendViewModel, ResetAndOneFlowPerChainThatStartsOnce) {
    SendModel model(Chain::bitcoin);
    SendViewModel& vm = model.vm;
    EXPECT_EQ(vm.broadcastStep(), Step::Idle);
    EXPECT_EQ(vm.broadcastProgress(), 0.0);
    EXPECT_EQ(vm.selectedFeeLevel(), SendViewModel::FeeLevel::Normal);
    EXPECT_EQ(vm.feeLevelName(SendViewModel::FeeLevel::Fast), "Priority");
    EXPECT_EQ(vm.flow(), model.flows.flow("send:bitcoin"));

    // No account: nothing to review, the reason in the form; no flow started.
    vm.setRecipientAddress("bc1qw508d6qejxtdg4y5r3zarvary0c5xw7kv8f3t4");
    vm.setAmountString("0.1");
    model.review();
    EXPECT_EQ(vm.prepareError(), "No account available");
    EXPECT_EQ(vm.broadcastStep(), Step::Idle);
    vm.sendEVM(); // another chain's entry point does nothing here
    EXPECT_FALSE(vm.isSending());

    // A second model of the same chain sees the same flow, as a sheet opened again does.
    SendViewModel again;
    again.setFlowService(&model.flows);
    again.setChain(Chain::bitcoin);
    EXPECT_EQ(again.flow(), vm.flow());

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
    EXPECT_FALSE(vm.hasReview());
    EXPECT_FALSE(vm.isPreparing());
}

} // namespace
} // namespace qm
