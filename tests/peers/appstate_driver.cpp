// Driver of appstate_peer.mjs: {"phrase", "ops": ["gen", "del:<position>", "relock", "restart"]}
// -> every Bitcoin address with its index, and the EVM and Solana accounts, each with what the
// signer signed for it (the signer hands out no key: the peer checks the keys by signatures).
#include "AppStateFixture.h"
#include "RunTask.h"
#include "core/encoding/Hex.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/ElectrumScriptHash.h"
#include "state/signing/Signer.h"

#include <QCoreApplication>
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace {

constexpr const char* password = "peer password";

constexpr std::uint64_t spentValue = 100'000;
const qm::Bytes message{'q', 'u', 'i', 'l', 'l', 'm', 'a', 'r', 'k'};

// A transaction spending one coin of `address` (its index's key), signed by the signer.
std::string signedSpend(qm::AppState& state, const qm::BTCAddressInfo& address) {
    qm::BTCSpend spend;
    spend.derivationIndex = address.derivationIndex;
    spend.utxo.txHash = std::string(64, 'a');
    spend.utxo.value = spentValue;
    spend.utxo.scriptPubKey = {0x00, 0x14};
    const qm::Bytes keyHash = qm::hash160(address.compressedPublicKey);
    spend.utxo.scriptPubKey.insert(spend.utxo.scriptPubKey.end(), keyHash.begin(), keyHash.end());
    qm::BTCUnsignedTransaction transaction;
    transaction.inputs.push_back({qm::Bytes(32, 0xaa), 0, 0xFFFFFFFD, {}});
    transaction.outputs.push_back({spentValue - 1'000, spend.utxo.scriptPubKey});
    const qm::BTCUnsignedTransaction signedTransaction =
        qm::test::runTask(state.signer().signBitcoinTransaction(
            state.wallet()->id, password, std::move(transaction), {std::move(spend)}));
    return qm::bytesToPlainHex(qm::BTCSigner::serialize(
        true, signedTransaction.version, signedTransaction.inputs, signedTransaction.outputs, 0));
}

std::string signedEVM(qm::AppState& state) {
    qm::ETHTransaction transaction;
    transaction.chainID = 1;
    transaction.gasLimit = 21'000;
    transaction.to = qm::Bytes(20, 0x11);
    return qm::bytesToHex(qm::test::runTask(state.signer().signEVMTransaction(
        state.wallet()->id, password, 0, std::move(transaction))));
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
        reply["btc"].push_back({{"index", address.derivationIndex},
                                {"address", address.address},
                                {"scriptHash", address.scriptHash},
                                {"spend", signedSpend(state, address)},
                                {"value", spentValue}});
    }
    reply["eth"] = {{"address", state.evmAccounts(qm::Chain::ethereum).at(0).account.address},
                    {"signed", signedEVM(state)}};
    reply["sol"] = {
        {"address", state.solanaAccounts().at(0).account.address},
        {"message", qm::bytesToPlainHex(message)},
        {"signature", qm::bytesToPlainHex(qm::test::runTask(state.signer().signSolanaMessage(
                          state.wallet()->id, password, message)))}};
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
