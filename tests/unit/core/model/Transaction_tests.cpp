#include "core/model/JSONFields.h"
#include "core/model/Transaction.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

Transaction bitcoinReceive() {
    Transaction t;
    t.id = "b6f6991d03df0e2e04dafffcd6bc418aac66049e2cd74b80f14ac86db1e3f0da";
    t.txHash = t.id;
    t.chain = Chain::bitcoin;
    t.direction = TransactionDirection::received;
    t.status = TransactionStatus::confirmed;
    t.amount = "0.00100000 BTC";
    t.amountRaw = 100000;
    t.to = "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu";
    t.blockHeight = 840000;
    t.confirmations = 12;
    t.timestamp = Date{760008600.25};
    return t;
}

TEST(Transaction, DisplayTitle) {
    Transaction t = bitcoinReceive();
    t.chain = Chain::arbitrum;
    EXPECT_EQ(t.displayTitle(), "Received ETH");
    t.tokenSymbol = "USDC";
    t.direction = TransactionDirection::sent;
    EXPECT_EQ(t.displayTitle(), "Sent USDC");
    t.tokenSymbol = "";
    EXPECT_EQ(t.displayTitle(), "Sent "); // only a missing symbol falls back to the ticker
}

TEST(Transaction, HistoryIsNewestFirstWithUndatedEntriesLast) {
    auto entry = [](const char* id, std::optional<double> seconds) {
        Transaction t = bitcoinReceive();
        t.id = id;
        t.timestamp = seconds ? std::optional(Date{*seconds}) : std::nullopt;
        return t;
    };
    std::vector<Transaction> mixed = {entry("u1", std::nullopt), entry("old", -1e9),
                                      entry("u2", std::nullopt), entry("new", 1e9),
                                      entry("zero", 0.0)};
    sortNewestFirst(mixed);
    std::vector<std::string> ids;
    for (const auto& t : mixed) {
        ids.push_back(t.id);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"new", "zero", "old", "u1", "u2"}));
    EXPECT_FALSE(isNewerInHistory(mixed[3], mixed[4]));
    EXPECT_FALSE(isNewerInHistory(mixed[4], mixed[3]));
}

TEST(Transaction, JSONRoundTripOptionalFieldsAndStrictReading) {
    Transaction full = bitcoinReceive();
    full.amountRaw = UINT64_MAX;
    full.tokenSymbol = "USDC";
    full.tokenName = "USD Coin";
    full.contractAddress = "0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48";
    EXPECT_EQ(nlohmann::json(full).get<Transaction>(), full);

    Transaction bare = bitcoinReceive();
    bare.blockHeight.reset();
    bare.timestamp.reset();
    const nlohmann::json good = bare;
    nlohmann::json nulls = good;
    for (const char* key :
         {"blockHeight", "timestamp", "tokenSymbol", "tokenName", "contractAddress"}) {
        EXPECT_FALSE(good.contains(key)) << key;
        nulls[key] = nullptr;
    }
    EXPECT_EQ(nulls.get<Transaction>(), bare);

    nlohmann::json missing = good;
    missing.erase("confirmations");
    EXPECT_THROW(missing.get<Transaction>(), JSONDecodingError);
    const std::vector<std::pair<std::string, nlohmann::json>> wrongValues = {
        {"status", "Pending"},     {"amountRaw", -1},    {"amountRaw", 1.8446744073709552e19},
        {"blockHeight", 840000.5}, {"timestamp", 1e300}, {"fee", nullptr},
    };
    for (const auto& [key, value] : wrongValues) {
        nlohmann::json wrong = good;
        wrong[key] = value;
        EXPECT_THROW(wrong.get<Transaction>(), JSONDecodingError) << key << " = " << value.dump();
    }
}

} // namespace
} // namespace qm
