#pragma once
// The set-up of a send test over real chains: the chains behind their proxies, a wallet's state
// over them, the test's fixture (a ChainsQuickFixture) and flows paced for a test.

#include "AppStateFixture.h"
#include "ChainsQuickFixture.h"
#include "ProxiedChains.h"
#include "QuickTestSetup.h"
#include "state/flows/FlowService.h"

#include <memory>
#include <utility>

namespace qm::test {

class ChainsQuickTestSetup : public QuickTestSetup {
    Q_OBJECT

protected:
    // From applicationAvailable(): the state's network clients limited as `network` says, the
    // fixture a `Fixture`, the flows paced by `limits`; then shown.
    template <typename Fixture>
    void start(const FlowLimits& limits, NetworkManager::Options network = {}) {
        prepareApplication(QLocale(QStringLiteral("en_US")));
        m_chains = std::make_unique<ProxiedChains>();
        m_env = std::make_unique<AppStateFixture>(m_chains->pools(), std::move(network));
        m_fixture = std::make_unique<Fixture>(*m_env, *m_chains);
        m_flows = std::make_unique<FlowService>(limits);
        FlowService::install(m_flows.get());
        show(m_fixture.get(), m_env->state());
    }

public slots:
    void cleanupTestCase() override;

private:
    // Servers: made once the application is.
    std::unique_ptr<ProxiedChains> m_chains;
    std::unique_ptr<FlowService> m_flows;
    std::unique_ptr<AppStateFixture> m_env;
    std::unique_ptr<ChainsQuickFixture> m_fixture;
};

} // namespace qm::test
