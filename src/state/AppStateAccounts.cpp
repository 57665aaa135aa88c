// The accounts of the open seed: the five lists the signer derived, the Bitcoin receive
// addresses the user adds and removes, and the stored record they change.

#include "core/model/CheckedArithmetic.h"
#include "core/storage/KeychainManager.h"
#include "platform/async/NextTurn.h"
#include "platform/async/TaskHandle.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/connections/NetworkManager.h"
#include "state/AppState.h"
#include "state/BTCAddressDeletion.h"
#include "state/signing/Signer.h"

#include <QPointer>
#include <algorithm>
#include <coroutine>
#include <deque>
#include <iostream>

namespace qm {
namespace {

void log(const std::string& line) {
    std::cout << "[AppState] " << line << std::endl;
}

constexpr const char* evmAccountPath = "m/44'/60'/0'/0/0";

// Address changes run one after another, in the order asked: each derives from and stores
// what the one before left. Awaiting a turn takes it at once when none runs, else queues.
class AddressTurn {
public:
    AddressTurn(bool& running, std::deque<std::coroutine_handle<>>& waiters)
        : m_running(running), m_waiters(waiters) {}
    bool await_ready() {
        if (m_running) {
            return false;
        }
        m_running = true;
        return true;
    }
    void await_suspend(std::coroutine_handle<> coroutine) { m_waiters.push_back(coroutine); }
    void await_resume() const noexcept {}

private:
    bool& m_running;
    std::deque<std::coroutine_handle<>>& m_waiters;
};

// Holds the turn until the change ends, then hands it to the next waiter (on a later turn
// of the event loop) or frees it.
class AddressChange {
public:
    AddressChange(QObject* state, bool& running, std::deque<std::coroutine_handle<>>& waiters)
        : m_state(state), m_running(running), m_waiters(waiters) {}
    ~AddressChange() {
        if (!m_state) {
            return;
        }
        if (m_waiters.empty()) {
            m_running = false;
            return;
        }
        const std::coroutine_handle<> next = m_waiters.front();
        m_waiters.pop_front();
        resumeOnNextTurn(next);
    }
    AddressChange(const AddressChange&) = delete;
    AddressChange& operator=(const AddressChange&) = delete;

private:
    QPointer<QObject> m_state;
    bool& m_running;
    std::deque<std::coroutine_handle<>>& m_waiters;
};

Account account(Chain chain, std::string address, std::string path) {
    return Account{accountID(chain, 0), chain, 0, std::move(address), std::move(path)};
}

} // namespace

void AppState::applyAccounts(const DerivedAccounts& derived) {
    if (derived.bitcoin) {
        setBitcoinAccounts({*derived.bitcoin});
        if (m_wallet) {
            m_addressIndices.emplace(m_wallet->id, derived.indices);
        }
    }
    if (derived.evmAddress) {
        for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
            EVMAccountState state;
            state.account = account(chain, *derived.evmAddress, evmAccountPath);
            setEVMAccounts(chain, {std::move(state)});
        }
    }
    if (derived.solana) {
        setSolanaAccounts({*derived.solana});
    }
}

std::optional<BTCAddressIndices> AppState::knownAddressIndices(const Wallet& wallet) const {
    if (m_addressIndices && m_addressIndices->first == wallet.id &&
        static_cast<std::int64_t>(m_addressIndices->second.indices.size()) ==
            wallet.btcAddressCount) {
        return m_addressIndices->second;
    }
    return std::nullopt;
}

BTCAddressIndices AppState::currentAddressIndices() const {
    BTCAddressIndices result;
    if (m_bitcoinAccounts.empty()) {
        return result;
    }
    for (const BTCAddressInfo& address : m_bitcoinAccounts.front().addresses) {
        result.indices.push_back(address.derivationIndex);
    }
    if (m_wallet && m_addressIndices && m_addressIndices->first == m_wallet->id) {
        result.next = m_addressIndices->second.next;
    }
    if (!result.indices.empty()) {
        result.next =
            std::max(result.next, checkedAdd(result.indices.back(), 1u).value_or(kHardenedIndex));
    }
    return result;
}

