#pragma once
// The one model of the running wallet, on the GUI thread: the wallet record, one list of
// account states per chain, prices and the chart cache, the refresh flags, the sidebar
// selection, and the services through which the refresh reaches the network. The refresh
// orchestrator holds the background jobs. The seed, the keys and the keychain are the
// signer's (state/signing/): this state only awaits it.
//
// Observed values notify only on a real change; the record, the key, the lists and the
// dictionaries notify on every write.

#include "core/model/Account.h"
#include "core/model/Chain.h"
#include "core/model/Date.h"
#include "core/model/Wallet.h"
#include "platform/Bytes.h"
#include "platform/SecureBytes.h"
#include "platform/async/CancellationToken.h"
#include "services/prices/CoinGeckoClient.h"
#include "state/BTCAccountState.h"
#include "state/EVMAccountState.h"
#include "state/SolanaAccountState.h"
#include "state/WalletRecord.h"

#include <QObject>
#include <array>
#include <coroutine>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class AttemptLedger;
class AttemptWatch;
class BlockExplorerClient;
class KeychainManager;
class NetworkManager;
class RefreshOrchestrator;
class Signer;
struct DerivedAccounts;
enum class KeychainUnlock;
class TokenPriceLookup;
class TokenStore;
class WalletConnectService;

// How an address change the user asked for ended. Only a change that was stored is shown;
// the two failures are the user's to hear about (the others are refusals of the rule or a
// lock that came first, where nothing was asked of the user).
enum class AddressChangeResult {
    changed,       // stored and shown
    unchanged,     // nothing to change: refused, at its limit, or locked meanwhile
    keyringLocked, // the keyring holding the record stayed locked: nothing stored
    failed,        // the record could not be written (or the address derived): nothing stored
};

// The services the state works through. The keychain manager and the token store are used,
// not owned; the rest become the state's own.
struct AppStateServices {
    KeychainManager* keychain = nullptr;
    TokenStore* tokenStore = nullptr;
    std::unique_ptr<NetworkManager> networkManager;
    std::unique_ptr<BlockExplorerClient> explorerClient;
    std::unique_ptr<CoinGeckoClient> coinGecko;
    std::unique_ptr<WalletConnectService> wcViewModel;
    std::unique_ptr<TokenPriceLookup> tokenPrices;
    // Where the unsettled transactions are kept; empty: AttemptLedger::defaultFile().
    std::filesystem::path attemptsFile;

    AppStateServices();
    AppStateServices(AppStateServices&&) noexcept;
    AppStateServices& operator=(AppStateServices&&) noexcept;
    ~AppStateServices();

    // The process's: the shared keychain manager first (creating it probes the keychain and
    // moves an older data folder, where the token file lives), then the shared token store,
    // and new clients of the public services. Opens no connection.
    static AppStateServices standard();
};

class AppState : public QObject {
    Q_OBJECT
    // QML reads these and never writes them: the lock, onboarding and price flags move only
    // through the state's own operations and the refresh.
    Q_PROPERTY(bool isLocked READ isLocked NOTIFY isLockedChanged)
    Q_PROPERTY(bool isOnboarding READ isOnboarding NOTIFY isOnboardingChanged)
    Q_PROPERTY(bool isKeyringLocked READ isKeyringLocked NOTIFY isKeyringLockedChanged)
    Q_PROPERTY(bool isKeyringAbsent READ isKeyringAbsent NOTIFY isKeyringLockedChanged)
    Q_PROPERTY(bool isRestoringIntoFiles READ isRestoringIntoFiles NOTIFY isKeyringLockedChanged)
    Q_PROPERTY(bool isOpening READ isOpening NOTIFY isOpeningChanged)
    Q_PROPERTY(bool hasUnreadableWallet READ hasUnreadableWallet NOTIFY hasUnreadableWalletChanged)
    Q_PROPERTY(double btcPriceUSD READ btcPriceUSD NOTIFY btcPriceUSDChanged)
    Q_PROPERTY(double ethPriceUSD READ ethPriceUSD NOTIFY ethPriceUSDChanged)
    Q_PROPERTY(double solPriceUSD READ solPriceUSD NOTIFY solPriceUSDChanged)
    Q_PROPERTY(qint64 btcBlockHeight READ btcBlockHeight NOTIFY btcBlockHeightChanged)
    Q_PROPERTY(bool isRefreshing READ isRefreshing NOTIFY isRefreshingChanged)
    Q_PROPERTY(
        qint64 selectedAccountIndex READ selectedAccountIndex NOTIFY selectedAccountIndexChanged)
    Q_PROPERTY(
        bool btcSubscriptionsReady READ btcSubscriptionsReady NOTIFY btcSubscriptionsReadyChanged)

public:
    // The process's services (see AppStateServices::standard).
    explicit AppState(QObject* parent = nullptr);
    explicit AppState(AppStateServices services, QObject* parent = nullptr);
    ~AppState() override;

