// What the wallet answers an approved request with: a personal_sign or typed-data signature, a
// signed transaction, or the hash of one it sent. Keys stay in the signer; the transaction of
// "eth_sendTransaction" goes through the flow base, so it runs to its end even if the sheet goes
// and is sent once.
#include "core/encoding/Hex.h"
#include "platform/async/OneShot.h"
#include "services/connections/NetworkManager.h"
#include "services/evm/JSONRPCClient.h"
#include "services/walletconnect/WCError.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"
#include "state/signing/Signer.h"
#include "state/walletconnect/WalletConnectService.h"

#include <QPointer>
#include <algorithm>
#include <cctype>

namespace qm {
namespace {

using json = nlohmann::json;
using Kind = WCPreparedRequest::Kind;

std::string_view textOf(const SecureBytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool sameAddress(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The type-2 transaction of a request: what it gives (nonce, gas), the rest from the node.
// The fee cap is twice the node's gas price; the tip never above it.
QCoro::Task<ETHTransaction> buildTransaction(std::shared_ptr<JSONRPCClient> client,
                                             WCTransactionRequest request, Chain chain,
                                             std::string from, CancellationToken token) {
    ETHTransaction transaction;
    transaction.chainID = evmChainID(chain);
    if (request.nonce) {
        transaction.nonce = *request.nonce;
    } else {
        QCoro::Task<std::uint64_t> counting = client->getTransactionCount(from, token);
        transaction.nonce = co_await std::move(counting);
    }
    QCoro::Task<UInt256> pricing = client->gasPrice(token);
    const UInt256 gasPrice = co_await std::move(pricing);
    QCoro::Task<UInt256> tipping = client->maxPriorityFeePerGas(token);
    const UInt256 tip = co_await std::move(tipping);
    if (request.gasLimit) {
        transaction.gasLimit = *request.gasLimit;
    } else {
        const std::optional<std::string> value =
            request.value.isZero() ? std::nullopt
                                   : std::optional<std::string>(request.value.description());
        QCoro::Task<std::uint64_t> estimating =
            client->estimateGas(from, request.toText, value, bytesToHex(request.data), token);
        const std::uint64_t estimate = co_await std::move(estimating);
        // 120 % of the estimate, rounded down.
        if (estimate > UINT64_MAX - estimate / 5) {
            throw WCError::signingFailed("The gas estimate is too large");
        }
        transaction.gasLimit = estimate + estimate / 5;
    }
    const auto maxFee = gasPrice.checkedMultiply(UInt256(0, 0, 0, 2));
    if (!maxFee) {
        throw WCError::signingFailed("The gas price is too large");
    }
    transaction.maxFeePerGas = *maxFee;
    transaction.maxPriorityFeePerGas = std::min(tip, *maxFee);
    transaction.to = request.to;
    transaction.value = request.value;
    transaction.data = request.data;
    co_return transaction;
}

// What a WalletConnect send needs while its flow runs; the password is wiped with it.
struct WalletConnectSend {
    QPointer<AppState> state;
    std::shared_ptr<JSONRPCClient> client;
    std::string walletID;
    SecureBytes password;
    WCTransactionRequest request;
    Chain chain = Chain::ethereum;
    std::string from;
    // The hash the node gave, once the transaction left.
    std::optional<std::string> hash;
};

QCoro::Task<void> runWalletConnectSend(FlowRun run, std::shared_ptr<WalletConnectSend> send) {
    run.setStep(TransactionFlow::Step::Signing);
    QCoro::Task<ETHTransaction> building =
        buildTransaction(send->client, send->request, send->chain, send->from, run.token());
    ETHTransaction transaction = co_await std::move(building);
    if (!run.isActive() || !send->state) {
        co_return;
    }
    QCoro::Task<Bytes> signing = send->state->signer().signEVMTransaction(
        send->walletID, textOf(send->password), 0, std::move(transaction));
    const Bytes signedTransaction = co_await std::move(signing);
    send->password = SecureBytes(0);
    if (!run.isActive()) {
        co_return;
    }
    run.setStep(TransactionFlow::Step::Broadcasting);
    QCoro::Task<std::string> sending =
        send->client->sendRawTransaction(bytesToHex(signedTransaction), run.token());
    send->hash = co_await std::move(sending);
    run.broadcasted(*send->hash);
    // The dApp follows its transaction from the hash.
    run.submitted();
}

} // namespace

QCoro::Task<nlohmann::json> WalletConnectService::sign(WCPreparedRequest request,
                                                       SecureBytes password) {
    if (request.kind == Kind::unsupported) {
        throw WCError::signingFailed("Unsupported method: " + request.request.method);
    }
    if (!m_state || !m_state->wallet()) {
        throw WCError::signingFailed("No wallet");
    }
    // The key that signs must be the account the session was approved for.
    const auto session =
        std::find_if(m_sessions.begin(), m_sessions.end(),
                     [&](const WCSession& s) { return s.topic == request.request.sessionTopic; });
    const auto approved =
        session != m_sessions.end() ? sessionAccount(*session, request.chain) : std::nullopt;
    const auto& accounts = m_state->evmAccounts(request.chain);
    if (!approved || accounts.empty() ||
        !sameAddress(accounts.front().account.address, *approved)) {
        throw WCError::signingFailed("The session's account is not this wallet's");
    }
    const std::string walletID = m_state->wallet()->id;
    const std::string from = accounts.front().account.address;
    Signer& signer = m_state->signer();
    switch (request.kind) {
    case Kind::personalSign: {
        QCoro::Task<Bytes> signing =
            signer.signPersonalMessage(walletID, textOf(password), 0, request.message);
        const Bytes signature = co_await std::move(signing);
        co_return bytesToHex(signature);
    }
    case Kind::typedData: {
        QCoro::Task<Bytes> signing =
            signer.signTypedData(walletID, textOf(password), 0, *request.typedData);
        const Bytes signature = co_await std::move(signing);
        co_return bytesToHex(signature);
    }
    case Kind::signTransaction: {
        const CancellationToken token;
        QCoro::Task<ETHTransaction> building =
            buildTransaction(m_state->networkManager().evmClient(request.chain),
                             request.transaction, request.chain, from, token);
        ETHTransaction transaction = co_await std::move(building);
        if (!m_state) {
            throw WCError::signingFailed("No wallet");
        }
        QCoro::Task<Bytes> signing = m_state->signer().signEVMTransaction(
            walletID, textOf(password), 0, std::move(transaction));
        const Bytes signedTransaction = co_await std::move(signing);
        co_return bytesToHex(signedTransaction);
    }
    case Kind::sendTransaction:
        break;
    case Kind::unsupported:
        throw WCError::signingFailed("Unsupported method: " + request.request.method);
    }

    FlowService* flows = m_options.flows ? m_options.flows : FlowService::installed();
    if (!flows) {
        throw WCError::signingFailed("Transactions cannot be sent here");
    }
    TransactionFlow* flow = flows->flow(QStringLiteral("walletconnect"));
    auto send = std::make_shared<WalletConnectSend>();
    send->state = m_state;
    send->client = m_state->networkManager().evmClient(request.chain);
    send->walletID = walletID;
    send->password = std::move(password);
    send->request = request.transaction;
    send->chain = request.chain;
    send->from = from;
    const OneShot<void> ended;
    const QMetaObject::Connection watching =
        QObject::connect(flow, &TransactionFlow::finished, flow, [ended] { ended.succeed(); });
    flow->setSummary(QString::fromStdString(requestSummary(request)), {});
    const bool started = flow->start(TransactionFlow::Step::Signing, [send](FlowRun run) {
        return runWalletConnectSend(std::move(run), send);
    });
    if (!started) {
        QObject::disconnect(watching);
        throw WCError::signingFailed("A transaction is still being sent");
    }
    const QPointer<TransactionFlow> watched(flow);
    co_await ended.wait();
    if (watched) {
        QObject::disconnect(watching);
    }
    if (!send->hash) {
        // The flow's failure as it shows it (a wrong password, the node's refusal).
        throw Error(watched && !watched->errorMessage().isEmpty()
                        ? watched->errorMessage().toStdString()
                        : std::string("The transaction was not sent"));
    }
    co_return *send->hash;
}

} // namespace qm
