#include "TestHex.h"
#include "core/crypto/Keccak.h"
#include "core/crypto/Secp256k1.h"
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

std::string structHash(std::string_view type, const json& value, const EIP712Types& types) {
    return hex(encodeValue(type, value, types));
}

std::string hashOf(const Bytes& bytes) {
    return hex(keccak256(bytes));
}

const std::string kHashOfNothing = hashOf({});
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
    EXPECT_EQ(structHash("EIP712Domain", typed.domain, typed.types),
              "f2cee375fa42b42143804025fc449deafd50cc031ca257e0b194a650a912090f");
    EXPECT_EQ(structHash("Mail", typed.message, typed.types),
              "c52c0ee5d84264471806290a3f2c4cecfc5490626bf912d01f240d7a274b371e");
    EXPECT_EQ(hex(typedDataDigest(typed)),
              "be609aee343fb3c4b28e1df9e632fca64fcfaede20f02e86244efddf30957bd2");

    const Bytes key = keccak256(test::ascii("cow"));
    const Bytes signature = signTypedData(typed, key);
    EXPECT_EQ(hex(signature), "4355c47d63924e8a72e509b65029052eb6c299d53a04e167c5775fd466751c9d"
                              "07299936d304c153f6443dfa05f40ff007d72911b6f72307f996231605b91562"
                              "1c");
    EXPECT_EQ(signTypedData(typed, key), signature);
}

TEST(EIP712, SigningFailsOnlyThroughTheCurveLibrary) {
    const EIP712TypedData typed = mail();
    EXPECT_THROW(signTypedData(typed, Bytes(31, 1)), Secp256k1Error);
    EXPECT_THROW(signTypedData(typed, Bytes(32, 0)), Secp256k1Error);
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
    EXPECT_EQ(encodeType("Zeta", types), "Zeta()");
    EXPECT_EQ(encodeType("Missing", types), "");
    EXPECT_EQ(encodeType("Mail", {}), "");
    // Only one "[]" is removed, so an array of arrays does not bring its struct along.
    EXPECT_EQ(encodeType("Nested", types), "Nested(Asset[][] grid)");

    std::set<std::string, std::less<>> found;
    collectDependencies("Person", types, found);
    EXPECT_EQ(found,
              (std::set<std::string, std::less<>>{"Asset", "Order", "Person", "Zeta", "alpha"}));
    found.clear();
    collectDependencies("Undeclared", types, found);
    EXPECT_TRUE(found.empty());
}

TEST(EIP712, MissingDeclarationsHashNothing) {
    EIP712TypedData typed = mail();
    const std::string emptyStruct = hashOf(keccak256({}));

    EIP712TypedData noDomain = typed;
    noDomain.types.erase("EIP712Domain");
    EXPECT_EQ(
        hex(typedDataDigest(noDomain)),
        hashOf(concat(concat(Bytes{0x19, 0x01}, unhex(emptyStruct)),
                      unhex("c52c0ee5d84264471806290a3f2c4cecfc5490626bf912d01f240d7a274b371e"))));

    EIP712TypedData noPrimary = typed;
    noPrimary.primaryType = "Letter";
    EXPECT_EQ(hex(typedDataDigest(noPrimary)),
              hashOf(concat(
                  concat(Bytes{0x19, 0x01},
                         unhex("f2cee375fa42b42143804025fc449deafd50cc031ca257e0b194a650a912090f")),
                  unhex(emptyStruct))));
    EXPECT_TRUE(encodeData("Letter", typed.message, typed.types).empty());
}

TEST(EIP712, ArraysStructsAndMissingFields) {
    const EIP712TypedData typed = mail();
    const EIP712Types& types = typed.types;
    const json cow = typed.message.at("from");
    const json bob = typed.message.at("to");

    const Bytes both = concat(encodeValue("Person", cow, types), encodeValue("Person", bob, types));
    EXPECT_EQ(hex(encodeValue("Person[]", json::array({cow, bob}), types)), hashOf(both));
    EXPECT_EQ(hex(encodeValue("Person[]", json::array(), types)), kHashOfNothing);
    EXPECT_EQ(hex(encodeValue("Person[]", "Cow", types)), kZero);
    EXPECT_EQ(hex(encodeValue("Person", "Cow", types)), kZero);
    EXPECT_EQ(hex(encodeValue("string[]", json::array({"a", "b"}), types)),
              hashOf(concat(keccak256(test::ascii("a")), keccak256(test::ascii("b")))));
    // Arrays of arrays recurse element by element.
    EXPECT_EQ(
        hex(encodeValue("uint8[][]", json::array({json::array({1, 2}), json::array()}), types)),
        hashOf(concat(keccak256(concat(wordFromUInt64(1), wordFromUInt64(2))), keccak256({}))));

    // Absent fields: zero words for atomic and struct types, the hash of nothing for
    // dynamic ones.
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
}

