#pragma once
// JSON-RPC 2.0 over HTTP(S) to one Solana endpoint: balance, latest blockhash, transaction
// submission and simulation, accounts, SPL token accounts and recent signatures.
//
// A QObject on the GUI thread with a session of its own (HttpSession); several requests may
// be in flight at once, each with its own identifier. Owners hold clients by std::shared_ptr
// so a client outlives the coroutines awaiting it.

#include "platform/async/CancellationToken.h"
#include "services/network/JSONRPCEnvelope.h"
#include "services/network/JSONRPCTransport.h"
#include "services/solana/SolanaRPCError.h"
#include "services/solana/SolanaRPCTypes.h"

#include <QObject>
#include <QUrl>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm {

class SolanaRPCClient : public QObject {
    Q_OBJECT

public:
    // The longest reply accepted: the token accounts of a wallet that holds thousands.
    static constexpr std::size_t maxReplyBytes = 16u << 20;

    // A session with a 30 s idle and a 60 s total time-out; tests inject their own.
    explicit SolanaRPCClient(QUrl url, HttpTimeouts timeouts = {}, QObject* parent = nullptr);

    const QUrl& url() const { return m_transport.url(); }
    // What a user reads when this endpoint cannot be reached ("Cannot connect to Ethereum RPC"):
    // carried by every HttpTransportError of its requests.
    void setUnreachableText(std::string text) { m_transport.setUnreachableText(std::move(text)); }

    // Posts {"jsonrpc":"2.0","id":n,"method":..,"params":..} and returns the decoded "result".
    // Throws SolanaRPCError (httpError for any status but 200, decodingError when the reply or
    // its result has another shape, rpcError whenever an error object came, noResult) or
    // HttpTransportError.
    // Cancelling `cancel` aborts the request (HttpTransportError kind aborted).
    template <typename Result>
    QCoro::Task<Result> call(std::string method, nlohmann::json params,
                             CancellationToken cancel = {});

    // Lamports at "confirmed" commitment.
    QCoro::Task<std::uint64_t> getBalance(std::string address, CancellationToken cancel = {});
    QCoro::Task<LatestBlockhashValue> getLatestBlockhash(CancellationToken cancel = {});
    // Submits a signed transaction (standard Base64) with preflight; returns its signature.
    QCoro::Task<std::string> sendTransaction(std::string transaction,
                                             CancellationToken cancel = {});
    // What the cluster knows of each signature (searching the transaction history too), in
    // the order asked, and the slot the answer speaks for; an absent entry: not seen by that
    // slot (yet, or any more).
    QCoro::Task<SignatureStatusesResult> getSignatureStatuses(std::vector<std::string> signatures,
                                                              CancellationToken cancel = {});
    // The current slot and the block height at it, at "confirmed" commitment, from one answer:
    // a transaction whose blockhash's last valid height is below it can no longer land.
    QCoro::Task<EpochInfo> getEpochInfo(CancellationToken cancel = {});
    // Whether a transaction with `blockhash` (Base58) could still be processed, at "confirmed"
    // commitment, and the slot the answer speaks for. Not valid also when the node does not
    // know the blockhash (yet).
    QCoro::Task<BlockhashValidity> isBlockhashValid(std::string blockhash,
                                                    CancellationToken cancel = {});
    // The accounts at "confirmed" commitment, in the order asked; absent: no such account.
    QCoro::Task<std::vector<std::optional<SolanaAccount>>>
    getMultipleAccounts(std::vector<std::string> addresses, CancellationToken cancel = {});
    // Runs a transaction (standard Base64) as it was built, its signatures unchecked and its
    // own blockhash kept, on the "confirmed" state without keeping anything; its error and
    // `addresses` as they would be after it.
    QCoro::Task<SimulationValue> simulateTransaction(std::string transaction,
                                                     std::vector<std::string> addresses,
                                                     CancellationToken cancel = {});
    // Every SPL Token account of the owner, in the node's order, zero balances included.
    QCoro::Task<std::vector<SPLTokenAccountInfo>>
    getTokenAccountsByOwner(std::string owner, CancellationToken cancel = {});
    // The most recent signatures of the address, at most `limit`, as the node sends them.
    QCoro::Task<std::vector<SolanaTransactionInfo>>
    getSignaturesForAddress(std::string address, int limit, CancellationToken cancel = {});

private:
    struct Failures {
        [[noreturn]] static void http(int status);
        [[noreturn]] static void decoding(std::string text);
        [[noreturn]] static void rpc(std::int64_t code, std::string message);
        [[noreturn]] static void noResult();
    };

    JSONRPCTransport m_transport;
};

template <typename Result>
QCoro::Task<Result> SolanaRPCClient::call(std::string method, nlohmann::json params,
                                          CancellationToken cancel) {
    return m_transport.call<Result, Failures>(
        std::move(method), std::move(params),
        [](const nlohmann::json& value, Result& out) { fromSolanaResult(value, out); },
        std::move(cancel));
}

} // namespace qm
