#pragma once
// Polygon on anvil and Solana on the litesvm server, each behind an RPCProxy that the wallet's
// pools point at, so a test can answer one step itself in front of a real chain. Each chain
// starts on first use with the wallet funded there and in its state. Made once the
// application is.

#include "AnvilNode.h"
#include "AppStateFixture.h"
#include "LitesvmServer.h"
#include "RPCProxy.h"

#include <memory>
#include <string>

namespace qm::test {

class ProxiedChains {
public:
    // JSON-RPC pools with Polygon and Solana at the proxies (the rest at the fixture's own).
    AppStateFixture::RPCPools pools() const;
    RPCProxy& polygonProxy() { return m_polygon; }
    RPCProxy& solanaProxy() { return m_solana; }

    // anvil with 100 POL at the wallet's Polygon address; false without anvil.
    bool startPolygon(AppState& state);
    // The litesvm server with 5 SOL at the wallet's Solana address; false without node or
    // litesvm.
    bool startSolana(AppState& state);
    // Once started.
    AnvilNode& anvil() { return *m_anvil; }
    const LitesvmServer& litesvm() const { return *m_litesvm; }

    static std::string polygonSender(const AppState& state);
    static std::string solanaSender(const AppState& state);

private:
    RPCProxy m_polygon;
    RPCProxy m_solana;
    std::unique_ptr<AnvilNode> m_anvil;
    std::unique_ptr<LitesvmServer> m_litesvm;
};

} // namespace qm::test
