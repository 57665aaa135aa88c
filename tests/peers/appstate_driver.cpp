// Driver for appstate_peer.mjs: per request line {"phrase": "...", "ops": [...]}, creates a
// wallet of that phrase in a fresh temporary folder (file store, no keychain), applies the
// operations ("gen", "del:<position>", "relock", "restart") and answers with every Bitcoin
// address, its receive index and private key, and the EVM and Solana accounts with theirs.

#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "services/evm/BlockExplorerClient.h"
#include "services/evm/Hex.h"
#include "services/network/NetworkManager.h"
#include "state/AppState.h"
#include "state/TokenPriceLookup.h"
#include "state/WalletConnectSetup.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace {

constexpr const char* password = "peer password";

struct Session {
    std::unique_ptr<qm::KeychainManager> keychain;
    std::unique_ptr<qm::TokenStore> tokens;
    std::unique_ptr<qm::AppState> state;

    explicit Session(const std::filesystem::path& folder) {
        qm::KeychainManager::Config config;
        config.dataLocation = folder;
        keychain = std::make_unique<qm::KeychainManager>(std::move(config));
        tokens = std::make_unique<qm::TokenStore>(folder / "Quillmark" / "tokens.json");
        qm::AppStateServices services;
        services.keychain = keychain.get();
        services.tokenStore = tokens.get();
        services.networkManager = std::make_unique<qm::NetworkManager>(
            qm::ServerPoolTable{}, qm::NetworkManager::Options{});
        services.explorerClient = std::make_unique<qm::BlockExplorerClient>(
            qm::BlockExplorerClient::BaseURLs{}, qm::HttpTimeouts{});
        services.coinGecko =
            std::make_unique<qm::CoinGeckoClient>("http://127.0.0.1:9", qm::HttpTimeouts{});
        services.wcViewModel = std::make_unique<qm::WalletConnectSetup>();
        services.tokenPrices = std::make_unique<qm::TokenPriceLookup>();
        state = std::make_unique<qm::AppState>(std::move(services));
    }
};

std::string keyHex(qm::AppState& state, qm::Chain chain, std::int64_t index) {
    const qm::SecureBytes key = state.privateKey(chain, index, password);
    return qm::bytesToPlainHex(key.view());
}

nlohmann::json answer(const nlohmann::json& request) {
    QTemporaryDir folder;
    const std::filesystem::path path = folder.path().toStdString();
    auto session = std::make_unique<Session>(path);
    std::vector<std::string> words;
    std::istringstream phrase(request.at("phrase").get<std::string>());
    for (std::string word; phrase >> word;) {
        words.push_back(word);
    }
    session->state->loadStoredState();
    session->state->createWallet(words, password);

    for (const std::string op : request.at("ops")) {
        qm::AppState& state = *session->state;
        if (op == "gen") {
            state.generateBTCAddress();
        } else if (op.rfind("del:", 0) == 0) {
            // Addresses count as read from a server and empty.
            std::vector<qm::BTCAccountState> accounts = state.bitcoinAccounts();
            for (qm::BTCAddressInfo& address : accounts.at(0).addresses) {
                address.fetched = true;
            }
            state.setBitcoinAccounts(std::move(accounts));
            state.deleteBTCAddress(std::stoll(op.substr(4)));
        } else if (op == "relock") {
            state.lock();
            state.unlock(password);
        } else if (op == "restart") {
            session.reset();
            session = std::make_unique<Session>(path);
            session->state->loadStoredState();
            session->state->unlock(password);
        }
    }

    qm::AppState& state = *session->state;
    nlohmann::json reply;
    reply["btc"] = nlohmann::json::array();
    for (const qm::BTCAddressInfo& address : state.bitcoinAccounts().at(0).addresses) {
        reply["btc"].push_back(
            {{"id", address.id},
             {"index", address.derivationIndex},
             {"path", address.derivationPath},
             {"address", address.address},
             {"scriptHash", address.scriptHash},
             {"key", keyHex(state, qm::Chain::bitcoin, address.derivationIndex)}});
    }
    reply["eth"] = {{"address", state.ethereumAccounts().at(0).account.address},
                    {"key", keyHex(state, qm::Chain::ethereum, 0)}};
    reply["sol"] = {{"address", state.solanaAccounts().at(0).account.address},
                    {"key", keyHex(state, qm::Chain::solana, 0)}};
    return reply;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::cout.setf(std::ios::unitbuf);
    // The state's diagnostics would mix with the replies: they go to standard error here.
    std::streambuf* replies = std::cout.rdbuf(std::cerr.rdbuf());
    std::ostream out(replies);
    for (std::string line; std::getline(std::cin, line);) {
        if (line.empty()) {
            continue;
        }
        try {
            out << answer(nlohmann::json::parse(line)).dump() << '\n';
        } catch (const std::exception& error) {
            out << nlohmann::json{{"error", error.what()}}.dump() << '\n';
        }
        // The state is gone: its background tasks start only to see that and end.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
    }
    out.flush();
    return 0;
}
