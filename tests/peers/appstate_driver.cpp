// Driver of appstate_peer.mjs: {"phrase", "ops": ["gen", "del:<position>", "relock", "restart"]}
// -> every Bitcoin address with its index and key, and the EVM and Solana accounts.
#include "AppStateFixture.h"
#include "RunTask.h"
#include "core/encoding/Hex.h"
#include "state/signing/Signer.h"

#include <QCoreApplication>
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace {

constexpr const char* password = "peer password";

std::string keyHex(qm::AppState& state, qm::Chain chain, std::int64_t index) {
    auto hex = [](const qm::SecureBytes& key) { return qm::bytesToPlainHex(key.view()); };
    return qm::test::runTask(
        state.signer().withPrivateKey(state.wallet()->id, chain, index, password, hex));
}

nlohmann::json answer(const nlohmann::json& request) {
    qm::test::AppStateFixture env;
    std::vector<std::string> words;
    std::istringstream phrase(request.at("phrase").get<std::string>());
    for (std::string word; phrase >> word;) {
        words.push_back(word);
    }
    env.state().loadStoredState();
    qm::test::runTask(env.state().createWallet(words, password));

    for (const std::string op : request.at("ops")) {
        qm::AppState& state = env.state();
        if (op == "gen") {
            qm::test::runTask(state.generateBTCAddress());
        } else if (op.rfind("del:", 0) == 0) {
            // Addresses count as read from a server and empty.
            std::vector<qm::BTCAccountState> accounts = state.bitcoinAccounts();
            for (qm::BTCAddressInfo& address : accounts.at(0).addresses) {
                address.fetched = true;
            }
            // The peer names a position; the state takes the address's derivation index (one
            // no address has for a position past the end).
            const std::size_t position = std::stoull(op.substr(4));
            const auto& addresses = accounts.at(0).addresses;
            const std::uint32_t index = position < addresses.size()
                                            ? addresses[position].derivationIndex
                                            : std::numeric_limits<std::uint32_t>::max();
            state.setBitcoinAccounts(std::move(accounts));
            qm::test::runTask(state.deleteBTCAddress(index));
        } else if (op == "relock") {
            state.lock();
            qm::test::runTask(state.unlock(password));
        } else if (op == "restart") {
            env.restart();
            env.state().loadStoredState();
            qm::test::runTask(env.state().unlock(password));
        }
    }

    qm::AppState& state = env.state();
    nlohmann::json reply;
    reply["btc"] = nlohmann::json::array();
    for (const qm::BTCAddressInfo& address : state.bitcoinAccounts().at(0).addresses) {
        reply["btc"].push_back(
            {{"index", address.derivationIndex},
             {"address", address.address},
             {"scriptHash", address.scriptHash},
             {"key", keyHex(state, qm::Chain::bitcoin, address.derivationIndex)}});
    }
    reply["eth"] = {{"address", state.evmAccounts(qm::Chain::ethereum).at(0).account.address},
                    {"key", keyHex(state, qm::Chain::ethereum, 0)}};
    reply["sol"] = {{"address", state.solanaAccounts().at(0).account.address},
                    {"key", keyHex(state, qm::Chain::solana, 0)}};
    return reply;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The state's diagnostics go to standard error; the replies keep standard output.
    std::ostream out(std::cout.rdbuf(std::cerr.rdbuf()));
    for (std::string line; std::getline(std::cin, line);) {
        try {
            out << answer(nlohmann::json::parse(line)).dump() << std::endl;
        } catch (const std::exception& error) {
            out << nlohmann::json{{"error", error.what()}}.dump() << std::endl;
        }
    }
    return 0;
}
