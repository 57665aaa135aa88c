// Typed data a wallet may sign, and the text that shows it: every gap the encoder would fill
// with a fixed word is refused, and the text holds exactly the signed members.
#include "services/evm/EIP712Check.h"
#include "services/evm/TypedDataJSON.h"

#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

using nlohmann::json;

// A permit with every atomic kind, a nested struct, arrays and fixed-size arrays.
json permit() {
    return *parseJSONKeepingBigIntegers(R"({
      "types": {
        "EIP712Domain": [{"name": "name", "type": "string"}, {"name": "chainId", "type": "uint256"},
                         {"name": "verifyingContract", "type": "address"}],
        "Permit": [{"name": "owner", "type": "Person"}, {"name": "value", "type": "uint256"},
                   {"name": "delta", "type": "int8"}, {"name": "ok", "type": "bool"},
                   {"name": "tag", "type": "bytes4"}, {"name": "blob", "type": "bytes"},
                   {"name": "pair", "type": "uint16[2]"}, {"name": "people", "type": "Person[]"},
                   {"name": "grid", "type": "uint[][]"}],
        "Person": [{"name": "name", "type": "string"}, {"name": "wallet", "type": "address"}]
      },
      "primaryType": "Permit",
      "domain": {"name": "Token", "chainId": "0x89",
                 "verifyingContract": "0xCcCCccccCCCCcCCCCCCcCcCccCcCCCcCcccccccC", "extra": 1},
      "message": {
        "owner": {"name": "Cow", "wallet": "0xCD2a3d9F938E13CD947Ec05AbC7FE734Df8DD826"},
        "value": 115792089237316195423570985008687907853269984665640564039457584007913129639935,
        "delta": -128, "ok": true, "tag": "0x01020304", "blob": "0x", "pair": [1, "65535"],
        "people": [], "grid": [[1, 2], []], "unsigned": "not part of it"
      }
    })");
}

std::optional<std::string> refusalOf(const json& request, std::optional<std::uint64_t> chain) {
    const auto typed = typedDataFromJSON(request);
    EXPECT_TRUE(typed) << request.dump();
    return typed ? typedDataRefusal(*typed, chain) : std::optional<std::string>("no parse");
}

TEST(EIP712Check, AcceptsCompleteDataOfTheRequestsChainOnly) {
    const auto typed = typedDataFromJSON(permit());
    ASSERT_TRUE(typed);
    EXPECT_EQ(typedDataRefusal(*typed, 137), std::nullopt);
    EXPECT_EQ(typedDataRefusal(*typed, std::nullopt), std::nullopt);
    EXPECT_EQ(typedDataRefusal(*typed, 1), "the domain's chainId is not the request's chain 1");
    // A domain that declares no chain id is not bound to one.
    json noChain = permit();
    noChain["types"]["EIP712Domain"].erase(1);
    EXPECT_EQ(refusalOf(noChain, 1), std::nullopt);
}