    // --- Observed state -------------------------------------------------------------------
    const std::optional<Wallet>& wallet() const { return m_wallet; }
    // Also used by the backup restore, which then calls lock().
    void setWallet(std::optional<Wallet> wallet);
    bool isLocked() const { return m_isLocked; }
    void setIsLocked(bool locked);
    bool isOnboarding() const { return m_isOnboarding; }
    void setIsOnboarding(bool onboarding);
    // No wallet was found, but the keychain is locked (or silent) and may hold one: neither
    // onboarding nor the lock screen, but a request to unlock the keyring and try again.
    bool isKeyringLocked() const { return m_isKeyringLocked; }
    // Of those, the keychain is not running at all, and the marker says the wallet is in it:
    // a request to start it and try again (there is nothing to unlock).
    bool isKeyringAbsent() const { return m_isKeyringLocked && m_isKeyringAbsent; }
    // Onboarding as the way out of an absent keyring (restoreIntoFiles): only the phrase or a
    // backup, into files; the wallet in the keyring stays as it is.
    bool isRestoringIntoFiles() const { return m_restoringIntoFiles; }
    // The first look at what is stored runs (the keychain's probe, which a silent keyring
    // makes last until its time-out): the window shows that it is opening the keyring.
    bool isOpening() const { return m_isOpening; }
    // Onboarding, but items of a wallet are stored that no readable record names: the welcome
    // screen says so (a new wallet leaves them alone; a restore or an import brings it back).
    bool hasUnreadableWallet() const { return m_hasUnreadableWallet; }

    // A whole-list write emits the list's signal (its length, order or any element may have
    // changed); an update of one account emits accountChanged(chain, index) only.
    const std::vector<BTCAccountState>& bitcoinAccounts() const { return m_bitcoinAccounts; }
    void setBitcoinAccounts(std::vector<BTCAccountState> accounts);
    // The list of an EVM chain; empty for Bitcoin and Solana.
    const std::vector<EVMAccountState>& evmAccounts(Chain chain) const;
    // Replaces the list of an EVM chain; a chain without such a list changes nothing.
    void setEVMAccounts(Chain chain, std::vector<EVMAccountState> accounts);
    const std::vector<SolanaAccountState>& solanaAccounts() const { return m_solanaAccounts; }
    void setSolanaAccounts(std::vector<SolanaAccountState> accounts);

    // Changes the account at `index` in place with `change` when it is still the account
    // `id`, then emits accountChanged; false, and nothing changed or emitted, when the list
    // has become shorter or holds another account there (or the chain has no EVM list).
    bool updateBitcoinAccount(std::size_t index, const std::string& id,
                              const std::function<void(BTCAccountState&)>& change);
    bool updateEVMAccount(Chain chain, std::size_t index, const std::string& id,
                          const std::function<void(EVMAccountState&)>& change);
    bool updateSolanaAccount(std::size_t index, const std::string& id,
                             const std::function<void(SolanaAccountState&)>& change);

    // The coins' dollar prices; 0 while none is known (nativePriceUSD tells the two apart).
    double btcPriceUSD() const { return m_btcPriceUSD.value_or(0); }
    void setBtcPriceUSD(std::optional<double> price);
    double ethPriceUSD() const { return m_ethPriceUSD.value_or(0); }
    void setEthPriceUSD(std::optional<double> price);
    double solPriceUSD() const { return m_solPriceUSD.value_or(0); }
    void setSolPriceUSD(std::optional<double> price);
    const std::map<Chain, ChainPrice>& chainPrices() const { return m_chainPrices; }
    void setChainPrices(std::map<Chain, ChainPrice> prices);
    // The dollar price of `chain`'s native coin (Arbitrum's is ether) once one was given: the
    // coin's setter above for Bitcoin, ether and Solana, the chain's entry for Polygon. None
    // before: a balance is then worth an unknown amount, not nothing.
    std::optional<double> nativePriceUSD(Chain chain) const;
    // The last load of the prices ended without the price of `chain`'s native coin (the whole
    // answer failed, or it left the pair out): a price still unknown will not come by itself.
    bool nativePriceLoadFailed(Chain chain) const;
    // Marks the pair of `chain` (CoinGeckoClient::tickerSymbol) as left out of the last load.
    void setPriceLoadFailed(Chain chain, bool failed);
    const std::map<std::string, std::vector<PricePoint>>& chartCache() const {
        return m_chartCache;
    }
    void setChartCache(std::map<std::string, std::vector<PricePoint>> cache);
    // The last request for the chain's chart brought no points (the cache keeps older ones).
    bool chartLoadFailed(Chain chain) const { return m_chartLoadFailures.contains(chain); }
    void setChartLoadFailed(Chain chain, bool failed);

