#include "state/signing/Signer.h"

#include "core/crypto/BIP39.h"
#include "core/crypto/Ed25519.h"
#include "core/crypto/Secp256k1.h"
#include "core/storage/TokenStore.h"
#include "core/storage/WalletBackup.h"
#include "platform/Settings.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/ElectrumScriptHash.h"
#include "services/evm/EIP191.h"
#include "state/WalletRecord.h"

#include <QTemporaryDir>
#include <filesystem>
#include <iostream>
#include <map>
#include <stdexcept>

namespace qm {
namespace {

std::string_view text(const SecureBytes& secret) {
    return {reinterpret_cast<const char*>(secret.data()), secret.size()};
}

// The indices the stored record keeps for this wallet, when they agree with `count`.
BTCAddressIndices storedIndices(KeychainManager& keychain, const std::string& walletID,
                                std::int64_t count) {
    try {
        if (const std::optional<Bytes> bytes =
                keychain.loadItem(KeychainManager::walletMetadataItem)) {
            if (std::optional<StoredWalletRecord> stored = decodeWalletRecord(*bytes);
                stored && stored->wallet.id == walletID &&
                stored->wallet.btcAddressCount == count && stored->btcAddressIndices) {
                return *stored->btcAddressIndices;
            }
        }
    } catch (const std::exception& error) {
        std::cout << "[AppState] Could not read the stored address indices: " << error.what()
                  << std::endl;
    }
    return BTCAddressIndices::sequential(count);
}

// The backup format reads and writes a token store and user defaults; the worker hands it
// private ones in a temporary folder, so the process's own (GUI thread) are never touched
// from here.
struct ScratchStores {
    QTemporaryDir folder;
    std::filesystem::path root = folder.path().toStdString();
    TokenStore tokens{root / "tokens.json"};
    Settings settings{root / "settings.ini"};

