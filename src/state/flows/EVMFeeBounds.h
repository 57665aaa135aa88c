#pragma once
// Fee figures no honest chain gives: a fee cap or tip above 10,000 gwei per gas, a gas limit
// above 30,000,000 or above the latest block's own limit. A node (or a dApp) that asks for
// more is broken or hostile; the transaction is refused before any review shows its figures,
// so nothing of it is signed. Every EVM transaction the wallet prepares is held to these.

#include "core/crypto/UInt256.h"
#include "platform/Error.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <string_view>

namespace qm {

class CancellationToken;
class JSONRPCClient;

struct EVMFeeBounds {
    // 10,000 gwei, in wei.
    static const UInt256& maxFeePerGas();
    static constexpr std::uint64_t maxGasLimit = 30'000'000;
};

// Whose figures they are, as the refusal names it.
enum class FeeFiguresSource { node, dApp };

class UnbelievableFees : public Error {
public:
    // "The node's fee figures are not believable: " (or "The dApp's ...") and `reason`.
    UnbelievableFees(FeeFiguresSource source, const std::string& reason);
};

// Throws UnbelievableFees when `value` (wei per gas) is above maxFeePerGas, naming `figure`
// ("the gas price").
void requireBelievableFeePerGas(const UInt256& value, std::string_view figure,
                                FeeFiguresSource source = FeeFiguresSource::node);
// Throws UnbelievableFees when `gas` is above maxGasLimit or `blockGasLimit`, naming `figure`
// ("the gas limit").
void requireBelievableGas(std::uint64_t gas, std::string_view figure,
                          std::optional<std::uint64_t> blockGasLimit,
                          FeeFiguresSource source = FeeFiguresSource::node);

// What the chain's latest block says ("eth_getBlockByNumber" ["latest", false]): its gas limit
// (none: the fixed bound alone applies) and its number. Each none when the node does not say (a
// failure, or no such field).
struct LatestBlock {
    std::optional<std::uint64_t> number;
    std::optional<std::uint64_t> gasLimit;
};
QCoro::Task<LatestBlock> readLatestBlock(std::shared_ptr<JSONRPCClient> client,
                                         CancellationToken cancel);

} // namespace qm