    qint64 btcBlockHeight() const { return m_btcBlockHeight; }
    void setBtcBlockHeight(qint64 height);
    bool isRefreshing() const { return m_isRefreshing; }
    void setIsRefreshing(bool refreshing);
    const std::optional<Date>& lastRefresh() const { return m_lastRefresh; }
    void setLastRefresh(std::optional<Date> date);

    bool btcSubscriptionsReady() const { return m_btcSubscriptionsReady; }
    void setBtcSubscriptionsReady(bool ready);

    // The selection of the sidebar. The index `noAccountSelected` (or any index past the
    // chain's list) selects no account: the detail area then shows the portfolio, which is
    // where every unlock and creation starts.
    static constexpr qint64 noAccountSelected = -1;
    Chain selectedChain() const { return m_selectedChain; }
    void setSelectedChain(Chain chain);
    qint64 selectedAccountIndex() const { return m_selectedAccountIndex; }
    void setSelectedAccountIndex(qint64 index);

    // --- Services (fixed for the life of the state) ----------------------------------------
    // The only way to the seed, the keys and the keychain.
    Signer& signer() const { return *m_signer; }
    TokenStore& tokenStore() const { return *m_tokenStore; }
    NetworkManager& networkManager() const { return *m_networkManager; }
    BlockExplorerClient& explorerClient() const { return *m_explorerClient; }
    CoinGeckoClient& coinGecko() const { return *m_coinGecko; }
    // WalletConnect: the session manager of the last unlock, its sessions, proposals and
    // requests.
    WalletConnectService& wcViewModel() const { return *m_wcViewModel; }
    TokenPriceLookup& tokenPrices() const { return *m_tokenPrices; }
    // The wallet's unsettled transactions (in its folder): read at every opening, followed
    // while it is open, removed with the wallet and by a new one.
    AttemptLedger& attemptLedger() const { return *m_attempts; }

    // --- Views -----------------------------------------------------------------------------
    // USD value of every account of the chain (native balances and priced tokens); a native
    // balance no server has answered for adds nothing.
    double totalUSD(Chain chain) const;
    // The account at selectedAccountIndex of selectedChain's list; none past its end.
    std::optional<Account> selectedAccount() const;

