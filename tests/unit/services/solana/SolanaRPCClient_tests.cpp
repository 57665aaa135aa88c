#include "HttpFixture.h"
#include "RunTask.h"
#include "services/solana/SolanaRPCClient.h"

#include <gtest/gtest.h>

using qm::SolanaRPCClient;
using qm::SolanaRPCError;
using qm::test::HttpFixture;
using qm::test::HttpFixtureResponse;
using qm::test::runTask;

namespace {

// The next answer of `server`: a JSON-RPC reply whose result is the JSON text `result`.
void answerWith(HttpFixture& server, const std::string& result) {
    server.enqueue(HttpFixtureResponse::json(
        QByteArray::fromStdString(R"({"jsonrpc":"2.0","id":1,"result":)" + result + "}")));
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

// Requests, send options, token accounts, balances, the blockhash and the signature limit
// are checked against litesvm by the Solana peer check (tests/peers/solana_peer.mjs).
TEST(SolanaRPCClient, FailurePaths) {
    using Kind = SolanaRPCError::Kind;
    enum Call { balance, tokens };
    struct Row {
        Call call;
        int status;
        const char* body;
        Kind kind;
        const char* text; // the whole message, where it is the client's own
    };
    const Row rows[] = {
        // A status other than 200 wins over the JSON-RPC error in its body.
        {balance, 500, R"({"error":{"code":-32005,"message":"busy"}})", Kind::httpError,
         "SolanaRPCClient: HTTP error 500"},
        // An error object wins over a result beside it.
        {balance, 200, R"({"result":{"value":5},"error":{"code":-32602,"message":"bad"}})",
         Kind::rpcError, "SolanaRPCClient: RPC error -32602: bad"},
        {balance, 200, R"({"result":null})", Kind::noResult,
         "SolanaRPCClient: response contained no result"},
        {balance, 200, "<html>gateway</html>", Kind::decodingError,
         "SolanaRPCClient: decoding error \u2014 The data couldn\u2019t be read because it "
         "isn\u2019t in the correct format. \u2014 body of 20 bytes"},
        {balance, 200, "{\"x\":\"\xff\"}", Kind::decodingError,
         "SolanaRPCClient: decoding error \u2014 The data couldn\u2019t be read because it "
         "isn\u2019t in the correct format. \u2014 body of 32 bytes"},
        {balance, 200, R"({"id":4,"result":{"value":5}})", Kind::decodingError, nullptr},
        // Read whole and strictly: a key twice is malformed, not "the last one wins".
        {balance, 200, R"({"result":{"value":5,"value":6}})", Kind::decodingError,
         "SolanaRPCClient: decoding error \u2014 The data couldn\u2019t be read because it "
         "isn\u2019t in the correct format. \u2014 body of 55 bytes"},
        // Numbers out of kind or range are refused, never wrapped.
        {balance, 200, R"({"result":{"value":-1}})", Kind::decodingError, nullptr},
        {balance, 200, R"({"result":{"value":18446744073709551616}})", Kind::decodingError,
         nullptr},
        {tokens, 200,
         R"({"result":{"value":[{"pubkey":"P","account":{"data":{"parsed":{"info":
            {"mint":"M","tokenAmount":{"amount":"1","decimals":256}}}}}}]}})",
         Kind::decodingError, nullptr},
        // Base64-encoded account data (no "parsed") is not a shape the wallet reads.
        {tokens, 200,
         R"({"result":{"value":[{"pubkey":"P","account":{"data":["AA==","base64"]}}]}})",
         Kind::decodingError, nullptr},
        // A result of the wrong shape is a decoding error even beside an error object.
        {balance, 200, R"({"result":7,"error":{"code":1,"message":"m"}})", Kind::decodingError,
         nullptr},
    };
    HttpFixture server;
    SolanaRPCClient client(server.url());
    for (const Row& row : rows) {
        std::string body = row.body;
        if (body.rfind("{\"id\"", 0) != 0 && body.front() == '{') {
            body.insert(1, R"("jsonrpc":"2.0","id":1,)");
        }
        server.enqueue(HttpFixtureResponse::json(QByteArray::fromStdString(body), row.status));
        const auto error = row.call == balance ? failure(client.getBalance("A"))
                                               : failure(client.getTokenAccountsByOwner("O"));
        EXPECT_EQ(error.kind(), row.kind) << body;
        if (row.text) {
            EXPECT_STREQ(error.what(), row.text) << body;
        }
    }
}

