#pragma once
// JSON-RPC 2.0 over HTTP(S) to one endpoint of an EVM chain (Ethereum, Arbitrum, Polygon).
// Every exchange of the wallet with an EVM chain goes through one of these clients: balances,
// contract reads, nonce and fees for signing, and the submission of signed transactions.
//
// A client is a QObject on the GUI thread with a session of its own (HttpSession); its
// coroutines may be in flight at the same time, each with its own request identifier.
// Callers hold clients by std::shared_ptr so a client outlives the coroutines awaiting it.

#include "core/crypto/UInt256.h"
#include "platform/Bytes.h"
#include "platform/Error.h"
#include "platform/async/CancellationToken.h"
#include "services/evm/ETHSignedTransaction.h"
#include "services/network/JSONRPCEnvelope.h"
#include "services/network/JSONRPCTransport.h"

#include <QObject>
#include <QUrl>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace qm {

// The "error" member of a reply.
struct JSONRPCError {
    std::int64_t code = 0;
    std::string message;

    // "JSON-RPC error " + code + ": " + message.
    std::string description() const;
    bool operator==(const JSONRPCError&) const = default;
};

// The result of "eth_getBlockByNumber": quantities as the node sent them; other members ignored.
struct ETHBlock {
    std::optional<std::string> number;
    std::optional<std::string> baseFeePerGas;
    std::optional<std::string> timestamp;
    std::optional<std::string> gasLimit;
};

// A transaction as "eth_getTransactionByHash" gives it, or a block read with its transactions
// lists it: "hash" (32 bytes), "from" (20) and "nonce" (below 2^64) present, "blockNumber" absent,
// null or a quantity below 2^64, "type" absent or a quantity, else malformed. Of type 2 also
// "chainId", "gas" and "v" (below 2^64, and "yParity" equal to "v" when present),
// "maxPriorityFeePerGas", "maxFeePerGas", "value", "r" and "s" (below 2^256), "to" (null or 20
// bytes), "input" (bytes) and "accessList" (objects of "address", 20 bytes, and "storageKeys",
// 32 bytes each), else malformed. Other members ignored.
struct ETHNodeTransaction {
    // What the node says: its claim, to be checked against `signedForm`.
    Bytes hash;
    Bytes from;
    std::uint64_t nonce = 0;
    // None while the node does not say it is in a block.
    std::optional<std::uint64_t> blockNumber;
    // The fields and signature of a type-2 transaction; none for any other type.
    std::optional<ETHSignedTransaction> signedForm;
};

// The result of "eth_getBlockByNumber" [number, true]: its "number" (below 2^64) and its
// "transactions", each as ETHNodeTransaction reads it, else malformed.
struct ETHBlockTransactions {
    std::uint64_t number = 0;
    std::vector<ETHNodeTransaction> transactions;
};

// The result of "eth_getTransactionReceipt" for a mined transaction; other members ignored.
struct ETHReceipt {
    // 1 success, 0 reverted; absent from nodes before the Byzantium fork.
    std::optional<std::uint64_t> status;
    std::optional<std::string> blockNumber;
    std::optional<std::string> gasUsed;
    std::optional<std::string> effectiveGasPrice;
};

// One element of the result of "eth_getLogs"; other members ignored.
struct ETHLog {
    std::optional<std::string> address;
    std::optional<std::vector<std::string>> topics;
    std::optional<std::string> data;
    std::optional<std::string> blockNumber;
    std::optional<std::string> transactionHash;
    std::optional<std::string> logIndex;
};

class JSONRPCClientError : public Error {
public:
    enum class Kind {
        httpError,
        decodingError,
        rpcError,
        unexpectedResponse,
        invalidURL,
        noResult
    };

    static JSONRPCClientError httpError(int status);
    static JSONRPCClientError decodingError(const std::string& text);
    static JSONRPCClientError rpcError(JSONRPCError error);
    static JSONRPCClientError unexpectedResponse(const std::string& text);
    static JSONRPCClientError invalidURL();
    static JSONRPCClientError noResult();

