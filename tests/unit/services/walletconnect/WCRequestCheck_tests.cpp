// What the wallet would sign for a request, and every request it refuses rather than sign
// something else than asked.
#include "core/encoding/Hex.h"
#include "services/walletconnect/WCRequestCheck.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using Kind = WCPreparedRequest::Kind;

const std::string kAccount = "0x9858EfFD232B4033E47d90003D41EC34EcaEda94";
const std::string kOther = "0x1111111111111111111111111111111111111111";

WCSessionRequest request(const std::string& method, std::vector<json> params,
                         const std::string& chain = "eip155:1") {
    WCSessionRequest out;
    out.id = 1;
    out.sessionTopic = "t";
    out.chainId = chain;
    out.method = method;
    out.params = std::move(params);
    return out;
}

std::optional<WCProtocolError> refusal(const WCSessionRequest& r) {
    const auto prepared = prepareRequest(r, kAccount);
    if (const auto* error = std::get_if<WCProtocolError>(&prepared)) {
        return *error;
    }
    return std::nullopt;
}

WCPreparedRequest prepared(const WCSessionRequest& r) {
    auto out = prepareRequest(r, kAccount);
    EXPECT_TRUE(std::holds_alternative<WCPreparedRequest>(out))
        << std::get<WCProtocolError>(out).message;
    return std::get<WCPreparedRequest>(std::move(out));
}

const std::string kTyped = R"({"types": {
    "EIP712Domain": [{"name": "name", "type": "string"}, {"name": "chainId", "type": "uint256"}],
    "Permit": [{"name": "value", "type": "uint256"}]},
  "primaryType": "Permit", "domain": {"name": "T", "chainId": 137},
  "message": {"value": 115792089237316195423570985008687907853269984665640564039457584007913129639935}})";

TEST(WCRequestCheck, OnlyTheServedChainsAndTheSessionsAccount) {
    EXPECT_EQ(refusal(request("personal_sign", {"0x68"}, "eip155:10")),
              WCProtocolError::unsupportedChains());
    EXPECT_EQ(refusal(request("eth_sign", {kAccount, "0x68"}, "eip155:5")),
              WCProtocolError::unsupportedChains());
    EXPECT_EQ(refusal(request("personal_sign", {"0x68"}, "solana:1")),
              WCProtocolError::unsupportedChains());
    EXPECT_EQ(prepared(request("personal_sign", {"0x68"}, "eip155:137")).chain, Chain::polygon);
    EXPECT_EQ(prepared(request("personal_sign", {"0x68"}, "eip155:42161")).chain, Chain::arbitrum);

    // The address of every method must be the session's (letter case aside).
    EXPECT_EQ(refusal(request("personal_sign", {"0x68", kOther})),
              WCProtocolError::unsupportedAccounts());
    EXPECT_EQ(refusal(request("personal_sign", {"0x68", 5})),
              WCProtocolError::unsupportedAccounts());
    EXPECT_FALSE(
        refusal(request("personal_sign", {"0x68", "0x9858effd232b4033e47d90003d41ec34ecaeda94"})));
    EXPECT_EQ(refusal(request("eth_signTypedData_v4", {kOther, kTyped}, "eip155:137")),
              WCProtocolError::unsupportedAccounts());
    EXPECT_EQ(refusal(request("eth_signTypedData", {kTyped}, "eip155:137")),
              WCProtocolError::unsupportedAccounts());
    EXPECT_EQ(refusal(request("eth_sendTransaction", {json{{"from", kOther}, {"to", kOther}}})),
              WCProtocolError::unsupportedAccounts());
    // Without "from" the transaction comes from the session's account.
    EXPECT_FALSE(refusal(request("eth_signTransaction", {json{{"to", kOther}}})));

    WCSession session;
    session.approvedAccounts = {"eip155:1:0xA", "eip155:137:0xB"};
    EXPECT_EQ(sessionAccount(session, Chain::polygon), "0xB");
    EXPECT_FALSE(sessionAccount(session, Chain::arbitrum));
}

