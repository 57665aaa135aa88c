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
using test::unhex;

constexpr std::string_view kMail = R"({
  "types": {
    "EIP712Domain": [
      {"name": "name", "type": "string"}, {"name": "version", "type": "string"},
      {"name": "chainId", "type": "uint256"}, {"name": "verifyingContract", "type": "address"}],
    "Person": [{"name": "name", "type": "string"}, {"name": "wallet", "type": "address"}],
    "Mail": [{"name": "from", "type": "Person"}, {"name": "to", "type": "Person"},
             {"name": "contents", "type": "string"}]
  },
  "primaryType": "Mail",
  "domain": {"name": "Ether Mail", "version": "1", "chainId": 1,
             "verifyingContract": "0xCcCCccccCCCCcCCCCCCcCcCccCcCCCcCcccccccC"},
  "message": {
    "from": {"name": "Cow", "wallet": "0xCD2a3d9F938E13CD947Ec05AbC7FE734Df8DD826"},
    "to": {"name": "Bob", "wallet": "0xbBbBBBBbbBBBbbbBbbBbbbbBBbBbbbbBbBbbBBbB"},
    "contents": "Hello, Bob!"
  }
})";

EIP712TypedData mail() {
    auto typed = parseTypedData(kMail);
    EXPECT_TRUE(typed);
    return typed.value_or(EIP712TypedData{});
}

std::string hashOf(const Bytes& bytes) {
    return hex(keccak256(bytes));
}

const std::string kHashOfNothing = hashOf({});
const std::string kMailDomain = "f2cee375fa42b42143804025fc449deafd50cc031ca257e0b194a650a912090f";
const std::string kMailMessage = "c52c0ee5d84264471806290a3f2c4cecfc5490626bf912d01f240d7a274b371e";
const std::string kZero(64, '0');

std::string word(std::string_view tail) {
    return std::string(64 - tail.size(), '0') + std::string(tail);
}

Bytes integer(std::string_view jsonText, bool isSigned = false) {
    const auto value = parseJSONKeepingBigIntegers(jsonText);
    EXPECT_TRUE(value) << jsonText;
    return encodeInteger(value.value_or(json()), isSigned);
}

TEST(EIP712, MailExampleFromTheStandard) {
    const EIP712TypedData typed = mail();
    EXPECT_EQ(encodeType("Mail", typed.types),
              "Mail(Person from,Person to,string contents)Person(string name,address wallet)");
    EXPECT_EQ(hashOf(test::ascii(encodeType("Mail", typed.types))),
              "a0cedeb2dc280ba39b857546d74f5549c3a1d7bdc2dd96bf881f76108e23dac2");
    EXPECT_EQ(hex(encodeValue("EIP712Domain", typed.domain, typed.types)), kMailDomain);
    EXPECT_EQ(hex(encodeValue("Mail", typed.message, typed.types)), kMailMessage);
    EXPECT_EQ(hex(typedDataDigest(typed)),
              "be609aee343fb3c4b28e1df9e632fca64fcfaede20f02e86244efddf30957bd2");
    EXPECT_EQ(hex(signTypedData(typed, keccak256(test::ascii("cow")))),
              "4355c47d63924e8a72e509b65029052eb6c299d53a04e167c5775fd466751c9d"
              "07299936d304c153f6443dfa05f40ff007d72911b6f72307f996231605b91562"
              "1c");
}

// Typed data and personal messages fail only where the curve library refuses the key.
TEST(EIP712, SigningWithAnUnusableKeyThrows) {
    const EIP712TypedData typed = mail();
    for (const Bytes& key : {Bytes(31, 1), Bytes(32, 0)}) {
        EXPECT_THROW(signTypedData(typed, key), Secp256k1Error);
        EXPECT_THROW(personalSign(test::ascii("hi"), key), Secp256k1Error);
    }
}

TEST(EIP712, TypeStringsAndDependencies) {
    const EIP712Types types{
        {"Order", {{"buyer", "Person"}, {"item", "Asset"}, {"notes", "alpha"}, {"z", "Zeta"}}},
        {"Person", {{"name", "string"}, {"friends", "Person[]"}, {"last", "Order"}}},
        {"Asset", {{"id", "uint256"}}},
        {"Zeta", {}},
        {"alpha", {{"x", "bool"}}},
        {"Nested", {{"grid", "Asset[][]"}}},
    };
    // Sorted by byte order, each written once, the primary only at the start, even though
    // Person refers to itself through an array and back to Order.
    EXPECT_EQ(encodeType("Order", types),
              "Order(Person buyer,Asset item,alpha notes,Zeta z)Asset(uint256 id)"
              "Person(string name,Person[] friends,Order last)Zeta()alpha(bool x)");
    EXPECT_EQ(encodeType("Missing", types), "");
    // Only one "[]" is removed, so an array of arrays does not bring its struct along.
    EXPECT_EQ(encodeType("Nested", types), "Nested(Asset[][] grid)");
}

