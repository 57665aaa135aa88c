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
    // Without an expiry none is read; the largest that fits 64 bits is read exactly.
    EXPECT_FALSE(parsePairingURI(uri("symKey=" + kKey))->expiryTimestamp);
    EXPECT_EQ(parsePairingURI(uri("symKey=" + kKey + "&expiryTimestamp=9223372036854775807"))
                  ->expiryTimestamp,
              INT64_MAX);
    EXPECT_EQ(parsePairingURI(uri("expiryTimestamp=0&symKey=" + kKey))->expiryTimestamp, 0);

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
    std::vector<std::string> refused = {
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
    // An expiry that is not a plain decimal integer within 64 bits: never a link that does
    // not expire.
    for (const std::string odd :
         {"+1705000000", "1705000000.0", "-1", "", "0x10", "1e9", "12a", " 1705000000",
          "9223372036854775808", "99999999999999999999", "\u0661"}) {
        refused.push_back(uri("symKey=" + kKey + "&expiryTimestamp=" + odd));
        refused.push_back(uri("expiryTimestamp=" + odd + "&symKey=" + kKey));
    }
    // Named without a value, or written twice with a bad value last or first.
    refused.push_back(uri("symKey=" + kKey + "&expiryTimestamp"));
    refused.push_back(uri("symKey=" + kKey + "&expiryTimestamp=1705000000&expiryTimestamp=-1"));
    refused.push_back(uri("symKey=" + kKey + "&expiryTimestamp=x&expiryTimestamp=1705000000"));
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
