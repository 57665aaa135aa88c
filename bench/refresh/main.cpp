// How well the ten refresh jobs overlap: a full refresh against loopback servers that answer
// every request after a fixed delay, timed as a whole and job by job. Prints the wall time
// divided by the longest single job's time (1.0: the refresh lasts as long as its slowest job;
// 10: the jobs ran one after another).

#include "RefreshFixture.h"
#include "RunTask.h"
#include "platform/async/WhenAll.h"
#include "state/refresh/BitcoinRefresh.h"
#include "state/refresh/EVMRefresh.h"
#include "state/refresh/ExplorerRefresh.h"
#include "state/refresh/PriceRefresh.h"
#include "state/refresh/SolanaRefresh.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

using namespace qm;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using qm::test::RefreshFixture;
using json = nlohmann::json;

namespace {

constexpr int latencyMs = 100;
constexpr int trickleMs = 2;

// The body padded with blanks so that trickling it byte by byte takes the latency.
HttpFixtureResponse delayed(QByteArray body) {
    const int bytes = latencyMs / trickleMs;
    if (body.size() < bytes) {
        body.append(QByteArray(bytes - body.size(), ' '));
    }
    HttpFixtureResponse response = HttpFixtureResponse::json(body);
    response.behaviour = HttpFixtureResponse::Behaviour::trickle;
    response.trickleIntervalMs = std::max<int>(1, latencyMs / static_cast<int>(body.size()));
    return response;
}

HttpFixtureResponse rpcAnswer(const HttpFixtureRequest& request) {
    const json call = json::parse(request.body.toStdString());
    const std::string method = call["method"];
    json result = "0x1";
    if (method == "eth_getBalance") {
        result = "0x1158e460913d00000";
    } else if (method == "eth_call") {
        result = "0x" + std::string(63, '0') + "5";
    } else if (method == "eth_getLogs") {
        result = json::array();
    } else if (method == "getLatestBlockhash") {
        result = {
            {"context", {{"slot", 1}}},
            {"value",
             {{"blockhash", "11111111111111111111111111111111"}, {"lastValidBlockHeight", 9}}}};
    } else if (method == "getBalance") {
        result = {{"context", {{"slot", 1}}}, {"value", 5}};
    } else if (method == "getTokenAccountsByOwner") {
        result = {{"context", {{"slot", 1}}}, {"value", json::array()}};
    } else if (method == "getSignaturesForAddress") {
        result = json::array();
    }
    return delayed(QByteArray::fromStdString(
        json{{"jsonrpc", "2.0"}, {"id", call["id"]}, {"result", result}}.dump()));
}

HttpFixtureResponse webAnswer(const HttpFixtureRequest& request) {
    if (request.target.contains("/ticker/24hr")) {
        return delayed(R"([{"symbol":"BTCUSDT","lastPrice":"1","priceChangePercent":"0"}])");
    }
    if (request.target.contains("/klines")) {
        return delayed(R"([[1714000000000,"1","1","1","5"]])");
    }
    return delayed(R"({"items":[],"next_page_params":null})");
}

QCoro::Task<void> timed(QCoro::Task<void> job, double& seconds) {
    QElapsedTimer timer;
    timer.start();
    co_await std::move(job);
    seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    RefreshFixture env;
    env.setBitcoinAddresses({0, 1, 2});
    for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
        env.setEVMAccount(chain, "0x00000000000000000000000000000000000000e1");
        (void)env.tokens().add(
            Token{"0x00000000000000000000000000000000000c0de1", "TST", "Test", 6, chain});
    }
    env.setSolanaAccount("11111111111111111111111111111111");
    env.rpc().setHandler(rpcAnswer);
    env.web().setHandler(webAnswer);

    // Electrum answers after the same delay, one timer per request.
    test::ElectrumFixture& electrum = env.electrum();
    for (const char* method : {"blockchain.headers.subscribe", "blockchain.scripthash.get_balance",
                               "blockchain.scripthash.get_history", "blockchain.transaction.get"}) {
        const std::string name = method;
        electrum.answerRaw(name, [&electrum, name](const json& request) {
            json result = json::array();
            if (name == "blockchain.headers.subscribe") {
                result = {{"height", 100}, {"hex", "00"}};
            } else if (name == "blockchain.scripthash.get_balance") {
                result = {{"confirmed", 1000}, {"unconfirmed", 0}};
            }
            const std::string line =
                json{{"jsonrpc", "2.0"}, {"id", request["id"]}, {"result", result}}.dump() + "\n";
            QTimer::singleShot(latencyMs, &electrum, [&electrum, line] { electrum.sendRaw(line); });
            return std::optional<std::string>();
        });
    }

    // A first pass connects every pool, so the measured one sees only the requests.
    test::runTask(env.refresh().refreshAll({}));

    const char* names[] = {"bitcoin balances",
                           "bitcoin history",
                           "ethereum balances",
                           "arbitrum balances",
                           "polygon balances",
                           "ethereum history",
                           "arbitrum history",
                           "polygon history",
                           "solana",
                           "prices"};
    double seconds[10] = {};
    const RefreshJob job{&env.state(), {}};
    std::vector<QCoro::Task<void>> jobs;
    jobs.push_back(timed(refreshBitcoinBalances(job), seconds[0]));
    jobs.push_back(timed(refreshBitcoinHistory(job), seconds[1]));
    int slot = 2;
    for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
        jobs.push_back(timed(refreshEVMBalances(job, chain), seconds[slot++]));
    }
    for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
        jobs.push_back(timed(refreshExplorerHistory(job, chain), seconds[slot++]));
    }
    jobs.push_back(timed(refreshSolana(job), seconds[8]));
    jobs.push_back(timed(refreshPrices(job), seconds[9]));
    QElapsedTimer wall;
    wall.start();
    test::runTask(whenAll(std::move(jobs)));
    const double together = static_cast<double>(wall.nsecsElapsed()) / 1e9;

    QElapsedTimer whole;
    whole.start();
    test::runTask(env.refresh().refreshAll({}));
    const double refreshAll = static_cast<double>(whole.nsecsElapsed()) / 1e9;

    const double longest = *std::max_element(std::begin(seconds), std::end(seconds));
    std::printf("latency per request: %d ms\n", latencyMs);
    for (int i = 0; i < 10; ++i) {
        std::printf("  %-18s %7.3f s\n", names[i], seconds[i]);
    }
    std::printf("ten jobs together:  %7.3f s\n", together);
    std::printf("refreshAll():       %7.3f s\n", refreshAll);
    std::printf("wall / longest job: %.3f (goal <= 1.2); refreshAll() / longest job: %.3f\n",
                together / longest, refreshAll / longest);
    return 0;
}
