// Real-node replies are in EVMAnvil_tests, concurrent calls in FullRefresh_tests; explorer
// field mapping, missing members, time stamps and a dropped connection in ExplorerRefresh_tests.
#include "HttpFixture.h"
#include "RunTask.h"
#include "services/evm/BlockExplorerClient.h"
#include "services/evm/InternetDateTime.h"
#include "services/evm/JSONRPCClient.h"
#include "services/solana/SolanaRPCClient.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace qm {
namespace {

using test::HttpFixture;
using test::HttpFixtureResponse;
using test::runTask;
using Kind = JSONRPCClientError::Kind;
using json = nlohmann::json;

const std::string emDash = "\u2014";

HttpFixtureResponse reply(const std::string& body, int status = 200) {
    return HttpFixtureResponse::json(QByteArray::fromStdString(body), status);
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

QCoro::Task<std::string> chainID(JSONRPCClient& client) {
    return client.call<std::string>("eth_chainId", json::array());
}

TEST(JSONRPCClient, FailedReplies) {
    const std::string decoding = "JSONRPCClient: decoding error " + emDash + " ";
    const std::string wrongType = R"({"jsonrpc":"2.0","id":1,"result":17})";
    const std::string missingID = R"({"jsonrpc":"2.0","result":"0x1"})";
    const std::string noResult = "JSONRPCClient: response contained no result";
    const struct {
        HttpFixtureResponse response;
        Kind kind;
        std::string start, end; // of the error text
    } rows[] = {
        {reply(R"({"jsonrpc":"2.0","id":1,"result":"0x1"})", 204), Kind::httpError,
         "JSONRPCClient: HTTP error 204", ""},
        // The body is named by its length, never copied: a server fills it.
        {reply(wrongType), Kind::decodingError, decoding, " " + emDash + " body of 36 bytes"},
        {reply("not json"), Kind::decodingError, decoding, " " + emDash + " body of 8 bytes"},
        {reply(missingID), Kind::decodingError,
         decoding + "The data couldn\u2019t be read because it is missing. " + emDash +
             " body of 32 bytes",
         ""},
        {reply("{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":\"\xff\xfe\"}"), Kind::decodingError,
         decoding, emDash + " body of 38 bytes"},
        // An error object wins over a result.
        {reply(R"({"jsonrpc":"2.0","id":1,"result":"0x1",
                   "error":{"code":-32000,"message":"nonce too low"}})"),
         Kind::rpcError, "JSONRPCClient: JSON-RPC error -32000: nonce too low", ""},
        {reply(R"({"jsonrpc":"2.0","id":1})"), Kind::noResult, noResult, ""},
        {reply(R"({"jsonrpc":"2.0","id":1,"result":null,"error":null})"), Kind::noResult, noResult,
         ""},
    };
    HttpFixture server;
    JSONRPCClient client(server.url());
    for (const auto& row : rows) {
        server.enqueue(row.response);
        const auto error = failure(chainID(client));
        const std::string text = error.what();
        EXPECT_EQ(error.kind(), row.kind) << text;
        EXPECT_EQ(text, row.end.empty() ? row.start : text) << text;
        EXPECT_TRUE(text.starts_with(row.start) && text.ends_with(row.end)) << text;
        EXPECT_EQ(error.httpStatus(), row.kind == Kind::httpError ? 204 : error.httpStatus());
        if (row.kind == Kind::rpcError) {
            EXPECT_EQ(error.rpc(), (JSONRPCError{-32000, "nonce too low"}));
        }
    }
    // Failed requests still used their identifiers.
    server.enqueue(result(R"("0x3")"));
    EXPECT_EQ(runTask(chainID(client)), "0x3");
    EXPECT_EQ(sentBody(server, std::size(rows))["id"], std::size(rows) + 1);
}

const std::string owner = "0x9c1a5a6d8f04c2e2c3b4a0d1e2f3a4b5c6d7e8f9";

// What a call ended with when its token was cancelled while the server kept silent.
template <typename T> std::optional<HttpTransportError::Kind> endOf(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
    } catch (const HttpTransportError& error) {
        return error.kind();
    }
    return std::nullopt;
}