TEST(EIP712, MissingDeclarationsHashNothing) {
    EIP712TypedData typed = mail();
    const Bytes emptyStruct = keccak256(keccak256({}));
    const auto digestOf = [](ByteView domain, ByteView message) {
        return hashOf(concat(concat(Bytes{0x19, 0x01}, domain), message));
    };
    EIP712TypedData noDomain = typed;
    noDomain.types.erase("EIP712Domain");
    EXPECT_EQ(hex(typedDataDigest(noDomain)), digestOf(emptyStruct, unhex(kMailMessage)));
    EIP712TypedData noPrimary = typed;
    noPrimary.primaryType = "Letter";
    EXPECT_EQ(hex(typedDataDigest(noPrimary)), digestOf(unhex(kMailDomain), emptyStruct));
    EXPECT_TRUE(encodeData("Letter", typed.message, typed.types).empty());
}

// Values of the wrong shape, and absent ones, encode as zero words or the hash of nothing.
TEST(EIP712, MisshapenAndMissingValues) {
    const EIP712TypedData typed = mail();
    const EIP712Types& types = typed.types;
    EXPECT_EQ(hex(encodeValue("Person[]", "Cow", types)), kZero);
    EXPECT_EQ(hex(encodeValue("Person", "Cow", types)), kZero);
    const json absent;
    EXPECT_EQ(hex(encodeValue("Person", absent, types)), kZero);
    EXPECT_EQ(hex(encodeValue("uint256", absent, types)), kZero);
    EXPECT_EQ(hex(encodeValue("string", absent, types)), kHashOfNothing);
    const json::object_t onlyContents{{"contents", "Hello, Bob!"}};
    EXPECT_EQ(hex(encodeData("Mail", onlyContents, types)),
              kZero + kZero + hashOf(test::ascii("Hello, Bob!")));

    // A declared struct wins over an atomic name.
    EIP712Types shadowing = types;
    shadowing["string"] = {{"data", "bytes"}};
    EXPECT_EQ(hex(encodeValue("string", json{{"data", "0x01"}}, shadowing)),
              hashOf(concat(keccak256(test::ascii("string(bytes data)")), keccak256(Bytes{1}))));
    EXPECT_EQ(hex(encodeValue("string", "hi", shadowing)), kZero);

    const EIP712Types none;
    for (const json& yes : {json("1"), json(-1)}) {
        EXPECT_EQ(hex(encodeValue("bool", yes, none)), word("01")) << yes.dump();
    }
    for (const json& no : {json("TRUE"), json(1.5), json()}) {
        EXPECT_EQ(hex(encodeValue("bool", no, none)), word("00")) << no.dump();
    }
    EXPECT_EQ(hex(encodeValue("address", "0xzz", none)), kZero);
    EXPECT_EQ(hex(encodeValue("bytes", "0xabc", none)), kHashOfNothing);
    EXPECT_EQ(hex(encodeValue("string", 42, none)), kHashOfNothing);
    // Unknown atomic names take the integer word.
    EXPECT_EQ(hex(encodeValue("fixed128x18", 3, none)), word("03"));
}

// Ordinary literals, decimal and 0x text, negatives and 256-bit values are checked against
// eth-sig-util by the peer_evm test; these are the forms it never sends.
TEST(EIP712, IntegerWordEdges) {
    EXPECT_EQ(hex(integer("\"0X0100\"")), word("0100"));
    EXPECT_EQ(hex(integer("\"0x1\"")), kZero);
    EXPECT_EQ(hex(integer("42.9")), word("2a"));
    for (const char* bad : {"\"\"", "\"1.5\"", "\"0x\"", "true", "[1]", "1e80"}) {
        EXPECT_EQ(hex(integer(bad)), kZero) << bad;
    }
    // Hex longer than a word keeps its last 32 bytes.
    EXPECT_EQ(hex(integer("\"0x99" + std::string(64, 'f') + "\"")), std::string(64, 'f'));
    EXPECT_EQ(
        hex(integer(
            "115792089237316195423570985008687907853269984665640564039457584007913129639936")),
        kZero); // 2^256

    // Negative values: refused for uint types, two's complement down to -2^255 for int types.
    EXPECT_EQ(hex(integer("-1", false)), kZero);
    EXPECT_EQ(hex(integer("-2.7", true)), std::string(62, 'f') + "fe");
    EXPECT_EQ(hex(integer(
                  "-57896044618658097711785492504343953926634992332820282019728792003956564819969",
                  true)),
              kZero);
}

} // namespace
} // namespace qm
