// Restore cost with many custom tokens: WalletBackup::restore of a file carrying N tokens into
// a file-mode store that already holds a wallet (two PBKDF2 runs, the item group, one write
// of the token file), against bare PBKDF2-HMAC-SHA512 of 100,000 rounds in the same run.
// Counts above WalletBackup::maxTokens are refused; the time to refuse is printed.
//   bench_restore [count...]   (default: 2000 10000 20000)
#include "../BenchRun.h"
#include "core/model/Wallet.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "core/storage/WalletBackup.h"
#include "platform/Crypto.h"
#include "platform/Settings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace qm;
using Clock = std::chrono::steady_clock;

namespace {

template <typename F> double millis(F&& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Machine {
    explicit Machine(const std::filesystem::path& root)
        : keychain(KeychainManager::Config{nullptr, root, std::chrono::seconds(1), {}}),
          tokens(root / "Quillmark" / "tokens.json"), settings(root / "settings.ini") {}
    WalletBackup::Stores stores() { return {keychain, tokens, settings}; }
    KeychainManager keychain;
    TokenStore tokens;
    Settings settings;
};

void addWallet(Machine& machine, const std::string& password) {
    const Wallet wallet{newWalletID(), "Quillmark", Date::now(), 1, 1, 5};
    machine.keychain.storeSeed(crypto::randomBytes(64), wallet.id, password);
    machine.keychain.storeItem(KeychainManager::walletMetadataItem, encodeWalletMetadata(wallet));
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::size_t> counts;
    for (int i = 1; i < argc; ++i) {
        counts.push_back(static_cast<std::size_t>(std::strtoul(argv[i], nullptr, 10)));
    }
    if (counts.empty()) {
        counts = bench::fullOrShort<std::vector<std::size_t>>({2'000, 10'000, 20'000}, {200});
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "qm-bench-restore.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path root = pattern;
    const std::string password = "correct horse battery staple";
    const Bytes salt = crypto::randomBytes(16);
    const double pbkdf2 =
        millis([&] { (void)crypto::pbkdf2HmacSha512(utf8View(password), salt, 100'000, 32); });
    std::printf("reference: one PBKDF2-HMAC-SHA512 (100,000 rounds): %.1f ms\n", pbkdf2);
    int result = 0;
    for (const std::size_t count : counts) {
        const std::filesystem::path home = root / ("home-" + std::to_string(count));
        const std::filesystem::path away = root / ("away-" + std::to_string(count));
        Machine source(home);
        addWallet(source, password);
        std::vector<Token> tokens;
        tokens.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            char address[43];
            std::snprintf(address, sizeof address, "0x%040zx", i + 1);
            tokens.push_back(
                Token{address, "TKN", "Token " + std::to_string(i), 18, Chain::ethereum});
        }
        // Filled directly: an export of more than maxTokens must still be measurable.
        source.tokens.tokensByChain[std::string(rawValue(Chain::ethereum))] = tokens;
        const Bytes file = WalletBackup::exportBackup(password, source.stores());

        Machine target(away);
        addWallet(target, "old");
        std::string outcome = "restored";
        const double elapsed = millis([&] {
            try {
                (void)WalletBackup::restore(file, password, target.stores());
            } catch (const Error& error) {
                outcome = std::string("refused: ") + error.what();
            }
        });
        std::size_t held = 0;
        for (const auto& [chain, list] : target.tokens.tokensByChain) {
            held += list.size();
        }
        std::printf("%6zu tokens (%zu KiB file): %8.1f ms = %.2f x PBKDF2, %zu held, %s\n", count,
                    file.size() / 1024, elapsed, elapsed / pbkdf2, held, outcome.c_str());
        if (outcome == "restored" && held != count) {
            result = 1;
        }
    }
    // The token store's part on its own, past the backup's bound: merge and one write.
    for (const std::size_t count : counts) {
        TokenStore store(root / ("store-" + std::to_string(count)) / "tokens.json");
        std::vector<Token> tokens;
        for (std::size_t i = 0; i < count; ++i) {
            char address[43];
            std::snprintf(address, sizeof address, "0x%040zX", i + 1);
            tokens.push_back(Token{address, "TKN", "Token", 18, Chain::polygon});
        }
        TokenStore::AddResult added = TokenStore::AddResult::duplicate;
        const double elapsed = millis([&] { added = store.addAll(tokens); });
        std::printf("TokenStore::addAll of %6zu tokens: %8.1f ms (%s)\n", count, elapsed,
                    added == TokenStore::AddResult::added ? "written once" : "NOT written");
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return result;
}
