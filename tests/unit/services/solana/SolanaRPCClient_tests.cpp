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

const char* const tokenAccounts = R"({"jsonrpc":"2.0","id":3,"result":{"context":{"slot":9},
  "value":[
   {"pubkey":"Acc1","account":{"lamports":2039280,"data":{"program":"spl-token","parsed":{"type":"account",
     "info":{"mint":"EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v","owner":"Own","state":"initialized",
       "tokenAmount":{"amount":"1500000","decimals":6,"uiAmount":1.5,"uiAmountString":"1.5"}}},"space":165}}},
   {"pubkey":"Acc2","account":{"data":{"parsed":{"info":{"mint":"MintZ",
       "tokenAmount":{"amount":"0","decimals":9,"uiAmount":null}}}}}}]}})";

} // namespace

TEST(SolanaRPCClient, SendsEachMethodWithItsExactParamsAndCountsIds) {
    HttpFixture server;
    server.enqueue(HttpFixtureResponse::jsonRPCResult(
        {{"context", {{"slot", 1}}}, {"value", 18446744073709551615ULL}}));
    server.enqueue(HttpFixtureResponse::jsonRPCResult(
        {{"value",
          {{"blockhash", "EkSnNWid2cvwEVnVx9aBqawnmiCNiDgp3gUdkDPTKN1N"},
           {"lastValidBlockHeight", 3090}}}}));
    server.enqueue(HttpFixtureResponse::jsonRPCResult("5sig"));
    server.enqueue(HttpFixtureResponse::json(tokenAccounts));
    server.enqueue(HttpFixtureResponse::jsonRPCResult(json::array()));
    SolanaRPCClient client(server.url("/rpc/path"));

    EXPECT_EQ(runTask(client.getBalance("Addr")), 18446744073709551615ULL);
    const auto blockhash = runTask(client.getLatestBlockhash());
    EXPECT_EQ(blockhash.blockhash, "EkSnNWid2cvwEVnVx9aBqawnmiCNiDgp3gUdkDPTKN1N");
    EXPECT_EQ(blockhash.lastValidBlockHeight, 3090u);
    EXPECT_EQ(runTask(client.sendTransaction("AQID")), "5sig");

    const auto accounts = runTask(client.getTokenAccountsByOwner("Own"));
    ASSERT_EQ(accounts.size(), 2u);
    EXPECT_EQ(accounts[0].pubkey, "Acc1");
    EXPECT_EQ(accounts[0].mint, "EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v");
    EXPECT_EQ(accounts[0].amount, "1500000");
    EXPECT_EQ(accounts[0].decimals, 6);
    EXPECT_EQ(accounts[0].uiAmount, 1.5);
    EXPECT_EQ(accounts[1].amount, "0"); // zero balances are the caller's to drop
    EXPECT_FALSE(accounts[1].uiAmount);
    EXPECT_TRUE(runTask(client.getSignaturesForAddress("Addr", 20)).empty());

    ASSERT_EQ(server.requests().size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(server.requests()[i].method, "POST");
        EXPECT_EQ(server.requests()[i].target, "/rpc/path");
        EXPECT_EQ(server.requests()[i].header("content-type"), "application/json");
        const json body = requestBody(server, i);
        EXPECT_EQ(body["jsonrpc"], "2.0");
        EXPECT_EQ(body["id"], i + 1);
        EXPECT_TRUE(body["id"].is_number_integer());
    }
    const json confirmed = {{"commitment", "confirmed"}};
    EXPECT_EQ(requestBody(server, 0)["method"], "getBalance");
    EXPECT_EQ(requestBody(server, 0)["params"], json::array({"Addr", confirmed}));
    EXPECT_EQ(requestBody(server, 1)["method"], "getLatestBlockhash");
    EXPECT_EQ(requestBody(server, 1)["params"], json::array({confirmed}));
    EXPECT_EQ(requestBody(server, 2)["method"], "sendTransaction");
    EXPECT_EQ(requestBody(server, 2)["params"],
              json::parse(R"(["AQID",{"encoding":"base64","skipPreflight":false,
                              "preflightCommitment":"confirmed"}])"));
    EXPECT_EQ(requestBody(server, 3)["method"], "getTokenAccountsByOwner");
    EXPECT_EQ(requestBody(server, 3)["params"],
              json::parse(R"(["Own",{"programId":"TokenkegQfeZyiNwAJbNbGKPFXCWuBvf9Ss623VQ5DA"},
                              {"encoding":"jsonParsed","commitment":"confirmed"}])"));
    EXPECT_EQ(requestBody(server, 4)["method"], "getSignaturesForAddress");
    EXPECT_EQ(requestBody(server, 4)["params"],
              json::parse(R"(["Addr",{"limit":20,"commitment":"confirmed"}])"));
}

