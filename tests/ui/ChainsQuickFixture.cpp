#include "ChainsQuickFixture.h"

#include "AppStateFixture.h"
#include "ProxiedChains.h"
#include "RunTask.h"

namespace qm::test {

namespace {
constexpr const char* walletPassword = "correct horse 1";
}

ChainsQuickFixture::ChainsQuickFixture(AppStateFixture& env, ProxiedChains& chains)
    : m_env(env), m_chains(chains), m_polygon(chains.polygonProxy()),
      m_solana(chains.solanaProxy()) {}

AppState& ChainsQuickFixture::state() {
    return m_env.state();
}

QString ChainsQuickFixture::password() const {
    return QString::fromLatin1(walletPassword);
}

void ChainsQuickFixture::createWallet() {
    if (state().wallet()) {
        return;
    }
    state().loadStoredState();
    runTask(state().createWallet(AppStateFixture::abandonPhrase(), walletPassword));
    state().stopBackgroundTasks();
}

bool ChainsQuickFixture::startPolygon() {
    return m_chains.startPolygon(state());
}

bool ChainsQuickFixture::startSolana() {
    return m_chains.startSolana(state());
}

std::string ChainsQuickFixture::polygonSender() const {
    return ProxiedChains::polygonSender(m_env.state());
}

std::string ChainsQuickFixture::solanaSender() const {
    return ProxiedChains::solanaSender(m_env.state());
}

} // namespace qm::test
