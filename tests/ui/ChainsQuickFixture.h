#pragma once
// The base of a send test's fixture over real chains: the state of a wallet made from the test
// phrase, and Polygon on anvil and Solana on the litesvm server behind the proxies of
// ProxiedChains.

#include "QuickTestSetup.h"

#include <string>

namespace qm::test {

class AppStateFixture;
class ProxiedChains;
class RPCProxy;

class ChainsQuickFixture : public QuickFixture {
    Q_OBJECT

public:
    ChainsQuickFixture(AppStateFixture& env, ProxiedChains& chains);

    AppState& state();

    Q_INVOKABLE QString password() const;
    // The wallet of the test phrase, made on the first call.
    Q_INVOKABLE void createWallet();
    // Polygon on anvil (one node for the whole run) with 100 POL at the wallet's address, in
    // the node and in the state; false without anvil.
    Q_INVOKABLE bool startPolygon();
    // The litesvm server (one for the whole run) with 5 SOL at the wallet's address, in the
    // runtime and in the state; false without node or litesvm.
    Q_INVOKABLE bool startSolana();

protected:
    std::string polygonSender() const;
    std::string solanaSender() const;

    AppStateFixture& m_env;
    ProxiedChains& m_chains;
    RPCProxy& m_polygon;
    RPCProxy& m_solana;
};

} // namespace qm::test
