#include "services/evm/TypedDataJSON.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;

TEST(TypedDataJSON, KeepsIntegerLiteralsBeyondSixtyFourBits) {
    const std::string negative =
        "-57896044618658097711785492504343953926634992332820282019728792003956564819968";
    const auto parsed = parseJSONKeepingBigIntegers(
        R"({"min": )" + negative + R"(, "small": 18446744073709551615, "float": 1.5e3,
            "list": [null, {"deep": 99999999999999999999}]})");
    ASSERT_TRUE(parsed);
    const json& doc = *parsed;
    EXPECT_EQ(bigIntegerLiteral(doc["min"]), negative);
    EXPECT_EQ(bigIntegerLiteral(doc["list"][1]["deep"]), "99999999999999999999");
    // Everything that fits stays an ordinary value.
    EXPECT_EQ(doc["small"].get<std::uint64_t>(), UINT64_MAX);
    EXPECT_TRUE(doc["float"].is_number_float());
    EXPECT_FALSE(bigIntegerLiteral(doc["float"]));
    // A binary value made elsewhere is not mistaken for a kept literal.
    EXPECT_FALSE(bigIntegerLiteral(json::binary({'1', '2'})));
}

TEST(TypedDataJSON, RefusesMalformedText) {
    for (const std::string& bad : std::vector<std::string>{
             "", "{\"a\":}", "{\"a\":1} x", "\"\xff\"", "1" + std::string(400, '0')}) {
        EXPECT_FALSE(parseJSONKeepingBigIntegers(bad)) << bad;
    }
    const std::string deepest =
        std::string(kMaxTypedDataNesting, '[') + std::string(kMaxTypedDataNesting, ']');
    EXPECT_TRUE(parseJSONKeepingBigIntegers(deepest));
    EXPECT_FALSE(parseJSONKeepingBigIntegers("[" + deepest + "]"));
}

// Well-formed requests are read and signed in the peer_evm test against eth-sig-util.
TEST(TypedDataJSON, RefusesMalformedRequests) {
    const std::string types = R"("types": {"EIP712Domain": [{"name": "name", "type": "string"}],
                                           "Permit": [{"name": "value", "type": "uint256"}]})";
    const std::string rest = R"("primaryType": "Permit", "domain": {}, "message": {})";
    for (const std::string& bad : std::vector<std::string>{
             std::string("[]"),
             "{" + rest + "}",                          // no types
             "{\"types\": {\"A\": [1]}, " + rest + "}", // field not an object
             "{" + types + R"(, "primaryType": 5, "domain": {}, "message": {}})",
             "{" + types + R"(, "primaryType": "Permit", "domain": {}})",
         }) {
        EXPECT_FALSE(parseTypedData(bad)) << bad;
    }

    // A request parsed elsewhere is held to the same nesting bound.
    json deep = json::array();
    for (std::size_t i = 0; i < kMaxTypedDataNesting; ++i) {
        deep = json::array({deep});
    }
    json request = json::parse("{" + types + ", " + rest + "}");
    EXPECT_TRUE(typedDataFromJSON(request));
    request["message"]["value"] = deep;
    EXPECT_FALSE(typedDataFromJSON(request));
}

} // namespace
} // namespace qm
