#pragma once
// Uniswap V3 on an anvil node, from the published npm artifacts, at the addresses the wallet
// uses: WETH9 at the chain's wrapped-native address and the factory first, then QuoterV2 and
// SwapRouter02 built with those two (their immutables live in their code) and copied to the
// quoter and router addresses. Test tokens stand at the chain's USDC and DAI addresses and at
// two addresses of their own; pools (full-range liquidity):
//   WETH/USDC 0.3 %  1 WETH = 2000 USDC        GLD/USDC 0.3 %  1 GLD = 50 USDC (18 decimals)
//   USDC/DAI 0.05 %  1 : 1 (the only tier)      MCR/USDC 0.05 %  1 MCR = 3 USDC (24 decimals)
// LONE (18 decimals) has no pool. Deployed from anvil's dev account 0.

#include "AnvilNode.h"
#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"

#include <string>

namespace qm::test {

class UniswapV3Fixture {
public:
    // Throws std::runtime_error when an artifact is missing, a deployment fails, or the pool
    // creation code does not hash to the periphery's init code hash.
    UniswapV3Fixture(AnvilNode& node, Chain chain);

    // keccak256 of UniswapV3Pool's creation code, and the POOL_INIT_CODE_HASH the periphery's
    // PoolAddress library was built with ("0x" and 64 lowercase digits).
    static std::string poolCreationCodeHash();
    static std::string peripheryInitCodeHash();

    Chain chain() const { return m_chain; }
    const std::string& factory() const { return m_factory; }
    std::string weth() const;
    std::string usdc() const;
    std::string dai() const;
    static constexpr const char* gold = "0x000000000000000000000000000000000000601d";
    static constexpr const char* micro = "0x0000000000000000000000000000000000000d24";
    static constexpr const char* lonely = "0x000000000000000000000000000000000000109e";

    // A pool of `fee` between the two tokens (created when missing) priced amountB / amountA,
    // with liquidity of about those amounts.
    void seedPool(const std::string& tokenA, const std::string& tokenB, std::uint64_t fee,
                  const UInt256& amountA, const UInt256& amountB);
    // Mints a test token to `to` (not WETH).
    void mint(const std::string& token, const std::string& to, const UInt256& amount);
    UInt256 balanceOf(const std::string& token, const std::string& owner);
    UInt256 allowance(const std::string& token, const std::string& owner,
                      const std::string& spender);
    UInt256 nativeBalance(const std::string& owner);
    // A successful transaction from an unlocked account (throws when it reverts).
    nlohmann::json transact(const std::string& from, const std::string& to, const std::string& data,
                            const std::string& valueHex = "0x0");

private:
    AnvilNode& m_node;
    Chain m_chain;
    std::string m_factory;
    std::string m_seeder;
};

} // namespace qm::test
