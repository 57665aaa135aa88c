// The history's texts, explorer links, filter and list model: tables of literal expected
// texts, and the model's row changes checked by Qt's model tester.

#include "RefreshFixture.h"
#include "core/model/Date.h"
#include "state/AppState.h"
#include "ui/history/HistoryFilter.h"
#include "ui/history/RelativeClock.h"
#include "ui/history/TransactionDetailModel.h"
#include "ui/history/TransactionListModel.h"
#include "ui/history/TransactionTexts.h"
#include "ui/theme/ExternalLink.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace qm {
namespace {

Transaction entry(std::string id, Chain chain = Chain::ethereum,
                  TransactionDirection direction = TransactionDirection::received) {
    Transaction t;
    t.id = id;
    t.txHash = std::move(id);
    t.chain = chain;
    t.direction = direction;
    t.amount = "1.0000 ETH";
    t.from = "0x1111111111111111111111111111111111111111";
    t.to = "0x2222222222222222222222222222222222222222";
    return t;
}

Transaction tokenTransfer(std::string id, std::optional<std::string> symbol,
                          std::optional<std::string> contract) {
    Transaction t = entry(std::move(id));
    t.tokenSymbol = std::move(symbol);
    t.contractAddress = std::move(contract);
    return t;
}

TEST(TransactionTexts, CounterpartyStatusAndAmount) {
    Transaction t = entry("a");
    t.from = "abcdefghijklmn"; // 14 characters: whole
    t.to = "abcdefghijklmno";  // 15: the first 6, "..." and the last 4
    EXPECT_EQ(counterpartyText(t), "abcdefghijklmn");
    t.direction = TransactionDirection::sent;
    EXPECT_EQ(counterpartyText(t), "abcdef...lmno");
    t.to = "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf";
    EXPECT_EQ(counterpartyText(t), "0x7e5f...5bdf");
    // User-perceived characters: an accented letter of two code points counts once.
    t.to = QString::fromUtf8("e\u0301bcdefghijklmn").toStdString();
    EXPECT_EQ(counterpartyText(t), QString::fromUtf8("e\u0301bcdefghijklmn"));

    const struct {
        Chain chain;
        TransactionStatus status;
        std::int64_t confirmations;
        const char* text;
    } statuses[] = {
        {Chain::bitcoin, TransactionStatus::pending, 0, "0/6 conf"},
        {Chain::bitcoin, TransactionStatus::pending, 5, "5/6 conf"},
        {Chain::bitcoin, TransactionStatus::confirmed, 7, "Confirmed"},
        {Chain::bitcoin, TransactionStatus::failed, 0, "Failed"},
        {Chain::ethereum, TransactionStatus::pending, 0, "Pending"},
        {Chain::solana, TransactionStatus::confirmed, 0, "Confirmed"},
        {Chain::polygon, TransactionStatus::failed, 3, "Failed"},
    };
    for (const auto& row : statuses) {
        Transaction s = entry("s", row.chain);
        s.status = row.status;
        s.confirmations = row.confirmations;
        EXPECT_EQ(statusText(s), row.text) << row.text;
    }

    t.amount = "0.5 ETH";
    EXPECT_EQ(signedAmountText(t), "-0.5 ETH");
    t.direction = TransactionDirection::received;
    EXPECT_EQ(signedAmountText(t), "+0.5 ETH");
}

TEST(TransactionTexts, RelativeTimes) {
    const struct {
        double seconds;
        const char* text;
    } table[] = {
        {-3600, "just now"}, // a clock ahead of ours
        {std::numeric_limits<double>::quiet_NaN(), "just now"},
        {0, "just now"},
        {59.9, "just now"},
        {60, "1 min ago"},
        {119, "1 min ago"},
        {3599, "59 min ago"},
        {3600, "1 hr ago"},
        {86'399, "23 hr ago"},
        {86'400, "1 day ago"},
        {2 * 86'400, "2 days ago"},
        {29 * 86'400 + 86'399, "29 days ago"},
        {30 * 86'400, "1 month ago"},
        {364 * 86'400, "12 months ago"},
        {365 * 86'400, "1 year ago"},
        {3 * 365 * 86'400, "3 years ago"},
        {1e300, "31709791 years ago"},
        {std::numeric_limits<double>::infinity(), "31709791 years ago"},
    };
    for (const auto& [seconds, text] : table) {
        EXPECT_EQ(relativeTimeText(seconds), text) << seconds;
    }
}

TEST(TransactionTexts, LongDatesFollowTheLocale) {
    const QTimeZone utc = QTimeZone::utc();
    // 2024-03-05 14:07:09 UTC.
    const Date date = Date::fromUnixTime(1'709'647'629);
    EXPECT_EQ(longDateText(date, QLocale(QStringLiteral("en_US")), utc),
              "Tuesday, March 5, 2024, 2:07:09 PM");
    EXPECT_EQ(longDateText(date, QLocale(QStringLiteral("de_DE")), utc),
              "Dienstag, 5. März 2024, 14:07:09");
    // The time zone moves the date too.
    EXPECT_EQ(longDateText(Date::fromUnixTime(1'709'679'600), QLocale(QStringLiteral("en_US")),
                           QTimeZone(QByteArrayLiteral("Asia/Tokyo"))),
              "Wednesday, March 6, 2024, 8:00:00 AM");
}

TEST(TransactionTexts, ExplorerLinksOnlyForHashesOfTheChainsShape) {
    const std::string hex(64, 'a');
    const std::string signature = "5zZ3KM1a2uBrCw2hBKWpm863pBg6xzwmrgEZtUpbEr8bfXBv1o3JXoscVfSo3p"
                                  "XMopfHftvdxo8JuKAccZ3uhKHd";
    const struct {
        Chain chain;
        std::string hash;
        const char* url; // empty: no link
    } table[] = {
        {Chain::bitcoin, hex,
         "https://mempool.space/tx/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
         "aaaaaaaaaaaaaaaaaaaa"},
        {Chain::ethereum, "0x" + hex,
         "https://etherscan.io/tx/0xaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
         "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
        {Chain::arbitrum, "0x" + std::string(64, 'F'),
         "https://arbiscan.io/tx/"
         "0xFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
        {Chain::polygon, hex,
         "https://polygonscan.com/tx/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
         "aaaaaaaaaaaaaaaaaaaaaaaa"},
        {Chain::solana, signature,
         "https://solscan.io/tx/"
         "5zZ3KM1a2uBrCw2hBKWpm863pBg6xzwmrgEZtUpbEr8bfXBv1o3JXoscVfSo3pXMopfHf"
         "tvdxo8JuKAccZ3uhKHd"},
        // Of the wrong length, with path, query or fragment characters, or another alphabet.
        {Chain::bitcoin, std::string(63, 'a'), ""},
        {Chain::bitcoin, std::string(65, 'a'), ""},
        {Chain::ethereum, "0x" + std::string(62, 'a') + "/..", ""},
        {Chain::ethereum, "0X" + hex, ""},
        {Chain::ethereum, std::string(60, 'a') + "?q=1", ""},
        {Chain::polygon, std::string(63, 'a') + "#", ""},
        {Chain::arbitrum, std::string(63, 'a') + "g", ""},
        {Chain::ethereum, "", ""},
        {Chain::solana, "", ""},
        {Chain::solana, hex, ""},                           // Base58 of 47 bytes, not 64
        {Chain::solana, signature.substr(0, 87) + "0", ""}, // "0" is no Base58 digit
        {Chain::solana, std::string(88, '1'), ""},          // 88 zero bytes
        {Chain::solana, signature + "2", ""},
        {Chain::solana, "../../evil", ""},
    };
    for (const auto& row : table) {
        const std::optional<QUrl> url = explorerURL(row.chain, row.hash);
        EXPECT_EQ(url ? url->toString().toStdString() : std::string(), row.url) << row.hash;
        EXPECT_EQ(isTransactionHash(row.chain, row.hash), url.has_value()) << row.hash;
    }
    const char* names[] = {"Mempool", "Etherscan", "Arbiscan", "Polygonscan", "Solscan"};
    for (const Chain chain : allChains()) {
        EXPECT_EQ(explorerName(chain), names[chainIndex(chain)]);
    }
}

TEST(TransactionDetail, ACopyWithItsCardsAndLink) {
    QStringList opened;
    setUrlOpener([&](const QUrl& url) {
        opened.append(url.toString());
        return true;
    });
    Transaction t = entry("0x" + std::string(64, 'b'), Chain::arbitrum);
    t.tokenSymbol = "USDC";
    t.tokenName = "USD Coin";
    t.contractAddress = "0xaf88d065e77c8CC2239327C5EDb3A432268e5831";
    t.confirmations = 0;
    t.amount = "25.0000 USDC";
    TransactionDetailModel detail(t);
    EXPECT_EQ(detail.title(), "Received USDC");
    EXPECT_EQ(detail.amountText(), "+25.0000 USDC");
    EXPECT_EQ(detail.tokenLabel(), "USD Coin (USDC)");
    // A transfer of the chain's own coin names no token, not even by its brackets.
    EXPECT_EQ(
        TransactionDetailModel(entry("0x" + std::string(64, 'c'), Chain::arbitrum)).tokenLabel(),
        "");
    EXPECT_TRUE(detail.hasContract());
    EXPECT_FALSE(detail.hasBlockHeight());
    EXPECT_FALSE(detail.hasFee());
    EXPECT_FALSE(detail.hasDate());
    EXPECT_FALSE(detail.isConfirmedOnce());
    EXPECT_EQ(detail.confirmationsText(), "0");
    EXPECT_EQ(detail.chainName(), "Arbitrum");
    EXPECT_EQ(detail.explorerLabel(), "View on Arbiscan");
    EXPECT_TRUE(detail.openExplorer());
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0],
              QString::fromStdString("https://arbiscan.io/tx/0x" + std::string(64, 'b')));

    t.txHash = "0x" + std::string(64, 'b') + "/../../../phish";
    t.blockHeight = 1;
    t.confirmations = 1;
    t.fee = "0.000001 ETH";
    TransactionDetailModel hostile(t);
    EXPECT_EQ(hostile.explorerURLText(), "");
    EXPECT_FALSE(hostile.openExplorer());
    EXPECT_EQ(opened.size(), 1);
    EXPECT_EQ(hostile.blockHeightText(), "1");
    EXPECT_TRUE(hostile.isConfirmedOnce());
    EXPECT_EQ(hostile.fee(), "0.000001 ETH");
    // Only https pages open at all.
    EXPECT_FALSE(openExternalUrl(QUrl(QStringLiteral("file:///etc/passwd"))));
    EXPECT_EQ(opened.size(), 1);
    setUrlOpener({});
}

TEST(HistoryFilter, NativeOnlyDropsEveryTokenTransfer) {
    const Transaction native = entry("n");
    const Transaction token = tokenTransfer("t", "USDC", "0xAbC");
    const Transaction symbolless = tokenTransfer("s", std::nullopt, "0xdef");
    const Transaction unnamed = tokenTransfer("u", "X", std::nullopt);
    const HistoryFilter all;
    const HistoryFilter nativeOnly{HistoryFilter::Kind::nativeOnly, {}};
    const HistoryFilter usdc{HistoryFilter::Kind::token, "0xaBc"};
    EXPECT_TRUE(all.accepts(symbolless));
    EXPECT_TRUE(nativeOnly.accepts(native));
    EXPECT_FALSE(nativeOnly.accepts(token));
    // A token transfer whose explorer left the symbol out is still no native transfer.
    EXPECT_FALSE(nativeOnly.accepts(symbolless));
    EXPECT_FALSE(nativeOnly.accepts(unnamed));
    EXPECT_TRUE(usdc.accepts(token));
    EXPECT_FALSE(usdc.accepts(native));
    EXPECT_FALSE(usdc.accepts(symbolless));
    EXPECT_FALSE((HistoryFilter{HistoryFilter::Kind::token, "0xab"}.accepts(token)));
}

// Two Ethereum accounts and a Solana one, for the list model.
class HistoryState : public test::RefreshFixture {
public:
    HistoryState() {
        EVMAccountState first;
        first.account = {"eth-0", Chain::ethereum, 0, "0xa", ""};
        first.transactions = {entry("1"), tokenTransfer("2", std::nullopt, "0xc"), entry("3")};
        EVMAccountState second = first;
        second.account.id = "eth-1";
        second.transactions = {entry("x")};
        state().setEVMAccounts(Chain::ethereum, {first, second});
        SolanaAccountState sol;
        sol.account = {"sol-0", Chain::solana, 0, "So1", ""};
        sol.transactions = {entry("s1", Chain::solana), entry("s2", Chain::solana)};
        state().setSolanaAccounts({sol});
    }
    void edit(const std::function<void(std::vector<Transaction>&)>& change) {
        ASSERT_TRUE(state().updateEVMAccount(Chain::ethereum, 0, "eth-0",
                                             [&](EVMAccountState& a) { change(a.transactions); }));
    }
};

std::vector<std::string> ids(const TransactionListModel& model) {
    std::vector<std::string> found;
    for (int row = 0; row < model.rowCount(); ++row) {
        found.push_back(model.data(model.index(row), TransactionListModel::EntryIdRole)
                            .toString()
                            .toStdString());
    }
    return found;
}

TEST(TransactionListModel, FollowsItsAccountRowByRow) {
    HistoryState env;
    TransactionListModel model(&env.state(), nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 0);
    QSignalSpy counts(&model, &TransactionListModel::countChanged);
    model.setAccountId("eth-1");
    EXPECT_EQ(ids(model), (std::vector<std::string>{"x"}));
    model.setAccountId("eth-0");
    EXPECT_EQ(ids(model), (std::vector<std::string>{"1", "2", "3"}));
    model.setNativeOnly(true);
    EXPECT_EQ(ids(model), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(model.count(), 2);
    model.setAccountId("sol-0");
    EXPECT_EQ(ids(model), (std::vector<std::string>{"s1", "s2"}));
    model.setAccountId("nobody");
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(counts.count(), 4);
    model.setAccountId("eth-0");
    model.setNativeOnly(false);
    model.setActive(false);
    EXPECT_EQ(model.rowCount(), 0);
    model.setActive(true);
    ASSERT_EQ(ids(model), (std::vector<std::string>{"1", "2", "3"}));

    // A new entry on top is one inserted row; the other rows stay.
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    env.edit([](std::vector<Transaction>& h) { h.insert(h.begin(), entry("0")); });
    EXPECT_EQ(ids(model), (std::vector<std::string>{"0", "1", "2", "3"}));
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 0);
    EXPECT_EQ(changed.count(), 0);

    // One entry's status: that row alone.
    env.edit([](std::vector<Transaction>& h) { h[2].status = TransactionStatus::confirmed; });
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 2);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 2);
    EXPECT_EQ(model.data(model.index(2), TransactionListModel::StatusTextRole), "Confirmed");

    // A removal, a move to the top, and an entry seen twice.
    env.edit([](std::vector<Transaction>& h) {
        h = {entry("3"), entry("0"), entry("1"), entry("1")};
    });
    EXPECT_EQ(ids(model), (std::vector<std::string>{"3", "0", "1", "1"}));
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(moved.count(), 1);
    EXPECT_EQ(reset.count(), 0);
    // Another chain's change does not touch this list.
    changed.clear();
    ASSERT_TRUE(env.state().updateSolanaAccount(
        0, "sol-0", [](SolanaAccountState& a) { a.transactions.clear(); }));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(model.rowCount(), 4);

    // A history shuffled beyond repair is shown by one reset.
    env.edit([](std::vector<Transaction>& h) {
        h.clear();
        for (int i = 0; i < 300; ++i) {
            h.push_back(entry(std::to_string(i)));
        }
    });
    env.edit([](std::vector<Transaction>& h) { std::reverse(h.begin(), h.end()); });
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(ids(model).front(), "299");
    EXPECT_EQ(ids(model).back(), "0");
    // A lock empties the lists.
    env.state().setEVMAccounts(Chain::ethereum, {});
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(TransactionListModel, RowTextsAndDetailCopies) {
    HistoryState env;
    TransactionListModel model(&env.state(), nullptr);
    model.setAccountId("eth-0");
    env.edit([](std::vector<Transaction>& h) {
        h[0].timestamp = Date::fromUnixTime(1'700'000'000);
        h[0].direction = TransactionDirection::sent;
        h[1].tokenSymbol = "USDC";
    });
    const auto at = [&](int row, TransactionListModel::Role role) {
        return model.data(model.index(row), role);
    };
    EXPECT_EQ(at(0, TransactionListModel::TitleRole), "Sent ETH");
    EXPECT_EQ(at(0, TransactionListModel::AmountTextRole), "-1.0000 ETH");
    EXPECT_EQ(at(0, TransactionListModel::CounterpartyRole), "0x2222...2222");
    EXPECT_EQ(at(0, TransactionListModel::HasTimestampRole), true);
    EXPECT_EQ(at(0, TransactionListModel::TimestampRole), 1'700'000'000.0);
    EXPECT_EQ(at(0, TransactionListModel::IsReceivedRole), false);
    EXPECT_EQ(at(1, TransactionListModel::TitleRole), "Received USDC");
    EXPECT_EQ(at(1, TransactionListModel::IsTokenRole), true);
    EXPECT_EQ(at(1, TransactionListModel::TokenSymbolRole), "USDC");
    EXPECT_EQ(at(2, TransactionListModel::HasTimestampRole), false);
    EXPECT_EQ(at(2, TransactionListModel::StatusRole), "pending");
    EXPECT_FALSE(model.data(model.index(3), TransactionListModel::TitleRole).isValid());

    std::unique_ptr<TransactionDetailModel> detail(model.detail(0));
    ASSERT_TRUE(detail);
    EXPECT_EQ(model.detail(3), nullptr);
    // The copy does not follow the state.
    env.edit([](std::vector<Transaction>& h) { h[0].amount = "9 ETH"; });
    EXPECT_EQ(at(0, TransactionListModel::AmountTextRole), "-9 ETH");
    EXPECT_EQ(detail->amountText(), "-1.0000 ETH");
}

TEST(RelativeClock, OneTimerMovesEveryText) {
    double now = 1'000'000;
    RelativeClock clock([&] { return now; });
    QSignalSpy spy(&clock, &RelativeClock::nowChanged);
    EXPECT_EQ(clock.since(now - 300, clock.now()), "5 min ago");
    now += 3600;
    clock.tick();
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(clock.since(1'000'000 - 300, clock.now()), "1 hr ago");
    clock.tick(); // the same moment: no change reported
    EXPECT_EQ(spy.count(), 1);
    EXPECT_LE(RelativeClock::tickMilliseconds, 60'000);
}

} // namespace
} // namespace qm
