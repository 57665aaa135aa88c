#pragma once
// The only code that opens the seed. Callers hand it the password and what to sign, and get
// back signed bytes: no key ever leaves it. Everything that reads the keychain or derives a
// key runs on the signing worker, one job at a time, and the window awaits the result. The
// BIP-32 master key of the open seed, kept for new Bitcoin addresses, lives here on the
// worker until forget().
//
// Each signing call opens the seed once, whatever it signs (a Bitcoin transaction spending
// from many addresses included). A lock or reset (forget()) wins over every job that touches
// a key: one asked for before it and not yet run never opens the seed, and one running when
// it comes hands back nothing; the awaiter gets SignerError::locked.
//
// The keychain manager is touched by the worker alone once the signer exists: AppState
// reaches it only through withKeychain/withKeychainBlocking (its own), and the seed, the
// phrase and the backups only through the calls below. GUI thread: every call; worker: every
// job.

#include "core/model/Chain.h"
#include "core/model/Token.h"
#include "core/model/Wallet.h"
#include "core/storage/KeychainManager.h"
#include "platform/Bytes.h"
#include "platform/Error.h"
#include "platform/SecureBytes.h"
#include "services/bitcoin/BTCTransaction.h"
#include "services/bitcoin/UTXO.h"
#include "services/evm/EIP712.h"
#include "services/evm/ETHSigner.h"
#include "state/AccountDerivation.h"
#include "state/signing/DerivedAccounts.h"
#include "state/signing/SigningWorker.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace qm {

// Phrase words that wipe themselves when dropped.
struct SecretWords {
    std::vector<std::string> words;

    SecretWords() = default;
    explicit SecretWords(std::vector<std::string> list) : words(std::move(list)) {}
    SecretWords(SecretWords&&) noexcept = default;
    SecretWords& operator=(SecretWords&&) noexcept = default;
    SecretWords(const SecretWords&) = delete;
    SecretWords& operator=(const SecretWords&) = delete;
    ~SecretWords() { clear(); }
    void clear();
};

class SignerError : public Error {
public:
    enum class Code {
        locked,      // "The wallet was locked."
        keyMismatch, // "A coin to spend is not held by the address of its key."
        inputCount,  // "Each input needs the coin it spends."
    };
    explicit SignerError(Code code);
    Code code() const { return m_code; }

private:
    Code m_code;
};

// One input of a Bitcoin transaction to sign: the coin it spends and the receive index of the
// address that holds it, m/84'/0'/0'/0/<derivationIndex> (never its place in the list: a
// deleted address shifts places, not indices).
struct BTCSpend {
    UTXO utxo;
    std::uint32_t derivationIndex = 0;

    bool operator==(const BTCSpend&) const = default;
};

// A restored backup: the record, the custom tokens as written to the token file (those held
// before with the backup's added), and the theme it carried, which the caller stores.
struct RestoredBackup {
    Wallet wallet;
    TokenMap tokens;
    std::optional<std::string> theme;
};

// The process's token file and what its store holds now: a restore adds the backup's tokens
// to these and writes the file once, on the worker.
struct TokenFileSnapshot {
    std::filesystem::path file;
    TokenMap tokens;
};

class Signer {
public:
    // A keychain manager whose start was deferred starts as the worker's first job.
    explicit Signer(KeychainManager& keychain);
    // Waits for the jobs already posted.
    ~Signer();
    Signer(const Signer&) = delete;
    Signer& operator=(const Signer&) = delete;

    // Where the Bitcoin receive indices of an opened wallet come from: those the window
    // already knows, else the stored record's when they agree with `count`, else 0 ... count-1.
    struct AddressPlan {
        std::optional<BTCAddressIndices> known;
        std::int64_t count = 0;
    };