// The calls of a send: a cancelled flow leaves none of them waiting for a silent server.
TEST(JSONRPCClient, EveryCallOfASendEndsWhenItsTokenIsCancelled) {
    HttpFixture server;
    server.setHandler([](const auto&) { return HttpFixtureResponse::stalling(); });
    JSONRPCClient evm(server.url());
    SolanaRPCClient solana(server.url());
    // Cancelled once the server holds the call's request (a fixed delay may cancel it before
    // it left, on a busy machine).
    const auto cancelledSoon = [&server] {
        const CancellationToken token;
        const std::size_t before = server.requests().size();
        auto* poll = new QTimer;
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, [&server, token, before, poll] {
            if (server.requests().size() > before) {
                token.cancel();
                poll->deleteLater();
            }
        });
        poll->start();
        return token;
    };
    const auto aborted = HttpTransportError::Kind::aborted;
    EXPECT_EQ(endOf(evm.getTransactionCount(owner, cancelledSoon())), aborted);
    EXPECT_EQ(endOf(evm.gasPrice(cancelledSoon())), aborted);
    EXPECT_EQ(endOf(evm.maxPriorityFeePerGas(cancelledSoon())), aborted);
    EXPECT_EQ(endOf(evm.estimateGas(owner, owner, std::nullopt, std::nullopt, cancelledSoon())),
              aborted);
    EXPECT_EQ(endOf(evm.sendRawTransaction("0x02", cancelledSoon())), aborted);
    EXPECT_EQ(endOf(evm.getTransactionReceipt("0x01", cancelledSoon())), aborted);
    EXPECT_EQ(endOf(solana.sendTransaction("AQ==", cancelledSoon())), aborted);
    EXPECT_EQ(endOf(solana.getSignatureStatuses({"x"}, cancelledSoon())), aborted);
    EXPECT_EQ(endOf(solana.getEpochInfo(cancelledSoon())), aborted);
    EXPECT_EQ(server.requests().size(), 9u);

    // A receipt that is not there yet is none; one with a status other than a quantity is no
    // receipt at all.
    HttpFixture node;
    JSONRPCClient client(node.url());
    node.enqueue(result("null"));
    EXPECT_EQ(runTask(client.getTransactionReceipt("0x01")), std::nullopt);
    node.enqueue(result(R"({"status":"0x0","blockNumber":"0x5"})"));
    EXPECT_EQ(runTask(client.getTransactionReceipt("0x01"))->status, 0u);
    node.enqueue(result(R"({"status":"ok"})"));
    EXPECT_EQ(failure(client.getTransactionReceipt("0x01")).kind(), Kind::decodingError);
}

HttpFixtureResponse page(const json& items, const json& next) {
    return HttpFixtureResponse::json(
        QByteArray::fromStdString(json{{"items", items}, {"next_page_params", next}}.dump()));
}

json item(int n) {
    return {{"hash", "0xhash" + std::to_string(n)}};
}

BlockExplorerClient::BaseURLs explorerURLs(const HttpFixture& server) {
    BlockExplorerClient::BaseURLs urls;
    urls[chainIndex(Chain::ethereum)] = urls[chainIndex(Chain::polygon)] =
        server.url("/api/v2").toString().toStdString();
    return urls;
}

struct Explorer {
    HttpFixture server;
    BlockExplorerClient client{explorerURLs(server),
                               HttpTimeouts{std::chrono::seconds(15), std::chrono::seconds(60)}};
    QByteArray target(std::size_t i) const { return server.requests().at(i).target; }
};

TEST(InternetDateTime, ParsesOnlyTheStrictForm) {
    const std::pair<const char*, std::int64_t> good[] = {
        {"2024-05-01T14:34:56.9+02:00", 1714566896},
        // Before 1970, truncation toward zero moves a fractional moment one second up.
        {"2000-02-29T00:00:00.5Z", 951782400},
        {"1969-12-31T23:59:59.5Z", 0},
        {"1969-12-31T23:59:58.0Z", -2},
        {"0001-01-01T00:00:00.1Z", -62135596799},
    };
    for (const auto& [text, seconds] : good) {
        EXPECT_EQ(unixSecondsFromInternetDateTime(text), seconds) << text;
    }
    for (const char* bad : {"2024-05-01T12:34:56Z", "2024-05-01T12:34:56.789",
                            "2024-05-01T12:34:56.789+0200", "2023-02-29T12:34:56.789Z",
                            "2024-05-01T24:00:00.000Z", " 2024-05-01T12:34:56.789Z", ""}) {
        EXPECT_FALSE(unixSecondsFromInternetDateTime(bad)) << bad;
    }
}