    Kind kind() const { return m_kind; }
    // The status of an httpError; 0 otherwise.
    int httpStatus() const { return m_httpStatus; }
    // The endpoint read the request and did not take it (an error object, a 4xx status, no
    // result), or it never left; false when its answer may be lost (a gateway's 5xx, an
    // unreadable reply).
    bool isRefusal() const {
        return m_kind == Kind::rpcError || m_kind == Kind::noResult || m_kind == Kind::invalidURL ||
               (m_kind == Kind::httpError && m_httpStatus >= 400 && m_httpStatus < 500);
    }
    // The error object of an rpcError; absent otherwise.
    const std::optional<JSONRPCError>& rpc() const { return m_rpc; }

private:
    JSONRPCClientError(Kind kind, const std::string& text) : Error(text), m_kind(kind) {}

    Kind m_kind;
    int m_httpStatus = 0;
    std::optional<JSONRPCError> m_rpc;
};

// Reading a result as the caller's type; throws std::invalid_argument with a reason when the
// JSON has another shape. Strings, blocks and log lists are the results the wallet asks for.
void fromRPCResult(const nlohmann::json& json, std::string& out);
void fromRPCResult(const nlohmann::json& json, nlohmann::json& out);
void fromRPCResult(const nlohmann::json& json, ETHBlock& out);
void fromRPCResult(const nlohmann::json& json, ETHNodeTransaction& out);
void fromRPCResult(const nlohmann::json& json, ETHBlockTransactions& out);
void fromRPCResult(const nlohmann::json& json, ETHReceipt& out);
void fromRPCResult(const nlohmann::json& json, std::vector<ETHLog>& out);

class JSONRPCClient : public QObject {
    Q_OBJECT

public:
    // The longest reply accepted: an eth_getLogs of the token-discovery window is the largest.
    static constexpr std::size_t maxReplyBytes = 16u << 20;

    // A session with a 30 s idle and a 60 s total time-out; tests inject their own.
    explicit JSONRPCClient(QUrl url, HttpTimeouts timeouts = {}, QObject* parent = nullptr);

    const QUrl& url() const { return m_transport.url(); }
    // What a user reads when this endpoint cannot be reached ("Cannot connect to Ethereum RPC"):
    // carried by every HttpTransportError of its requests.
    void setUnreachableText(std::string text) { m_transport.setUnreachableText(std::move(text)); }

    // Posts {"jsonrpc":"2.0","method":..,"params":..,"id":n} and returns the decoded "result".
    // Throws JSONRPCClientError (httpError for any status but 200, decodingError, rpcError even
    // when a result came too, noResult for an absent or null result) or HttpTransportError.
    // Cancelling `cancel` aborts the request (HttpTransportError kind aborted); every method
    // below passes its own `cancel` to each request it sends.
    template <typename Result>
    QCoro::Task<Result> call(std::string method, nlohmann::json params,
                             CancellationToken cancel = {});