    // Opens the seed and derives the accounts, keeping the master key. Throws the
    // KeychainError of opening the seed. None when forget() was called meanwhile: the result
    // must not unlock a wallet that was locked during the derivation (the key is gone then).
    QCoro::Task<std::optional<DerivedAccounts>> open(std::string walletID,
                                                     std::string_view password, AddressPlan plan);
    // Stores a new wallet: the seed of the words, its sealed form and verifier, the sealed
    // phrase and the record with its indices; then derives as open() does. Throws the
    // storage failure (items written before it stay). None when forgotten meanwhile.
    QCoro::Task<std::optional<DerivedAccounts>> create(SecretWords words, std::string_view password,
                                                       Wallet record, BTCAddressIndices indices);
    // Drops the master key once the jobs posted before have run, and makes every open() or
    // create() still running give none.
    void forget();
    // Whether the worker holds a master key (after the jobs posted before).
    QCoro::Task<bool> holdsMasterKey();

    // The Bitcoin receive address at `index`, placed at `position`, from the kept master key;
    // none without one. Throws the derivation's failure.
    QCoro::Task<std::optional<BTCAddressInfo>> bitcoinAddress(std::uint32_t index,
                                                              std::int64_t position);

    // --- Signing: each call opens the seed once with the password. Each throws the
    // KeychainError of opening it (wrongPassword ...), SignerError::locked, and the signing
    // failure named. ----------------------------------------------------------------------

    // `transaction` with every input's witness filled; `spends[i]` is what input i spends.
    // Throws SignerError::inputCount when the counts differ, SignerError::keyMismatch when a
    // coin's output script is not the P2WPKH script of its index's key, BTCSigningError.
    QCoro::Task<BTCUnsignedTransaction> signBitcoinTransaction(std::string walletID,
                                                               std::string_view password,
                                                               BTCUnsignedTransaction transaction,
                                                               std::vector<BTCSpend> spends);
    // The signed type-2 transaction (0x02 || RLP) of EVM account `index`
    // (m/44'/60'/0'/0/<index>), ready for eth_sendRawTransaction. Throws ETHSignerError, and
    // BIP32Error for an index outside 0 ... 2^31 - 1.
    QCoro::Task<Bytes> signEVMTransaction(std::string walletID, std::string_view password,
                                          std::int64_t index, ETHTransaction transaction);
    // The 64-byte Ed25519 signature of `message` (a Solana message: the bytes its signatures
    // cover) by the Solana account's key (m/44'/501'/0'/0'). Throws Ed25519Error.
    QCoro::Task<Bytes> signSolanaMessage(std::string walletID, std::string_view password,
                                         Bytes message);
    // The EIP-191 signature (r | s | recovery id + 27) of `message` by EVM account `index`:
    // personal_sign. Throws Secp256k1Error, BIP32Error for an index outside 0 ... 2^31 - 1.
    QCoro::Task<Bytes> signPersonalMessage(std::string walletID, std::string_view password,
                                           std::int64_t index, Bytes message);
    // The EIP-712 signature (r | s | recovery id + 27) of `typedData` by EVM account `index`.
    // The caller has checked it (typedDataRefusal). Throws as signPersonalMessage.
    QCoro::Task<Bytes> signTypedData(std::string walletID, std::string_view password,
                                     std::int64_t index, EIP712TypedData typedData);

    // The stored recovery phrase, opened with the password. Throws itemNotFound,
    // wrongPassword or the read failure.
    QCoro::Task<SecretWords> openPhrase(std::string walletID, std::string_view password);

    // The bytes of an encrypted backup of the stored wallet, with these custom tokens and
    // theme. Throws BackupError or the keychain's failure.
    QCoro::Task<Bytes> exportBackup(std::string_view password, TokenMap tokens,
                                    std::optional<std::string> theme);
    // Checks the file with the password and writes its items to the keychain, then the
    // tokens to `tokens.file` in one write. Throws BackupError or the keychain's failure;
    // nothing is written before every check passed.
    QCoro::Task<RestoredBackup> restoreBackup(Bytes file, std::string_view password,
                                              TokenFileSnapshot tokens);

    // The desktop keychain the manager works over (what its own unlock prompt is asked of);
    // none when it has none.
    QCoro::Task<std::shared_ptr<Keychain>> desktopKeychain();
    // What writing or removing the wallet's items needs of the keychain now.
    QCoro::Task<KeychainManager::KeyringNeed> keyringNeedForWalletItems();
    // Probes the keychain again after it was found locked or absent (after its unlock prompt,
    // or a "Try Again").
    QCoro::Task<void> probeKeychainAgain();
    // Whether the manager has probed the keychain (as of its last job). GUI thread.
    bool keychainStarted() const { return m_started.load(); }

