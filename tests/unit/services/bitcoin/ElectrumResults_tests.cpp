// Script hashes of real keys are compared with bitcoinjs-lib by the Bitcoin peer check
// (tests/peers/btc_peer.mjs).
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

// Values out of range are refused, never wrapped; unlisted keys are ignored.
TEST(ElectrumResults, Refusals) {
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
    EXPECT_THROW(ElectrumUTXO::fromJson(
                     json::parse(R"({"tx_hash":"ab","tx_pos":1,"height":5,"value":-546})")),
                 ElectrumError);
    EXPECT_THROW(ElectrumTxRef::fromJson(json::parse(R"({"tx_hash":"cd","height":1,"fee":1.5})")),
                 ElectrumError);
    EXPECT_THROW(ElectrumBlockHeader::fromJson(json::parse(R"({"height":5})")), ElectrumError);
    EXPECT_EQ(ElectrumBalance::fromJson(json::parse(
                  R"({"confirmed":18446744073709551615,"unconfirmed":-3,"extra":true})")),
              (ElectrumBalance{18446744073709551615u, -3}));
}

} // namespace
} // namespace qm