    // "eth_getBalance" [address, "latest"].
    QCoro::Task<UInt256> getBalance(std::string address, CancellationToken cancel = {});
    // "eth_getTransactionCount" [address, "pending"]: the next nonce, counting transactions
    // still in the node's pool, so a transfer sent right after an approval gets a fresh one.
    QCoro::Task<std::uint64_t> getTransactionCount(std::string address,
                                                   CancellationToken cancel = {});
    // "eth_getTransactionCount" [address, "latest"]: how many of the address's transactions
    // are in blocks, so no other transaction of a nonce below it can land.
    QCoro::Task<std::uint64_t> minedTransactionCount(std::string address,
                                                     CancellationToken cancel = {});
    // "eth_getTransactionCount" [address, block number]: how many of the address's
    // transactions are in blocks up to and including that one.
    QCoro::Task<std::uint64_t> transactionCountAt(std::string address, std::uint64_t block,
                                                  CancellationToken cancel = {});
    // "eth_blockNumber" []: the number of the latest block.
    QCoro::Task<std::uint64_t> blockNumber(CancellationToken cancel = {});
    // "eth_getBlockByNumber" [number, true]: the block with its transactions; absent when the
    // node does not have it (a null result).
    QCoro::Task<std::optional<ETHBlockTransactions>>
    blockWithTransactions(std::uint64_t number, CancellationToken cancel = {});
    // "eth_call" [{"to", "data"}, "latest"]: the "0x" hex of the return data, unchanged.
    QCoro::Task<std::string> ethCall(std::string to, std::string data,
                                     CancellationToken cancel = {});
    // "eth_gasPrice" [].
    QCoro::Task<UInt256> gasPrice(CancellationToken cancel = {});
    // "eth_estimateGas" [{"to", and "from", "value", "data" when given}], no block tag.
    QCoro::Task<std::uint64_t> estimateGas(std::optional<std::string> from, std::string to,
                                           std::optional<std::string> value,
                                           std::optional<std::string> data,
                                           CancellationToken cancel = {});
    // "eth_maxPriorityFeePerGas" [].
    QCoro::Task<UInt256> maxPriorityFeePerGas(CancellationToken cancel = {});
    // "eth_sendRawTransaction" ["0x" + signed bytes]: the transaction hash the node returns.
    QCoro::Task<std::string> sendRawTransaction(std::string signedHex,
                                                CancellationToken cancel = {});
    // "eth_getTransactionReceipt" [hash]: absent while the transaction is not mined (a null
    // result).
    QCoro::Task<std::optional<ETHReceipt>> getTransactionReceipt(std::string transactionHash,
                                                                 CancellationToken cancel = {});
    // "eth_getTransactionByHash" [hash]: whether the node knows the transaction, in its pool or
    // in a block (false for a null result). An answer that is not an object whose "hash" is
    // `transactionHash` (in any case) cannot say: unexpectedResponse.
    QCoro::Task<bool> hasTransaction(std::string transactionHash, CancellationToken cancel = {});
    // "eth_getTransactionByHash" [hash]: the transaction as the node has it; absent when the
    // node has never seen it (a null result).
    QCoro::Task<std::optional<ETHNodeTransaction>> transactionByHash(std::string transactionHash,
                                                                     CancellationToken cancel = {});

    // The distinct contracts (lowercased "0x" addresses, in order of first appearance) that
    // emitted an ERC-20 Transfer to `owner` within the last 50,000 blocks. Never throws: any
    // failure gives an empty list. Defined with token discovery (TokenDiscovery.cpp).
    QCoro::Task<std::vector<std::string>> incomingTransferContracts(std::string owner,
                                                                    CancellationToken cancel = {});

private:
    // call, but for a null (or absent) result, which gives none: the node does not have what
    // was asked for.
    template <typename Result>
    QCoro::Task<std::optional<Result>> callOrNone(std::string method, nlohmann::json params,
                                                  CancellationToken cancel);
    // "eth_getTransactionCount" [address, block].
    QCoro::Task<std::uint64_t> transactionCount(std::string address, std::string block,
                                                CancellationToken cancel);

    struct Failures {
        [[noreturn]] static void http(int status);
        [[noreturn]] static void decoding(std::string text);
        [[noreturn]] static void rpc(std::int64_t code, std::string message);
        [[noreturn]] static void noResult();
    };

    JSONRPCTransport m_transport;
};

template <typename Result>
QCoro::Task<Result> JSONRPCClient::call(std::string method, nlohmann::json params,
                                        CancellationToken cancel) {
    return m_transport.call<Result, Failures>(
        std::move(method), std::move(params),
        [](const nlohmann::json& value, Result& out) { fromRPCResult(value, out); },
        std::move(cancel));
}

} // namespace qm
