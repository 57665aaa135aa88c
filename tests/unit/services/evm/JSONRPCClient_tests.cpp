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
    EXPECT_EQ(sentBody(server, 0).size(), 4u);
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
    const std::string missingID = R"({"jsonrpc":"2.0","result":"0x1"})";
    const std::vector<std::string> bodies = {
        missingID,
        R"({"jsonrpc":2,"id":1,"result":"0x1"})",       // "jsonrpc" not a text
        R"({"jsonrpc":"2.0","id":"1","result":"0x1"})", // "id" not an integer
        R"({"jsonrpc":"2.0","id":1,"result":17})",      // result of another type
        R"({"jsonrpc":"2.0","id":1,"error":{"code":"x","message":"m"}})",
        R"(["not","an","object"])",
        "not json at all",
    };
    for (const auto& body : bodies) {
        server.enqueue(reply(body));
        const auto error = failure(callText(client));
        EXPECT_EQ(error.kind(), Kind::decodingError) << body;
        const std::string text = error.what();
        EXPECT_TRUE(text.starts_with(std::string("JSONRPCClient: decoding error ") + emDash + " "))
            << text;
        EXPECT_TRUE(text.ends_with(std::string(" ") + emDash + " body: " + body)) << text;
    }
    server.enqueue(reply(missingID));
    EXPECT_EQ(std::string(failure(callText(client)).what()),
              std::string("JSONRPCClient: decoding error ") + emDash +
                  " The data couldn\u2019t be read because it is missing. " + emDash +
                  " body: " + missingID);
    // The version text and the id are not checked further.
    server.enqueue(reply(R"({"jsonrpc":"1.0","id":99,"result":"0xab"})"));
    EXPECT_EQ(runTask(callText(client)), "0xab");
}

TEST(JSONRPCClient, NonUTF8BodiesAreNamedNotCopied) {
    HttpFixture server;
    JSONRPCClient client(server.url());
    HttpFixtureResponse binary;
    binary.body = QByteArray("{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":\"\xff\xfe\"}");
    server.enqueue(binary);
    const auto error = failure(callText(client));
    EXPECT_EQ(error.kind(), Kind::decodingError);
    EXPECT_TRUE(std::string(error.what()).ends_with(std::string(emDash) + " body: <non-UTF8>"));
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

    server.enqueue(reply(R"({"jsonrpc":"2.0","id":1,"error":{"code":3,"message":"reverted"}})"));
    EXPECT_EQ(failure(callText(client)).kind(), Kind::rpcError);

    for (const char* body : {R"({"jsonrpc":"2.0","id":1})",
                             R"({"jsonrpc":"2.0","id":1,"result":null,"error":null})"}) {
        server.enqueue(reply(body));
        error = failure(callText(client));
        EXPECT_EQ(error.kind(), Kind::noResult) << body;
        EXPECT_STREQ(error.what(), "JSONRPCClient: response contained no result");
    }
}

TEST(JSONRPCClient, StructuredResults) {
    HttpFixture server;
    JSONRPCClient client(server.url());
    server.enqueue(result(R"({"number":"0x10","baseFeePerGas":null,"hash":"0xab",
                              "transactions":[]})"));
    const auto block = runTask(client.call<qm::ETHBlock>("eth_getBlockByNumber", json::array()));
    EXPECT_EQ(block.number, "0x10");
    EXPECT_FALSE(block.baseFeePerGas);
    EXPECT_FALSE(block.timestamp);

    server.enqueue(result(R"([{"address":"0xAb","topics":["0x1","0x2"],"data":"0x",
                               "blockNumber":"0x5","logIndex":"0x0","removed":false},{}])"));
    const auto logs = runTask(client.call<std::vector<qm::ETHLog>>("eth_getLogs", json::array()));
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(logs[0].address, "0xAb");
    EXPECT_EQ(logs[0].topics, (std::vector<std::string>{"0x1", "0x2"}));
    EXPECT_FALSE(logs[0].transactionHash);
    EXPECT_FALSE(logs[1].address);

    server.enqueue(result(R"([{"topics":[null]}])"));
    EXPECT_EQ(failure(client.call<std::vector<qm::ETHLog>>("eth_getLogs", json::array())).kind(),
              Kind::decodingError);
}

TEST(JSONRPCClient, TypedWrappersConvertOrNameTheResult) {
    HttpFixture server;
    JSONRPCClient client(server.url());

    server.enqueue(result(R"("0x")"));
    EXPECT_EQ(runTask(client.getBalance("0xabc")), qm::UInt256());
    server.enqueue(result(R"("0x1g")"));
    auto error = failure(client.getBalance("0xabc"));
    EXPECT_EQ(error.kind(), Kind::decodingError);
    EXPECT_EQ(std::string(error.what()), std::string("JSONRPCClient: decoding error ") + emDash +
                                             " Cannot parse balance: 0x1g");
    EXPECT_EQ(sentBody(server, 0)["params"], json::parse(R"(["0xabc","latest"])"));

    // The nonce counts the node's pending transactions.
    server.enqueue(result(R"("0x1f")"));
    EXPECT_EQ(runTask(client.getTransactionCount("0xabc")), 31u);
    EXPECT_EQ(sentBody(server, 2)["method"], "eth_getTransactionCount");
    EXPECT_EQ(sentBody(server, 2)["params"], json::parse(R"(["0xabc","pending"])"));
    for (const char* bad : {"0x", "0x10000000000000000", " 0x1"}) {
        server.enqueue(result(json(bad).dump()));
        error = failure(client.getTransactionCount("0xabc"));
        EXPECT_EQ(std::string(error.what()), std::string("JSONRPCClient: decoding error ") +
                                                 emDash + " Cannot parse nonce: " + bad);
    }

    server.enqueue(result(R"("0x3b9aca00")"));
    EXPECT_EQ(runTask(client.gasPrice()), qm::UInt256(0, 0, 0, 1'000'000'000));
    server.enqueue(result(R"("0xz")"));
    EXPECT_TRUE(
        std::string(failure(client.gasPrice()).what()).ends_with("Cannot parse gas price: 0xz"));

    const std::size_t before = server.requests().size();
    server.enqueue(result(R"("0x5208")"));
    EXPECT_EQ(runTask(client.estimateGas(std::nullopt, "0xto", std::nullopt, std::nullopt)),
              21000u);
    EXPECT_EQ(sentBody(server, before)["params"], json::parse(R"([{"to":"0xto"}])"));
    server.enqueue(result(R"("0x5208")"));
    runTask(client.estimateGas("0xfrom", "0xto", "0x1", "0xdead"));
    EXPECT_EQ(sentBody(server, before + 1)["params"],
              json::parse(R"([{"from":"0xfrom","to":"0xto","value":"0x1","data":"0xdead"}])"));
    server.enqueue(result(R"("")"));
    EXPECT_TRUE(
        std::string(
            failure(client.estimateGas(std::nullopt, "0xto", std::nullopt, std::nullopt)).what())
            .ends_with("Cannot parse gas estimate: "));

    server.enqueue(result(R"("0xCAFE")"));
    EXPECT_EQ(runTask(client.ethCall("0xc0", "0x06fdde03")), "0xCAFE");
    EXPECT_EQ(sentBody(server, server.requests().size() - 1)["params"],
              json::parse(R"([{"to":"0xc0","data":"0x06fdde03"},"latest"])"));
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
