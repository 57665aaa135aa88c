#include "NOVRSaleWallet.h"

#include "RunTask.h"
#include "services/sale/NOVRSaleContract.h"
#include "state/AppState.h"
#include "state/refresh/RefreshOrchestrator.h"

namespace qm::test {

NOVRSaleWallet::NOVRSaleWallet() : m_chain(std::make_unique<NOVRSaleChain>()) {
    RefreshFixture::Setup setup;
    m_proxy.setTarget(m_chain->url());
    setup.arbitrum = m_proxy.url();
    m_env = std::make_unique<RefreshFixture>(setup);
    AppState& wallet = m_env->state();
    runTask(wallet.createWallet(AppStateFixture::abandonPhrase(), password));
    wallet.stopBackgroundTasks();
    wallet.refreshOrchestrator().setSuspendedForTesting(true);
    m_address = wallet.evmAccounts(Chain::arbitrum).at(0).account.address;
    m_chain->node().setBalance(m_address, "0x8ac7230489e80000");
    m_chain->mint(usdcArbitrumAddress, m_address, UInt256(0, 0, 0, 100'000'000));
}

NOVRSaleWallet::~NOVRSaleWallet() = default;

} // namespace qm::test
