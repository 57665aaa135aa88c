#include "ProxiedChains.h"

namespace qm::test {

AppStateFixture::RPCPools ProxiedChains::pools() const {
    AppStateFixture::RPCPools pools;
    pools[chainIndex(Chain::polygon) - 1] = m_polygon.url();
    pools[chainIndex(Chain::solana) - 1] = m_solana.url();
    return pools;
}

bool ProxiedChains::startPolygon(AppState& state) {
    if (!AnvilNode::isAvailable()) {
        return false;
    }
    if (!m_anvil) {
        m_anvil = std::make_unique<AnvilNode>(137);
        m_polygon.setTarget(m_anvil->url());
        m_anvil->setBalance(polygonSender(state), "0x56bc75e2d63100000");
        const EVMAccountState& account = state.evmAccounts(Chain::polygon).front();
        state.updateEVMAccount(Chain::polygon, 0, account.id(), [](EVMAccountState& a) {
            a.balanceNative = 100;
            a.balanceWei = UInt256::fromDecimalString("100000000000000000000");
            a.balanceLoad.end(false);
        });
    }
    return true;
}

bool ProxiedChains::startSolana(AppState& state) {
    if (!m_litesvm) {
        m_litesvm = std::make_unique<LitesvmServer>(solanaSender(state), 5'000'000'000,
                                                    std::vector<LitesvmServer::Holding>{});
        m_solana.setTarget(m_litesvm->url());
        const SolanaAccountState& account = state.solanaAccounts().front();
        state.updateSolanaAccount(0, account.id(), [](SolanaAccountState& a) {
            a.balanceLamports = 5'000'000'000;
            a.balanceLoad.end(false);
        });
    }
    return m_litesvm->isRunning();
}

std::string ProxiedChains::polygonSender(const AppState& state) {
    return state.evmAccounts(Chain::polygon).front().account.address;
}

std::string ProxiedChains::solanaSender(const AppState& state) {
    return state.solanaAccounts().front().account.address;
}

} // namespace qm::test
