#include "HttpFixture.h"
#include "RunTask.h"
#include "services/evm/JSONRPCClient.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using qm::JSONRPCClient;
using qm::JSONRPCClientError;
using qm::test::HttpFixture;
using qm::test::HttpFixtureResponse;
using qm::test::runTask;
using Kind = JSONRPCClientError::Kind;
using json = nlohmann::json;

namespace {

constexpr const char* emDash = "\u2014";

HttpFixtureResponse reply(const std::string& body) {
    return HttpFixtureResponse::json(QByteArray::fromStdString(body));
}

HttpFixtureResponse result(const std::string& resultJSON) {
    return reply(R"({"jsonrpc":"2.0","id":1,"result":)" + resultJSON + "}");
}

template <typename T> JSONRPCClientError failure(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
    } catch (const JSONRPCClientError& error) {
        return error;
    }
    ADD_FAILURE() << "no JSONRPCClientError";
    return JSONRPCClientError::invalidURL();
}

json sentBody(const HttpFixture& server, std::size_t index) {
    return json::parse(server.requests().at(index).body.toStdString());
}

QCoro::Task<std::string> callText(JSONRPCClient& client) {
    return client.call<std::string>("eth_chainId", json::array());
}

} // namespace

TEST(JSONRPCClient, RequestsCarryIncreasingIdsAndTheExactEnvelope) {
    HttpFixture server;
    server.enqueue(result(R"("0x1")"));
    server.enqueue(result(R"("0x2")"));
    JSONRPCClient client(server.url("/rpc"));
    EXPECT_EQ(runTask(client.call<std::string>("eth_chainId", json::array())), "0x1");
    EXPECT_EQ(runTask(client.call<std::string>("web3_x", json::array({"a", true, nullptr}))),
              "0x2");

    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0].method, "POST");
    EXPECT_EQ(server.requests()[0].target, "/rpc");
    EXPECT_EQ(server.requests()[0].header("Content-Type"), "application/json");
    EXPECT_EQ(sentBody(server, 0),
              json::parse(R"({"jsonrpc":"2.0","method":"eth_chainId","params":[],"id":1})"));
    EXPECT_EQ(sentBody(server, 1), json::parse(R"({"jsonrpc":"2.0","method":"web3_x",
                                                  "params":["a",true,null],"id":2})"));
}

TEST(JSONRPCClient, AnyStatusButExactly200IsAnHttpError) {
    HttpFixture server;
    JSONRPCClient client(server.url());
    for (int status : {204, 500}) {
        server.enqueue(
            HttpFixtureResponse::json(R"({"jsonrpc":"2.0","id":1,"result":"0x1"})", status));
        const auto error = failure(callText(client));
        EXPECT_EQ(error.kind(), Kind::httpError);
        EXPECT_EQ(error.httpStatus(), status);
        EXPECT_EQ(std::string(error.what()), "JSONRPCClient: HTTP error " + std::to_string(status));
    }
    // A failed request still used its identifier.
    server.enqueue(result(R"("0x3")"));
    EXPECT_EQ(runTask(callText(client)), "0x3");
    EXPECT_EQ(sentBody(server, 2)["id"], 3);
}

TEST(JSONRPCClient, RepliesThatDoNotDecode) {
    HttpFixture server;
    JSONRPCClient client(server.url());
    const std::string decoding = std::string("JSONRPCClient: decoding error ") + emDash + " ";
    for (const std::string body : {R"({"jsonrpc":"2.0","id":1,"result":17})", "not json at all"}) {
        server.enqueue(reply(body));
        const auto error = failure(callText(client));
        EXPECT_EQ(error.kind(), Kind::decodingError) << body;
        const std::string text = error.what();
        EXPECT_TRUE(text.starts_with(decoding)) << text;
        EXPECT_TRUE(text.ends_with(std::string(" ") + emDash + " body: " + body)) << text;
    }
    const std::string missingID = R"({"jsonrpc":"2.0","result":"0x1"})";
    server.enqueue(reply(missingID));
    EXPECT_EQ(std::string(failure(callText(client)).what()),
              decoding + "The data couldn\u2019t be read because it is missing. " + emDash +
                  " body: " + missingID);
    // A body that is not UTF-8 is named, not copied.
    HttpFixtureResponse binary;
    binary.body = QByteArray("{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":\"\xff\xfe\"}");
    server.enqueue(binary);
    EXPECT_TRUE(std::string(failure(callText(client)).what())
                    .ends_with(std::string(emDash) + " body: <non-UTF8>"));
    // The version text and the id are not checked further.
    server.enqueue(reply(R"({"jsonrpc":"1.0","id":99,"result":"0xab"})"));
    EXPECT_EQ(runTask(callText(client)), "0xab");
}

