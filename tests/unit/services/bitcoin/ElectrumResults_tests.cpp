// Script hashes of real keys are compared with bitcoinjs-lib by the Bitcoin peer check
// (tests/peers/btc_peer.mjs).
#include "services/bitcoin/AnyCodable.h"
#include "services/bitcoin/ElectrumRPC.h"
#include "services/bitcoin/ElectrumResults.h"
#include "services/bitcoin/ElectrumScriptHash.h"

#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

using nlohmann::json;

TEST(ElectrumScriptHash, WrongKeyLengthStopsTheProcess) {
    EXPECT_DEATH(electrumScriptHash(Bytes(32, 2)), "");
}

TEST(AnyCodable, RoundTripsAndRefusesNonFiniteNumbers) {
    const auto original = AnyCodable::fromJson(
        json::parse(R"({"name":"x","n":-42,"list":[true,2.5,null],"max":9223372036854775807})"));
    EXPECT_EQ(AnyCodable::fromJson(json::parse(original.toJson().dump())), original);
    ASSERT_NE(original.dictionary(), nullptr);
    EXPECT_EQ(original.dictionary()->at("max"), AnyCodable(std::int64_t{9223372036854775807}));
    // Beyond the signed 64-bit range an integer becomes a double, never a wrapped integer.
    const auto big = AnyCodable::fromJson(json::parse("18446744073709551615"));
    ASSERT_NE(big.number(), nullptr);
    EXPECT_DOUBLE_EQ(*big.number(), 18446744073709551615.0);

    EXPECT_THROW(AnyCodable(std::nan("")).toJson(), AnyCodableError);
    EXPECT_FALSE(parseNetworkJson("1e400"));
    EXPECT_THROW(AnyCodable::fromJson(json(INFINITY)), AnyCodableError);
    EXPECT_THROW(AnyCodable(AnyCodable::List{AnyCodable(INFINITY)}).toJson(), AnyCodableError);
}

TEST(AnyCodable, NetworkJsonRefusesDeepNestingAndBadText) {
    EXPECT_TRUE(
        parseNetworkJson(std::string(kMaxJsonNesting, '[') + std::string(kMaxJsonNesting, ']')));
    EXPECT_FALSE(parseNetworkJson(std::string(kMaxJsonNesting + 1, '[') +
                                  std::string(kMaxJsonNesting + 1, ']')));
    // Brackets inside strings do not count.
    EXPECT_TRUE(parseNetworkJson("[\"" + std::string(1000, '[') + "\\\"\"]"));
    EXPECT_FALSE(parseNetworkJson("{\"a\":"));
    EXPECT_FALSE(parseNetworkJson("\"\xff\""));
}

TEST(ElectrumResults, RoundTripsAndRefusals) {
    for (const char* bad :
         {R"({"confirmed":-1,"unconfirmed":0})",
          R"({"confirmed":1,"unconfirmed":9223372036854775808})", R"({"confirmed":1})"}) {
        try {
            ElectrumBalance::fromJson(json::parse(bad));
            ADD_FAILURE() << bad;
        } catch (const ElectrumError& e) {
            EXPECT_EQ(e.code(), ElectrumError::Code::decodingFailed) << bad;
            EXPECT_EQ(std::string(e.what()).rfind("Decoding failed: ", 0), 0u);
        }
    }
    // Unlisted keys are ignored; encoding gives the same keys back.
    const auto balance = ElectrumBalance::fromJson(json::parse(R"({"confirmed":18446744073709551615,
                                                   "unconfirmed":-3,"extra":true})"));
    EXPECT_EQ(balance, (ElectrumBalance{18446744073709551615u, -3}));
    EXPECT_EQ(ElectrumBalance::fromJson(balance.toJson()), balance);

    const ElectrumUTXO utxo{"ab", 1, 800000, 546};
    EXPECT_EQ(ElectrumUTXO::fromJson(utxo.toJson()), utxo);
    EXPECT_THROW(ElectrumUTXO::fromJson(
                     json::parse(R"({"tx_hash":"ab","tx_pos":1,"height":5,"value":-546})")),
                 ElectrumError);

    const auto noFee = ElectrumTxRef::fromJson(json::parse(R"({"tx_hash":"cd","height":0})"));
    EXPECT_FALSE(noFee.fee);
    EXPECT_FALSE(noFee.toJson().contains("fee"));
    const auto withFee =
        ElectrumTxRef::fromJson(json::parse(R"({"tx_hash":"cd","height":-1,"fee":226})"));
    EXPECT_EQ(withFee.fee, 226u);
    EXPECT_EQ(ElectrumTxRef::fromJson(withFee.toJson()), withFee);
    EXPECT_THROW(ElectrumTxRef::fromJson(json::parse(R"({"tx_hash":"cd","height":1,"fee":1.5})")),
                 ElectrumError);

    EXPECT_THROW(ElectrumBlockHeader::fromJson(json::parse(R"({"height":5})")), ElectrumError);
}

TEST(ElectrumRPC, RequestLineAndResponseShapes) {
    // The wire format fixes the key order.
    const ElectrumRPCRequest request{
        "2.0",
        9,
        "m",
        {ElectrumJSONValue::string("9623df75"), ElectrumJSONValue::boolean(false),
         ElectrumJSONValue::uint64(18446744073709551615u), ElectrumJSONValue::int64(-1)}};
    EXPECT_EQ(request.encodeLine(), "{\"jsonrpc\":\"2.0\",\"id\":9,\"method\":\"m\",\"params\":["
                                    "\"9623df75\",false,18446744073709551615,-1]}\n");

    // Answers with a result and an error, neither, or a malformed error: ElectrumClient_tests.
    EXPECT_FALSE(ElectrumRPCResponse::decode(json::parse(R"({"id":null})"))->id);
    for (const char* bad :
         {R"([1])", R"({"id":18446744073709551615})", R"({"id":1,"error":"b"})"}) {
        EXPECT_FALSE(ElectrumRPCResponse::decode(json::parse(bad))) << bad;
    }

    EXPECT_TRUE(ElectrumNotification::decode(json::parse(R"({"method":"m","params":[]})")));
    EXPECT_FALSE(ElectrumNotification::decode(json::parse(R"({"method":"m","params":{}})")));
}

} // namespace
} // namespace qm
