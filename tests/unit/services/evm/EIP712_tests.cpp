// Random typed data (big literal integers included) is read, hashed and signed against
// eth-sig-util by the peer_evm test; these are the Mail vector and forms it never sends.
#include "TestHex.h"
#include "core/crypto/Keccak.h"
#include "core/crypto/Secp256k1.h"
#include "services/evm/EIP191.h"
#include "services/evm/EIP712.h"
#include "services/evm/TypedDataJSON.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using test::hex;

constexpr std::string_view kMail = R"({"types": {
  "EIP712Domain": [{"name": "name", "type": "string"}, {"name": "version", "type": "string"},
    {"name": "chainId", "type": "uint256"}, {"name": "verifyingContract", "type": "address"}],
  "Person": [{"name": "name", "type": "string"}, {"name": "wallet", "type": "address"}],
  "Mail": [{"name": "from", "type": "Person"}, {"name": "to", "type": "Person"},
           {"name": "contents", "type": "string"}]},
 "primaryType": "Mail",
 "domain": {"name": "Ether Mail", "version": "1", "chainId": 1,
            "verifyingContract": "0xCcCCccccCCCCcCCCCCCcCcCccCcCCCcCcccccccC"},
 "message": {"from": {"name": "Cow", "wallet": "0xCD2a3d9F938E13CD947Ec05AbC7FE734Df8DD826"},
             "to": {"name": "Bob", "wallet": "0xbBbBBBBbbBBBbbbBbbBbbbbBBbBbbbbBbBbbBBbB"},
             "contents": "Hello, Bob!"}})";

const EIP712TypedData kTyped = parseTypedData(kMail).value();
const std::string kHashOfNothing = hex(keccak256({}));
const std::string kZero(64, '0');
const std::string kMailDomain = "f2cee375fa42b42143804025fc449deafd50cc031ca257e0b194a650a912090f";
const std::string kMailMessage = "c52c0ee5d84264471806290a3f2c4cecfc5490626bf912d01f240d7a274b371e";

std::string word(std::string_view tail) {
    return std::string(64 - tail.size(), '0') + std::string(tail);
}

TEST(EIP712, MailExampleFromTheStandard) {
    EXPECT_EQ(encodeType("Mail", kTyped.types),
              "Mail(Person from,Person to,string contents)Person(string name,address wallet)");
    EXPECT_EQ(hex(keccak256(test::ascii(encodeType("Mail", kTyped.types)))),
              "a0cedeb2dc280ba39b857546d74f5549c3a1d7bdc2dd96bf881f76108e23dac2");
    EXPECT_EQ(hex(encodeValue("EIP712Domain", kTyped.domain, kTyped.types)), kMailDomain);
    EXPECT_EQ(hex(encodeValue("Mail", kTyped.message, kTyped.types)), kMailMessage);
    EXPECT_EQ(hex(typedDataDigest(kTyped)),
              "be609aee343fb3c4b28e1df9e632fca64fcfaede20f02e86244efddf30957bd2");
    EXPECT_EQ(hex(signTypedData(kTyped, keccak256(test::ascii("cow")))),
              "4355c47d63924e8a72e509b65029052eb6c299d53a04e167c5775fd466751c9d"
              "07299936d304c153f6443dfa05f40ff007d72911b6f72307f996231605b91562"
              "1c");
    // Only where the curve library refuses the key does signing fail.
    for (const Bytes& key : {Bytes(31, 1), Bytes(32, 0)}) {
        EXPECT_THROW(signTypedData(kTyped, key), Secp256k1Error);
        EXPECT_THROW(personalSign(test::ascii("hi"), key), Secp256k1Error);
    }
}

TEST(EIP712, TypeStringsOfCyclesAndMissingDeclarations) {
    const EIP712Types types{
        {"Order", {{"buyer", "Person"}, {"item", "Asset"}, {"notes", "alpha"}, {"z", "Zeta"}}},
        {"Person", {{"name", "string"}, {"friends", "Person[]"}, {"last", "Order"}}},
        {"Asset", {{"id", "uint256"}}},
        {"Zeta", {}},
        {"alpha", {{"x", "bool"}}},
        {"Nested", {{"grid", "Asset[][]"}}},
    };
    // Byte order, each once, the primary only first, though Person cycles back to Order.
    EXPECT_EQ(encodeType("Order", types),
              "Order(Person buyer,Asset item,alpha notes,Zeta z)Asset(uint256 id)"
              "Person(string name,Person[] friends,Order last)Zeta()alpha(bool x)");
    EXPECT_EQ(encodeType("Missing", types), "");
    // Every array level is removed, as eth-sig-util does: an array of arrays (or of fixed
    // size) brings its struct along.
    EXPECT_EQ(encodeType("Nested", types), "Nested(Asset[][] grid)Asset(uint256 id)");

    // A missing domain or primary declaration hashes as an empty struct.
    const std::string emptyStruct = hex(keccak256(keccak256({})));
    const auto digestOf = [](const std::string& domain, const std::string& message) {
        return hex(keccak256(test::unhex("1901" + domain + message)));
    };
    EIP712TypedData noDomain = kTyped;
    noDomain.types.erase("EIP712Domain");
    EXPECT_EQ(hex(typedDataDigest(noDomain)), digestOf(emptyStruct, kMailMessage));
    EIP712TypedData noPrimary = kTyped;
    noPrimary.primaryType = "Letter";
    EXPECT_EQ(hex(typedDataDigest(noPrimary)), digestOf(kMailDomain, emptyStruct));
    EXPECT_TRUE(encodeData("Letter", kTyped.message, kTyped.types).empty());
}