TEST(JSONRPCClient, ErrorObjectsWinAndMissingResultsFail) {
    HttpFixture server;
    JSONRPCClient client(server.url());

    server.enqueue(reply(R"({"jsonrpc":"2.0","id":1,"result":"0x1",
                             "error":{"code":-32000,"message":"nonce too low"}})"));
    auto error = failure(callText(client));
    EXPECT_EQ(error.kind(), Kind::rpcError);
    ASSERT_TRUE(error.rpc());
    EXPECT_EQ(error.rpc()->code, -32000);
    EXPECT_EQ(error.rpc()->message, "nonce too low");
    EXPECT_STREQ(error.what(), "JSONRPCClient: JSON-RPC error -32000: nonce too low");

    for (const char* body : {R"({"jsonrpc":"2.0","id":1})",
                             R"({"jsonrpc":"2.0","id":1,"result":null,"error":null})"}) {
        server.enqueue(reply(body));
        error = failure(callText(client));
        EXPECT_EQ(error.kind(), Kind::noResult) << body;
        EXPECT_STREQ(error.what(), "JSONRPCClient: response contained no result");
    }
}

// The requests each wrapper sends are answered by a real node in JSONRPCClientAnvil_tests.
TEST(JSONRPCClient, TypedWrappersConvertOrNameTheResult) {
    HttpFixture server;
    JSONRPCClient client(server.url());
    const auto failureText = [](auto task) { return std::string(failure(std::move(task)).what()); };
    const std::string cannot =
        std::string("JSONRPCClient: decoding error ") + emDash + " Cannot parse ";

    // A block from before London has no base fee.
    server.enqueue(result(R"({"number":"0x10","baseFeePerGas":null,"hash":"0xab"})"));
    const auto block = runTask(client.call<qm::ETHBlock>("eth_getBlockByNumber", json::array()));
    EXPECT_EQ(block.number, "0x10");
    EXPECT_FALSE(block.baseFeePerGas);
    EXPECT_FALSE(block.timestamp);

    server.enqueue(result(R"("0x")"));
    EXPECT_EQ(runTask(client.getBalance("0xabc")), qm::UInt256());
    server.enqueue(result(R"("0x1g")"));
    const auto error = failure(client.getBalance("0xabc"));
    EXPECT_EQ(error.kind(), Kind::decodingError);
    EXPECT_EQ(std::string(error.what()), cannot + "balance: 0x1g");
    server.enqueue(result(R"("0x10000000000000000")"));
    EXPECT_EQ(failureText(client.getTransactionCount("0xabc")),
              cannot + "nonce: 0x10000000000000000");
    server.enqueue(result(R"("0x3b9aca00")"));
    EXPECT_EQ(runTask(client.gasPrice()), qm::UInt256(0, 0, 0, 1'000'000'000));
    server.enqueue(result(R"("0xz")"));
    EXPECT_EQ(failureText(client.gasPrice()), cannot + "gas price: 0xz");
    // Absent fields are left out of the estimate's call object.
    server.enqueue(result(R"("")"));
    EXPECT_EQ(failureText(client.estimateGas(std::nullopt, "0xto", std::nullopt, std::nullopt)),
              cannot + "gas estimate: ");
    EXPECT_EQ(sentBody(server, server.requests().size() - 1)["params"],
              json::parse(R"([{"to":"0xto"}])"));
}

TEST(JSONRPCClient, TransportFailuresPassThroughUnchanged) {
    HttpFixture server;
    JSONRPCClient client(server.url(), qm::HttpTimeouts{200ms, 60s});
    server.enqueue(HttpFixtureResponse::stalling());
    try {
        runTask(callText(client));
        ADD_FAILURE() << "a stalled request returned";
    } catch (const qm::HttpTransportError& error) {
        EXPECT_EQ(error.kind(), qm::HttpTransportError::Kind::timedOut);
    }
    // The client is unharmed and carries on with the next identifier.
    server.enqueue(result(R"("0x2")"));
    EXPECT_EQ(runTask(callText(client)), "0x2");
    EXPECT_EQ(sentBody(server, 1)["id"], 2);
}

TEST(JSONRPCClient, ConcurrentRequestsGetTheirOwnReplies) {
    HttpFixture server;
    // Echo the request's id back as the result, so each awaiter can check it got its own.
    server.setHandler([](const qm::test::HttpFixtureRequest& request) {
        const auto id = json::parse(request.body.toStdString())["id"].get<int>();
        return result("\"" + std::to_string(id) + "\"");
    });
    JSONRPCClient client(server.url());
    auto first = callText(client);
    auto second = callText(client);
    auto third = callText(client);
    EXPECT_EQ(runTask(std::move(third)), "3");
    EXPECT_EQ(runTask(std::move(first)), "1");
    EXPECT_EQ(runTask(std::move(second)), "2");
}
