// Driver of solana_peer.mjs: ops message, transfer (fetch blockhash, sign, send), balance,
// tokens, signatures, statuses (of signatures, with the block height).
#include "PeerDriver.h"
#include "RunTask.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Ed25519.h"
#include "core/encoding/Hex.h"
#include "platform/Crypto.h"
#include "platform/SecureBytes.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/solana/SolanaTransaction.h"

#include <QCoreApplication>
#include <iostream>
#include <stdexcept>

using json = nlohmann::json;

namespace {

std::uint64_t lamportsOf(const json& text) {
    return std::stoull(text.get<std::string>());
}

json transfer(const json& request) {
    qm::SolanaRPCClient client(QUrl(QString::fromStdString(request.at("url"))));
    qm::Bytes secretBytes = qm::test::hexField(request, "secret");
    const qm::SecureBytes secret(secretBytes);
    qm::wipe(secretBytes);
    const auto recipient = qm::base58Decode(request.at("to").get<std::string>());
    if (!recipient || recipient->size() != 32) {
        throw std::invalid_argument("recipient is not a 32-byte key");
    }
    const qm::Bytes sender = qm::crypto::ed25519PublicKey(secret);
    const auto blockhash = qm::test::runTask(client.getLatestBlockhash());
    const qm::Bytes message = qm::SolanaTransaction::transferMessage(
        sender, *recipient, lamportsOf(request.at("lamports")), blockhash.blockhash);
    const qm::Bytes signature = qm::ed25519Sign(message, secret);
    std::string wire = qm::SolanaTransaction::signedTransactionBase64(signature, message);
    const std::string sent = qm::test::runTask(client.sendTransaction(wire));
    return {{"signature", sent}, {"message", qm::bytesToPlainHex(message)}, {"wire", wire}};
}

json answer(const json& request) {
    const std::string op = request.at("op");
    if (op == "message") {
        const auto message = qm::SolanaTransaction::transferMessage(
            qm::test::hexField(request, "from"), qm::test::hexField(request, "to"),
            lamportsOf(request.at("lamports")), request.at("blockhash").get<std::string>());
        return {{"message", qm::bytesToPlainHex(message)}};
    }
    if (op == "transfer") {
        return transfer(request);
    }
    qm::SolanaRPCClient client(QUrl(QString::fromStdString(request.at("url"))));
    if (op == "balance") {
        const auto lamports = qm::test::runTask(client.getBalance(request.at("address")));
        return {{"lamports", std::to_string(lamports)}};
    }
    if (op == "tokens") {
        json accounts = json::array();
        for (const auto& account :
             qm::test::runTask(client.getTokenAccountsByOwner(request.at("owner")))) {
            accounts.push_back({{"pubkey", account.pubkey},
                                {"mint", account.mint},
                                {"amount", account.amount},
                                {"decimals", account.decimals},
                                {"uiAmount", account.uiAmount ? json(*account.uiAmount) : json()}});
        }
        return {{"accounts", accounts}};
    }
    if (op == "signatures") {
        json signatures = json::array();
        for (const auto& info : qm::test::runTask(
                 client.getSignaturesForAddress(request.at("address"), request.at("limit")))) {
            signatures.push_back({{"signature", info.signature},
                                  {"slot", info.slot},
                                  {"failed", info.err.has_value()}});
        }
        return {{"signatures", signatures}};
    }
    if (op == "statuses") {
        json statuses = json::array();
        const qm::SignatureStatusesResult answer = qm::test::runTask(
            client.getSignatureStatuses(request.at("signatures").get<std::vector<std::string>>()));
        for (const auto& status : answer.value) {
            statuses.push_back(status
                                   ? json{{"slot", status->slot},
                                          {"confirmation", status->confirmationStatus.value_or("")},
                                          {"failed", status->err.has_value()}}
                                   : json());
        }
        const qm::EpochInfo epoch = qm::test::runTask(client.getEpochInfo());
        return {{"statuses", statuses},
                {"contextSlot", answer.contextSlot ? json(*answer.contextSlot) : json()},
                {"epoch", {{"slot", epoch.absoluteSlot}, {"height", epoch.blockHeight}}}};
    }
    if (op == "blockhashValid") {
        const qm::BlockhashValidity validity =
            qm::test::runTask(client.isBlockhashValid(request.at("blockhash")));
        return {{"valid", validity.valid}, {"contextSlot", validity.contextSlot}};
    }
    throw std::invalid_argument("unknown op " + op);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return qm::test::runPeerDriver(answer);
}
