#include "TestHex.h"
#include "core/model/JSONFields.h"
#include "core/model/Wallet.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

namespace qm {
namespace {

Wallet sampleWallet() {
    return Wallet{
        "5C1A3E7B-0F2D-4B8E-9A61-3D7F0E2C4B91", "Quillmark", Date{760008600.123456789}, 1, 1, 7};
}

Wallet decodeText(std::string_view text) {
    return decodeWalletMetadata(utf8View(text));
}

std::string readFixture(const std::string& name) {
    std::ifstream in(std::string(QM_SOURCE_DIR) + "/tests/data/model/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

TEST(Wallet, MetadataRoundTripKeepsDoublePrecision) {
    const Wallet wallet = sampleWallet();
    const Bytes bytes = encodeWalletMetadata(wallet);
    EXPECT_TRUE(nlohmann::json::parse(bytes).at("createdAt").is_number_float());
    EXPECT_EQ(decodeWalletMetadata(bytes), wallet);

    // Awkward doubles survive bit for bit.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> seconds(-9.0e8, 2.0e9);
    for (int i = 0; i < 1000; ++i) {
        Wallet w = wallet;
        w.createdAt.secondsSinceReferenceDate = seconds(random);
        EXPECT_EQ(decodeWalletMetadata(encodeWalletMetadata(w)).createdAt, w.createdAt);
    }
}

TEST(Wallet, AddressCountAbsentOrNullIsFive) {
    const char* base = R"({"id":"A","name":"Quillmark","createdAt":1.5,)"
                       R"("bitcoinAccountCount":1,"ethereumAccountCount":2)";
    EXPECT_EQ(decodeText(std::string(base) + "}").btcAddressCount, 5);
    EXPECT_EQ(decodeText(std::string(base) + R"(,"btcAddressCount":null})").btcAddressCount, 5);
    const Wallet w = decodeText(std::string(base) + R"(,"extra":[1,2],"btcAddressCount":3.0})");
    EXPECT_EQ(w.btcAddressCount, 3); // a zero fraction is still an integer
}

TEST(Wallet, StrictReadingFailsTheWholeRecord) {
    const nlohmann::json good = walletToJSON(sampleWallet(), DateCoding::secondsSinceReferenceDate);
    nlohmann::json null = good;
    null["bitcoinAccountCount"] = nullptr;
    EXPECT_THROW(walletFromJSON(null, DateCoding::secondsSinceReferenceDate), JSONDecodingError);
    const std::vector<std::pair<std::string, nlohmann::json>> wrongValues = {
        {"createdAt", "760008600"},   {"createdAt", 1e300}, // beyond the year 9999
        {"bitcoinAccountCount", 1.5}, {"ethereumAccountCount", 9223372036854775808ull},
        {"btcAddressCount", "5"},
    };
    for (const auto& [key, value] : wrongValues) {
        nlohmann::json wrong = good;
        wrong[key] = value;
        EXPECT_THROW(walletFromJSON(wrong, DateCoding::secondsSinceReferenceDate),
                     JSONDecodingError)
            << key << " = " << value.dump();
    }
    nlohmann::json extremes = good;
    extremes["bitcoinAccountCount"] = INT64_MAX;
    EXPECT_EQ(walletFromJSON(extremes, DateCoding::secondsSinceReferenceDate).bitcoinAccountCount,
              INT64_MAX);

    for (const char* text : {"", "null", R"({"id":"A"})", "\xff"}) {
        EXPECT_THROW(decodeText(text), JSONDecodingError) << text;
    }
}

TEST(Wallet, StoredFixturesKeepReading) {
    // Written by an earlier release, with keys in its own order and escaped slashes.
    const Wallet current = decodeText(readFixture("wallet-metadata.json"));
    EXPECT_EQ(current, (Wallet{"E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "Quillmark",
                               Date{786452321.71939301}, 1, 1, 8}));

    // Older records have no receive-address count.
    const Wallet older = decodeText(readFixture("wallet-metadata-without-address-count.json"));
    EXPECT_EQ(older.createdAt.secondsSinceReferenceDate, 752190845.0);
    EXPECT_EQ(older.btcAddressCount, 5);
}

TEST(Wallet, ISO8601FormForTheBackup) {
    Wallet wallet = sampleWallet();
    const nlohmann::json json = walletToJSON(wallet, DateCoding::iso8601);
    EXPECT_EQ(json.at("createdAt"), "2025-01-31T09:30:00Z");
    const Wallet back = walletFromJSON(json, DateCoding::iso8601);
    EXPECT_EQ(back.createdAt.secondsSinceReferenceDate, 760008600.0); // whole seconds only
    EXPECT_EQ(back.btcAddressCount, 7);

    EXPECT_THROW(walletFromJSON(json, DateCoding::secondsSinceReferenceDate), JSONDecodingError);
    wallet.createdAt = Date{1e13};
    EXPECT_THROW(walletToJSON(wallet, DateCoding::iso8601), JSONEncodingError);
}

TEST(Date, ISO8601Vectors) {
    const std::vector<std::pair<const char*, double>> vectors = {
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
    for (const char* bad :
         {"2025-01-31T09:30:00", "2025-01-31T09:30:00.000Z", "2023-02-29T00:00:00Z",
          "2025-01-31T24:00:00Z", "0000-01-01T00:00:00Z", "2025-01-31T09:30:00Z "}) {
        EXPECT_EQ(dateFromISO8601(bad), std::nullopt) << bad;
    }
    EXPECT_TRUE(dateFromISO8601("2024-02-29T12:00:00Z").has_value());
}

TEST(Wallet, NewIdentifiersAreCanonicalUpperCaseUUIDs) {
    const std::string a = newWalletID();
    EXPECT_NE(a, newWalletID());
    EXPECT_TRUE(isCanonicalUUID(a));
    EXPECT_EQ(a[14], '4');
    EXPECT_TRUE(std::none_of(a.begin(), a.end(), [](char c) { return c >= 'a' && c <= 'z'; }));
    for (const char* bad :
         {"E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5G"}) {
        EXPECT_FALSE(isCanonicalUUID(bad)) << bad;
    }
}

} // namespace
} // namespace qm
