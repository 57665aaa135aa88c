#include "services/evm/TypedDataJSON.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;

TEST(TypedDataJSON, KeepsIntegerLiteralsBeyondSixtyFourBits) {
    const std::string max =
        "115792089237316195423570985008687907853269984665640564039457584007913129639935";
    const std::string negative =
        "-57896044618658097711785492504343953926634992332820282019728792003956564819968";
    const auto parsed = parseJSONKeepingBigIntegers(
        R"({"max": )" + max + R"(, "min": )" + negative +
        R"(, "small": 18446744073709551615, "neg": -9223372036854775808, "float": 1.5e3,
            "list": [18446744073709551616, "x", null, true, {"deep": 99999999999999999999}]})");
    ASSERT_TRUE(parsed);
    const json& doc = *parsed;
    EXPECT_EQ(bigIntegerLiteral(doc["max"]), max);
    EXPECT_EQ(bigIntegerLiteral(doc["min"]), negative);
    EXPECT_EQ(bigIntegerLiteral(doc["list"][0]), "18446744073709551616");
    EXPECT_EQ(bigIntegerLiteral(doc["list"][4]["deep"]), "99999999999999999999");
    // Everything that fits stays an ordinary value.
    EXPECT_TRUE(doc["small"].is_number_unsigned());
    EXPECT_EQ(doc["small"].get<std::uint64_t>(), UINT64_MAX);
    EXPECT_EQ(doc["neg"].get<std::int64_t>(), INT64_MIN);
    EXPECT_TRUE(doc["float"].is_number_float());
    EXPECT_FALSE(bigIntegerLiteral(doc["float"]));
    // The same document otherwise, key for key, as the standard parser reads it.
    EXPECT_EQ(parseJSONKeepingBigIntegers(R"({"a": [1, {"b": "c"}], "d": -2})"),
              json::parse(R"({"a": [1, {"b": "c"}], "d": -2})"));
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

TEST(TypedDataJSON, ReadsRequestsAndRefusesMalformedOnes) {
    const std::string types = R"("types": {"EIP712Domain": [{"name": "name", "type": "string"}],
                                           "Permit": [{"name": "value", "type": "uint256"}]})";
    const auto typed =
        parseTypedData("{" + types + R"(, "primaryType": "Permit", "domain": {"name": "T"},
        "message": {"value": 115792089237316195423570985008687907853269984665640564039457584007913129639935}})");
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->primaryType, "Permit");
    ASSERT_EQ(typed->types.size(), 2u);
    EXPECT_EQ(typed->types.at("Permit")[0].name, "value");
    EXPECT_EQ(typed->types.at("Permit")[0].type, "uint256");
    EXPECT_EQ(typed->domain.at("name"), "T");
    EXPECT_TRUE(bigIntegerLiteral(typed->message.at("value")));
    EXPECT_EQ(encodeInteger(typed->message.at("value")), Bytes(32, 0xff));

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
    json request =
        json::parse("{" + types + R"(, "primaryType": "Permit", "domain": {}, "message": {}})");
    EXPECT_TRUE(typedDataFromJSON(request));
    request["message"]["value"] = deep;
    EXPECT_FALSE(typedDataFromJSON(request));
}

} // namespace
} // namespace qm
