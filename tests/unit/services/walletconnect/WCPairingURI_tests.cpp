// Pairing URIs: the forms a dApp client writes (the peer test parses the ones
// @walletconnect/core makes) and every way a pasted text can be wrong.
#include "TestHex.h"
#include "services/walletconnect/WCPairingURI.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

const std::string kTopic = "7f6e504bfad60b485450578e05678ed3e8e8c4751d3c6160be17160d63ec90f9";
const std::string kKey = "587d5484ce2a2a6ee3ba1962fdd7e8588e06200c46823bd18fbd67def96ad303";

std::string uri(const std::string& query, const std::string& topic = kTopic) {
    return "wc:" + topic + "@2?" + query;
}

TEST(WCPairingURI, ParsesWhatDAppsWrite) {
    const auto parsed =
        parsePairingURI(uri("relay-protocol=irn&symKey=" + kKey + "&expiryTimestamp=1705000000"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->topic, kTopic);
    EXPECT_EQ(parsed->symKey, test::unhex(kKey));
    EXPECT_EQ(parsed->relayProtocol, "irn");
    EXPECT_EQ(parsed->expiryTimestamp, 1705000000);
    // Without an expiry, or with one that is no whole number of seconds, none is read.
    EXPECT_FALSE(parsePairingURI(uri("symKey=" + kKey))->expiryTimestamp);
    for (const std::string odd : {"-5", "12a", "1e9", "99999999999999999999", "0x10"}) {
        const auto unread = parsePairingURI(uri("symKey=" + kKey + "&expiryTimestamp=" + odd));
        ASSERT_TRUE(unread) << odd;
        EXPECT_FALSE(unread->expiryTimestamp) << odd;
    }

    // White space and line breaks around a pasted URI, ASCII or not.
    for (const std::string& padded :
         {" \t" + uri("symKey=" + kKey) + "\n", "\r\n" + uri("symKey=" + kKey) + " \r\n",
          "\u00A0" + uri("symKey=" + kKey) + "\u2028"}) {
        const auto trimmed = parsePairingURI(padded);
        ASSERT_TRUE(trimmed) << padded;
        EXPECT_EQ(trimmed->topic, kTopic);
    }
    // No relay protocol: "irn"; any other is returned as it is.
    EXPECT_EQ(parsePairingURI(uri("symKey=" + kKey))->relayProtocol, "irn");
    EXPECT_EQ(parsePairingURI(uri("symKey=" + kKey + "&relay-protocol=waku"))->relayProtocol,
              "waku");
    // Upper-case hex digits, and a later duplicate replacing an earlier one.
    std::string upper = kKey;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_EQ(parsePairingURI(uri("symKey=" + upper))->symKey, test::unhex(kKey));
    EXPECT_EQ(parsePairingURI(uri("symKey=00&symKey=" + kKey))->symKey, test::unhex(kKey));
    // The topic is not checked for hex; it is counted in characters.
    EXPECT_TRUE(parsePairingURI(uri("symKey=" + kKey, std::string(64, 'z'))));
    EXPECT_TRUE(parsePairingURI(uri("symKey=" + kKey, std::string(62, 'a') + "\u00E9\u00E9")));
}

TEST(WCPairingURI, RefusesEverythingElse) {
    const std::vector<std::string> refused = {
        "",
        "WC:" + kTopic + "@2?symKey=" + kKey, // prefix is case-sensitive
        "wc:" + kTopic + "@1?symKey=" + kKey, // version 1
        "wc:" + kTopic + "@2symKey=" + kKey,  // no "@2?"
        "wc:" + kTopic + "?symKey=" + kKey,
        uri("symKey=" + kKey, kTopic.substr(1)), // 63 characters
        uri("symKey=" + kKey, kTopic + "a"),     // 65 characters
        uri(""),                                 // no parameters
        uri("&&="),
        uri("relay-protocol=irn"),         // no key
        uri("symKey=" + kKey.substr(2)),   // 62 digits
        uri("symKey=" + kKey + "00"),      // 66 digits
        uri("symKey=0x" + kKey.substr(2)), // its own prefix
        uri("symKey=0x" + kKey),
        uri("symKey=" + kKey.substr(1) + "g"),       // not hex
        uri("symKey=" + kKey.substr(0, 61) + "%41"), // no percent-decoding
        uri("symKey==" + kKey),                      // split at the first "=" only
        uri("symkey=" + kKey),                       // names are case-sensitive
        "wc:@2?symKey=" + kKey,
    };
    for (const std::string& text : refused) {
        EXPECT_FALSE(parsePairingURI(text)) << text;
    }
}

TEST(WCPairingURI, QueryParameters) {
    using Map = std::map<std::string, std::string, std::less<>>;
    EXPECT_EQ(parseQueryParameters("a=1&b=2"), (Map{{"a", "1"}, {"b", "2"}}));
    // Empty pieces and parts dropped; pieces without two parts skipped; values taken literally.
    EXPECT_EQ(parseQueryParameters("&&a=1&&=x&y=&z&b=%20"), (Map{{"a", "1"}, {"b", "%20"}}));
    EXPECT_EQ(parseQueryParameters("k=v=w"), (Map{{"k", "v=w"}}));
    EXPECT_EQ(parseQueryParameters("k==v"), (Map{{"k", "=v"}}));
    EXPECT_EQ(parseQueryParameters("=k=v"), (Map{{"k", "v"}}));
    EXPECT_EQ(parseQueryParameters("a=1&a=2"), (Map{{"a", "2"}}));
    EXPECT_TRUE(parseQueryParameters("").empty());
}

} // namespace
} // namespace qm