    // --- Lifecycle ---------------------------------------------------------------------------
    // Reads the token file and the stored record; settles isOnboarding and isLocked (a stored
    // wallet is always entered through lock()). Never throws, touches no network. A record
    // that cannot be read (a locked keyring) shows the lock screen, never onboarding. The
    // reads wait for the signing worker: the window must know what to show.
    void loadStoredState();
    // The window's appear action: loadStoredState, but at the program's start, while the
    // keychain is still being probed, the same without waiting for it: isOpening meanwhile.
    void showStoredState();
    // The "Try Again" of a locked or absent keyring: probes the keychain again and loads what
    // is stored. It also leaves a restore into files that stored nothing yet.
    void retryLockedKeyring();
    // The second way out of a keyring that holds the wallet but is not running: onboarding,
    // to restore the phrase or a backup into files. Nothing is written until that restore;
    // the wallet it stores is the one later starts open, and the keyring's is left alone.
    // Nothing unless the keyring is absent.
    void restoreIntoFiles();
    // The keyring's own unlock prompt (on a thread of its own: it waits for the user however
    // long it takes; `stop` dismisses it), then a new probe when it was opened. `failed`
    // when there is no keyring to prompt for.
    QCoro::Task<KeychainUnlock> unlockKeyring(std::stop_token stop);
    // Before the wallet's items are written or removed (restore, delete): when the keyring
    // holds (or may hold) them, its unlock prompt first. Throws KeychainError keyringLocked
    // (the prompt was dismissed) or keyringUnavailable (it is not running or cannot prompt);
    // nothing has changed then.
    QCoro::Task<void> openKeyringForWalletItems(std::stop_token stop);
    // After a backup was restored into storage: its record shown, locked, on the lock screen.
    void showRestoredWallet(const Wallet& wallet);
    // Stores the seed, the sealed phrase and a new record on the signing worker, then opens
    // the wallet and starts the refresh. Throws the storage failure; the state is then
    // unchanged. The caller has checked the phrase and the password, and wipes its copies.
    // A lock or reset while it runs wins: the new wallet is then not opened.
    QCoro::Task<void> createWallet(const std::vector<std::string>& mnemonic,
                                   std::string_view password);
    // Opens the seed and the accounts on the signing worker, starts the refresh and sets up
    // WalletConnect. Throws the KeychainError of opening the seed (wrongPassword ...) and
    // then changes nothing. Without a wallet it returns, unless the record could not be
    // read: then it reads again and throws that failure if it persists. A lock while the
    // derivation runs wins: the wallet stays locked.
    QCoro::Task<void> unlock(std::string_view password);
    // Stops every background job, forgets the master key, sets isLocked, empties the lists.
    void lock();
    // Removes every stored item of the wallet, then shows what is stored as a start would:
    // onboarding, or the lock screen of a wallet the removal left (the keyring's, beside
    // which the removed one was restored into files). The keyring that
    // holds the items is asked to unlock first (`stop` dismisses its prompt). Throws, with
    // nothing deleted, the refusal of openKeyringForWalletItems; throws the failure of a
    // removal that left an item (the state then stays as it was, the refresh running again;
    // another try removes the rest).
    QCoro::Task<void> resetWallet(std::stop_token stop = {});
    // Cancels the refresh loop, the Bitcoin subscription task and the following of the
    // unsettled transactions.
    void stopBackgroundTasks();
    // Replaces the Bitcoin subscription task with a new one.
    void startBitcoinSubscriptions();

    // --- Accounts ------------------------------------------------------------------------------
    // Adds the address of the next unused receive index to the first Bitcoin account (the
    // signer derives it from the kept master key). Address changes run one after another, in
    // the order they were asked for. Each ends with how it went.
    QCoro::Task<AddressChangeResult> generateBTCAddress();
    // Removes the address derived at `derivationIndex` when it is not the first, has been
    // fetched, and has neither balance nor history. A refused deletion (or an index no address
    // has) changes nothing. The derivation index, not the position, names the address: the
    // positions shift while deletions wait for their turn.
    QCoro::Task<AddressChangeResult> deleteBTCAddress(std::uint32_t derivationIndex);
    // Subscribes the live Electrum connection to a script hash; nothing when not connected.
    QCoro::Task<void> subscribeNewAddress(std::string scriptHash);

    // --- Refresh (balances, histories, prices; the loop; the Bitcoin subscriptions) ---------
    QCoro::Task<void> refreshAll(CancellationToken token = {});
    // The two Bitcoin jobs only (the notification debounce starts it).
    QCoro::Task<void> refreshBitcoin(CancellationToken token = {});
    QCoro::Task<void> runRefreshLoop(CancellationToken token);
    QCoro::Task<void> runBitcoinSubscriptions(CancellationToken token);
    // The jobs, the loop and the notification handling behind the four calls above.
    RefreshOrchestrator& refreshOrchestrator() const { return *m_refresh; }

signals:
    void walletChanged();
    void isLockedChanged();
    void isOnboardingChanged();
    void isKeyringLockedChanged();
    void isOpeningChanged();
    void hasUnreadableWalletChanged();
    void bitcoinAccountsChanged();
    void evmAccountsChanged(qm::Chain chain);
    void solanaAccountsChanged();
    // One account changed in place (its balances, tokens, history or addresses).
    void accountChanged(qm::Chain chain, int index);
    void btcPriceUSDChanged();
    void ethPriceUSDChanged();
    void solPriceUSDChanged();
    void chainPricesChanged();
    void priceLoadFailedChanged();
    void chartCacheChanged();
    void chartLoadFailedChanged();
    void btcBlockHeightChanged();
    void isRefreshingChanged();
    void lastRefreshChanged();
    void btcSubscriptionsReadyChanged();
    void selectedChainChanged();
    void selectedAccountIndexChanged();

private:
    // Shows the derived lists; a chain left out keeps its previous list.
    void applyAccounts(const DerivedAccounts& accounts);
    // The receive indices kept in memory for `wallet`, when they still agree with it.
    std::optional<BTCAddressIndices> knownAddressIndices(const Wallet& wallet) const;
    // Indices of the first Bitcoin account's addresses in list order.
    BTCAddressIndices currentAddressIndices() const;
    // Stores the record with the new indices, then shows the edited list; nothing shown when
    // the record could not be stored (why) or the list changed meanwhile (unchanged).
    // Applies the change to the list as it is after the store; false: it no longer applies.
    using AddressEdit = std::function<bool(std::vector<BTCAddressInfo>&)>;
    QCoro::Task<AddressChangeResult> commitAddresses(BTCAddressIndices indices, AddressEdit edit);
    // Writes the encoded record on the signing worker; a keyring locked since that holds it
    // is asked to unlock (its own prompt) before the write. `changed` when it was stored;
    // else why not, logged.
    QCoro::Task<AddressChangeResult> storeWalletRecord(Bytes encoded);
    // Starts the immediate refresh, the loop and the subscription task, in that order, and
    // follows the unsettled transactions.
    void startSessionTasks();
    // A wallet made or restored anew starts with no unsettled transactions of another.
    void clearUnsettledAttempts();
    // Stops the jobs, forgets the master key, optionally sets isLocked, empties the lists.
    void endSession(bool markLocked);
    void emptyAccountLists();