QCoro::Task<AddressChangeResult> AppState::generateBTCAddress() {
    AddressTurn turn(m_addressChangeRunning, m_addressChangeWaiters);
    co_await turn;
    const AddressChange running(this, m_addressChangeRunning, m_addressChangeWaiters);
    if (!m_wallet || m_bitcoinAccounts.empty()) {
        co_return AddressChangeResult::unchanged;
    }
    BTCAddressIndices indices = currentAddressIndices();
    const std::size_t position = m_bitcoinAccounts.front().addresses.size();
    if (static_cast<std::int64_t>(position) >= maxBTCAddresses || indices.next >= kHardenedIndex) {
        log("No further Bitcoin address can be added");
        co_return AddressChangeResult::unchanged;
    }
    const QPointer<AppState> self(this);
    std::optional<BTCAddressInfo> entry;
    bool derivationFailed = false;
    try {
        QCoro::Task<std::optional<BTCAddressInfo>> deriving =
            m_signer->bitcoinAddress(indices.next, static_cast<std::int64_t>(position));
        entry = co_await std::move(deriving);
    } catch (const std::exception& error) {
        log(std::string("Could not derive a new Bitcoin address: ") + error.what());
        derivationFailed = true;
    }
    if (!self) {
        co_return AddressChangeResult::unchanged;
    }
    if (derivationFailed) {
        co_return AddressChangeResult::failed;
    }
    // Locked meanwhile (no key, or no list): nothing to add to.
    if (!entry || m_bitcoinAccounts.empty() ||
        m_bitcoinAccounts.front().addresses.size() != position) {
        co_return AddressChangeResult::unchanged;
    }
    indices.indices.push_back(indices.next);
    indices.next += 1;
    const std::string scriptHash = entry->scriptHash;
    auto append = [entry = std::move(*entry)](std::vector<BTCAddressInfo>& addresses) {
        addresses.push_back(entry);
        return true;
    };
    QCoro::Task<AddressChangeResult> committing =
        commitAddresses(std::move(indices), std::move(append));
    const AddressChangeResult result = co_await std::move(committing);
    if (result != AddressChangeResult::changed || !self) {
        co_return result;
    }
    TaskHandle::spawn(this, [this, scriptHash](const CancellationToken&) {
        return subscribeNewAddress(scriptHash);
    });
    co_return result;
}

QCoro::Task<AddressChangeResult> AppState::deleteBTCAddress(std::uint32_t derivationIndex) {
    AddressTurn turn(m_addressChangeRunning, m_addressChangeWaiters);
    co_await turn;
    const AddressChange running(this, m_addressChangeRunning, m_addressChangeWaiters);
    if (!m_wallet || m_bitcoinAccounts.empty()) {
        co_return AddressChangeResult::unchanged;
    }
    // Looked up only now that it is this change's turn: the changes before it moved positions.
    const std::vector<BTCAddressInfo>& addresses = m_bitcoinAccounts.front().addresses;
    const auto found = std::find_if(addresses.begin(), addresses.end(),
                                    [derivationIndex](const BTCAddressInfo& address) {
                                        return address.derivationIndex == derivationIndex;
                                    });
    if (found == addresses.end() || !canDeleteAddress(*found)) {
        co_return AddressChangeResult::unchanged;
    }
    const auto index = static_cast<std::size_t>(found - addresses.begin());
    const BTCAddressInfo& target = *found;
    BTCAddressIndices indices = currentAddressIndices();
    indices.indices.erase(indices.indices.begin() + static_cast<std::ptrdiff_t>(index));
    auto remove = [index, address = target.address](std::vector<BTCAddressInfo>& list) {
        // The list as it is after the store: the same address, and still one that may go.
        if (index >= list.size() || list[index].address != address ||
            !canDeleteAddress(list[index])) {
            return false;
        }
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
        for (std::size_t i = 0; i < list.size(); ++i) {
            list[i].id = static_cast<std::int64_t>(i);
        }
        return true;
    };
    QCoro::Task<AddressChangeResult> committing =
        commitAddresses(std::move(indices), std::move(remove));
    const AddressChangeResult result = co_await std::move(committing);
    co_return result;
}

