#include "services/sale/NOVRSaleContract.h"

#include "core/encoding/Hex.h"
#include "services/evm/ERC20.h"
#include "services/evm/JSONRPCClient.h"
#include "services/sale/NOVRError.h"

#include <initializer_list>
#include <string>

namespace qm {
namespace {

Bytes withWords(const Bytes& selector, std::initializer_list<UInt256> words) {
    Bytes out = selector;
    for (const UInt256& word : words) {
        const Bytes bytes = word.bigEndianWord();
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

// The first return word of an eth_call to the sale contract.
QCoro::Task<UInt256> readWord(std::shared_ptr<JSONRPCClient> client, Bytes calldata,
                              const char* invalidData, CancellationToken cancel) {
    QCoro::Task<std::string> calling = client->ethCall(std::string(novrSaleContractAddress),
                                                       bytesToHex(calldata), std::move(cancel));
    const std::string result = co_await std::move(calling);
    const std::optional<Bytes> bytes = hexToBytes(result);
    if (!bytes || bytes->size() < 32) {
        throw NOVRError::poolCallFailed(invalidData);
    }
    co_return UInt256::fromBigEndianBytes(ByteView(*bytes).first(32));
}

} // namespace

Bytes saleAddressBytes(std::string_view address) {
    const std::optional<Bytes> bytes = hexToBytes(address);
    if (!bytes || bytes->size() != 20) {
        fatalError("sale: a fixed address is not 20 bytes");
    }
    return *bytes;
}

const Bytes& buySelector() {
    static const Bytes selector = functionSelector("buy(uint256,uint256)");
    return selector;
}

const Bytes& sellSelector() {
    static const Bytes selector = functionSelector("sell(uint256)");
    return selector;
}

const Bytes& estimateBuyCostSelector() {
    static const Bytes selector = functionSelector("estimateBuyCost(uint256)");
    return selector;
}

const Bytes& floorPriceSelector() {
    static const Bytes selector = functionSelector("floorPrice()");
    return selector;
}

Bytes buyCalldata(const UInt256& amount, const UInt256& maxCost) {
    return withWords(buySelector(), {amount, maxCost});
}

Bytes sellCalldata(const UInt256& amount) {
    return withWords(sellSelector(), {amount});
}

std::optional<UInt256> novrMaxCost(const UInt256& cost, unsigned slippageBps) {
    const UInt256 basisPoints(0, 0, 0, 10'000);
    const std::optional<UInt256> factor = basisPoints.checkedAdd(UInt256(0, 0, 0, slippageBps));
    return cost.checkedMultiplyDivide(*factor, basisPoints);
}

std::optional<UInt256> novrFloorProceeds(const UInt256& amount, const UInt256& floorPrice) {
    return amount.checkedMultiplyDivide(floorPrice, *UInt256::powerOfTen(novrDecimals));
}

QCoro::Task<UInt256> estimateBuyCost(UInt256 amount, std::shared_ptr<JSONRPCClient> client,
                                     CancellationToken cancel) {
    QCoro::Task<UInt256> reading =
        readWord(std::move(client), withWords(estimateBuyCostSelector(), {amount}),
                 "estimateBuyCost returned invalid data", std::move(cancel));
    co_return co_await std::move(reading);
}

QCoro::Task<UInt256> fetchFloorPrice(std::shared_ptr<JSONRPCClient> client,
                                     CancellationToken cancel) {
    QCoro::Task<UInt256> reading = readWord(std::move(client), floorPriceSelector(),
                                            "floorPrice returned invalid data", std::move(cancel));
    co_return co_await std::move(reading);
}

} // namespace qm
