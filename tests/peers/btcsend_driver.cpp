// Driver of btcsend_peer.mjs. One request is one send sheet over a new wallet (the published
// test phrase) on a loopback Electrum server:
//   {"addresses": n, "delete": [derivation index...], "coins": [{"index", "txid", "vout",
//    "value"}], "estimate": btc/kB while the sheet estimates and prepares, "sendEstimate":
//    btc/kB when the send asks, "amount", "recipient", "password", "sends": attempts}
// -> {"addresses": [{"index", "publicKey"}], "review": {"canReview", "recipientError",
//    "amountError", "error", "amount", "fee", "rate", "amountText", "feeText", "totalText"},
//    "attempts": [{"step", "error", "txHash", "shownAmount", "shownFee", "shownRate"}],
//    "broadcasts": [raw hex], "seedLoads": openings per attempt, "reviewSeedLoads"}.
// "Review Transaction" prepares the send; each attempt sends what the review shows then (a
// second press while the first send runs is made every time; it must change nothing).
// "failAtSend": a method the server refuses once the review is shown; "coinsAfterReview": the
// coins the server lists from then on (a coin spent meanwhile, or a hostile list);
// "closeSheet": the sheet goes while its send runs; "max": the balance is the coins' sum and
// "Max" is pressed once the estimate is shown, then "edit" (if given) typed as the amount.
// The server answers a broadcast with the transaction's id, unless "broadcastAnswer" says
// "drop" (it takes the transaction and closes the connection), "stall" (it takes it and never
// answers) or gives another text (it answers that and does not take it).
// blockchain.transaction.get knows the transactions the server took, unless "lookupAnswer"
// gives what it answers to every lookup (another transaction, junk). "level": the fee level
// chosen ("Slow", "Normal", "Fast"); "estimates": btc/kB by block target; "waitMs": the
// flow's wait for the chain's word (90 s otherwise).
#include "AppStateFixture.h"
#include "PeerDriver.h"
#include "RawTransactionID.h"
#include "RunTask.h"
#include "core/encoding/Hex.h"
#include "state/flows/FlowService.h"
#include "ui/send/SendViewModel.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