QCoro::Task<AddressChangeResult> AppState::commitAddresses(BTCAddressIndices indices,
                                                           AddressEdit edit) {
    Wallet record = *m_wallet;
    record.btcAddressCount = static_cast<std::int64_t>(indices.indices.size());
    Bytes encoded;
    try {
        encoded = encodeWalletRecord(record, indices);
    } catch (const std::exception& error) {
        log(std::string("Could not encode the wallet record: ") + error.what());
        co_return AddressChangeResult::failed;
    }
    const QPointer<AppState> self(this);
    QCoro::Task<AddressChangeResult> storing = storeWalletRecord(std::move(encoded));
    if (const AddressChangeResult stored = co_await std::move(storing);
        stored != AddressChangeResult::changed) {
        // Memory stays as it was too: the next unlock reads what the record says.
        co_return stored;
    }
    // Locked or reset meanwhile: the record holds the change, the next unlock shows it.
    if (!self || !m_wallet || m_wallet->id != record.id || m_bitcoinAccounts.empty()) {
        co_return AddressChangeResult::unchanged;
    }
    // The list as it is now (a refresh may have filled balances in), with the change.
    std::vector<BTCAddressInfo> addresses = m_bitcoinAccounts.front().addresses;
    if (!edit(addresses)) {
        co_return AddressChangeResult::unchanged;
    }
    m_addressIndices.emplace(record.id, indices);
    setWallet(record);
    updateBitcoinAccount(0, m_bitcoinAccounts.front().id(), [&addresses](BTCAccountState& account) {
        account.addresses = std::move(addresses);
    });
    co_return AddressChangeResult::changed;
}

QCoro::Task<AddressChangeResult> AppState::storeWalletRecord(Bytes encoded) {
    // storeItem turns to the file store for good when the keychain refuses the save, but
    // refuses a keyring locked since (a screen locker) that holds the record: its own prompt
    // opens it, and the record is written there. The prompt comes before the write: a write
    // into a locked keyring runs the keyring's prompt itself, and ours would follow a refusal.
    const auto store = [encoded = std::move(encoded)](KeychainManager& keychain) {
        keychain.storeItem(KeychainManager::walletMetadataItem, encoded);
    };
    const QPointer<AppState> self(this);
    QCoro::Task<KeychainManager::KeyringNeed> asking = m_signer->keyringNeedForWalletItems();
    bool locked = co_await std::move(asking) == KeychainManager::KeyringNeed::unlock;
    // A keyring locked again between its prompt and the write is asked once more.
    for (int round = 0; self; ++round) {
        if (locked) {
            KeychainUnlock outcome = KeychainUnlock::dismissed;
            if (round < 2) {
                QCoro::Task<KeychainUnlock> unlocking = unlockKeyring({});
                outcome = co_await std::move(unlocking);
            }
            if (!self || outcome != KeychainUnlock::unlocked) {
                log("The keyring stayed locked; the wallet record was not stored");
                co_return AddressChangeResult::keyringLocked;
            }
        }
        try {
            QCoro::Task<void> storing = m_signer->withKeychain(store);
            co_await std::move(storing);
            co_return AddressChangeResult::changed;
        } catch (const KeychainError& error) {
            locked = error.code() == KeychainError::Code::keyringLocked;
            if (!locked) {
                log(std::string("Could not store the wallet record: ") + error.what());
            }
        } catch (const std::exception& error) {
            locked = false;
            log(std::string("Could not store the wallet record: ") + error.what());
        }
        if (!locked) {
            co_return AddressChangeResult::failed;
        }
    }
    co_return AddressChangeResult::failed;
}

QCoro::Task<void> AppState::subscribeNewAddress(std::string scriptHash) {
    if (!m_networkManager->electrumConnected()) {
        // The next subscription set-up covers every address.
        co_return;
    }
    const std::shared_ptr<ElectrumClient> client = m_networkManager->currentElectrumClient();
    try {
        co_await client->subscribe(std::move(scriptHash));
    } catch (const std::exception&) {
        // The next subscription set-up covers it.
    }
}

} // namespace qm