TEST(EIP712Check, RefusesEveryGapTheEncoderWouldFill) {
    struct Case {
        std::string pointer; // where to change the permit
        json value;          // kRemove: the member goes
        std::string refusal;
    };
    const json missing = "<remove>";
    const std::vector<Case> cases = {
        {"/types/EIP712Domain", missing, "undeclared type EIP712Domain"},
        {"/primaryType", "Order", "undeclared primary type Order"},
        {"/types/Person/1/type", "Wallet", "undeclared type Wallet of Person.wallet"},
        {"/types/Permit/6/type", "uint16[x]", "undeclared type uint16[x] of Permit.pair"},
        {"/types/Permit/2/type", "int7", "undeclared type int7 of Permit.delta"},
        {"/types/Permit/4/type", "bytes33", "undeclared type bytes33 of Permit.tag"},
        {"/types/Permit/1/type", "uint264", "undeclared type uint264 of Permit.value"},
        {"/message/value", missing, "missing value for message.value"},
        {"/message/owner/wallet", missing, "missing value for message.owner.wallet"},
        {"/message/owner/name", nullptr, "missing value for message.owner.name"},
        {"/domain/name", missing, "missing value for domain.name"},
        {"/message/owner", "Cow", "message.owner is not a Person"},
        {"/message/owner/wallet", "0x1234", "message.owner.wallet is not an address"},
        {"/message/owner/wallet", "CD2a3d9F938E13CD947Ec05AbC7FE734Df8DD826",
         "message.owner.wallet is not an address"},
        {"/message/value", -1, "message.value is not a uint256"},
        {"/message/value", 1.5, "message.value is not a uint256"},
        {"/message/value", "1e3", "message.value is not a uint256"},
        {"/message/value", "0x", "message.value is not a uint256"},
        {"/message/value", true, "message.value is not a uint256"},
        {"/message/delta", -129, "message.delta is not a int8"},
        {"/message/delta", 128, "message.delta is not a int8"},
        {"/message/ok", "true", "message.ok is not true or false"},
        {"/message/ok", 1, "message.ok is not true or false"},
        {"/message/tag", "0x010203", "message.tag is not 4 bytes"},
        {"/message/tag", "01020304", "message.tag is not 4 bytes"},
        {"/message/blob", "0xabc", "message.blob is not hex bytes"},
        {"/message/pair", json::array({1}), "message.pair does not hold 2 elements"},
        {"/message/pair/1", 65536, "message.pair[1] is not a uint16"},
        {"/message/people", json::object(), "message.people is not an array"},
        {"/message/people", json::array({json::object()}),
         "missing value for message.people[0].name"},
        {"/message/grid/1", json::array({"x"}), "message.grid[1][0] is not a uint"},
        {"/domain/chainId", "137.0", "domain.chainId is not a uint256"},
    };
    for (const Case& test : cases) {
        json request = permit();
        const json::json_pointer pointer(test.pointer);
        if (test.value == missing) {
            request[pointer.parent_pointer()].erase(pointer.back());
        } else {
            request[pointer] = test.value;
        }
        EXPECT_EQ(refusalOf(request, 137), test.refusal) << test.pointer;
    }
    // Signed bounds of every width: -2^(N-1) and 2^(N-1) - 1 fit, one further does not.
    json request = permit();
    request["types"]["Permit"][2]["type"] = "int256";
    request["message"]["delta"] =
        "-57896044618658097711785492504343953926634992332820282019728792003956564819968";
    EXPECT_EQ(refusalOf(request, 137), std::nullopt);
    request["message"]["delta"] =
        "-57896044618658097711785492504343953926634992332820282019728792003956564819969";
    EXPECT_EQ(refusalOf(request, 137), "message.delta is not a int256");
    request["message"]["delta"] =
        "57896044618658097711785492504343953926634992332820282019728792003956564819967";
    EXPECT_EQ(refusalOf(request, 137), std::nullopt);
    request["message"]["delta"] =
        "0x8000000000000000000000000000000000000000000000000000000000000000";
    EXPECT_EQ(refusalOf(request, 137), "message.delta is not a int256");
    // 2^256 does not fit a uint256.
    request["message"]["value"] =
        "115792089237316195423570985008687907853269984665640564039457584007913129639936";
    EXPECT_EQ(refusalOf(request, 137), "message.value is not a uint256");
}

TEST(EIP712Check, TextShowsTheDomainFirstAndOnlyWhatIsSigned) {
    const auto typed = typedDataFromJSON(permit());
    ASSERT_TRUE(typed);
    const std::string text = typedDataText(*typed);
    EXPECT_EQ(text, R"({
  "domain": {
    "name": "Token",
    "chainId": "0x89",
    "verifyingContract": "0xCcCCccccCCCCcCCCCCCcCcCccCcCCCcCcccccccC"
  },
  "primaryType": "Permit",
  "message": {
    "owner": {
      "name": "Cow",
      "wallet": "0xCD2a3d9F938E13CD947Ec05AbC7FE734Df8DD826"
    },
    "value": 115792089237316195423570985008687907853269984665640564039457584007913129639935,
    "delta": -128,
    "ok": true,
    "tag": "0x01020304",
    "blob": "0x",
    "pair": [
      1,
      "65535"
    ],
    "people": [],
    "grid": [
      [
        1,
        2
      ],
      []
    ]
  }
})");
    // Hostile texts stay JSON strings: quotes, newlines and markup escaped, not interpreted.
    json hostile = permit();
    hostile["message"]["owner"]["name"] = "<b>\"x\"\n</b>";
    const auto parsed = typedDataFromJSON(hostile);
    ASSERT_TRUE(parsed);
    EXPECT_NE(typedDataText(*parsed).find(R"("name": "<b>\"x\"\n</b>")"), std::string::npos);
}

} // namespace
} // namespace qm