    std::unique_ptr<Signer> m_signer;
    TokenStore* m_tokenStore;
    NetworkManager* m_networkManager;
    BlockExplorerClient* m_explorerClient;
    CoinGeckoClient* m_coinGecko;
    WalletConnectService* m_wcViewModel;
    std::unique_ptr<TokenPriceLookup> m_tokenPrices;
    RefreshOrchestrator* m_refresh; // child of this state
    AttemptLedger* m_attempts;      // child of this state
    AttemptWatch* m_attemptWatch;   // child of this state

    std::optional<Wallet> m_wallet;
    bool m_isLocked = true;
    bool m_isOnboarding = true;
    bool m_isKeyringLocked = false;
    bool m_isKeyringAbsent = false;
    bool m_restoringIntoFiles = false;
    bool m_isOpening = false;
    bool m_hasUnreadableWallet = false;
    std::vector<BTCAccountState> m_bitcoinAccounts;
    // Ethereum, Arbitrum, Polygon.
    std::array<std::vector<EVMAccountState>, 3> m_evmAccounts;
    std::vector<SolanaAccountState> m_solanaAccounts;
    std::optional<double> m_btcPriceUSD;
    std::optional<double> m_ethPriceUSD;
    std::optional<double> m_solPriceUSD;
    std::map<Chain, ChainPrice> m_chainPrices;
    std::set<Chain> m_priceLoadFailures;
    std::map<std::string, std::vector<PricePoint>> m_chartCache;
    std::set<Chain> m_chartLoadFailures;
    qint64 m_btcBlockHeight = 0;
    bool m_isRefreshing = false;
    std::optional<Date> m_lastRefresh;
    Chain m_selectedChain = Chain::bitcoin;
    qint64 m_selectedAccountIndex = noAccountSelected;
    bool m_btcSubscriptionsReady = false;
    // An address change is running; the ones asked for meanwhile wait here, in order.
    bool m_addressChangeRunning = false;
    std::deque<std::coroutine_handle<>> m_addressChangeWaiters;

    // The receive indices last stored with the record of this wallet id.
    std::optional<std::pair<std::string, BTCAddressIndices>> m_addressIndices;
    void setIsKeyringLocked(bool locked, bool absent = false);
    void setRestoringIntoFiles(bool restoring);
    void setIsOpening(bool opening);
    // Settles the flags from what the start-up read found.
    struct StoredState;
    void applyStoredState(StoredState found);
    void applyStoredStateFailure(std::exception_ptr failure);
    // What is stored, read on the signing worker without blocking the window, or why it
    // could not be read.
    struct StoredRead;
    QCoro::Task<StoredRead> readStoredStateOnWorker();
    void applyStoredRead(StoredRead read);
    QCoro::Task<void> loadStoredStateInBackground();
    void setHasUnreadableWallet(bool unreadable);
    // Why the last attempt to read the stored record failed (not: found nothing); null after
    // a successful read.
    std::exception_ptr m_storedRecordFailure;
};

} // namespace qm