TEST(BlockExplorerClient, FollowsNextPageParamsUpToTheLimit) {
    Explorer e;
    json numbered = item(2);
    numbered["nonce"] = 6;
    e.server.enqueue(
        page(json::array({item(1), numbered}),
             {{"block_number", 123}, {"index", 4}, {"items_count", 50}, {"fee", "1"}}));
    // Instances write the nonce as a number or a text; one that is neither leaves it unknown,
    // never the page unread.
    json texts = item(3);
    texts["nonce"] = "7";
    json odd = item(4);
    odd["nonce"] = "0x7";
    e.server.enqueue(page(json::array({texts}), json::object()));
    e.server.enqueue(page(json::array({odd}), nullptr));
    const auto txs = runTask(e.client.fetchTransactions(owner, Chain::ethereum, 5));
    ASSERT_EQ(txs.size(), 4u);
    EXPECT_EQ(txs[3].hash, "0xhash4");
    EXPECT_EQ(txs[1].nonce, "6");
    EXPECT_EQ(txs[2].nonce, "7");
    EXPECT_EQ(txs[3].nonce, std::nullopt);
    ASSERT_EQ(e.server.requests().size(), 3u);
    EXPECT_EQ(e.target(0),
              "/api/v2/addresses/" + QByteArray::fromStdString(owner) + "/transactions");
    EXPECT_TRUE(e.target(1).endsWith("/transactions?index=4&block_number=123&items_count=50"));
    EXPECT_TRUE(e.target(2).endsWith("/transactions")); // {} carries no query

    // Token transfers: the total's decimals win over the token's; the page limit ends it.
    json token = {{"token", {{"decimals", "18"}}}, {"total", {{"decimals", "6"}}}};
    e.server.enqueue(page(json::array({token}), {{"index", 4}}));
    e.server.enqueue(page(json::array({token}), {{"index", 5}}));
    const auto tokens = runTask(e.client.fetchTokenTransfers(owner, Chain::polygon, 2));
    ASSERT_EQ(e.server.requests().size(), 5u);
    EXPECT_TRUE(e.target(3).endsWith("/token-transfers?type=ERC-20"));
    EXPECT_TRUE(e.target(4).endsWith("/token-transfers?type=ERC-20&index=4"));
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].tokenDecimal, "6");

    // No explorer for the chain, no pages or a malformed owner: no request at all.
    EXPECT_TRUE(runTask(e.client.fetchTokenTransfers(owner, Chain::solana, 5)).empty());
    EXPECT_TRUE(runTask(e.client.fetchTransactions(owner, Chain::ethereum, 0)).empty());
    EXPECT_TRUE(runTask(e.client.fetchTransactions("has space", Chain::ethereum, 3)).empty());
    EXPECT_EQ(e.server.requests().size(), 5u);
}

// A page refused or unreadable is no end of the history: the fetch fails, handing over the
// pages read before it; the list of what was sent fails alike.
TEST(BlockExplorerClient, AFailedPageFailsTheFetchWithTheEarlierPages) {
    Explorer e;
    const auto failure = [](QCoro::Task<std::vector<ExplorerTx>> fetching) {
        try {
            runTask(std::move(fetching));
        } catch (const ExplorerPageError& error) {
            return error.read();
        }
        ADD_FAILURE() << "the fetch did not fail";
        return std::vector<ExplorerTx>(1);
    };
    for (const HttpFixtureResponse& bad :
         {HttpFixtureResponse::withStatus(503), HttpFixtureResponse::withStatus(404),
          HttpFixtureResponse::json(R"({"items":5})"),
          page(json::array({{{"hash", 5}}}), nullptr)}) {
        e.server.enqueue(bad);
        EXPECT_TRUE(failure(e.client.fetchTransactions(owner, Chain::polygon, 3)).empty());
        e.server.enqueue(page(json::array({item(1)}), {{"index", 1}}));
        e.server.enqueue(bad);
        const auto read = failure(e.client.fetchTransactions(owner, Chain::polygon, 3));
        ASSERT_EQ(read.size(), 1u);
        EXPECT_EQ(read[0].hash, "0xhash1");
    }
    e.server.enqueue(page(json::array({item(1)}), {{"index", 1}}));
    e.server.enqueue(HttpFixtureResponse::withStatus(503));
    EXPECT_THROW(runTask(e.client.sentWithNonce(owner, Chain::polygon, 3, 4)), ExplorerPageError);

    // An address the explorer has never indexed has no history; its "Not found" past the first
    // page, or any other 404 body, is a failure all the same.
    const HttpFixtureResponse notFound =
        HttpFixtureResponse::json(R"({"message":"Not found"})", 404);
    e.server.enqueue(notFound);
    EXPECT_TRUE(runTask(e.client.fetchTransactions(owner, Chain::polygon, 3)).empty());
    e.server.enqueue(HttpFixtureResponse::json(R"({"message":"Internal error"})", 404));
    EXPECT_TRUE(failure(e.client.fetchTransactions(owner, Chain::polygon, 3)).empty());
    e.server.enqueue(page(json::array({item(1)}), {{"index", 1}}));
    e.server.enqueue(notFound);
    EXPECT_EQ(failure(e.client.fetchTransactions(owner, Chain::polygon, 3)).size(), 1u);
}

} // namespace
} // namespace qm
