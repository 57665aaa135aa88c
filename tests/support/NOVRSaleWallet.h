#pragma once
// A created wallet (the published "abandon ... about" phrase, password "correct horse") whose
// Arbitrum endpoint is a NOVRSaleChain (behind a proxy a test may have answer a method itself),
// its first EVM address holding 10 ether for gas and 100 USDC. The refresh is suspended (tests
// that want it switch it back on).

#include "NOVRSaleChain.h"
#include "RPCProxy.h"
#include "RefreshFixture.h"

#include <memory>
#include <string>

namespace qm::test {

class NOVRSaleWallet {
public:
    NOVRSaleWallet();
    ~NOVRSaleWallet();

    static constexpr const char* password = "correct horse";

    NOVRSaleChain& chain() { return *m_chain; }
    RefreshFixture& env() { return *m_env; }
    // Between the wallet and the chain's node.
    RPCProxy& proxy() { return m_proxy; }
    AppState& state() { return m_env->state(); }
    // The wallet's Arbitrum address.
    const std::string& address() const { return m_address; }

private:
    std::unique_ptr<NOVRSaleChain> m_chain;
    RPCProxy m_proxy;
    std::unique_ptr<RefreshFixture> m_env;
    std::string m_address;
};

} // namespace qm::test
