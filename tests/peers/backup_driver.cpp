// Driver of qmbackup.py (file store, no keychain):
//   backup_driver export <folder> <password> <contents.json> <out-file>
//   backup_driver restore <folder> <password> <in-file>  -> report JSON, or {"error", "files"}
#include "core/encoding/Hex.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "core/storage/WalletBackup.h"
#include "platform/AtomicFile.h"
#include "platform/Settings.h"

#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

using namespace qm;

namespace {

struct Machine {
    explicit Machine(const std::filesystem::path& root)
        : keychain(KeychainManager::Config{nullptr, root, std::chrono::seconds(1), {}}),
          tokens(root / "Quillmark" / "tokens.json"), settings(root / "settings.ini") {}
    WalletBackup::Stores stores() { return {keychain, tokens, settings}; }

    KeychainManager keychain;
    TokenStore tokens;
    Settings settings;
};

std::vector<std::string> listing(const std::filesystem::path& root) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        names.push_back(std::filesystem::relative(entry.path(), root).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

int exportWallet(const std::filesystem::path& root, const std::string& password,
                 const std::string& contentsFile, const std::string& outFile) {
    std::ifstream in(contentsFile);
    const nlohmann::json contents = nlohmann::json::parse(in);
    Machine machine(root);
    const Wallet wallet = walletFromJSON(contents.at("wallet"), DateCoding::iso8601);
    const Bytes seed = hexToBytes(contents.at("seed").get<std::string>()).value();
    if (contents.contains("words")) {
        machine.keychain.storeSeedAndPhrase(
            seed, contents.at("words").get<std::vector<std::string>>(), wallet.id, password);
    } else {
        machine.keychain.storeSeed(seed, wallet.id, password);
    }
    // The stored record keeps keys the Wallet type does not know (the state's address indices).
    nlohmann::json record = walletToJSON(wallet, DateCoding::secondsSinceReferenceDate);
    for (const auto& [key, value] : contents.at("wallet").items()) {
        if (!record.contains(key)) {
            record[key] = value;
        }
    }
    const std::string recordText = record.dump();
    machine.keychain.storeItem(KeychainManager::walletMetadataItem, utf8View(recordText));
    for (const auto& token : contents.at("tokens")) {
        if (machine.tokens.add(token.get<Token>()) == TokenStore::AddResult::notSaved) {
            return 2;
        }
    }
    if (contents.contains("theme")) {
        machine.settings.setString(WalletBackup::themeKey, contents.at("theme").get<std::string>());
    }
    writeFileAtomically(outFile, WalletBackup::exportBackup(password, machine.stores()));
    return 0;
}

int restoreWallet(const std::filesystem::path& root, const std::string& password,
                  const std::string& inFile) {
    const Bytes file = readFileIfExists(inFile).value();
    Machine machine(root);
    nlohmann::json report;
    try {
        const Wallet wallet = WalletBackup::restore(file, password, machine.stores());
        report["wallet"] = walletToJSON(wallet, DateCoding::iso8601);
        const Bytes record = machine.keychain.loadItem(KeychainManager::walletMetadataItem).value();
        report["record"] = nlohmann::json::parse(record);
        report["seed"] = bytesToPlainHex(machine.keychain.loadSeed(wallet.id, password));
        report["words"] = nullptr;
        if (machine.keychain.loadItem("mnemonic-" + wallet.id)) {
            report["words"] = machine.keychain.loadMnemonic(wallet.id, password);
        }
        TokenStore reread(machine.tokens.fileURL());
        reread.load();
        report["tokens"] = tokenMapToJSON(reread.tokensByChain);
        const auto theme = machine.settings.string(WalletBackup::themeKey);
        report["theme"] = theme ? nlohmann::json(*theme) : nlohmann::json(nullptr);
    } catch (const Error& error) {
        report = {{"error", error.what()}, {"files", listing(root)}};
    }
    std::cout << report.dump() << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 5 && args[0] == "export") {
            return exportWallet(args[1], args[2], args[3], args[4]);
        }
        if (args.size() == 4 && args[0] == "restore") {
            return restoreWallet(args[1], args[2], args[3]);
        }
    } catch (const std::exception& error) {
        std::cerr << "backup_driver: " << error.what() << std::endl;
        return 1;
    }
    std::cerr << "usage: backup_driver export|restore ..." << std::endl;
    return 64;
}
