#include "NOVRSaleChain.h"

#include "TestContracts.h"
#include "core/encoding/Hex.h"
#include "services/evm/ERC20.h"
#include "services/sale/NOVRSaleContract.h"

#include <stdexcept>

namespace qm::test {
namespace {

UInt256 units(std::uint64_t value) {
    return UInt256(0, 0, 0, value);
}

std::string word(const UInt256& value) {
    return bytesToPlainHex(value.bigEndianWord());
}

std::string addressWord(const std::string& address) {
    return word(UInt256::fromBigEndianBytes(hexToBytes(address).value()));
}

std::string selectorHex(std::string_view signature) {
    return bytesToHex(functionSelector(signature));
}

UInt256 must(std::optional<UInt256> value) {
    if (!value) {
        throw std::runtime_error("NOVRSaleChain: arithmetic out of range");
    }
    return *value;
}

} // namespace

NOVRSaleChain::NOVRSaleChain() : m_node(arbitrumChainID) {
    const TestContracts& contracts = TestContracts::shared();
    m_node.setCode(std::string(usdcArbitrumAddress), contracts.deployedBytecode("TestUSDC"));
    m_node.setCode(std::string(novrTokenAddress), contracts.deployedBytecode("NovaCrestToken"));
    m_node.setCode(std::string(novrSaleContractAddress),
                   contracts.deployedBytecode("NOVRSaleDouble"));
    // 1,000,000 USDC for paying sellers.
    mint(usdcArbitrumAddress, std::string(novrSaleContractAddress), units(1'000'000'000'000));
}

void NOVRSaleChain::mint(std::string_view token, const std::string& owner, const UInt256& amount) {
    sendFromDev(token, selectorHex("mint(address,uint256)") + addressWord(owner) + word(amount));
}

UInt256 NOVRSaleChain::balanceOf(std::string_view token, const std::string& owner) {
    return UInt256::fromHex(call(token, selectorHex("balanceOf(address)") + addressWord(owner)))
        .value();
}

UInt256 NOVRSaleChain::allowance(std::string_view token, const std::string& owner,
                                 const std::string& block) {
    const std::string data = selectorHex("allowance(address,address)") + addressWord(owner) +
                             addressWord(std::string(novrSaleContractAddress));
    return UInt256::fromHex(call(token, data, block)).value();
}

void NOVRSaleChain::approve(std::string_view token, const std::string& owner,
                            const UInt256& amount) {
    m_node.rpc("anvil_impersonateAccount", nlohmann::json::array({owner}));
    m_node.send(owner, std::string(token),
                selectorHex("approve(address,uint256)") +
                    addressWord(std::string(novrSaleContractAddress)) + word(amount));
    m_node.rpc("anvil_stopImpersonatingAccount", nlohmann::json::array({owner}));
}

void NOVRSaleChain::setMarkup(unsigned bps) {
    sendFromDev(novrSaleContractAddress, selectorHex("setMarkup(uint256)") + word(units(bps)));
}

void NOVRSaleChain::setCostOverride(const UInt256& cost) {
    sendFromDev(novrSaleContractAddress, selectorHex("setCostOverride(uint256)") + word(cost));
}

void NOVRSaleChain::setFloorMode(int mode) {
    sendFromDev(novrSaleContractAddress,
                selectorHex("setFloorMode(uint8)") + word(units(static_cast<std::uint64_t>(mode))));
}

void NOVRSaleChain::raiseMarkupAhead(unsigned bps) {
    const nlohmann::json transaction = {
        {"from", AnvilNode::devAccount(1)},
        {"to", std::string(novrSaleContractAddress)},
        {"data", selectorHex("setMarkup(uint256)") + word(units(bps))},
        {"maxPriorityFeePerGas", "0x174876e800"}, // 100 gwei
        {"maxFeePerGas", "0x2540be4000"}};        // 160 gwei
    m_node.rpc("eth_sendTransaction", nlohmann::json::array({transaction}));
}

std::uint64_t NOVRSaleChain::minedNonce(const std::string& address) {
    return hexToUInt64(
               m_node.rpc("eth_getTransactionCount", {address, "latest"}).get<std::string>())
        .value();
}

nlohmann::json NOVRSaleChain::transaction(const std::string& hash) {
    return m_node.rpc("eth_getTransactionByHash", nlohmann::json::array({hash}));
}

nlohmann::json NOVRSaleChain::receipt(const std::string& hash) {
    return m_node.rpc("eth_getTransactionReceipt", nlohmann::json::array({hash}));
}

UInt256 NOVRSaleChain::curveCost(const UInt256& amount) {
    const UInt256 one = *UInt256::powerOfTen(18);
    const UInt256 halfSquare =
        must(amount.checkedMultiplyDivide(amount, must(one.checkedMultiply(units(2)))));
    const UInt256 area = must(must(amount.checkedMultiply(units(1'000'000)))
                                  .checkedAdd(must(halfSquare.checkedMultiply(units(10'000)))));
    const UInt256 roundedUp = must(area.checkedAdd(must(one.checkedSubtract(units(1)))));
    return must(roundedUp.checkedMultiplyDivide(units(1), one));
}

std::string NOVRSaleChain::call(std::string_view to, const std::string& data,
                                const std::string& block) {
    const nlohmann::json request = {{"to", std::string(to)}, {"data", data}};
    return m_node.rpc("eth_call", {request, block}).get<std::string>();
}

void NOVRSaleChain::sendFromDev(std::string_view to, const std::string& data) {
    m_node.send(AnvilNode::devAccount(0), std::string(to), data);
}

} // namespace qm::test