TEST(EIP712, AtomicValues) {
    const EIP712Types none;
    // bool
    for (const json& yes : {json(true), json("1"), json(-1)}) {
        EXPECT_EQ(hex(encodeValue("bool", yes, none)), word("01")) << yes.dump();
    }
    for (const json& no : {json(false), json("TRUE"), json(1.5), json()}) {
        EXPECT_EQ(hex(encodeValue("bool", no, none)), word("00")) << no.dump();
    }
    // address, with or without the prefix
    const std::string wallet = "cd2a3d9f938e13cd947ec05abc7fe734df8dd826";
    EXPECT_EQ(hex(encodeValue("address", "0x" + wallet, none)), word(wallet));
    EXPECT_EQ(hex(encodeValue("address", "0xzz", none)), kZero);
    // bytes and fixed bytes
    EXPECT_EQ(hex(encodeValue("bytes", "0xdeadbeef", none)), hashOf(unhex("deadbeef")));
    EXPECT_EQ(hex(encodeValue("bytes", "0xabc", none)), kHashOfNothing);
    EXPECT_EQ(hex(encodeValue("bytes4", "0x12345678", none)), "12345678" + std::string(56, '0'));
    // string
    EXPECT_EQ(hex(encodeValue("string", "Hello, Bob!", none)), hashOf(test::ascii("Hello, Bob!")));
    EXPECT_EQ(hex(encodeValue("string", 42, none)), kHashOfNothing);
    // Unknown atomic names take the integer word.
    EXPECT_EQ(hex(encodeValue("fixed128x18", 3, none)), word("03"));
}

TEST(EIP712, IntegerWords) {
    EXPECT_EQ(hex(integer("\"0x01\"")), word("01"));
    EXPECT_EQ(hex(integer("\"0X0100\"")), word("0100"));
    EXPECT_EQ(hex(integer("\"0x1\"")), kZero);
    EXPECT_EQ(hex(integer("18446744073709551615")), word("ffffffffffffffff"));
    EXPECT_EQ(hex(integer("42.9")), word("2a"));
    for (const char* bad : {"\"\"", "\"1.5\"", "\"0x\"", "true", "[1]"}) {
        EXPECT_EQ(hex(integer(bad)), kZero) << bad;
    }
    // Hex longer than a word keeps its last 32 bytes.
    EXPECT_EQ(hex(integer("\"0x99" + std::string(64, 'f') + "\"")), std::string(64, 'f'));

    // Beyond 64 bits, as literal JSON numbers (a permit's maximum) and as decimal text.
    const std::string max =
        "115792089237316195423570985008687907853269984665640564039457584007913129639935";
    EXPECT_EQ(hex(integer(max)), std::string(64, 'f'));
    EXPECT_EQ(hex(integer("\"" + max + "\"")), std::string(64, 'f'));
    EXPECT_EQ(hex(integer("18446744073709551616")), word("010000000000000000"));
    EXPECT_EQ(hex(integer("1e80")), kZero);
    EXPECT_EQ(
        hex(integer(
            "115792089237316195423570985008687907853269984665640564039457584007913129639936")),
        kZero); // 2^256

    // Negative values: two's complement for int types, refused for uint types.
    EXPECT_EQ(hex(integer("-1", true)), std::string(64, 'f'));
    EXPECT_EQ(hex(integer("-1", false)), kZero);
    EXPECT_EQ(hex(integer("\"-128\"", true)), std::string(62, 'f') + "80");
    EXPECT_EQ(hex(integer("-2.7", true)), std::string(62, 'f') + "fe");
    const std::string halfWord =
        "57896044618658097711785492504343953926634992332820282019728792003956564819968";
    EXPECT_EQ(hex(integer("-" + halfWord, true)), "8" + std::string(63, '0'));
    EXPECT_EQ(hex(integer("-" + halfWord.substr(0, 76) + "9", true)), kZero);
    EXPECT_EQ(hex(encodeValue("int256", -3, {})), std::string(62, 'f') + "fd");
    EXPECT_EQ(hex(encodeValue("uint256", -3, {})), kZero);
}

} // namespace
} // namespace qm