TEST(WCRequestCheck, MessagesAreBytesOnlyWhenWrittenAsHex) {
    EXPECT_EQ(prepared(request("personal_sign", {"0x68656c6c6f", kAccount})).message,
              *hexToBytes("68656c6c6f"));
    // Hex digits without "0x" are text, signed as their characters.
    EXPECT_EQ(prepared(request("personal_sign", {"deadbeef"})).message,
              Bytes({'d', 'e', 'a', 'd', 'b', 'e', 'e', 'f'}));
    EXPECT_EQ(prepared(request("personal_sign", {"0xzz"})).message, Bytes({'0', 'x', 'z', 'z'}));
    EXPECT_EQ(prepared(request("personal_sign", {""})).message, Bytes());
    EXPECT_EQ(refusal(request("personal_sign", {})),
              WCProtocolError::invalidParams("personal_sign needs the message text"));
    EXPECT_EQ(refusal(request("personal_sign", {json::object()}))->code, -32602);

    EXPECT_EQ(requestSummary(prepared(request("personal_sign", {"0x68656c6c6f"}))), "hello");
    const std::string hash = "0x" + std::string(64, 'f');
    EXPECT_EQ(requestSummary(prepared(request("personal_sign", {hash}))), hash);
    EXPECT_EQ(requestSummary(prepared(request("personal_sign", {"<b>plain</b>"}))), "<b>plain</b>");
}

TEST(WCRequestCheck, TypedDataMustBeCompleteTextForTheRequestsChain) {
    const auto typed = prepared(request("eth_signTypedData_v4", {kAccount, kTyped}, "eip155:137"));
    EXPECT_EQ(typed.kind, Kind::typedData);
    ASSERT_TRUE(typed.typedData);
    const std::string summary = requestSummary(typed);
    EXPECT_TRUE(summary.starts_with("{\n  \"domain\": {")) << summary;
    EXPECT_NE(summary.find("115792089237316195423570985008687907853269984665640564039457584007913"
                           "129639935"),
              std::string::npos);
    EXPECT_EQ(prepared(request("eth_signTypedData", {kAccount, kTyped}, "eip155:137")).kind,
              Kind::typedData);

    EXPECT_EQ(refusal(request("eth_signTypedData_v4", {kAccount, kTyped}, "eip155:1")),
              WCProtocolError::invalidParams("the domain's chainId is not the request's chain 1"));
    EXPECT_EQ(
        refusal(request("eth_signTypedData_v4", {kAccount, json::parse(kTyped)}, "eip155:137")),
        WCProtocolError::invalidParams("The typed data must be a JSON text"));
    EXPECT_EQ(refusal(request("eth_signTypedData_v4", {kAccount, "{}"}, "eip155:137")),
              WCProtocolError::invalidParams("Invalid typed data"));
    json incomplete = json::parse(kTyped);
    incomplete["message"] = json::object();
    EXPECT_EQ(refusal(request("eth_signTypedData_v4", {kAccount, incomplete.dump()}, "eip155:137")),
              WCProtocolError::invalidParams("missing value for message.value"));
}

