// Driver of swap_peer.mjs: "arith" -> {"add", "sub", "mul", "mulDiv"} (null when refused),
// "minimum" -> {"minimum"}, "quoter" -> {"data"}, "router" -> {"data", "value", "router"};
// 256-bit values as hex quantities.
#include "PeerDriver.h"
#include "core/encoding/Hex.h"
#include "services/swap/UniswapCalldata.h"
#include "services/swap/UniswapQuoter.h"

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace {

using nlohmann::json;
using namespace qm;

UInt256 quantity(const json& request, const char* name) {
    const auto value = UInt256::fromHex(request.at(name).get<std::string>());
    if (!value) {
        throw std::invalid_argument(std::string("bad quantity in ") + name);
    }
    return *value;
}

json text(const std::optional<UInt256>& value) {
    return value ? json(value->description()) : json(nullptr);
}

SwapToken token(const json& side) {
    return {side.at("symbol").get<std::string>(), side.at("address").get<std::string>(),
            side.at("decimals").get<std::int64_t>(), side.at("isNative").get<bool>()};
}

json answer(const json& request) {
    const auto op = request.at("op").get<std::string>();
    if (op == "arith") {
        const UInt256 a = quantity(request, "a");
        const UInt256 b = quantity(request, "b");
        return {{"add", text(a.checkedAdd(b))},
                {"sub", text(a.checkedSubtract(b))},
                {"mul", text(a.checkedMultiply(b))},
                {"mulDiv", text(a.checkedMultiplyDivide(b, quantity(request, "d")))}};
    }
    if (op == "minimum") {
        return {{"minimum", minimumAmountOut(quantity(request, "amount"),
                                             request.at("bps").get<std::int64_t>())
                                .description()}};
    }
    if (op == "quoter") {
        return {{"data", bytesToHex(quoterCalldata(test::hexField(request, "tokenIn"),
                                                   test::hexField(request, "tokenOut"),
                                                   quantity(request, "amountIn"),
                                                   request.at("fee").get<std::uint64_t>()))}};
    }
    if (op == "router") {
        const Chain chain = chainFromRawValue(request.at("chain").get<std::string>()).value();
        SwapQuote quote;
        quote.tokenIn = token(request.at("tokenIn"));
        quote.tokenOut = token(request.at("tokenOut"));
        quote.amountIn = quantity(request, "amountIn");
        quote.amountOutMinimum = quantity(request, "amountOutMinimum");
        quote.fee = request.at("fee").get<std::uint64_t>();
        const auto now = std::chrono::system_clock::time_point(
            std::chrono::seconds(request.at("now").get<std::int64_t>()));
        const RouterCall call =
            uniswapSwapCalldata(quote, test::hexField(request, "recipient"), chain, now);
        return {{"data", bytesToHex(call.data)},
                {"value", call.value.description()},
                {"router", bytesToHex(call.router)}};
    }
    throw std::invalid_argument("unknown op " + op);
}

} // namespace

int main() {
    return qm::test::runPeerDriver(answer);
}
