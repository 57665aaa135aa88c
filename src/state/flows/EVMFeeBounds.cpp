#include "state/flows/EVMFeeBounds.h"

#include "core/encoding/Hex.h"
#include "platform/async/CancellationToken.h"
#include "services/evm/JSONRPCClient.h"

#include <nlohmann/json.hpp>

namespace qm {
namespace {

// Appended piece by piece: gcc 12's -Warray-bounds misreads a chain of string + here.
std::string refusalText(FeeFiguresSource source, const std::string& reason) {
    std::string text = source == FeeFiguresSource::dApp ? "The dApp's" : "The node's";
    text += " fee figures are not believable: ";
    text += reason;
    return text;
}

} // namespace

const UInt256& EVMFeeBounds::maxFeePerGas() {
    static const UInt256 bound(0, 0, 0, 10'000'000'000'000); // 10,000 x 10^9 wei
    return bound;
}

UnbelievableFees::UnbelievableFees(FeeFiguresSource source, const std::string& reason)
    : Error(refusalText(source, reason)) {}

void requireBelievableFeePerGas(const UInt256& value, std::string_view figure,
                                FeeFiguresSource source) {
    if (EVMFeeBounds::maxFeePerGas() < value) {
        throw UnbelievableFees(source, std::string(figure) + " is above 10,000 gwei per gas.");
    }
}

void requireBelievableGas(std::uint64_t gas, std::string_view figure,
                          std::optional<std::uint64_t> blockGasLimit, FeeFiguresSource source) {
    if (gas > EVMFeeBounds::maxGasLimit) {
        throw UnbelievableFees(source, std::string(figure) + " is above 30,000,000 gas.");
    }
    if (blockGasLimit && gas > *blockGasLimit) {
        throw UnbelievableFees(source, std::string(figure) +
                                           " is above the latest block's gas limit of " +
                                           std::to_string(*blockGasLimit) + ".");
    }
}

QCoro::Task<LatestBlock> readLatestBlock(std::shared_ptr<JSONRPCClient> client,
                                         CancellationToken cancel) {
    LatestBlock latest;
    try {
        QCoro::Task<ETHBlock> reading =
            client->call<ETHBlock>(std::string("eth_getBlockByNumber"),
                                   nlohmann::json::array({"latest", false}), std::move(cancel));
        const ETHBlock block = co_await std::move(reading);
        latest.number = block.number ? hexToUInt64(*block.number) : std::nullopt;
        latest.gasLimit = block.gasLimit ? hexToUInt64(*block.gasLimit) : std::nullopt;
    } catch (const std::exception&) {
        // The node does not say.
    }
    co_return latest;
}

} // namespace qm
