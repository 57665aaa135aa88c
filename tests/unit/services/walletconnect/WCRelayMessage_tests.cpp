// Reading the relay's frames: what is an answer, what is a delivery, what is neither.
#include "services/walletconnect/WCRelayMessage.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;

TEST(WCRelayMessage, AnswersNeverNameAMethod) {
    auto answer =
        std::get<RelayResponse>(parseRelayMessage(R"({"id":7,"jsonrpc":"2.0","result":"sub"})"));
    EXPECT_EQ(answer.id, 7);
    EXPECT_EQ(answer.result, "sub");
    EXPECT_FALSE(answer.errorMessage);
    // No result: true. An error without a message text: its result (or true).
    EXPECT_EQ(std::get<RelayResponse>(parseRelayMessage(R"({"id":7})")).result, true);
    answer =
        std::get<RelayResponse>(parseRelayMessage(R"({"id":7,"error":{"code":1},"result":4})"));
    EXPECT_FALSE(answer.errorMessage);
    EXPECT_EQ(answer.result, 4);
    answer = std::get<RelayResponse>(
        parseRelayMessage(R"({"id":9223372036854775807,"error":{"message":"m"}})"));
    EXPECT_EQ(answer.id, INT64_MAX);
    EXPECT_EQ(answer.errorMessage, "m");
    EXPECT_EQ(std::get<RelayResponse>(parseRelayMessage(R"({"id":-3,"result":null})")).result,
              nullptr);

    // A frame naming a method, an id that is no 64-bit integer, anything not an object: nothing.
    for (const char* frame :
         {R"({"id":7,"method":"irn_other","result":"x"})", R"({"id":7,"method":null,"result":"x"})",
          R"({"id":"7","result":1})", R"({"id":7.5,"result":1})",
          R"({"id":9223372036854775808,"result":1})", R"({"result":1})", "[1]", "7", "", "{",
          R"({"id":1,"id":2})"}) {
        EXPECT_TRUE(std::holds_alternative<std::monostate>(parseRelayMessage(frame))) << frame;
    }
    EXPECT_TRUE(std::holds_alternative<std::monostate>(
        parseRelayMessage(std::string_view("{\"id\":1}\0", 9))));
}

TEST(WCRelayMessage, Deliveries) {
    const auto delivery = std::get<RelayDelivery>(parseRelayMessage(
        R"({"id":5,"jsonrpc":"2.0","method":"irn_subscription","params":{"id":"s","data":{"topic":"t","message":"m","tag":1}}})"));
    EXPECT_EQ(delivery.ackId, json(5));
    EXPECT_EQ(delivery.subscriptionId, "s");
    EXPECT_EQ(delivery.topic, "t");
    EXPECT_EQ(delivery.message, "m");
    EXPECT_EQ(relayAcknowledgement(json(5)), R"({"id":5,"jsonrpc":"2.0","result":true})");

    for (
        const char* frame :
        {R"({"id":5,"method":"irn_subscription","params":{"id":1,"data":{"topic":"t","message":"m"}}})",
         R"({"id":5,"method":"irn_subscription","params":{"id":"s","data":{"topic":"t"}}})",
         R"({"id":5,"method":"irn_subscription","params":{"id":"s","data":{"topic":2,"message":"m"}}})",
         R"({"id":5,"method":"irn_subscription","params":{"id":"s","data":"x"}})",
         R"({"id":5,"method":"irn_subscription","params":[]})",
         R"({"id":5,"method":"irn_subscription"})"}) {
        EXPECT_TRUE(std::holds_alternative<std::monostate>(parseRelayMessage(frame))) << frame;
    }
}

} // namespace
} // namespace qm