TEST(SolanaRPCClient, ReadsSignatureListsWithOptionalFields) {
    HttpFixture server;
    server.enqueue(HttpFixtureResponse::json(R"({"jsonrpc":"2.0","id":1,"result":[
        {"signature":"s1","slot":10,"blockTime":1714566896,"err":null,"memo":null,"confirmationStatus":"finalized"},
        {"signature":"s2","slot":11,"err":{"InstructionError":[0,{"Custom":1}]},"memo":"hi"},
        {"signature":"s3","slot":12,"blockTime":null,"err":"AccountNotFound"}]})"));
    SolanaRPCClient client(server.url());
    const auto list = runTask(client.getSignaturesForAddress("A", 3));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].signature, "s1");
    EXPECT_EQ(list[0].blockTime, 1714566896);
    EXPECT_FALSE(list[0].err);
    EXPECT_FALSE(list[0].memo);
    ASSERT_TRUE(list[1].err);
    EXPECT_EQ(*list[1].err, json::parse(R"({"InstructionError":[0,{"Custom":1}]})"));
    EXPECT_EQ(list[1].memo, "hi");
    EXPECT_FALSE(list[1].blockTime);
    EXPECT_EQ(list[2].err, json("AccountNotFound"));
}

TEST(SolanaRPCClient, FailurePaths) {
    HttpFixture server;
    SolanaRPCClient client(server.url());

    // A status other than 200 wins over the JSON-RPC error in its body.
    server.enqueue(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"error":{"code":-32005,"message":"busy"}})", 500));
    auto error = failure(client.getBalance("A"));
    EXPECT_EQ(error.kind(), SolanaRPCError::Kind::httpError);
    EXPECT_STREQ(error.what(), "SolanaRPCClient: HTTP error 500");

    // An error object wins over a result beside it.
    server.enqueue(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":2,"result":{"value":5},"error":{"code":-32602,"message":"bad"}})"));
    error = failure(client.getBalance("A"));
    EXPECT_STREQ(error.what(), "SolanaRPCClient: RPC error -32602: bad");

    server.enqueue(HttpFixtureResponse::json(R"({"jsonrpc":"2.0","id":3,"result":null})"));
    EXPECT_STREQ(failure(client.getBalance("A")).what(),
                 "SolanaRPCClient: response contained no result");

    server.enqueue(HttpFixtureResponse::json("<html>gateway</html>"));
    EXPECT_EQ(std::string(failure(client.getBalance("A")).what()),
              "SolanaRPCClient: decoding error \u2014 The data couldn\u2019t be read because it "
              "isn\u2019t in the correct format. \u2014 body: <html>gateway</html>");

    server.enqueue(HttpFixtureResponse::json(R"({"id":4,"result":{"value":5}})"));
    EXPECT_EQ(failure(client.getBalance("A")).kind(), SolanaRPCError::Kind::decodingError);

    server.enqueue(
        HttpFixtureResponse::json(QByteArray("{\"jsonrpc\":\"2.0\",\"id\":1,\"x\":\"\xff\"}")));
    EXPECT_NE(std::string(failure(client.getBalance("A")).what()).find("body: <non-UTF8>"),
              std::string::npos);

    // Numbers out of kind or range are refused, never wrapped.
    for (const char* result : {R"({"value":-1})", R"({"value":1.5})", R"({"value":18446744073709551616})"}) {
        server.enqueue(HttpFixtureResponse::json(
            QByteArray(R"({"jsonrpc":"2.0","id":1,"result":)") + result + "}"));
        EXPECT_EQ(failure(client.getBalance("A")).kind(), SolanaRPCError::Kind::decodingError)
            << result;
    }
    server.enqueue(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"result":{"value":[{"pubkey":"P","account":{"data":{"parsed":{"info":
           {"mint":"M","tokenAmount":{"amount":"1","decimals":256}}}}}}]}})"));
    EXPECT_EQ(failure(client.getTokenAccountsByOwner("O")).kind(),
              SolanaRPCError::Kind::decodingError);
    // Base64-encoded account data (no "parsed") is not a shape the wallet reads.
    server.enqueue(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"result":{"value":[{"pubkey":"P","account":{"data":["AA==","base64"]}}]}})"));
    EXPECT_EQ(failure(client.getTokenAccountsByOwner("O")).kind(),
              SolanaRPCError::Kind::decodingError);

    // A result of the wrong shape is a decoding error even beside an error object.
    server.enqueue(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"result":7,"error":{"code":1,"message":"m"}})"));
    EXPECT_EQ(failure(client.sendTransaction("x")).kind(), SolanaRPCError::Kind::decodingError);

    // The node's preflight refusal reaches the caller with its code and message.
    server.enqueue(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"error":{"code":-32002,"message":"Transaction simulation failed: Blockhash not found","data":{}}})"));
    error = failure(client.sendTransaction("x"));
    EXPECT_EQ(error.code(), -32002);
    EXPECT_EQ(error.detail(), "Transaction simulation failed: Blockhash not found");
}

TEST(SolanaRPCClient, TransportFailuresPassThrough) {
    HttpFixture server;
    server.enqueue(HttpFixtureResponse::stalling());
    SolanaRPCClient client(server.url(), qm::HttpTimeouts{std::chrono::milliseconds(200),
                                                          std::chrono::milliseconds(400)});
    try {
        runTask(client.getLatestBlockhash());
        ADD_FAILURE() << "a stalled request returned";
    } catch (const qm::HttpTransportError& error) {
        EXPECT_EQ(error.kind(), qm::HttpTransportError::Kind::timedOut);
    }
    QUrl closed = server.url();
    closed.setPort(1); // nothing listens on a privileged loopback port here
    SolanaRPCClient refused(closed);
    EXPECT_THROW(runTask(refused.getBalance("A")), qm::HttpTransportError);
}
