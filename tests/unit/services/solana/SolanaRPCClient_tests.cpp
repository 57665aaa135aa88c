#include "HttpFixture.h"
#include "RunTask.h"
#include "services/solana/SolanaRPCClient.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using qm::SolanaRPCClient;
using qm::SolanaRPCError;
using qm::test::HttpFixture;
using qm::test::HttpFixtureResponse;
using qm::test::runTask;
using json = nlohmann::json;

namespace {

json requestBody(const HttpFixture& server, std::size_t index) {
    const auto& body = server.requests().at(index).body;
    return json::parse(body.begin(), body.end());
}

template <typename T> SolanaRPCError failure(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
    } catch (const SolanaRPCError& error) {
        return error;
    }
    ADD_FAILURE() << "the request did not fail";
    return SolanaRPCError::invalidURL();
}

} // namespace

// Token accounts, send options and the signature limit are also checked against litesvm by the
// Solana peer check (tests/peers/solana_peer.mjs).
TEST(SolanaRPCClient, SendsEachMethodWithItsExactParamsAndCountsIds) {
    HttpFixture server;
    server.enqueue(HttpFixtureResponse::jsonRPCResult(
        {{"context", {{"slot", 1}}}, {"value", 18446744073709551615ULL}}));
    server.enqueue(HttpFixtureResponse::jsonRPCResult(
        {{"value",
          {{"blockhash", "EkSnNWid2cvwEVnVx9aBqawnmiCNiDgp3gUdkDPTKN1N"},
           {"lastValidBlockHeight", 3090}}}}));
    server.enqueue(HttpFixtureResponse::jsonRPCResult("5sig"));
    // The least a token account may hold: no lamports, no program, no uiAmount.
    server.enqueue(HttpFixtureResponse::jsonRPCResult(json::parse(
        R"({"value":[{"pubkey":"Acc2","account":{"data":{"parsed":{"info":{"mint":"MintZ",
            "tokenAmount":{"amount":"0","decimals":9,"uiAmount":null}}}}}}]})")));
    server.enqueue(HttpFixtureResponse::jsonRPCResult(json::parse(R"([
        {"signature":"s1","slot":10,"blockTime":1714566896,"err":null,"memo":null},
        {"signature":"s2","slot":11,"err":{"InstructionError":[0,{"Custom":1}]},"memo":"hi"}])")));
    SolanaRPCClient client(server.url("/rpc/path"));

    EXPECT_EQ(runTask(client.getBalance("Addr")), 18446744073709551615ULL);
    const auto blockhash = runTask(client.getLatestBlockhash());
    EXPECT_EQ(blockhash.blockhash, "EkSnNWid2cvwEVnVx9aBqawnmiCNiDgp3gUdkDPTKN1N");
    EXPECT_EQ(blockhash.lastValidBlockHeight, 3090u);
    EXPECT_EQ(runTask(client.sendTransaction("AQID")), "5sig");
    const auto accounts = runTask(client.getTokenAccountsByOwner("Own"));
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].amount, "0"); // zero balances are the caller's to drop
    EXPECT_FALSE(accounts[0].uiAmount);
    const auto signatures = runTask(client.getSignaturesForAddress("Addr", 20));
    ASSERT_EQ(signatures.size(), 2u);
    EXPECT_EQ(signatures[0].signature, "s1");
    EXPECT_EQ(signatures[0].slot, 10u);
    EXPECT_EQ(signatures[0].blockTime, 1714566896);
    EXPECT_FALSE(signatures[0].err);
    EXPECT_FALSE(signatures[0].memo);
    EXPECT_EQ(signatures[1].err, json::parse(R"({"InstructionError":[0,{"Custom":1}]})"));
    EXPECT_EQ(signatures[1].memo, "hi");
    EXPECT_FALSE(signatures[1].blockTime);

    const json confirmed = {{"commitment", "confirmed"}};
    const std::vector<std::pair<std::string, json>> expected = {
        {"getBalance", json::array({"Addr", confirmed})},
        {"getLatestBlockhash", json::array({confirmed})},
        {"sendTransaction", json::parse(R"(["AQID",{"encoding":"base64","skipPreflight":false,
                                           "preflightCommitment":"confirmed"}])")},
        {"getTokenAccountsByOwner",
         json::parse(R"(["Own",{"programId":"TokenkegQfeZyiNwAJbNbGKPFXCWuBvf9Ss623VQ5DA"},
                         {"encoding":"jsonParsed","commitment":"confirmed"}])")},
        {"getSignaturesForAddress",
         json::parse(R"(["Addr",{"limit":20,"commitment":"confirmed"}])")},
    };
    ASSERT_EQ(server.requests().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(server.requests()[i].method, "POST");
        EXPECT_EQ(server.requests()[i].target, "/rpc/path");
        EXPECT_EQ(server.requests()[i].header("content-type"), "application/json");
        const json body = requestBody(server, i);
        EXPECT_TRUE(body["id"].is_number_integer());
        EXPECT_EQ(body, (json{{"jsonrpc", "2.0"},
                              {"id", i + 1},
                              {"method", expected[i].first},
                              {"params", expected[i].second}}));
    }
}