// Accounts come in "base64" encoding only, read exactly: their lamports, owner and data; a
// simulation's error is kept as sent, and no accounts (null) read as none.
TEST(SolanaRPCClient, AccountsAndSimulationAnswers) {
    HttpFixture server;
    SolanaRPCClient client(server.url());
    const auto answer = [&](const std::string& result) { answerWith(server, result); };
    answer(R"({"value":{"err":{"InstructionError":[1,{"Custom":1}]},"accounts":null}})");
    const qm::SimulationValue failed = runTask(client.simulateTransaction("AA==", {"W"}));
    EXPECT_EQ(failed.err, nlohmann::json::parse(R"({"InstructionError":[1,{"Custom":1}]})"));
    EXPECT_TRUE(failed.accounts.empty());

    answer(R"({"context":{"slot":3},"value":[null,{"lamports":5,"owner":"Tok","data":["AQL/",
              "base64"],"executable":false,"rentEpoch":18446744073709551615,"space":3}]})");
    const auto accounts = runTask(client.getMultipleAccounts({"A", "B"}));
    ASSERT_EQ(accounts.size(), 2u);
    EXPECT_FALSE(accounts[0]);
    ASSERT_TRUE(accounts[1]);
    EXPECT_EQ(accounts[1]->lamports, 5u);
    EXPECT_EQ(accounts[1]->owner, "Tok");
    EXPECT_EQ(accounts[1]->data, (qm::Bytes{0x01, 0x02, 0xff}));

    for (const char* account : {R"({"lamports":5,"owner":"T","data":["AQI=","base58"]})",
                                R"({"lamports":5,"owner":"T","data":"AQI="})",
                                R"({"lamports":5,"owner":"T","data":["A?I=","base64"]})",
                                R"({"lamports":-5,"owner":"T","data":["AQI=","base64"]})",
                                R"({"lamports":5,"data":["AQI=","base64"]})"}) {
        answer(std::string(R"({"value":{"err":null,"accounts":[)") + account + "]}}");
        EXPECT_EQ(failure(client.simulateTransaction("AA==", {"A"})).kind(),
                  SolanaRPCError::Kind::decodingError)
            << account;
    }
}

// The slots that decide whether a transaction can no longer land are read strictly: a slot and
// a height from one answer (the height never above the slot), a status answer's own slot (none
// without a context), a blockhash's validity with the slot it speaks for.
TEST(SolanaRPCClient, SlotsHeightsAndTheSlotsAnswersSpeakFor) {
    HttpFixture server;
    SolanaRPCClient client(server.url());
    const auto answer = [&](const std::string& result) { answerWith(server, result); };
    answer(R"({"absoluteSlot":18446744073709551615,"blockHeight":7,"epoch":1,"slotIndex":2})");
    const qm::EpochInfo epoch = runTask(client.getEpochInfo());
    EXPECT_EQ(epoch.absoluteSlot, 18446744073709551615u);
    EXPECT_EQ(epoch.blockHeight, 7u);
    for (const char* bad :
         {R"({"absoluteSlot":7,"blockHeight":8})", R"({"absoluteSlot":7})",
          R"({"absoluteSlot":-7,"blockHeight":0})", R"({"absoluteSlot":"7","blockHeight":0})",
          R"({"absoluteSlot":7.5,"blockHeight":0})"}) {
        answer(bad);
        EXPECT_EQ(failure(client.getEpochInfo()).kind(), SolanaRPCError::Kind::decodingError)
            << bad;
    }

    answer(R"({"context":{"slot":42,"apiVersion":"2.1"},"value":[null,{"slot":40,
              "confirmationStatus":"finalized","err":null}]})");
    qm::SignatureStatusesResult statuses = runTask(client.getSignatureStatuses({"A", "B"}));
    EXPECT_EQ(statuses.contextSlot, 42u);
    ASSERT_EQ(statuses.value.size(), 2u);
    EXPECT_FALSE(statuses.value[0]);
    EXPECT_EQ(statuses.value[1]->slot, 40u);
    answer(R"({"value":[null]})");
    statuses = runTask(client.getSignatureStatuses({"A"}));
    EXPECT_FALSE(statuses.contextSlot);
    for (const char* bad :
         {R"({"context":{"slot":-1},"value":[null]})", R"({"context":{},"value":[null]})",
          R"({"context":7,"value":[null]})"}) {
        answer(bad);
        EXPECT_EQ(failure(client.getSignatureStatuses({"A"})).kind(),
                  SolanaRPCError::Kind::decodingError)
            << bad;
    }

    answer(R"({"context":{"slot":9},"value":true})");
    const qm::BlockhashValidity validity = runTask(client.isBlockhashValid("H"));
    EXPECT_EQ(validity.contextSlot, 9u);
    EXPECT_TRUE(validity.valid);
    answer(R"({"context":{"slot":9},"value":false})");
    EXPECT_FALSE(runTask(client.isBlockhashValid("H")).valid);
    for (const char* bad : {R"({"value":true})", R"({"context":{"slot":9},"value":1})",
                            R"({"context":{"slot":9},"value":"true"})"}) {
        answer(bad);
        EXPECT_EQ(failure(client.isBlockhashValid("H")).kind(), SolanaRPCError::Kind::decodingError)
            << bad;
    }
    // As a validator reads them: the epoch at "confirmed", the statuses searched in the
    // history, the blockhash first.
    const auto params = [&](const char* method) {
        for (const auto& request : server.requests()) {
            const nlohmann::json body = nlohmann::json::parse(request.body.toStdString());
            if (body.at("method") == method) {
                return body.at("params");
            }
        }
        return nlohmann::json();
    };
    EXPECT_EQ(params("getEpochInfo"), nlohmann::json::parse(R"([{"commitment":"confirmed"}])"));
    EXPECT_EQ(params("getSignatureStatuses"),
              nlohmann::json::parse(R"([["A","B"],{"searchTransactionHistory":true}])"));
    EXPECT_EQ(params("isBlockhashValid"),
              nlohmann::json::parse(R"(["H",{"commitment":"confirmed"}])"));
}
