#include "state/AppState.h"

#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/BlockExplorerClient.h"
#include "state/UniswapTokenPrices.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/AttemptWatch.h"
#include "state/refresh/RefreshOrchestrator.h"
#include "state/signing/Signer.h"
#include "state/walletconnect/WalletConnectService.h"

#include <cmath>

namespace qm {

AppStateServices::AppStateServices() = default;
AppStateServices::AppStateServices(AppStateServices&&) noexcept = default;
AppStateServices& AppStateServices::operator=(AppStateServices&&) noexcept = default;
AppStateServices::~AppStateServices() = default;

AppStateServices AppStateServices::standard() {
    AppStateServices services;
    services.keychain = &KeychainManager::shared();
    services.tokenStore = &TokenStore::shared();
    services.networkManager = std::make_unique<NetworkManager>();
    services.explorerClient = std::make_unique<BlockExplorerClient>();
    services.coinGecko = std::make_unique<CoinGeckoClient>();
    services.wcViewModel = std::make_unique<WalletConnectService>();
    services.tokenPrices = std::make_unique<UniswapTokenPrices>();
    return services;
}

AppState::AppState(QObject* parent) : AppState(AppStateServices::standard(), parent) {}

AppState::AppState(AppStateServices services, QObject* parent)
    : QObject(parent), m_tokenStore(services.tokenStore),
      m_networkManager(services.networkManager.release()),
      m_explorerClient(services.explorerClient.release()),
      m_coinGecko(services.coinGecko.release()), m_wcViewModel(services.wcViewModel.release()),
      m_tokenPrices(std::move(services.tokenPrices)) {
    if (!services.keychain || !m_tokenStore || !m_networkManager || !m_explorerClient ||
        !m_coinGecko || !m_wcViewModel || !m_tokenPrices) {
        fatalError("AppState: a service is missing");
    }
    for (QObject* child : std::initializer_list<QObject*>{m_networkManager, m_explorerClient,
                                                          m_coinGecko, m_wcViewModel}) {
        child->setParent(this);
    }
    m_signer = std::make_unique<Signer>(*services.keychain);
    m_wcViewModel->attach(*this);
    m_refresh = new RefreshOrchestrator(*this);
    m_attempts = new AttemptLedger(
        services.attemptsFile.empty() ? AttemptLedger::defaultFile() : services.attemptsFile, this);
    m_attemptWatch = new AttemptWatch(*this, *m_attempts);
}

AppState::~AppState() {
    // Jobs re-check this object after every await; cancelling ends their waits early too.
    m_refresh->cancelAll();
}

// --- Setters: values notify on a change only; records, keys and lists always. ----------------

namespace {

template <typename T, typename Signal>
void assignIfChanged(AppState* state, T& stored, T value, Signal signal) {
    if (stored == value) {
        return;
    }
    stored = std::move(value);
    emit(state->*signal)();
}

} // namespace

void AppState::setWallet(std::optional<Wallet> wallet) {
    m_wallet = std::move(wallet);
    emit walletChanged();
}

void AppState::setIsLocked(bool locked) {
    assignIfChanged(this, m_isLocked, locked, &AppState::isLockedChanged);
}

void AppState::setIsOnboarding(bool onboarding) {
    assignIfChanged(this, m_isOnboarding, onboarding, &AppState::isOnboardingChanged);
}

void AppState::setBitcoinAccounts(std::vector<BTCAccountState> accounts) {
    m_bitcoinAccounts = std::move(accounts);
    emit bitcoinAccountsChanged();
}

namespace {

// The slot of an EVM chain's list; none for Bitcoin and Solana.
std::optional<std::size_t> evmSlot(Chain chain) {
    switch (chain) {
    case Chain::ethereum:
        return 0;
    case Chain::arbitrum:
        return 1;
    case Chain::polygon:
        return 2;
    default:
        return std::nullopt;
    }
}

// The element `index` of `list` when it is the account `id`.
template <typename AccountState>
AccountState* accountAt(std::vector<AccountState>& list, std::size_t index, const std::string& id) {
    return index < list.size() && list[index].id() == id ? &list[index] : nullptr;
}

} // namespace

void AppState::setEVMAccounts(Chain chain, std::vector<EVMAccountState> accounts) {
    if (const auto slot = evmSlot(chain)) {
        m_evmAccounts[*slot] = std::move(accounts);
        emit evmAccountsChanged(chain);
    }
}

void AppState::setSolanaAccounts(std::vector<SolanaAccountState> accounts) {
    m_solanaAccounts = std::move(accounts);
    emit solanaAccountsChanged();
}

bool AppState::updateBitcoinAccount(std::size_t index, const std::string& id,
                                    const std::function<void(BTCAccountState&)>& change) {
    BTCAccountState* account = accountAt(m_bitcoinAccounts, index, id);
    if (!account) {
        return false;
    }
    change(*account);
    emit accountChanged(Chain::bitcoin, static_cast<int>(index));
    return true;
}

bool AppState::updateEVMAccount(Chain chain, std::size_t index, const std::string& id,
                                const std::function<void(EVMAccountState&)>& change) {
    const auto slot = evmSlot(chain);
    EVMAccountState* account = slot ? accountAt(m_evmAccounts[*slot], index, id) : nullptr;
    if (!account) {
        return false;
    }
    change(*account);
    emit accountChanged(chain, static_cast<int>(index));
    return true;
}

bool AppState::updateSolanaAccount(std::size_t index, const std::string& id,
                                   const std::function<void(SolanaAccountState&)>& change) {
    SolanaAccountState* account = accountAt(m_solanaAccounts, index, id);
    if (!account) {
        return false;
    }
    change(*account);
    emit accountChanged(Chain::solana, static_cast<int>(index));
    return true;
}

void AppState::setBtcPriceUSD(std::optional<double> price) {
    assignIfChanged(this, m_btcPriceUSD, price, &AppState::btcPriceUSDChanged);
}

void AppState::setEthPriceUSD(std::optional<double> price) {
    assignIfChanged(this, m_ethPriceUSD, price, &AppState::ethPriceUSDChanged);
}

void AppState::setSolPriceUSD(std::optional<double> price) {
    assignIfChanged(this, m_solPriceUSD, price, &AppState::solPriceUSDChanged);
}

void AppState::setChainPrices(std::map<Chain, ChainPrice> prices) {
    m_chainPrices = std::move(prices);
    emit chainPricesChanged();
}

std::optional<double> AppState::nativePriceUSD(Chain chain) const {
    switch (chain) {
    case Chain::bitcoin:
        return m_btcPriceUSD;
    case Chain::ethereum:
    case Chain::arbitrum:
        return m_ethPriceUSD;
    case Chain::polygon:
        if (const auto found = m_chainPrices.find(Chain::polygon); found != m_chainPrices.end()) {
            return found->second.usd;
        }
        return std::nullopt;
    case Chain::solana:
        return m_solPriceUSD;
    }
    return std::nullopt;
}

bool AppState::nativePriceLoadFailed(Chain chain) const {
    return m_priceLoadFailures.contains(chain == Chain::arbitrum ? Chain::ethereum : chain);
}

void AppState::setPriceLoadFailed(Chain chain, bool failed) {
    const bool changed =
        failed ? m_priceLoadFailures.insert(chain).second : m_priceLoadFailures.erase(chain) > 0;
    if (changed) {
        emit priceLoadFailedChanged();
    }
}

void AppState::setChartCache(std::map<std::string, std::vector<PricePoint>> cache) {
    m_chartCache = std::move(cache);
    emit chartCacheChanged();
}

void AppState::setChartLoadFailed(Chain chain, bool failed) {
    const bool changed =
        failed ? m_chartLoadFailures.insert(chain).second : m_chartLoadFailures.erase(chain) > 0;
    if (changed) {
        emit chartLoadFailedChanged();
    }
}

void AppState::setBtcBlockHeight(qint64 height) {
    assignIfChanged(this, m_btcBlockHeight, height, &AppState::btcBlockHeightChanged);
}

void AppState::setIsRefreshing(bool refreshing) {
    assignIfChanged(this, m_isRefreshing, refreshing, &AppState::isRefreshingChanged);
}

void AppState::setLastRefresh(std::optional<Date> date) {
    assignIfChanged(this, m_lastRefresh, date, &AppState::lastRefreshChanged);
}

void AppState::setBtcSubscriptionsReady(bool ready) {
    assignIfChanged(this, m_btcSubscriptionsReady, ready, &AppState::btcSubscriptionsReadyChanged);
}

void AppState::setSelectedChain(Chain chain) {
    assignIfChanged(this, m_selectedChain, chain, &AppState::selectedChainChanged);
}

void AppState::setSelectedAccountIndex(qint64 index) {
    assignIfChanged(this, m_selectedAccountIndex, index, &AppState::selectedAccountIndexChanged);
}

// --- Views -------------------------------------------------------------------------------------

namespace {

double evmTotal(const std::vector<EVMAccountState>& accounts, double nativePrice) {
    double native = 0;
    double tokens = 0;
    for (const EVMAccountState& account : accounts) {
        if (account.balanceLoad.known) {
            native += account.balanceNative * nativePrice;
        }
    }
    for (const EVMAccountState& account : accounts) {
        for (const TokenBalance& token : account.tokens) {
            if (token.priceUSD) {
                tokens += token.balanceFormatted * *token.priceUSD;
            }
        }
    }
    return native + tokens;
}

} // namespace

double AppState::totalUSD(Chain chain) const {
    switch (chain) {
    case Chain::bitcoin: {
        double total = 0;
        for (const BTCAccountState& account : m_bitcoinAccounts) {
            if (account.balanceLoad.known) {
                total += static_cast<double>(account.balanceSats) / 100'000'000.0 * btcPriceUSD();
            }
        }
        return total;
    }
    case Chain::ethereum:
    case Chain::arbitrum:
    case Chain::polygon:
        return evmTotal(evmAccounts(chain), nativePriceUSD(chain).value_or(0));
    case Chain::solana: {
        double native = 0;
        double tokens = 0;
        for (const SolanaAccountState& account : m_solanaAccounts) {
            if (account.balanceLoad.known) {
                native +=
                    static_cast<double>(account.balanceLamports) / 1'000'000'000.0 * solPriceUSD();
            }
        }
        for (const SolanaAccountState& account : m_solanaAccounts) {
            for (const SPLTokenBalance& token : account.tokens) {
                if (token.priceUSD) {
                    tokens += *token.priceUSD *
                              (static_cast<double>(token.amount) / std::pow(10.0, token.decimals));
                }
            }
        }
        return native + tokens;
    }
    }
    return 0;
}

std::optional<Account> AppState::selectedAccount() const {
    const auto pick = [this](const auto& list) -> std::optional<Account> {
        if (m_selectedAccountIndex < 0 ||
            static_cast<std::uint64_t>(m_selectedAccountIndex) >= list.size()) {
            return std::nullopt;
        }
        return list[static_cast<std::size_t>(m_selectedAccountIndex)].account;
    };
    switch (m_selectedChain) {
    case Chain::bitcoin:
        return pick(m_bitcoinAccounts);
    case Chain::ethereum:
    case Chain::arbitrum:
    case Chain::polygon:
        return pick(evmAccounts(m_selectedChain));
    case Chain::solana:
        return pick(m_solanaAccounts);
    }
    return std::nullopt;
}

const std::vector<EVMAccountState>& AppState::evmAccounts(Chain chain) const {
    static const std::vector<EVMAccountState> none;
    const auto slot = evmSlot(chain);
    return slot ? m_evmAccounts[*slot] : none;
}

} // namespace qm
