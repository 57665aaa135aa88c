#pragma once
// An Arbitrum One for the NOVR sale tests: anvil with chain id 42161, and the Solidity stand-ins
// of tests/peers/contracts (the swap tests' USDC, the NOVR token and the sale contract of
// NOVRSale.sol) placed at the wallet's own addresses for them. The sale holds a USDC reserve to
// pay sellers from. Helpers block on a local event loop and throw std::runtime_error.

#include "AnvilNode.h"
#include "core/crypto/UInt256.h"

#include <QUrl>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace qm::test {

class NOVRSaleChain {
public:
    NOVRSaleChain();

    AnvilNode& node() { return m_node; }
    QUrl url() const { return m_node.url(); }

    // Token state; `token` is the wallet's USDC or NOVR address.
    void mint(std::string_view token, const std::string& owner, const UInt256& amount);
    UInt256 balanceOf(std::string_view token, const std::string& owner);
    // What `owner` allows the sale contract to take; as of `block` ("latest", or a number).
    UInt256 allowance(std::string_view token, const std::string& owner,
                      const std::string& block = "latest");
    // approve(sale, amount) sent as `owner` (anvil impersonates any account).
    void approve(std::string_view token, const std::string& owner, const UInt256& amount);

    // The sale's knobs: every buy costs `bps` more; a fixed cost for any buy (0: the curve);
    // floorPrice() answering (0), answering 31 bytes (1) or reverting (2).
    void setMarkup(unsigned bps);
    void setCostOverride(const UInt256& cost);
    void setFloorMode(int mode);
    // setMarkup sent without waiting, with a tip that puts it ahead of the wallet's
    // transactions in the next block.
    void raiseMarkupAhead(unsigned bps);

    // Transactions sent by `address` and mined so far.
    std::uint64_t minedNonce(const std::string& address);
    // eth_getTransactionByHash and eth_getTransactionReceipt (null when unknown or unmined).
    nlohmann::json transaction(const std::string& hash);
    nlohmann::json receipt(const std::string& hash);

    // The curve's cost for `amount` NOVR base units with nothing sold and no markup:
    // ceil((10^6 * a + 10^4 * floor(a^2 / 2 / 10^18)) / 10^18), for a below 2^100.
    static UInt256 curveCost(const UInt256& amount);
    // The floor price the stand-in answers, in USDC base units per whole NOVR.
    static constexpr std::uint64_t floorPrice = 1'234'567;

private:
    std::string call(std::string_view to, const std::string& data,
                     const std::string& block = "latest");
    void sendFromDev(std::string_view to, const std::string& data);

    AnvilNode m_node;
};

} // namespace qm::test
