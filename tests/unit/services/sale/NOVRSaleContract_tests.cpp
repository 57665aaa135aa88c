// The sale contract's call data, figures and reads: fixed vectors, a scripted node for the
// result shapes, and the Solidity stand-in on anvil (chain id 42161) at the wallet's addresses.
#include "AnvilNode.h"
#include "HttpFixture.h"
#include "NOVRSaleChain.h"
#include "RunTask.h"
#include "TestHex.h"
#include "core/encoding/Hex.h"
#include "services/evm/JSONRPCClient.h"
#include "services/sale/NOVRError.h"
#include "services/sale/NOVRSaleContract.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qm {
namespace {

using nlohmann::json;
using test::HttpFixture;
using test::HttpFixtureResponse;
using test::runTask;
using ::testing::HasSubstr;

UInt256 units(std::uint64_t value) {
    return UInt256(0, 0, 0, value);
}

const UInt256 allOnes(~0ULL, ~0ULL, ~0ULL, ~0ULL); // 2^256 - 1

UInt256 hexValue(std::string_view text) {
    return UInt256::fromHex(text).value();
}

// What the read threw: the text, and whether it was the sale's own error.
struct Failure {
    std::string text;
    bool isSaleError = false;
};

template <typename T> Failure failureOf(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
    } catch (const NOVRError& error) {
        return {error.what(), true};
    } catch (const std::exception& error) {
        return {error.what(), false};
    }
    ADD_FAILURE() << "no failure";
    return {};
}

TEST(NOVRSaleContract, SelectorsCallDataAndErrorTexts) {
    EXPECT_EQ(bytesToHex(buySelector()), "0xd6febde8");
    EXPECT_EQ(bytesToHex(sellSelector()), "0xe4849b32");
    EXPECT_EQ(bytesToHex(estimateBuyCostSelector()), "0xee23af07");
    EXPECT_EQ(bytesToHex(floorPriceSelector()), "0x9363c812");

    // 1 NOVR for at most 2.5 USDC.
    const Bytes buy = buyCalldata(*UInt256::powerOfTen(18), units(2'500'000));
    EXPECT_EQ(test::hex(buy), "d6febde8"
                              "0000000000000000000000000000000000000000000000000de0b6b3a7640000"
                              "00000000000000000000000000000000000000000000000000000000002625a0");
    const Bytes sell = sellCalldata(allOnes);
    ASSERT_EQ(sell.size(), 36u);
    EXPECT_EQ(test::hex(sell), "e4849b32" + std::string(64, 'f'));

    EXPECT_EQ(saleAddressBytes(novrSaleContractAddress).size(), 20u);
    EXPECT_EQ(saleAddressBytes(usdcArbitrumAddress),
              test::unhex("af88d065e77c8cc2239327c5edb3a432268e5831"));

    EXPECT_STREQ(NOVRError::poolCallFailed("Invalid pool address").what(),
                 "Pool error: Invalid pool address");
    EXPECT_STREQ(NOVRError::invalidAmount().what(), "Invalid amount");
    EXPECT_STREQ(NOVRError::noAccount().what(), "No Arbitrum account found");
}