namespace {

using json = nlohmann::json;

constexpr const char* walletPassword = "peer password";

std::string line(const json& id, const char* key, json value) {
    return json{{"jsonrpc", "2.0"}, {"id", id}, {key, std::move(value)}}.dump() + "\n";
}

std::size_t seedLoads(qm::test::FaultyKeychain& keychain, std::size_t from) {
    const std::vector<std::string> calls = keychain.calls();
    std::size_t count = 0;
    for (std::size_t i = from; i < calls.size(); ++i) {
        count += calls[i].starts_with("load:seed-") ? 1 : 0;
    }
    return count;
}

std::string stepName(qm::TransactionFlow::Step step) {
    return QMetaEnum::fromType<qm::TransactionFlow::Step>().valueToKey(static_cast<int>(step));
}

// What the review shows now.
json reviewOf(const qm::SendViewModel& vm) {
    json review{{"canReview", vm.canReview()},
                {"recipientError", vm.recipientError().toStdString()},
                {"amountError", vm.amountError().toStdString()},
                {"error", vm.prepareError().toStdString()}};
    if (const qm::BitcoinPreparedSend* prepared = vm.bitcoinReview()) {
        review["amount"] = prepared->amount;
        review["fee"] = prepared->fee;
        review["rate"] = prepared->satPerVByte;
        review["amountText"] = vm.reviewAmount().toStdString();
        review["feeText"] = vm.reviewFee().toStdString();
        review["totalText"] = vm.reviewTotal().toStdString();
        review["formAmount"] = vm.amountString().toStdString();
    }
    return review;
}

json answer(const json& request) {
    // A broadcast left unanswered times out in a second, as a lost answer does.
    qm::NetworkManager::Options network;
    network.electrumLimits.requestTimeout = std::chrono::seconds(1);
    qm::test::AppStateFixture env({}, network);
    qm::AppState& state = env.state();
    state.loadStoredState();
    qm::test::runTask(
        state.createWallet(qm::test::AppStateFixture::abandonPhrase(), walletPassword));
    state.stopBackgroundTasks();
    for (int i = 1; i < request.at("addresses").get<int>(); ++i) {
        qm::test::runTask(state.generateBTCAddress());
    }
    std::vector<qm::BTCAccountState> accounts = state.bitcoinAccounts();
    for (qm::BTCAddressInfo& address : accounts.at(0).addresses) {
        address.fetched = true;
    }
    for (const json& coin : request.at("coins")) {
        accounts.at(0).balanceSats += coin.at("value").get<std::uint64_t>();
    }
    accounts.at(0).balanceLoad.end(false);
    state.setBitcoinAccounts(std::move(accounts));
    for (const json& index : request.at("delete")) {
        qm::test::runTask(state.deleteBTCAddress(index.get<std::uint32_t>()));
    }

    json reply;
    std::map<std::string, std::uint32_t> indexOfScriptHash;
    for (const qm::BTCAddressInfo& address : state.bitcoinAccounts().at(0).addresses) {
        reply["addresses"].push_back(
            {{"index", address.derivationIndex},
             {"publicKey", qm::bytesToPlainHex(address.compressedPublicKey)}});
        indexOfScriptHash[address.scriptHash] = address.derivationIndex;
    }
    // The coins the server lists: "coins", then "coinsAfterReview" once the review is shown.
    auto coins = std::make_shared<json>(request.at("coins"));
    qm::test::ElectrumFixture& electrum = env.electrum();
    electrum.answerRaw(
        "blockchain.scripthash.listunspent", [indexOfScriptHash, coins](const json& r) {
            json listed = json::array();
            const auto found = indexOfScriptHash.find(r.at("params").at(0).get<std::string>());
            for (const json& coin : *coins) {
                if (found != indexOfScriptHash.end() &&
                    coin.at("index").get<std::uint32_t>() == found->second) {
                    listed.push_back({{"tx_hash", coin.at("txid")},
                                      {"tx_pos", coin.at("vout")},
                                      {"height", 800'000},
                                      {"value", coin.at("value")}});
                }
            }
            return line(r.at("id"), "result", listed);
        });
    double estimate = request.at("estimate").get<double>();
    // "estimates": btc/kB by block target ("1", "3", "6"), at the review and the send alike.
    const json estimates = request.value("estimates", json::object());
    electrum.answerRaw("blockchain.estimatefee", [&estimate, estimates](const json& r) {
        const std::string blocks = r.at("params").at(0).dump();
        return line(r.at("id"), "result",
                    estimates.contains(blocks) ? estimates.at(blocks) : json(estimate));
    });
    reply["broadcasts"] = json::array();
    auto taken = std::make_shared<std::map<std::string, std::string>>();
    const std::string answerMode = request.value("broadcastAnswer", std::string("txid"));
    electrum.answerRaw(
        "blockchain.transaction.broadcast", [&reply, &electrum, taken, answerMode](const json& r) {
            const std::string raw = r.at("params").at(0).get<std::string>();
            reply["broadcasts"].push_back(raw);
            const std::string txid = qm::test::rawTransactionID(raw);
            if (answerMode == "drop" || answerMode == "stall") {
                (*taken)[txid] = raw;
                if (answerMode == "drop") {
                    // Closed from the event loop, not inside this socket's read.
                    QTimer::singleShot(0, &electrum, [&electrum] { electrum.closeAll(); });
                }
                return std::optional<std::string>();
            }
            if (answerMode != "txid") {
                return std::optional(line(r.at("id"), "result", answerMode));
            }
            (*taken)[txid] = raw;
            return std::optional(line(r.at("id"), "result", txid));
        });
    const std::optional<std::string> lookupAnswer =
        request.contains("lookupAnswer")
            ? std::optional(request.at("lookupAnswer").get<std::string>())
            : std::nullopt;
    electrum.answerRaw("blockchain.transaction.get", [taken, lookupAnswer](const json& r) {
        if (lookupAnswer) {
            return line(r.at("id"), "result", *lookupAnswer);
        }
        const auto found = taken->find(r.at("params").at(0).get<std::string>());
        if (found == taken->end()) {
            return line(r.at("id"), "error",
                        {{"code", -5}, {"message", "No such mempool or blockchain transaction"}});
        }
        return line(r.at("id"), "result", found->second);
    });

    qm::FlowLimits limits;
    limits.pace = 0;
    if (request.contains("waitMs")) {
        limits.pollInterval = std::chrono::milliseconds(100);
        limits.confirmationTimeout = std::chrono::milliseconds(request.at("waitMs").get<int>());
    }
    qm::FlowService flows(limits);
    auto sheet = std::make_unique<qm::SendViewModel>();
    qm::SendViewModel& vm = *sheet;
    vm.setAppState(&state);
    vm.setFlowService(&flows);
    vm.setChain(qm::Chain::bitcoin);
    vm.setRecipientAddress(QString::fromStdString(request.at("recipient").get<std::string>()));
    vm.setAmountString(QString::fromStdString(request.at("amount").get<std::string>()));
    vm.setPassword(QString::fromStdString(request.at("password").get<std::string>()));
    if (request.contains("level")) {
        const QByteArray level = QByteArray::fromStdString(request.at("level").get<std::string>());
        vm.setSelectedFeeLevel(static_cast<qm::SendViewModel::FeeLevel>(
            QMetaEnum::fromType<qm::SendViewModel::FeeLevel>().keyToValue(level.constData())));
    }
    vm.refreshFees();
    if (!QTest::qWaitFor([&] { return vm.estimatedFeeSats() != 0; }, 15'000)) {
        throw std::runtime_error("no fee estimate");
    }
    if (request.value("max", false)) {
        vm.useMaxAmount();
        if (request.contains("edit")) {
            vm.setAmountString(QString::fromStdString(request.at("edit").get<std::string>()));
        }
    }
    // Review Transaction: nothing is signed to prepare it.
    const std::size_t beforeReview = env.keychain().calls().size();
    vm.review();
    if (!QTest::qWaitFor([&] { return !vm.isPreparing(); }, 15'000)) {
        throw std::runtime_error("the review was not prepared");
    }
    reply["review"] = reviewOf(vm);
    reply["reviewSeedLoads"] = seedLoads(env.keychain(), beforeReview);
    reply["attempts"] = json::array();
    if (!vm.hasReview()) {
        return reply;
    }
    if (!vm.showConfirmation()) {
        throw std::runtime_error("a review that does not show");
    }

    estimate = request.at("sendEstimate").get<double>();
    if (request.contains("failAtSend")) {
        electrum.answerError(request.at("failAtSend").get<std::string>(), 1, "refused");
    }
    if (request.contains("coinsAfterReview")) {
        *coins = request.at("coinsAfterReview");
    }
    qm::TransactionFlow* flow = flows.flow("send:bitcoin");
    if (request.value("closeSheet", false)) {
        // The sheet goes while its send runs: the send goes on, its outcome stays readable.
        vm.sendBitcoin();
        sheet.reset();
        if (!QTest::qWaitFor([&] { return !flow->isRunning(); }, 30'000)) {
            throw std::runtime_error("the send did not end");
        }
        reply["attempts"].push_back({{"step", stepName(flow->step())},
                                     {"error", flow->errorMessage().toStdString()},
                                     {"txHash", flow->txHash().toStdString()}});
        return reply;
    }
    for (int attempt = 0; attempt < request.at("sends").get<int>(); ++attempt) {
        const qm::BitcoinPreparedSend* shown = vm.bitcoinReview();
        json record{{"shownAmount", shown ? shown->amount : 0},
                    {"shownFee", shown ? shown->fee : 0},
                    {"shownRate", shown ? shown->satPerVByte : 0},
                    {"shownAmountText", vm.reviewAmount().toStdString()}};
        const std::size_t before = env.keychain().calls().size();
        vm.sendBitcoin();
        vm.sendBitcoin();
        if (!QTest::qWaitFor([&] { return !vm.isSending(); }, 30'000)) {
            throw std::runtime_error("the send did not end");
        }
        record["step"] = stepName(vm.broadcastStep());
        record["error"] = vm.errorMessage().toStdString();
        record["txHash"] = vm.txHash().toStdString();
        record["formAmount"] = vm.amountString().toStdString();
        reply["seedLoads"].push_back(seedLoads(env.keychain(), before));
        reply["attempts"].push_back(std::move(record));
    }
    return reply;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return qm::test::runPeerDriver(answer);
}
