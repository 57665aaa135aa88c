// The accounts of the open seed: derivation of the five lists, the Bitcoin receive addresses
// the user adds and removes, the stored record they change, and the private key of an account.

#include "core/crypto/Base58.h"
#include "core/crypto/Secp256k1.h"
#include "core/storage/KeychainManager.h"
#include "platform/Crypto.h"
#include "platform/async/TaskHandle.h"
#include "services/bitcoin/ElectrumClient.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/EthereumAddress.h"
#include "state/AccountDerivation.h"
#include "state/AppState.h"
#include "state/BTCAddressDeletion.h"
#include "state/CheckedArithmetic.h"

#include <algorithm>
#include <iostream>

namespace qm {
namespace {

void log(const std::string& line) {
    std::cout << "[AppState] " << line << std::endl;
}

constexpr std::int64_t addressCountWithoutRecord = 5;
constexpr const char* evmAccountPath = "m/44'/60'/0'/0/0";
constexpr const char* solanaPath = "m/44'/501'/0'/0'";

Account account(Chain chain, std::string address, std::string path) {
    return Account{accountID(chain, 0), chain, 0, std::move(address), std::move(path)};
}

} // namespace

void AppState::deriveAccounts(ByteView seed) {
    const ExtendedKey master = BIP32::masterKey(seed);
    setLastDerivedMasterKey(master.clone());
    const BTCAddressIndices indices =
        m_wallet ? addressIndicesFor(*m_wallet)
                 : BTCAddressIndices::sequential(addressCountWithoutRecord);

    try {
        const ExtendedKey receive = bitcoinReceiveChain(master);
        std::vector<BTCAddressInfo> addresses;
        for (const std::uint32_t index : indices.indices) {
            try {
                addresses.push_back(
                    bitcoinAddress(receive, index, static_cast<std::int64_t>(addresses.size())));
            } catch (const std::exception& error) {
                log("Skipped Bitcoin receive index " + std::to_string(index) + ": " + error.what());
            }
        }
        if (!addresses.empty() && addresses.front().derivationIndex == 0) {
            BTCAccountState state;
            state.account = account(Chain::bitcoin, addresses.front().address,
                                    addresses.front().derivationPath);
            state.compressedPublicKey = addresses.front().compressedPublicKey;
            state.addresses = std::move(addresses);
            setBitcoinAccounts({std::move(state)});
            if (m_wallet) {
                m_addressIndices.emplace(m_wallet->id, indices);
            }
        }
    } catch (const std::exception& error) {
        log(std::string("Could not derive the Bitcoin account: ") + error.what());
    }

    try {
        const ExtendedKey key = evmAccountKey(master, 0);
        const std::string address =
            ethereumAddress(Secp256k1::shared().uncompressedPublicKey(key.key));
        for (const Chain chain : {Chain::ethereum, Chain::arbitrum, Chain::polygon}) {
            EVMAccountState state;
            state.account = account(chain, address, evmAccountPath);
            setEVMAccounts(chain, {std::move(state)});
        }
    } catch (const std::exception& error) {
        // The lists stay as they were: no made-up address may reach a receive screen.
        log(std::string("Could not derive the EVM account: ") + error.what());
    }

    try {
        const SecureBytes key = solanaPrivateKey(seed);
        Bytes publicKey = crypto::ed25519PublicKey(key);
        if (publicKey.size() == 32) {
            SolanaAccountState state;
            state.account = account(Chain::solana, base58Encode(publicKey), solanaPath);
            state.publicKey = std::move(publicKey);
            setSolanaAccounts({std::move(state)});
        }
    } catch (const std::exception& error) {
        log(std::string("Could not derive the Solana account: ") + error.what());
    }
}

BTCAddressIndices AppState::addressIndicesFor(const Wallet& wallet) {
    if (m_addressIndices && m_addressIndices->first == wallet.id &&
        static_cast<std::int64_t>(m_addressIndices->second.indices.size()) ==
            wallet.btcAddressCount) {
        return m_addressIndices->second;
    }
    try {
        if (std::optional<StoredWalletRecord> stored = readStoredRecord();
            stored && stored->wallet.id == wallet.id &&
            stored->wallet.btcAddressCount == wallet.btcAddressCount && stored->btcAddressIndices) {
            return *stored->btcAddressIndices;
        }
    } catch (const std::exception& error) {
        log(std::string("Could not read the stored address indices: ") + error.what());
    }
    return BTCAddressIndices::sequential(wallet.btcAddressCount);
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

void AppState::generateBTCAddress() {
    if (!m_wallet || m_bitcoinAccounts.empty() || !m_lastDerivedMasterKey) {
        return;
    }
    BTCAddressIndices indices = currentAddressIndices();
    const std::size_t position = m_bitcoinAccounts.front().addresses.size();
    if (static_cast<std::int64_t>(position) >= maxBTCAddresses || indices.next >= kHardenedIndex) {
        log("No further Bitcoin address can be added");
        return;
    }
    BTCAddressInfo entry;
    try {
        entry = bitcoinAddress(bitcoinReceiveChain(*m_lastDerivedMasterKey), indices.next,
                               static_cast<std::int64_t>(position));
    } catch (const std::exception& error) {
        log(std::string("Could not derive a new Bitcoin address: ") + error.what());
        return;
    }
    indices.indices.push_back(indices.next);
    indices.next += 1;
    std::vector<BTCAddressInfo> addresses = m_bitcoinAccounts.front().addresses;
    addresses.push_back(entry);
    if (!commitAddresses(std::move(addresses), indices)) {
        return;
    }

    const std::string scriptHash = entry.scriptHash;
    TaskHandle::spawn(this, [this, scriptHash](const CancellationToken&) {
        return subscribeNewAddress(scriptHash);
    });
}

void AppState::deleteBTCAddress(qint64 position) {
    if (!m_wallet || m_bitcoinAccounts.empty()) {
        return;
    }
    std::vector<BTCAddressInfo> addresses = m_bitcoinAccounts.front().addresses;
    if (position <= 0 || static_cast<std::uint64_t>(position) >= addresses.size()) {
        return;
    }
    const auto index = static_cast<std::size_t>(position);
    const BTCAddressInfo& target = addresses[index];
    if (!canDeleteAddress(target)) {
        return;
    }
    BTCAddressIndices indices = currentAddressIndices();
    indices.indices.erase(indices.indices.begin() + static_cast<std::ptrdiff_t>(index));
    addresses.erase(addresses.begin() + static_cast<std::ptrdiff_t>(index));
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        addresses[i].id = static_cast<std::int64_t>(i);
    }

    commitAddresses(std::move(addresses), indices);
}

bool AppState::commitAddresses(std::vector<BTCAddressInfo> addresses,
                               const BTCAddressIndices& indices) {
    Wallet record = *m_wallet;
    record.btcAddressCount = static_cast<std::int64_t>(addresses.size());
    try {
        saveWalletRecord(record, indices);
    } catch (const std::exception& error) {
        // Memory stays as it was too: the next unlock reads what the record says.
        log(std::string("Could not store the wallet record; the addresses stay as they were: ") +
            error.what());
        return false;
    }
    m_addressIndices.emplace(record.id, indices);
    setWallet(record);
    updateBitcoinAccount(0, m_bitcoinAccounts.front().id(), [&addresses](BTCAccountState& account) {
        account.addresses = std::move(addresses);
    });
    return true;
}

void AppState::saveWalletRecord(const Wallet& wallet, const BTCAddressIndices& indices) {
    // storeItem turns to the file store for good when the keychain refuses the save.
    m_keychain->storeItem(KeychainManager::walletMetadataItem, encodeWalletRecord(wallet, indices));
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

SecureBytes AppState::privateKey(Chain chain, qint64 index, std::string_view password) {
    if (!m_wallet) {
        throw KeychainError(KeychainError::Code::itemNotFound);
    }
    const SecureBytes seed = m_keychain->loadSeed(m_wallet->id, password);
    return accountPrivateKey(seed, chain, index);
}

} // namespace qm
