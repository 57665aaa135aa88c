#include "AnvilNode.h"
#include "HttpFixture.h"
#include "RunTask.h"
#include "TestContracts.h"
#include "services/evm/ERC20Resolver.h"
#include "services/evm/JSONRPCClient.h"

#include <gtest/gtest.h>

using qm::ERC20Resolver;
using qm::ERC20ResolverError;
using qm::JSONRPCClient;
using qm::Token;
using qm::test::AnvilNode;
using qm::test::HttpFixture;
using qm::test::HttpFixtureResponse;
using qm::test::runTask;
using json = nlohmann::json;
using Kind = ERC20ResolverError::Kind;

namespace {

std::string word(std::uint64_t value, const std::string& upper = std::string(48, '0')) {
    char low[17];
    std::snprintf(low, sizeof low, "%016llx", static_cast<unsigned long long>(value));
    return upper + low;
}

const std::string usdcName = "0x" + word(32) + word(8) + "55534420436f696e" + std::string(48, '0');
const std::string usdcSymbol = "0x" + word(32) + word(4) + "55534443" + std::string(56, '0');

Kind resolverFailure(QCoro::Task<Token> task) {
    try {
        runTask(std::move(task));
    } catch (const ERC20ResolverError& error) {
        return error.kind();
    }
    ADD_FAILURE() << "no ERC20ResolverError";
    return Kind::invalidContract;
}

// A fixture node that answers name(), symbol() and decimals() calls by selector.
struct ScriptedToken {
    HttpFixtureResponse name = HttpFixtureResponse::jsonRPCResult(usdcName);
    HttpFixtureResponse symbol = HttpFixtureResponse::jsonRPCResult(usdcSymbol);
    HttpFixtureResponse decimals = HttpFixtureResponse::jsonRPCResult("0x" + word(6));

    void serve(HttpFixture& server) const {
        server.setHandler([*this](const qm::test::HttpFixtureRequest& request) {
            const auto data = json::parse(request.body.toStdString())["params"][0]["data"];
            if (data == "0x06fdde03") {
                return name;
            }
            if (data == "0x95d89b41") {
                return symbol;
            }
            return decimals;
        });
    }
};

} // namespace

TEST(ERC20Resolver, ResolvesEachKindOfContractOnANode) {
    if (!AnvilNode::isAvailable()) {
        GTEST_SKIP() << "anvil is not installed (scripts/install-deps)";
    }
    AnvilNode node(137);
    auto client = std::make_shared<JSONRPCClient>(node.url());
    const auto& contracts = qm::test::TestContracts::shared();
    auto place = [&](const std::string& address, const std::string& contract) {
        node.setCode(address, contracts.deployedBytecode(contract));
        return address;
    };

    // The address comes back exactly as given, letter case included.
    const auto standard = place("0x00000000000000000000000000000000000aBc01", "StandardToken");
    EXPECT_EQ(runTask(ERC20Resolver::resolve(standard, qm::Chain::polygon, client)),
              (Token{standard, "TST", "Test Token", 6, qm::Chain::polygon}));

    const auto bytes32 = place("0x00000000000000000000000000000000000abc02", "Bytes32Token");
    EXPECT_EQ(runTask(ERC20Resolver::resolve(bytes32, qm::Chain::ethereum, client)),
              (Token{bytes32, "MKR", "Maker", 18, qm::Chain::ethereum}));

    const auto empty = place("0x00000000000000000000000000000000000abc03", "EmptyNameToken");
    EXPECT_EQ(resolverFailure(ERC20Resolver::resolve(empty, qm::Chain::polygon, client)),
              Kind::cannotReadName);

    const auto hostile = place("0x00000000000000000000000000000000000abc04", "HostileOffsetToken");
    EXPECT_EQ(resolverFailure(ERC20Resolver::resolve(hostile, qm::Chain::polygon, client)),
              Kind::cannotReadName);

    // No code at all: every call returns "0x".
    EXPECT_EQ(resolverFailure(
                  ERC20Resolver::resolve(AnvilNode::devAccount(3), qm::Chain::polygon, client)),
              Kind::cannotReadName);

    // A reverting read is the node's error, logged once and rethrown unchanged.
    const auto reverting =
        place("0x00000000000000000000000000000000000abc05", "RevertingDecimalsToken");
    testing::internal::CaptureStdout();
    try {
        runTask(ERC20Resolver::resolve(reverting, qm::Chain::polygon, client));
        ADD_FAILURE() << "a reverting decimals() resolved";
    } catch (const qm::JSONRPCClientError& error) {
        EXPECT_EQ(error.kind(), qm::JSONRPCClientError::Kind::rpcError);
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_EQ(output,
                  "[ERC20Resolver] RPC error for " + reverting + ": " + error.what() + "\n");
    }
}

TEST(ERC20Resolver, DecimalsAndDecodingFailures) {
    HttpFixture server;
    auto client = std::make_shared<JSONRPCClient>(server.url());
    const std::string address = "0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48";
    auto resolve = [&] { return ERC20Resolver::resolve(address, qm::Chain::ethereum, client); };

    // Only the low 8 bytes of the first decimals word count; later bytes are ignored.
    ScriptedToken token;
    token.decimals =
        HttpFixtureResponse::jsonRPCResult("0x" + word(6, std::string(48, 'f')) + word(99));
    token.serve(server);
    EXPECT_EQ(runTask(resolve()), (Token{address, "USDC", "USD Coin", 6, qm::Chain::ethereum}));
    token.decimals = HttpFixtureResponse::jsonRPCResult("0x" + word(77));
    token.serve(server);
    EXPECT_EQ(runTask(resolve()).decimals, 77);

    for (const std::string& bad : {"0x" + word(78), std::string("0x")}) {
        token.decimals = HttpFixtureResponse::jsonRPCResult(bad);
        token.serve(server);
        EXPECT_EQ(resolverFailure(resolve()), Kind::cannotReadDecimals) << bad;
    }

    // Precedence: name before symbol before decimals.
    token.symbol = HttpFixtureResponse::jsonRPCResult("0x");
    token.serve(server);
    EXPECT_EQ(resolverFailure(resolve()), Kind::cannotReadSymbol);
    token.name = HttpFixtureResponse::jsonRPCResult("0x" + std::string(64, '0'));
    token.serve(server);
    EXPECT_EQ(resolverFailure(resolve()), Kind::cannotReadName);
}

TEST(ERC20Resolver, AFailedReadIsLoggedOnceAndRethrown) {
    HttpFixture server;
    auto client = std::make_shared<JSONRPCClient>(server.url());
    const std::string address = "0x1111111111111111111111111111111111111111";

    ScriptedToken token;
    token.name = HttpFixtureResponse::withStatus(500);
    token.decimals = HttpFixtureResponse::withStatus(502);
    token.serve(server);
    testing::internal::CaptureStdout();
    try {
        runTask(ERC20Resolver::resolve(address, qm::Chain::arbitrum, client));
        ADD_FAILURE() << "resolution succeeded";
    } catch (const qm::JSONRPCClientError& error) {
        // The name's error, though symbol succeeded and decimals failed too.
        EXPECT_EQ(error.httpStatus(), 500);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ERC20Resolver] RPC error for " + address + ": JSONRPCClient: HTTP error 500\n");
    // All three requests went out together.
    EXPECT_EQ(server.requests().size(), 3u);
}
