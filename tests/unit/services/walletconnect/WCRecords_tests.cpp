// The stored session record, the coded metadata and namespaces, and the error texts.
#include "services/walletconnect/RelayError.h"
#include "services/walletconnect/WCError.h"
#include "services/walletconnect/WCRecords.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

WCSession session(std::optional<std::string> icon) {
    WCSession s;
    s.topic = "1ca1d70db64cab0f93de5934e27f7114e8e9fd7dd3c7145d81ce7f2dd2cd05c8";
    for (int i = 0; i < 32; ++i) {
        s.symmetricKey.push_back(static_cast<std::uint8_t>(i * 8 + 7));
    }
    s.peerName = "Uniswap";
    s.peerURL = "https://app.uniswap.org";
    s.peerIcon = std::move(icon);
    s.approvedChains = {"eip155:1", "eip155:42161", "eip155:137"};
    s.approvedAccounts = {"eip155:1:0xabc", "eip155:42161:0xabc", "eip155:137:0xabc"};
    // 2023-11-21 22:13:20 UTC and a half: 722,383,200.5 s after 2001-01-01.
    s.expiryDate = WCDate(1'700'604'800'500ms);
    return s;
}

TEST(WCRecords, SessionsRoundTripInTheirStoredForm) {
    const WCSession plain = session(std::nullopt);
    const json stored = plain.toJSON();
    EXPECT_FALSE(stored.contains("peerIcon"));
    EXPECT_EQ(stored["expiryDate"].get<double>(), 722'297'600.5);
    ASSERT_TRUE(stored["symmetricKey"].is_array());
    EXPECT_EQ(stored["symmetricKey"].size(), 32u);
    EXPECT_EQ(stored["symmetricKey"][1], 15);
    EXPECT_EQ(WCSession::fromJSON(json::parse(stored.dump())), plain);

    const WCSession withIcon = session("https://app.uniswap.org/icon.png");
    EXPECT_EQ(withIcon.toJSON()["peerIcon"], "https://app.uniswap.org/icon.png");
    EXPECT_EQ(WCSession::fromJSON(withIcon.toJSON()), withIcon);
    json nullIcon = withIcon.toJSON();
    nullIcon["peerIcon"] = nullptr;
    EXPECT_EQ(WCSession::fromJSON(nullIcon), plain);
    // An integral date, and keys this record does not know.
    json whole = plain.toJSON();
    whole["expiryDate"] = 722'297'600;
    whole["extra"] = true;
    EXPECT_EQ(WCSession::fromJSON(whole)->expiryDate, WCDate(1'700'604'800s));

    const std::vector<WCSession> list = {plain, withIcon};
    const auto read = sessionsFromJSON(json::parse(sessionsToJSON(list).dump()));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->sessions, list);
    EXPECT_TRUE(read->unreadable.empty());
    EXPECT_TRUE(sessionsFromJSON(json::array())->sessions.empty());
}

TEST(WCRecords, MalformedSessionsAreRefused) {
    const json good = session("i").toJSON();
    const auto with = [&](const char* key, json value) {
        json changed = good;
        changed[key] = std::move(value);
        return WCSession::fromJSON(changed);
    };
    EXPECT_FALSE(with("expiryDate", "722297600"));
    EXPECT_FALSE(with("expiryDate", 1e12)); // centuries away
    EXPECT_FALSE(with("symmetricKey", "AAEC"));
    EXPECT_FALSE(with("symmetricKey", json::array({1, 256})));
    EXPECT_FALSE(with("symmetricKey", json::array({1, -1})));
    EXPECT_FALSE(with("symmetricKey", json::array({1.5})));
    EXPECT_FALSE(with("approvedChains", json::array({1})));
    EXPECT_FALSE(with("peerIcon", 5));
    EXPECT_FALSE(with("topic", nullptr));
    for (const char* key : {"topic", "symmetricKey", "peerName", "peerURL", "approvedChains",
                            "approvedAccounts", "expiryDate"}) {
        json missing = good;
        missing.erase(key);
        EXPECT_FALSE(WCSession::fromJSON(missing)) << key;
    }
    // Entry by entry: a bad session (or one whose key is not 32 bytes) is set aside, the others
    // are read, and writing the list back keeps the bad one as it was stored.
    json shortKey = good;
    shortKey["symmetricKey"] = json::array({1, 2, 3});
    const json stored = json::array({json::object(), good, shortKey, "text"});
    const auto read = sessionsFromJSON(stored);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->sessions.size(), 1u);
    EXPECT_EQ(read->sessions[0], session("i"));
    EXPECT_EQ(read->unreadable, (std::vector<json>{json::object(), shortKey, "text"}));
    EXPECT_EQ(sessionsToJSON(read->sessions, read->unreadable),
              json::array({good, json::object(), shortKey, "text"}));
    EXPECT_FALSE(sessionsFromJSON(good));
}

TEST(WCRecords, MetadataAndNamespaces) {
    const WCAppMetadata metadata{
        "Quillmark", "Multi-chain wallet", "https://quillmark.app", {"a.png"}};
    EXPECT_EQ(WCAppMetadata::fromJSON(metadata.toJSON()), metadata);
    json noIcons = metadata.toJSON();
    noIcons.erase("icons");
    EXPECT_FALSE(WCAppMetadata::fromJSON(noIcons));

    const WCNamespace withChains{
        std::vector<std::string>{"eip155:1"}, {"personal_sign"}, {"chainChanged"}};
    const WCNamespace withoutChains{std::nullopt, {"eth_sendTransaction"}, {}};
    EXPECT_FALSE(withoutChains.toJSON().contains("chains"));
    EXPECT_EQ(WCNamespace::fromJSON(withChains.toJSON()), withChains);
    EXPECT_EQ(WCNamespace::fromJSON(withoutChains.toJSON()), withoutChains);
    EXPECT_EQ(WCNamespace::fromJSON(
                  json{{"chains", nullptr}, {"methods", json::array()}, {"events", json::array()}}),
              (WCNamespace{std::nullopt, {}, {}}));
    EXPECT_FALSE(WCNamespace::fromJSON(json{{"methods", json::array()}}));
    EXPECT_FALSE(WCNamespace::fromJSON(
        json{{"chains", "eip155:1"}, {"methods", json::array()}, {"events", json::array()}}));
}

TEST(WCRecords, ErrorTexts) {
    EXPECT_STREQ(WCError::cryptoError("Invalid Type 0 envelope").what(),
                 "Crypto: Invalid Type 0 envelope");
    // The session manager's "not connected" reads as the relay's own.
    EXPECT_STREQ(WCError::notConnected().what(), RelayError::notConnected().what());
}

} // namespace
} // namespace qm
