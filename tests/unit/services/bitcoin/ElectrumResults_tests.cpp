#include "TestHex.h"
#include "services/bitcoin/AnyCodable.h"
#include "services/bitcoin/ElectrumRPC.h"
#include "services/bitcoin/ElectrumResults.h"
#include "services/bitcoin/ElectrumScriptHash.h"

#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

using nlohmann::json;

TEST(ElectrumScriptHash, GeneratorPointVector) {
    const auto key =
        test::unhex("0279be667ef9dcbbac55a06295ce870b07029bfcdb2dce28d959f2815b16f81798");
    EXPECT_EQ(test::hex(hash160(key)), "751e76e8199196d454941c45d1b3a323f1433bd6");
    const std::string hash = electrumScriptHash(key);
    EXPECT_EQ(hash, "9623df75239b5daa7f5f03042d325b51498c4bb7059c7748b17049bf96f73888");
    EXPECT_EQ(hash.size(), 64u);
}

TEST(ElectrumScriptHash, WrongKeyLengthStopsTheProcess) {
    EXPECT_DEATH(electrumScriptHash(Bytes(32, 2)), "");
}

TEST(AnyCodable, DecodesEachKind) {
    EXPECT_TRUE(std::holds_alternative<bool>(AnyCodable::fromJson(json::parse("true")).value));
    EXPECT_EQ(AnyCodable::fromJson(json::parse("1")), AnyCodable(std::int64_t{1}));
    EXPECT_EQ(AnyCodable::fromJson(json::parse("-7")), AnyCodable(std::int64_t{-7}));
    EXPECT_EQ(AnyCodable::fromJson(json::parse("1.5")), AnyCodable(1.5));
    EXPECT_TRUE(AnyCodable::fromJson(json::parse("null")).isNull());
    // Beyond the signed 64-bit range an integer becomes a double, never a wrapped integer.
    const auto big = AnyCodable::fromJson(json::parse("18446744073709551615"));
    ASSERT_NE(big.number(), nullptr);
    EXPECT_DOUBLE_EQ(*big.number(), 18446744073709551615.0);
    EXPECT_EQ(AnyCodable::fromJson(json::parse("9223372036854775807")),
              AnyCodable(std::int64_t{9223372036854775807}));

    const auto list = AnyCodable::fromJson(json::parse(R"([1,"a",null])"));
    ASSERT_NE(list.list(), nullptr);
    ASSERT_EQ(list.list()->size(), 3u);
    EXPECT_EQ((*list.list())[0], AnyCodable(std::int64_t{1}));
    EXPECT_EQ((*list.list())[1], AnyCodable(std::string("a")));
    EXPECT_TRUE((*list.list())[2].isNull());
}

TEST(AnyCodable, RoundTripsAndRefusesNonFiniteNumbers) {
    AnyCodable::Dictionary dictionary;
    dictionary["name"] = AnyCodable(std::string("x"));
    dictionary["n"] = AnyCodable(std::int64_t{42});
    dictionary["list"] = AnyCodable(AnyCodable::List{AnyCodable(true), AnyCodable(2.5)});
    const AnyCodable original{dictionary};
    const auto text = original.toJson().dump();
    EXPECT_EQ(AnyCodable::fromJson(json::parse(text)), original);

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

TEST(ElectrumResults, BalanceChecksKindsAndRanges) {
    EXPECT_EQ(ElectrumBalance::fromJson(json::parse(R"({"confirmed":100,"unconfirmed":-5000})")),
              (ElectrumBalance{100, -5000}));
    for (const char* bad :
         {R"({"confirmed":-1,"unconfirmed":0})", R"({"confirmed":1.5,"unconfirmed":0})",
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
                                                   "unconfirmed":3,"extra":true})"));
    EXPECT_EQ(balance.confirmed, 18446744073709551615u);
    EXPECT_EQ(ElectrumBalance::fromJson(balance.toJson()), balance);
}

TEST(ElectrumResults, UtxoHistoryAndHeader) {
    const auto utxo = ElectrumUTXO::fromJson(
        json::parse(R"({"tx_hash":"ab","tx_pos":1,"height":800000,"value":546})"));
    EXPECT_EQ(utxo, (ElectrumUTXO{"ab", 1, 800000, 546}));
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

    const auto header = ElectrumBlockHeader::fromJson(json::parse(R"({"height":5,"hex":"00"})"));
    EXPECT_EQ(header, (ElectrumBlockHeader{5, "00"}));
    EXPECT_THROW(ElectrumBlockHeader::fromJson(json::parse(R"({"height":5})")), ElectrumError);
}

TEST(ElectrumRPC, RequestLineIsCompactWithFixedKeyOrder) {
    const ElectrumRPCRequest request{
        "2.0", 0, "blockchain.estimatefee", {ElectrumJSONValue::int64(6)}};
    EXPECT_EQ(
        request.encodeLine(),
        "{\"jsonrpc\":\"2.0\",\"id\":0,\"method\":\"blockchain.estimatefee\",\"params\":[6]}\n");
    const ElectrumRPCRequest mixed{
        "2.0",
        9,
        "m",
        {ElectrumJSONValue::string("9623df75"), ElectrumJSONValue::boolean(true),
         ElectrumJSONValue::boolean(false), ElectrumJSONValue::uint64(18446744073709551615u),
         ElectrumJSONValue::int64(-1)}};
    EXPECT_EQ(mixed.encodeLine(), "{\"jsonrpc\":\"2.0\",\"id\":9,\"method\":\"m\",\"params\":["
                                  "\"9623df75\",true,false,18446744073709551615,-1]}\n");
}

TEST(ElectrumRPC, ResponseShapes) {
    const auto full = ElectrumRPCResponse::decode(
        json::parse(R"({"jsonrpc":"2.0","id":3,"result":1,"error":{"code":-1,"message":"x"}})"));
    ASSERT_TRUE(full);
    EXPECT_EQ(full->id, 3);
    EXPECT_TRUE(full->result);
    ASSERT_TRUE(full->error);
    EXPECT_EQ(full->error->code, -1);

    const auto nulls = ElectrumRPCResponse::decode(json::parse(R"({"id":null,"result":null})"));
    ASSERT_TRUE(nulls);
    EXPECT_FALSE(nulls->id);
    EXPECT_FALSE(nulls->result);

    for (const char* bad :
         {R"([1])", R"({"id":"3"})", R"({"id":1,"error":"boom"})",
          R"({"id":18446744073709551615})"}) {
        EXPECT_FALSE(ElectrumRPCResponse::decode(json::parse(bad))) << bad;
    }

    EXPECT_TRUE(ElectrumNotification::decode(json::parse(R"({"method":"m","params":[]})")));
    EXPECT_FALSE(ElectrumNotification::decode(json::parse(R"({"method":"m","params":{}})")));
    EXPECT_FALSE(ElectrumNotification::decode(json::parse(R"({"method":"m"})")));
}

} // namespace
} // namespace qm
