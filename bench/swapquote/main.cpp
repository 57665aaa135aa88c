// What a swap quote and a token price cost beyond the network: both against a loopback node
// that answers every request after 100 ms and has a pool only at the 0.05 % tier, so each tries
// 0.3 %, 1 % and 0.05 % one after another (three round trips each). Prints the wall time of
// each against the sum of its round trips, the nominal one (3 x 100 ms) and the measured one
// (3 x a bare eth_call to the same node). Goal: <= 1.1.

#include "../BenchRun.h"
#include "HttpFixture.h"
#include "RunTask.h"
#include "core/encoding/Hex.h"
#include "services/evm/JSONRPCClient.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/UniswapQuoter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

using namespace qm;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using json = nlohmann::json;

namespace {

constexpr int latencyMs = 100;
constexpr int roundTrips = 3;                  // 3000 and 10000 revert, 500 answers
const int runs = qm::bench::fullOrShort(7, 1); // a short run (BenchRun.h): one

HttpFixtureResponse delayed(QByteArray body) {
    HttpFixtureResponse response = HttpFixtureResponse::json(std::move(body));
    response.behaviour = HttpFixtureResponse::Behaviour::delay;
    response.delayMs = latencyMs;
    return response;
}

HttpFixtureResponse quoterAnswer(const HttpFixtureRequest& request) {
    const json call = json::parse(request.body.toStdString());
    json reply = {{"jsonrpc", "2.0"}, {"id", call["id"]}};
    const Bytes data = hexToBytes(call["params"][0]["data"].get<std::string>()).value_or(Bytes());
    const std::uint64_t fee =
        data.size() >= 132 ? UInt256::fromBigEndianBytes(ByteView(data.data() + 100, 32)).w3 : 0;
    if (fee == 500 || data.empty()) {
        reply["result"] = "0x" + std::string(56, '0') + "9502f900" + std::string(192, '0');
    } else {
        reply["error"] = {{"code", 3}, {"message", "execution reverted"}};
    }
    return delayed(QByteArray::fromStdString(reply.dump()));
}

double seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    test::HttpFixture node;
    node.setHandler(quoterAnswer);
    const auto client = std::make_shared<JSONRPCClient>(node.url());
    const SwapToken ether = SwapToken::native(Chain::ethereum);
    const SwapToken usdc{"USDC", *usdcAddress(Chain::ethereum), 6, false};
    const Token link{"0x514910771AF9Ca656af840dff83E8264EcF986CA", "LINK", "Chainlink", 18,
                     Chain::ethereum};
    const UInt256 amount(0, 0, 0, 1'000'000'000'000'000'000ULL);

    // A first exchange opens the connection the measured ones reuse.
    test::runTask(client->ethCall(uniswapQuoterAddress, "0x"));

    std::vector<double> bare, quote, price;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        test::runTask(client->ethCall(uniswapQuoterAddress, "0x"));
        bare.push_back(seconds(timer));

        timer.restart();
        const SwapQuote result =
            test::runTask(uniswapQuote(ether, usdc, amount, 50, Chain::ethereum, client));
        quote.push_back(seconds(timer));
        if (result.fee != 500) {
            std::fprintf(stderr, "unexpected tier %llu\n",
                         static_cast<unsigned long long>(result.fee));
            return 1;
        }

        timer.restart();
        const std::optional<double> usd = test::runTask(quoteUSDPrice(link, client));
        price.push_back(seconds(timer));
        if (usd != 2500.0) {
            std::fprintf(stderr, "unexpected price\n");
            return 1;
        }
    }

    const double roundTrip = median(bare);
    const double nominal = roundTrips * latencyMs / 1000.0;
    std::printf("injected latency per request: %d ms; measured bare round trip: %.4f s\n",
                latencyMs, roundTrip);
    std::printf("median of %d runs, %d round trips each (0.3 %%, 1 %%, 0.05 %%):\n", runs,
                roundTrips);
    for (const auto& [name, times] :
         {std::pair<const char*, std::vector<double>&>{"swap quote", quote},
          std::pair<const char*, std::vector<double>&>{"token price", price}}) {
        const double wall = median(times);
        std::printf("  %-12s %.4f s   / nominal %.3f s = %.3f   / measured %.4f s = %.3f"
                    "   (goal <= 1.1)\n",
                    name, wall, nominal, wall / nominal, roundTrips * roundTrip,
                    wall / (roundTrips * roundTrip));
    }
    return 0;
}