    ScratchStores() {
        if (!folder.isValid()) {
            throw std::runtime_error("Could not create a temporary folder");
        }
    }
};

const char* signerText(SignerError::Code code) {
    switch (code) {
    case SignerError::Code::locked:
        return "The wallet was locked.";
    case SignerError::Code::keyMismatch:
        return "A coin to spend is not held by the address of its key.";
    case SignerError::Code::inputCount:
        return "Each input needs the coin it spends.";
    }
    return "";
}

} // namespace

SignerError::SignerError(Code code) : Error(signerText(code)), m_code(code) {}

void Signer::throwIfForgotten(const std::atomic<std::uint64_t>& generation, std::uint64_t asked) {
    if (generation.load() != asked) {
        throw SignerError(SignerError::Code::locked);
    }
}

void SecretWords::clear() {
    for (std::string& word : words) {
        wipe(word);
    }
    words.clear();
}

Signer::Signer(KeychainManager& keychain)
    : m_keychain(keychain), m_usesFiles(keychain.useFileFallback()), m_started(keychain.started()) {
    if (!m_started.load()) {
        // The probe may wait for a silent keychain until its time-out: here, not in the
        // window's thread, and before every other job.
        m_worker.post([this] {
            const MediumNote note(*this);
            m_keychain.start();
        });
    }
}

Signer::~Signer() = default;

DerivedAccounts Signer::keepMasterAndDerive(ByteView seed, const BTCAddressIndices& indices) {
    ExtendedKey master = BIP32::masterKey(seed);
    DerivedAccounts accounts = deriveAccounts(seed, master, indices);
    m_master = std::move(master);
    return accounts;
}

QCoro::Task<std::optional<DerivedAccounts>>
Signer::open(std::string walletID, std::string_view password, AddressPlan plan) {
    auto job = [this, walletID = std::move(walletID), secret = SecureBytes::fromText(password),
                plan = std::move(plan)] {
        const SecureBytes seed = m_keychain.loadSeed(walletID, text(secret));
        const BTCAddressIndices indices =
            plan.known ? *plan.known : storedIndices(m_keychain, walletID, plan.count);
        return keepMasterAndDerive(seed, indices);
    };
    co_return co_await accountsUnlessForgotten(runKeyJob(std::move(job)));
}

QCoro::Task<std::optional<DerivedAccounts>> Signer::create(SecretWords words,
                                                           std::string_view password, Wallet record,
                                                           BTCAddressIndices indices) {
    auto job = [this, words = std::move(words), secret = SecureBytes::fromText(password),
                record = std::move(record), indices = std::move(indices)] {
        const SecureBytes seed = BIP39::seed(words.words, "");
        // The write rule of every record: the keychain, else the file store for good.
        m_keychain.storeNewWallet(seed, words.words, record.id, text(secret),
                                  encodeWalletRecord(record, indices));
        return keepMasterAndDerive(seed, indices);
    };
    co_return co_await accountsUnlessForgotten(runKeyJob(std::move(job)));
}

QCoro::Task<std::optional<DerivedAccounts>>
Signer::accountsUnlessForgotten(QCoro::Task<DerivedAccounts> deriving) {
    try {
        co_return co_await std::move(deriving);
    } catch (const SignerError& error) {
        if (error.code() != SignerError::Code::locked) {
            throw;
        }
    }
    co_return std::nullopt;
}

void Signer::forget() {
    m_generation->fetch_add(1);
    m_worker.post([this] { m_master.reset(); });
}

QCoro::Task<bool> Signer::holdsMasterKey() {
    auto job = [this] { return m_master.has_value(); };
    co_return co_await runJob(std::move(job));
}

QCoro::Task<std::optional<BTCAddressInfo>> Signer::bitcoinAddress(std::uint32_t index,
                                                                  std::int64_t position) {
    auto job = [this, index, position]() -> std::optional<BTCAddressInfo> {
        if (!m_master) {
            return std::nullopt;
        }
        return qm::bitcoinAddress(bitcoinReceiveChain(*m_master), index, position);
    };
    try {
        co_return co_await runKeyJob(std::move(job));
    } catch (const SignerError& error) {
        if (error.code() != SignerError::Code::locked) {
            throw;
        }
    }
    co_return std::nullopt;
}

SecureBytes Signer::openSeed(const std::string& walletID, const SecureBytes& password) {
    return m_keychain.loadSeed(walletID, text(password));
}

SecureBytes Signer::accountKey(const std::string& walletID, const SecureBytes& password,
                               Chain chain, std::int64_t index) {
    const SecureBytes seed = openSeed(walletID, password);
    return accountPrivateKey(seed, chain, index);
}

QCoro::Task<BTCUnsignedTransaction>
Signer::signBitcoinTransaction(std::string walletID, std::string_view password,
                               BTCUnsignedTransaction transaction, std::vector<BTCSpend> spends) {
    auto job = [this, walletID = std::move(walletID), secret = SecureBytes::fromText(password),
                transaction = std::move(transaction), spends = std::move(spends)]() mutable {
        if (spends.size() != transaction.inputs.size()) {
            throw SignerError(SignerError::Code::inputCount);
        }
        const SecureBytes seed = openSeed(walletID, secret);
        const ExtendedKey receive = bitcoinReceiveChain(BIP32::masterKey(seed));
        // One derivation per address, however many of its coins are spent.
        std::map<std::uint32_t, SecureBytes> keysByIndex;
        std::vector<SecureBytes> keys;
        std::vector<UTXO> coins;
        keys.reserve(spends.size());
        coins.reserve(spends.size());
        for (const BTCSpend& spend : spends) {
            auto found = keysByIndex.find(spend.derivationIndex);
            if (found == keysByIndex.end()) {
                if (spend.derivationIndex >= kHardenedIndex) {
                    throw BIP32Error(BIP32Error::Code::invalidChildIndex);
                }
                SecureBytes key = BIP32::deriveChild(receive, spend.derivationIndex).key.clone();
                found = keysByIndex.emplace(spend.derivationIndex, std::move(key)).first;
            }
            Bytes script{0x00, 0x14};
            const Bytes keyHash = hash160(Secp256k1::shared().compressedPublicKey(found->second));
            script.insert(script.end(), keyHash.begin(), keyHash.end());
            if (script != spend.utxo.scriptPubKey) {
                throw SignerError(SignerError::Code::keyMismatch);
            }
            keys.push_back(found->second.clone());
            coins.push_back(spend.utxo);
        }
        BTCSigner::sign(transaction, coins, keys);
        return std::move(transaction);
    };
    co_return co_await runKeyJob(std::move(job));
}

QCoro::Task<Bytes> Signer::signEVMTransaction(std::string walletID, std::string_view password,
                                              std::int64_t index, ETHTransaction transaction) {
    auto job = [this, walletID = std::move(walletID), secret = SecureBytes::fromText(password),
                index, transaction = std::move(transaction)] {
        const SecureBytes key = accountKey(walletID, secret, Chain::ethereum, index);
        return ETHSigner::sign(transaction, key);
    };
    co_return co_await runKeyJob(std::move(job));
}

QCoro::Task<Bytes> Signer::signSolanaMessage(std::string walletID, std::string_view password,
                                             Bytes message) {
    auto job = [this, walletID = std::move(walletID), secret = SecureBytes::fromText(password),
                message = std::move(message)] {
        const SecureBytes key = accountKey(walletID, secret, Chain::solana, 0);
        return ed25519Sign(message, key);
    };
    co_return co_await runKeyJob(std::move(job));
}

QCoro::Task<std::shared_ptr<Keychain>> Signer::desktopKeychain() {
    auto job = [this] { return m_keychain.keychain(); };
    co_return co_await runJob(std::move(job));
}

QCoro::Task<KeychainManager::KeyringNeed> Signer::keyringNeedForWalletItems() {
    auto job = [this] { return m_keychain.keyringNeedForWalletItems(); };
    co_return co_await runJob(std::move(job));
}

QCoro::Task<void> Signer::probeKeychainAgain() {
    auto job = [this] { m_keychain.probeKeychainAgain(); };
    co_await runJob(std::move(job));
}

QCoro::Task<Bytes> Signer::signPersonalMessage(std::string walletID, std::string_view password,
                                               std::int64_t index, Bytes message) {
    auto job = [this, walletID = std::move(walletID), secret = SecureBytes::fromText(password),
                index, message = std::move(message)] {
        const SecureBytes key = accountKey(walletID, secret, Chain::ethereum, index);
        return personalSign(message, key);
    };
    co_return co_await runKeyJob(std::move(job));
}

QCoro::Task<Bytes> Signer::signTypedData(std::string walletID, std::string_view password,
                                         std::int64_t index, EIP712TypedData typedData) {
    auto job = [this, walletID = std::move(walletID), secret = SecureBytes::fromText(password),
                index, typedData = std::move(typedData)] {
        const SecureBytes key = accountKey(walletID, secret, Chain::ethereum, index);
        return qm::signTypedData(typedData, key);
    };
    co_return co_await runKeyJob(std::move(job));
}

QCoro::Task<SecretWords> Signer::openPhrase(std::string walletID, std::string_view password) {
    auto job = [this, walletID = std::move(walletID), secret = SecureBytes::fromText(password)] {
        return SecretWords(m_keychain.loadMnemonic(walletID, text(secret)));
    };
    co_return co_await runKeyJob(std::move(job));
}

QCoro::Task<Bytes> Signer::exportBackup(std::string_view password, TokenMap tokens,
                                        std::optional<std::string> theme) {
    auto job = [this, secret = SecureBytes::fromText(password), tokens = std::move(tokens),
                theme = std::move(theme)] {
        ScratchStores scratch;
        scratch.tokens.tokensByChain = tokens;
        if (theme) {
            scratch.settings.setString(WalletBackup::themeKey, *theme);
        }
        return WalletBackup::exportBackup(
            text(secret), WalletBackup::Stores{m_keychain, scratch.tokens, scratch.settings});
    };
    co_return co_await runKeyJob(std::move(job));
}

QCoro::Task<RestoredBackup> Signer::restoreBackup(Bytes file, std::string_view password,
                                                  TokenFileSnapshot tokens) {
    auto job = [this, file = std::move(file), secret = SecureBytes::fromText(password),
                tokens = std::move(tokens)]() mutable {
        ScratchStores scratch;
        // The process's token file, written here once: thousands of tokens cost the window
        // nothing.
        TokenStore tokenFile(tokens.file);
        tokenFile.tokensByChain = std::move(tokens.tokens);
        RestoredBackup restored;
        restored.wallet = WalletBackup::restore(
            file, text(secret), WalletBackup::Stores{m_keychain, tokenFile, scratch.settings});
        restored.tokens = std::move(tokenFile.tokensByChain);
        restored.theme = scratch.settings.string(WalletBackup::themeKey);
        wipe(file);
        return restored;
    };
    co_return co_await runJob(std::move(job));
}

} // namespace qm
