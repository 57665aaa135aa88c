// Arbitrary stored bytes, and the round trip of whatever they decode to, are the fuzz targets'.

#include "core/model/Account.h"
#include "core/model/Chain.h"
#include "core/model/JSONFields.h"
#include "core/model/Token.h"
#include "core/model/Transaction.h"
#include "core/model/Wallet.h"

#include <cmath>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

namespace qm {
namespace {

using nlohmann::json;

Wallet sampleWallet() {
    return Wallet{
        "5C1A3E7B-0F2D-4B8E-9A61-3D7F0E2C4B91", "Quillmark", Date{760008600.123456789}, 1, 1, 7};
}

Wallet decodeText(std::string_view text) {
    return decodeWalletMetadata(utf8View(text));
}

TEST(Wallet, MetadataKeepsTheDateAsADoubleAndTheAddressCountDefaultsToFive) {
    const Bytes bytes = encodeWalletMetadata(sampleWallet());
    EXPECT_TRUE(json::parse(bytes).at("createdAt").is_number_float());
    EXPECT_EQ(decodeWalletMetadata(bytes), sampleWallet());

    const std::string base = R"({"id":"A","name":"Quillmark","createdAt":1.5,)"
                             R"("bitcoinAccountCount":1,"ethereumAccountCount":2)";
    EXPECT_EQ(decodeText(base + "}").btcAddressCount, 5);
    EXPECT_EQ(decodeText(base + R"(,"btcAddressCount":null})").btcAddressCount, 5);
    EXPECT_EQ(decodeText(base + R"(,"extra":[1,2],"btcAddressCount":3})").btcAddressCount, 3);
    // An integer field is an integer literal in range: never a number a float rounded.
    for (const std::string count : {"3.0", "9007199254740993.0", "5.0000000000000001", "1e2",
                                    "-9223372036854775809", "9223372036854775808"}) {
        EXPECT_THROW(decodeText(base + R"(,"btcAddressCount":)" + count + "}"), JSONDecodingError)
            << count;
    }
    EXPECT_THROW((void)json::parse(R"({"contractAddress":"0x1","symbol":"T","name":"T",)"
                                   R"("decimals":18.0,"chain":"ethereum"})")
                     .get<Token>(),
                 JSONDecodingError);
}

TEST(Wallet, StoredFixturesKeepReading) {
    const auto fixture = [](const std::string& name) {
        std::ifstream in(QM_SOURCE_DIR "/tests/data/model/" + name, std::ios::binary);
        EXPECT_TRUE(in.good()) << name;
        std::stringstream buffer;
        buffer << in.rdbuf();
        return decodeText(buffer.str());
    };
    // Written by an earlier release, with keys in its own order and escaped slashes.
    EXPECT_EQ(fixture("wallet-metadata.json"),
              (Wallet{"E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "Quillmark", Date{786452321.71939301},
                      1, 1, 8}));
    // Older records have no receive-address count.
    const Wallet older = fixture("wallet-metadata-without-address-count.json");
    EXPECT_EQ(older.createdAt.secondsSinceReferenceDate, 752190845.0);
    EXPECT_EQ(older.btcAddressCount, 5);
}

TEST(Chain, ReadsOnlyTheExactRawValues) {
    for (const char* text : {"Bitcoin", " bitcoin", "btc"}) {
        EXPECT_EQ(chainFromRawValue(text), std::nullopt) << text;
    }
    for (Chain chain : allChains()) {
        EXPECT_EQ(chainFromAccountID(accountID(chain, 12)), chain);
    }
    EXPECT_EQ(chainFromAccountID("doge-0"), std::nullopt);
    // An EVM chain ID names its chain; 0 (the other chains' figure) and others name none.
    EXPECT_EQ(evmChainWithID(42161), Chain::arbitrum);
    EXPECT_EQ(evmChainWithID(0), std::nullopt);
    EXPECT_EQ(evmChainWithID(10), std::nullopt);
}

TEST(Date, ISO8601FormForTheBackup) {
    const std::pair<const char*, double> vectors[] = {
        {"2001-01-01T00:00:00Z", 0.0},
        {"1969-07-20T20:17:40Z", -992490140.0},
        {"0001-01-01T00:00:00Z", -63113904000.0},
        {"9999-12-31T23:59:59Z", 252423993599.0},
    };
    for (const auto& [text, seconds] : vectors) {
        EXPECT_EQ(iso8601String(Date{seconds}), text);
        EXPECT_EQ(dateFromISO8601(text), Date{seconds}) << text;
    }
    // Fractions are dropped toward the past, also before 1970.
    EXPECT_EQ(iso8601String(Date{-992490140.5}), "1969-07-20T20:17:39Z");
    EXPECT_EQ(iso8601String(Date{252423993600.0}), std::nullopt);
    EXPECT_EQ(iso8601String(Date{NAN}), std::nullopt);
    EXPECT_EQ(dateFromISO8601("2025-01-31T04:00:00-05:30"), Date{760008600.0});
    EXPECT_TRUE(dateFromISO8601("2024-02-29T12:00:00Z").has_value());
    const std::string tooFine = "2025-01-31T09:30:00." + std::string(33, '1') + "Z";
    for (const char* bad : {"2025-01-31T09:30:00", "2025-01-31T09:30:00.Z", "2025-01-31T09:30:00.5",
                            "2023-02-29T00:00:00Z", "2025-01-31T24:00:00Z", "0000-01-01T00:00:00Z",
                            "2025-01-31T09:30:00Z ", tooFine.c_str()}) {
        EXPECT_EQ(dateFromISO8601(bad), std::nullopt) << bad;
    }
    // The backup's form keeps the fraction, in as few digits as read back exactly.
    EXPECT_EQ(exactISO8601String(Date{760008600.75}), "2025-01-31T09:30:00.75Z");
    EXPECT_EQ(exactISO8601String(Date{760008600.0}), "2025-01-31T09:30:00Z");
    EXPECT_EQ(dateFromISO8601("2025-01-31T10:30:00.250+01:00"), Date{760008600.25});
    for (const double seconds :
         {Date::now().secondsSinceReferenceDate, 760008600.123456789, -992490140.5, 0.1, 1e-9,
          252423993599.999, std::nextafter(760008601.0, 0.0)}) {
        const auto text = exactISO8601String(Date{seconds});
        ASSERT_TRUE(text) << seconds;
        EXPECT_EQ(dateFromISO8601(*text), Date{seconds}) << *text;
    }

    Wallet wallet = sampleWallet();
    const json iso = walletToJSON(wallet, DateCoding::iso8601);
    EXPECT_EQ(iso.at("createdAt"), "2025-01-31T09:30:00.1234568Z");
    EXPECT_EQ(walletFromJSON(iso, DateCoding::iso8601), wallet);
    wallet.createdAt = Date{1e13};
    EXPECT_THROW(walletToJSON(wallet, DateCoding::iso8601), JSONEncodingError);
}

TEST(Wallet, NewIdentifiersAreCanonicalUpperCaseUUIDs) {
    const std::string id = newWalletID();
    EXPECT_NE(id, newWalletID());
    EXPECT_TRUE(isCanonicalUUID(id));
    EXPECT_EQ(id[14], '4');
    EXPECT_TRUE(std::none_of(id.begin(), id.end(), [](char c) { return c >= 'a' && c <= 'z'; }));
    for (const char* bad :
         {"E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5G"}) {
        EXPECT_FALSE(isCanonicalUUID(bad)) << bad;
    }
}

const Token usdc{"0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "USDC", "USD Coin", 6,
                 Chain::ethereum};

Transaction bitcoinReceive(const std::string& id = "b6f6991d03df0e2e04dafffcd6bc418a") {
    Transaction t;
    t.id = id;
    t.txHash = id;
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

TEST(Transaction, TitleFallsBackToTheTickerOnlyWithoutASymbol) {
    Transaction t = bitcoinReceive();
    t.chain = Chain::arbitrum;
    EXPECT_EQ(t.displayTitle(), "Received ETH");
    t.tokenSymbol = "USDC";
    t.direction = TransactionDirection::sent;
    EXPECT_EQ(t.displayTitle(), "Sent USDC");
    t.tokenSymbol = "";
    EXPECT_EQ(t.displayTitle(), "Sent ");
}

TEST(Transaction, HistoryIsNewestFirstWithUndatedEntriesLastInTheirOrder) {
    const std::pair<const char*, std::optional<double>> entries[] = {
        {"u1", std::nullopt}, {"old", -1e9}, {"u2", std::nullopt}, {"new", 1e9}, {"zero", 0}};
    std::vector<Transaction> mixed;
    for (const auto& [id, seconds] : entries) {
        mixed.push_back(bitcoinReceive(id));
        mixed.back().timestamp = seconds ? std::optional(Date{*seconds}) : std::nullopt;
    }
    sortNewestFirst(mixed);
    std::vector<std::string> ids;
    for (const auto& t : mixed) {
        ids.push_back(t.id);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"new", "zero", "old", "u1", "u2"}));
    EXPECT_FALSE(isNewerInHistory(mixed[3], mixed[4]));
    EXPECT_FALSE(isNewerInHistory(mixed[4], mixed[3]));
}

// One row per way a field can be wrong; a record is read whole or not at all.
TEST(Records, StrictReadingFailsTheWholeRecord) {
    const auto wallet = [](const json& j) {
        (void)walletFromJSON(j, DateCoding::secondsSinceReferenceDate);
    };
    const auto transaction = [](const json& j) { (void)j.get<Transaction>(); };
    const json w = walletToJSON(sampleWallet(), DateCoding::secondsSinceReferenceDate);
    const json tx = bitcoinReceive();
    const json erased(json::value_t::discarded);
    const std::vector<std::tuple<std::function<void(const json&)>, json, std::string, json>> rows =
        {
            {wallet, w, "bitcoinAccountCount", nullptr},
            {wallet, w, "createdAt", "760008600"},
            {wallet, w, "createdAt", 1e300}, // beyond the year 9999
            {wallet, w, "ethereumAccountCount", 9223372036854775808ull},
            {wallet, w, "btcAddressCount", "5"},
            {transaction, tx, "confirmations", erased},
            {transaction, tx, "fee", nullptr},
            {transaction, tx, "status", "Pending"},
            {transaction, tx, "amountRaw", -1},
            {transaction, tx, "amountRaw", 1.8446744073709552e19},
            {transaction, tx, "blockHeight", 840000.5},
            {transaction, tx, "timestamp", 1e300},
            {[](const json& j) { (void)j.get<Token>(); }, usdc, "decimals", 1e19},
            {[](const json& j) { (void)j.get<TokenBalance>(); },
             TokenBalance{usdc, "0xf4240", 1.0, std::nullopt}, "priceUSD", "1.00"},
            {[](const json& j) { (void)j.get<TokenBalance>(); },
             TokenBalance{usdc, "0xf4240", 1.0, std::nullopt}, "balanceKnown", 0},
        };
    for (const auto& [read, record, key, value] : rows) {
        json wrong = record;
        if (value.is_discarded()) {
            wrong.erase(key);
        } else {
            wrong[key] = value;
        }
        EXPECT_THROW(read(wrong), JSONDecodingError) << key << " = " << value.dump();
    }
    for (const char* text : {"", "null", R"({"id":"A"})", "\xff"}) {
        EXPECT_THROW(decodeText(text), JSONDecodingError) << text;
    }
}

TEST(Token, IdentityIsTheAddressAndAMapDecodesAsAWhole) {
    Token other = usdc;
    other.symbol = "USDC.e";
    EXPECT_NE(other, usdc);
    EXPECT_EQ(other.id(), usdc.id());

    TokenMap map;
    map["ethereum"] = {usdc};
    map["polygon"] = {};
    json stored = tokenMapToJSON(map);
    EXPECT_EQ(tokenMapFromJSON(stored), map);
    stored["polygon"].push_back(json(usdc));
    stored["polygon"][0]["decimals"] = 1.5;
    EXPECT_THROW(tokenMapFromJSON(stored), JSONDecodingError);
    stored["polygon"] = json(usdc); // an entry that is not a list
    EXPECT_THROW(tokenMapFromJSON(stored), JSONDecodingError);
}

// A balance never read stays unknown through its JSON; a record without the marks (an older
// one) is a balance read.
TEST(TokenBalance, AnUnknownBalanceStaysUnknownThroughJSON) {
    TokenBalance unread{usdc, "0x0", 0.0, std::nullopt};
    unread.balanceKnown = false;
    unread.balanceLoadFailed = true;
    EXPECT_EQ(json(unread).get<TokenBalance>(), unread);
    const json old = {{"token", usdc}, {"balance", "0xf4240"}, {"balanceFormatted", 1.0}};
    EXPECT_EQ(old.get<TokenBalance>(), (TokenBalance{usdc, "0xf4240", 1.0, std::nullopt}));
}

TEST(TokenBalance, FormattingUsesAll256BitsAndRoundsOnce) {
    const std::tuple<std::string, std::int64_t, double> rows[] = {
        {"0xzz", 18, 0.0},
        {"0x" + std::string(65, '1'), 0, 0.0}, // more than 256 bits
        {"0x1", 400, 0.0},
        {"0xde0b6b3a7640000", 18, 1.0},
        {"0x100000000000000000000000000000000", 18, std::ldexp(1.0, 128) / 1e18}, // high words
        {"0x" + std::string(64, 'f'), 0, std::ldexp(1.0, 256)}, // 2^256 - 1 rounds up
        // Just above halfway between two doubles rounds up (word by word would give 2^117);
        // exactly halfway ties to even.
        {"0x200000000000010000000000000001", 0, std::ldexp(1.0, 117) + std::ldexp(1.0, 65)},
        {"0x200000000000010000000000000000", 0, std::ldexp(1.0, 117)},
    };
    for (const auto& [hex, decimals, expected] : rows) {
        EXPECT_EQ(TokenBalance::balanceFormattedFromHex(hex, decimals), expected) << hex;
    }
}

} // namespace
} // namespace qm