TEST(SolanaRPCClient, FailurePaths) {
    HttpFixture server;
    SolanaRPCClient client(server.url());
    const auto balanceFailure = [&](const QByteArray& body, int status = 200) {
        server.enqueue(HttpFixtureResponse::json(body, status));
        return failure(client.getBalance("A"));
    };
    const auto decodingError = SolanaRPCError::Kind::decodingError;

    // A status other than 200 wins over the JSON-RPC error in its body.
    auto error =
        balanceFailure(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32005,"message":"busy"}})", 500);
    EXPECT_EQ(error.kind(), SolanaRPCError::Kind::httpError);
    EXPECT_STREQ(error.what(), "SolanaRPCClient: HTTP error 500");
    // An error object wins over a result beside it.
    EXPECT_STREQ(
        balanceFailure(
            R"({"jsonrpc":"2.0","id":2,"result":{"value":5},"error":{"code":-32602,"message":"bad"}})")
            .what(),
        "SolanaRPCClient: RPC error -32602: bad");
    EXPECT_STREQ(balanceFailure(R"({"jsonrpc":"2.0","id":3,"result":null})").what(),
                 "SolanaRPCClient: response contained no result");
    EXPECT_EQ(std::string(balanceFailure("<html>gateway</html>").what()),
              "SolanaRPCClient: decoding error \u2014 The data couldn\u2019t be read because it "
              "isn\u2019t in the correct format. \u2014 body: <html>gateway</html>");
    EXPECT_EQ(balanceFailure(R"({"id":4,"result":{"value":5}})").kind(), decodingError);
    EXPECT_NE(std::string(balanceFailure("{\"jsonrpc\":\"2.0\",\"id\":1,\"x\":\"\xff\"}").what())
                  .find("body: <non-UTF8>"),
              std::string::npos);
    // Numbers out of kind or range are refused, never wrapped.
    for (const char* result : {R"({"value":-1})", R"({"value":18446744073709551616})"}) {
        EXPECT_EQ(balanceFailure(QByteArray(R"({"jsonrpc":"2.0","id":1,"result":)") + result + "}")
                      .kind(),
                  decodingError)
            << result;
    }
    server.enqueue(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"result":{"value":[{"pubkey":"P","account":{"data":{"parsed":{"info":
           {"mint":"M","tokenAmount":{"amount":"1","decimals":256}}}}}}]}})"));
    EXPECT_EQ(failure(client.getTokenAccountsByOwner("O")).kind(), decodingError);
    // Base64-encoded account data (no "parsed") is not a shape the wallet reads.
    server.enqueue(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"result":{"value":[{"pubkey":"P","account":{"data":["AA==","base64"]}}]}})"));
    EXPECT_EQ(failure(client.getTokenAccountsByOwner("O")).kind(), decodingError);

    // A result of the wrong shape is a decoding error even beside an error object.
    server.enqueue(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"result":7,"error":{"code":1,"message":"m"}})"));
    EXPECT_EQ(failure(client.sendTransaction("x")).kind(), decodingError);

    // The node's preflight refusal reaches the caller with its code and message.
    server.enqueue(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"error":{"code":-32002,"message":"Transaction simulation failed: Blockhash not found","data":{}}})"));
    error = failure(client.sendTransaction("x"));
    EXPECT_EQ(error.code(), -32002);
    EXPECT_EQ(error.detail(), "Transaction simulation failed: Blockhash not found");
}

// Time-outs and their kinds are HttpSession's; the client lets them through unchanged.
TEST(SolanaRPCClient, TransportFailuresPassThrough) {
    HttpFixture server;
    QUrl closed = server.url();
    closed.setPort(1); // nothing listens on a privileged loopback port here
    SolanaRPCClient refused(closed);
    EXPECT_THROW(runTask(refused.getBalance("A")), qm::HttpTransportError);
}