// Values of the wrong shape, absent ones and integer forms the peer never sends: zero words,
// the hash of nothing, or what is left after truncation.
TEST(EIP712, MisshapenMissingAndEdgeValues) {
    const EIP712Types& mail = kTyped.types;
    const EIP712Types none;
    EIP712Types shadowing = mail; // a declared struct wins over an atomic name
    shadowing["string"] = {{"data", "bytes"}};
    const std::string ff(64, 'f');
    const std::string twoTo256 =
        "115792089237316195423570985008687907853269984665640564039457584007913129639936";
    const std::string belowInt256 = // -2^255 - 1
        "-57896044618658097711785492504343953926634992332820282019728792003956564819969";
    const struct {
        const char* type;
        std::string json;
        const EIP712Types& types;
        std::string expected;
    } rows[] = {
        {"Person[]", "\"Cow\"", mail, kZero},
        {"Person", "\"Cow\"", mail, kZero},
        {"string", "null", mail, kHashOfNothing},
        {"string", R"({"data": "0x01"})", shadowing,
         hex(keccak256(concat(keccak256(test::ascii("string(bytes data)")), keccak256(Bytes{1}))))},
        {"string", "\"hi\"", shadowing, kZero},
        {"bool", "\"1\"", none, word("01")},
        {"bool", "-1", none, word("01")},
        {"bool", "\"TRUE\"", none, kZero},
        {"bool", "1.5", none, kZero},
        {"address", "\"0xzz\"", none, kZero},
        {"bytes", "\"0xabc\"", none, kHashOfNothing},
        {"string", "42", none, kHashOfNothing},
        {"fixed128x18", "3", none, word("03")}, // unknown atomic names take the integer word
        {"uint256", "\"0X0100\"", none, word("0100")},
        {"uint256", "\"0x1\"", none, kZero},
        {"uint256", "42.9", none, word("2a")},
        {"uint256", "\"1.5\"", none, kZero},
        {"uint256", "true", none, kZero},
        {"uint256", "1e80", none, kZero},
        {"uint256", "\"0x99" + ff + "\"", none, ff}, // the last 32 bytes
        {"uint256", twoTo256, none, kZero},
        {"uint256", "-1", none, kZero},
        {"int256", "-2.7", none, std::string(62, 'f') + "fe"},
        {"int256", belowInt256, none, kZero},
    };
    for (const auto& row : rows) {
        const auto value = parseJSONKeepingBigIntegers(row.json);
        ASSERT_TRUE(value) << row.json;
        EXPECT_EQ(hex(encodeValue(row.type, *value, row.types)), row.expected)
            << row.type << " " << row.json;
    }
    const json::object_t onlyContents{{"contents", "Hello, Bob!"}};
    EXPECT_EQ(hex(encodeData("Mail", onlyContents, mail)),
              kZero + kZero + hex(keccak256(test::ascii("Hello, Bob!"))));
}

TEST(TypedDataJSON, RefusesMalformedTextAndRequests) {
    const std::string deepest =
        std::string(kMaxTypedDataNesting, '[') + std::string(kMaxTypedDataNesting, ']');
    EXPECT_TRUE(parseJSONKeepingBigIntegers(deepest));
    for (const std::string& bad :
         std::vector<std::string>{"", "{\"a\":}", "{\"a\":1} x", "\"\xff\"",
                                  "1" + std::string(400, '0'), "[" + deepest + "]"}) {
        EXPECT_FALSE(parseJSONKeepingBigIntegers(bad)) << bad;
    }

    const std::string types = R"("types": {"EIP712Domain": [{"name": "name", "type": "string"}],
                                           "Permit": [{"name": "value", "type": "uint256"}]})";
    const std::string rest = R"("primaryType": "Permit", "domain": {}, "message": {})";
    for (const std::string& bad : std::vector<std::string>{
             "[]", "{" + rest + "}", "{\"types\": {\"A\": [1]}, " + rest + "}",
             "{" + types + R"(, "primaryType": 5, "domain": {}, "message": {}})",
             "{" + types + R"(, "primaryType": "Permit", "domain": {}})"}) {
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