    // Whether the keychain manager writes files (it turns to them for good when the keychain
    // refuses a save), as of its last job; and its storage folder. GUI thread.
    bool usesFileStore() const { return m_usesFiles.load(); }
    const std::filesystem::path& storageDir() const { return m_keychain.storageDir(); }

private:
    // The state's lifecycle reads and writes the items that are not secrets (the record,
    // deleting a wallet) through the two calls below; nothing else reaches the keychain.
    friend class AppState;

    // `use(keychain)` on the worker: the keychain items that are not the seed (the record,
    // deleting a wallet). The blocking form is for the start-up reads only.
    template <typename Use>
    QCoro::Task<std::invoke_result_t<Use&, KeychainManager&>> withKeychain(Use use) {
        auto job = [this, use = std::move(use)]() mutable { return use(m_keychain); };
        co_return co_await runJob(std::move(job));
    }
    template <typename Use>
    std::invoke_result_t<Use&, KeychainManager&> withKeychainBlocking(Use use) {
        return m_worker.runBlocking([this, &use] {
            const MediumNote note(*this);
            return use(m_keychain);
        });
    }

    // Notes the manager's medium when a job ends, however it ends.
    struct MediumNote {
        Signer& signer;
        explicit MediumNote(Signer& owner) : signer(owner) {}
        ~MediumNote() {
            signer.m_usesFiles.store(signer.m_keychain.useFileFallback());
            signer.m_started.store(signer.m_keychain.started());
        }
    };

    template <typename Job> QCoro::Task<std::invoke_result_t<Job&>> runJob(Job job) {
        auto noted = [this, job = std::move(job)]() mutable {
            const MediumNote note(*this);
            return job();
        };
        co_return co_await m_worker.run(std::move(noted));
    }

    // A job that touches a key: it does not start, and what it made is not handed back, once
    // forget() has come after it was asked for; the awaiter gets SignerError::locked then.
    template <typename Job> QCoro::Task<std::invoke_result_t<Job&>> runKeyJob(Job job) {
        using T = std::invoke_result_t<Job&>;
        const std::shared_ptr<std::atomic<std::uint64_t>> generation = m_generation;
        const std::uint64_t asked = generation->load();
        auto guarded = [generation, asked, job = std::move(job)]() mutable {
            throwIfForgotten(*generation, asked);
            T result = job();
            // Dropped here (and wiped, for secrets) when the lock came while it ran.
            throwIfForgotten(*generation, asked);
            return result;
        };
        QCoro::Task<T> running = runJob(std::move(guarded));
        T result = co_await std::move(running);
        throwIfForgotten(*generation, asked);
        co_return result;
    }
    // The accounts, or none when the lock won (SignerError::locked).
    static QCoro::Task<std::optional<DerivedAccounts>>
    accountsUnlessForgotten(QCoro::Task<DerivedAccounts> deriving);
    static void throwIfForgotten(const std::atomic<std::uint64_t>& generation, std::uint64_t asked);

    // Worker only.
    SecureBytes openSeed(const std::string& walletID, const SecureBytes& password);
    // The key of one account, from one opening of the seed (wiped before this returns).
    SecureBytes accountKey(const std::string& walletID, const SecureBytes& password, Chain chain,
                           std::int64_t index);
    DerivedAccounts keepMasterAndDerive(ByteView seed, const BTCAddressIndices& indices);

    KeychainManager& m_keychain;
    std::optional<ExtendedKey> m_master; // worker only
    std::atomic<bool> m_usesFiles;
    std::atomic<bool> m_started;
    // Bumped by forget() on the GUI thread, read by the jobs on the worker. Shared so a
    // finishing job never reads a destroyed signer.
    std::shared_ptr<std::atomic<std::uint64_t>> m_generation =
        std::make_shared<std::atomic<std::uint64_t>>(0);
    SigningWorker m_worker; // last: stopped before the members its jobs use
};

} // namespace qm