TEST(WCRequestCheck, TransactionsAreReadExactlyOrRefused) {
    const json transaction = {{"from", kAccount},
                              {"to", "0x2222222222222222222222222222222222222222"},
                              {"value", "0x14d1120d7b160000"}, // 1.5e18
                              {"data", "0xa9059cbb"},
                              {"nonce", "0x7"},
                              {"gas", "0x5208"},
                              {"chainId", "0x89"}};
    const auto send = prepared(request("eth_sendTransaction", {transaction}, "eip155:137"));
    EXPECT_EQ(send.kind, Kind::sendTransaction);
    EXPECT_EQ(send.transaction.to, Bytes(20, 0x22));
    EXPECT_EQ(send.transaction.value, *UInt256::fromHex("0x14d1120d7b160000"));
    EXPECT_EQ(send.transaction.data, Bytes({0xa9, 0x05, 0x9c, 0xbb}));
    EXPECT_EQ(send.transaction.nonce, 7u);
    EXPECT_EQ(send.transaction.gasLimit, 21000u);
    // The dApp's own fees per gas are read (only to hold them to the bounds), when they are
    // quantities.
    EXPECT_EQ(send.transaction.gasPrice, std::nullopt);
    json priced = transaction;
    priced["gasPrice"] = "0x3b9aca00";
    priced["maxFeePerGas"] = "0x" + std::string(64, 'f');
    priced["maxPriorityFeePerGas"] = "lots";
    const auto pricedSend = prepared(request("eth_sendTransaction", {priced}, "eip155:137"));
    EXPECT_EQ(pricedSend.transaction.gasPrice, UInt256(0, 0, 0, 1'000'000'000));
    EXPECT_EQ(pricedSend.transaction.maxFeePerGas, UInt256::max());
    EXPECT_EQ(pricedSend.transaction.maxPriorityFeePerGas, std::nullopt);
    EXPECT_EQ(requestSummary(send), "Send 1.5 POL to 0x222222...222222");
    // "input" stands for "data"; "gasLimit" for "gas"; a "gas" that does not parse is estimated.
    json other = transaction;
    other.erase("data");
    other.erase("chainId");
    other["input"] = "0x01";
    other["gas"] = "lots";
    other["gasLimit"] = "0x5208";
    const auto sign = prepared(request("eth_signTransaction", {other}));
    EXPECT_EQ(sign.kind, Kind::signTransaction);
    EXPECT_EQ(sign.transaction.data, Bytes({1}));
    EXPECT_EQ(sign.transaction.gasLimit, std::nullopt);
    EXPECT_EQ(requestSummary(sign), "Send 1.5 ETH to 0x222222...222222");

    // Amounts beyond 64 bits are exact; no value is a contract call; short recipients whole.
    json big = transaction;
    big["value"] = "0x33b2e3c9fd0803ce8000001"; // 10^27 wei and 1
    big["to"] = kOther;
    EXPECT_EQ(requestSummary(prepared(request("eth_sendTransaction", {big}, "eip155:137"))),
              "Send 1000000000.000000000000000001 POL to 0x111111...111111");
    json call = transaction;
    call.erase("value");
    EXPECT_EQ(requestSummary(prepared(request("eth_sendTransaction", {call}, "eip155:137"))),
              "Contract call to 0x222222...222222");
    WCPreparedRequest shortRecipient = send;
    shortRecipient.transaction.toText = "0x1234567890abcd";
    EXPECT_EQ(requestSummary(shortRecipient), "Send 1.5 POL to 0x1234567890abcd");

    const auto refusedWith = [&](const char* key, json value) {
        json changed = transaction;
        if (value.is_null()) {
            changed.erase(key);
        } else {
            changed[key] = std::move(value);
        }
        return refusal(request("eth_sendTransaction", {changed}, "eip155:137"));
    };
    EXPECT_EQ(refusedWith("to", nullptr), WCProtocolError::invalidParams("Invalid 'to' address"));
    EXPECT_EQ(refusedWith("to", "0x1234"), WCProtocolError::invalidParams("Invalid 'to' address"));
    EXPECT_EQ(refusedWith("to", "2222222222222222222222222222222222222222"),
              WCProtocolError::invalidParams("Invalid 'to' address"));
    EXPECT_EQ(refusedWith("value", "100"), WCProtocolError::invalidParams("Invalid value"));
    EXPECT_EQ(refusedWith("value", 100), WCProtocolError::invalidParams("Invalid value"));
    EXPECT_EQ(refusedWith("value", "0x" + std::string(65, '1')),
              WCProtocolError::invalidParams("Invalid value"));
    EXPECT_EQ(refusedWith("data", "0xabc"), WCProtocolError::invalidParams("Invalid data"));
    EXPECT_EQ(refusedWith("data", "abcd"), WCProtocolError::invalidParams("Invalid data"));
    EXPECT_EQ(refusedWith("chainId", "0x1")->code, -32602);
    EXPECT_EQ(refusedWith("chainId", 137), std::nullopt);
    EXPECT_EQ(refusedWith("chainId", "0X89"), std::nullopt);
    // A chainId that does not parse is refused as one of another chain is: never read as
    // "no chainId".
    const std::optional<WCProtocolError> otherChain = refusedWith("chainId", "0x1");
    ASSERT_TRUE(otherChain);
    for (const json& odd : {json("0xzz"), json(""), json("0x"), json("137"), json("eip155:137"),
                            json(137.5), json(-137), json(true), json::object(), json::array({137}),
                            json("0x" + std::string(65, '1'))}) {
        EXPECT_EQ(refusedWith("chainId", odd), otherChain) << odd.dump();
    }
    EXPECT_EQ(refusal(request("eth_sendTransaction", {"0x"})),
              WCProtocolError::invalidParams("Invalid transaction params"));
    EXPECT_EQ(refusal(request("eth_signTransaction", {})),
              WCProtocolError::invalidParams("Invalid transaction params"));

    // A method the wallet does not serve is shown, not refused.
    const auto unknown = prepared(request("eth_sign", {kAccount, "0x68"}));
    EXPECT_EQ(unknown.kind, Kind::unsupported);
    EXPECT_EQ(requestSummary(unknown), "Unknown method: eth_sign");
}

} // namespace
} // namespace qm