TEST(NOVRSaleContract, MaximumCostAndFloorProceedsAreWhole256BitFigures) {
    EXPECT_EQ(novrMaxCost(units(2'500'000), 100), units(2'525'000));
    EXPECT_EQ(novrMaxCost(units(2'500'000), 300), units(2'575'000));
    EXPECT_EQ(novrMaxCost(units(2'500'000), 50), units(2'512'500));
    EXPECT_EQ(novrMaxCost(units(2'500'000), 0), units(2'500'000));
    EXPECT_EQ(novrMaxCost(units(99), 100), units(99)); // 99.99 rounds down
    // Past 2^64 nothing is truncated to a smaller bound.
    EXPECT_EQ(novrMaxCost(UInt256(0, 0, 1, 1), 100), hexValue("0x1028f5c28f5c28f5d"));
    EXPECT_EQ(novrMaxCost(UInt256(0, 0, 3, 5), 100), hexValue("0x307ae147ae147ae19"));
    EXPECT_EQ(novrMaxCost(units(1), 10'000), units(2));
    const UInt256 twoTo200(1ULL << 8, 0, 0, 0);
    EXPECT_EQ(novrMaxCost(twoTo200, 100),
              hexValue("0x1028f5c28f5c28f5c28f5c28f5c28f5c28f5c28f5c28f5c28f5"));
    // The largest cost whose maximum still fits, and the next one.
    const UInt256 largest =
        hexValue("0xfd7720f353a4c0a237c32b16cfd7720f353a4c0a237c32b16cfd7720f353a4c0");
    EXPECT_EQ(novrMaxCost(largest, 100), allOnes);
    EXPECT_EQ(novrMaxCost(*largest.checkedAdd(units(1)), 100), std::nullopt);
    EXPECT_EQ(novrMaxCost(allOnes, 0), allOnes);

    // 2.5 NOVR at 1.234567 USDC: 3.0864175 USDC, rounded down to the base unit.
    const UInt256 twoAndAHalf = *units(25).checkedMultiply(*UInt256::powerOfTen(17));
    EXPECT_EQ(novrFloorProceeds(twoAndAHalf, units(1'234'567)), units(3'086'417));
    EXPECT_EQ(novrFloorProceeds(units(1), units(1'234'567)), units(0));
    EXPECT_EQ(novrFloorProceeds(allOnes, allOnes), std::nullopt);
}

// A node that answers each eth_call with the result given, and records the request.
class ScriptedNode : public ::testing::Test {
protected:
    HttpFixture server;
    std::shared_ptr<JSONRPCClient> client = std::make_shared<JSONRPCClient>(server.url("/rpc"));
};

TEST_F(ScriptedNode, ReadsTakeTheFirstWordOfAtLeast32Bytes) {
    const std::string word = "0x" + std::string(58, '0') + "12d687"; // 1,234,567
    server.enqueue(HttpFixtureResponse::jsonRPCResult(word));
    EXPECT_EQ(runTask(fetchFloorPrice(client)), units(1'234'567));
    const json request = json::parse(server.requests().at(0).body.toStdString());
    EXPECT_EQ(request.at("method"), "eth_call");
    EXPECT_EQ(request.at("params"),
              json::array({{{"to", novrSaleContractAddress}, {"data", "0x9363c812"}}, "latest"}));

    server.enqueue(HttpFixtureResponse::jsonRPCResult(word + std::string(64, 'f')));
    EXPECT_EQ(runTask(estimateBuyCost(units(7), client)), units(1'234'567));
    EXPECT_EQ(json::parse(server.requests().at(1).body.toStdString()).at("params")[0].at("data"),
              "0xee23af07" + std::string(63, '0') + "7");
}

TEST_F(ScriptedNode, ShortOddOrEmptyResultsAreThePoolsErrorAndNodeErrorsPassThrough) {
    for (const std::string& result : {"0x" + std::string(62, '0'), std::string("0x"),
                                      std::string("0x123"), std::string("0xzz")}) {
        server.enqueue(HttpFixtureResponse::jsonRPCResult(result));
        const Failure floor = failureOf(fetchFloorPrice(client));
        EXPECT_TRUE(floor.isSaleError) << result;
        EXPECT_EQ(floor.text, "Pool error: floorPrice returned invalid data");
        server.enqueue(HttpFixtureResponse::jsonRPCResult(result));
        EXPECT_EQ(failureOf(estimateBuyCost(units(1), client)).text,
                  "Pool error: estimateBuyCost returned invalid data");
    }
    server.enqueue(HttpFixtureResponse::json(
        R"({"jsonrpc":"2.0","id":1,"error":{"code":3,"message":"execution reverted"}})"));
    const Failure reverted = failureOf(estimateBuyCost(units(1), client));
    EXPECT_FALSE(reverted.isSaleError);
    EXPECT_THAT(reverted.text, HasSubstr("execution reverted"));
    server.enqueue(HttpFixtureResponse::withStatus(502));
    EXPECT_FALSE(failureOf(fetchFloorPrice(client)).isSaleError);
}

class SaleOnAnvil : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::AnvilNode::isAvailable()) {
            GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
        }
        chain = std::make_unique<test::NOVRSaleChain>();
        client = std::make_shared<JSONRPCClient>(chain->url());
    }

    std::unique_ptr<test::NOVRSaleChain> chain;
    std::shared_ptr<JSONRPCClient> client;
};

TEST_F(SaleOnAnvil, TheStandInAnswersTheReadsAndItsFaultsReachTheCaller) {
    EXPECT_EQ(runTask(fetchFloorPrice(client)), units(test::NOVRSaleChain::floorPrice));
    const UInt256 oneNOVR = *UInt256::powerOfTen(18);
    EXPECT_EQ(runTask(estimateBuyCost(oneNOVR, client)), units(1'005'000));
    // A trillion NOVR costs more than 2^64 USDC base units; the word comes back whole.
    const UInt256 trillion = *UInt256::powerOfTen(30);
    const UInt256 cost = runTask(estimateBuyCost(trillion, client));
    EXPECT_GT(cost, UInt256(0, 0, 1, 0));
    EXPECT_EQ(cost, test::NOVRSaleChain::curveCost(trillion));

    chain->setFloorMode(1); // 31 bytes
    EXPECT_EQ(failureOf(fetchFloorPrice(client)).text,
              "Pool error: floorPrice returned invalid data");
    chain->setFloorMode(2); // reverts
    const Failure reverted = failureOf(fetchFloorPrice(client));
    EXPECT_FALSE(reverted.isSaleError);
    EXPECT_THAT(reverted.text, HasSubstr("floor price unavailable"));
}

TEST(SaleWithoutContract, NoCodeAtTheSaleAddressIsThePoolsError) {
    if (!test::AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    test::AnvilNode node(arbitrumChainID);
    const auto client = std::make_shared<JSONRPCClient>(node.url());
    EXPECT_EQ(failureOf(fetchFloorPrice(client)).text,
              "Pool error: floorPrice returned invalid data");
    EXPECT_EQ(failureOf(estimateBuyCost(units(1), client)).text,
              "Pool error: estimateBuyCost returned invalid data");
}

} // namespace
} // namespace qm
