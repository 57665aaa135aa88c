#include "services/solana/SolanaRPCClient.h"

namespace qm {
namespace {

nlohmann::json commitment() {
    return {{"commitment", "confirmed"}};
}

} // namespace

SolanaRPCClient::SolanaRPCClient(QUrl url, HttpTimeouts timeouts, QObject* parent)
    : QObject(parent), m_transport(std::move(url), timeouts, maxReplyBytes) {}

void SolanaRPCClient::Failures::http(int status) {
    throw SolanaRPCError::httpError(status);
}

void SolanaRPCClient::Failures::decoding(std::string text) {
    throw SolanaRPCError::decodingError(std::move(text));
}

void SolanaRPCClient::Failures::rpc(std::int64_t code, std::string message) {
    throw SolanaRPCError::rpcError(code, std::move(message));
}

void SolanaRPCClient::Failures::noResult() {
    throw SolanaRPCError::noResult();
}

// Arguments are built outside the co_await: gcc 12 miscompiles string literals inside it.

QCoro::Task<std::uint64_t> SolanaRPCClient::getBalance(std::string address,
                                                       CancellationToken cancel) {
    nlohmann::json params = nlohmann::json::array({std::move(address), commitment()});
    const auto result = co_await call<BalanceResult>(std::string("getBalance"), std::move(params),
                                                     std::move(cancel));
    co_return result.value;
}

QCoro::Task<LatestBlockhashValue> SolanaRPCClient::getLatestBlockhash(CancellationToken cancel) {
    nlohmann::json params = nlohmann::json::array({commitment()});
    auto result = co_await call<LatestBlockhashResult>(std::string("getLatestBlockhash"),
                                                       std::move(params), std::move(cancel));
    co_return std::move(result.value);
}

QCoro::Task<std::string> SolanaRPCClient::sendTransaction(std::string transaction,
                                                          CancellationToken cancel) {
    nlohmann::json config = nlohmann::json::object();
    config["encoding"] = "base64";
    config["skipPreflight"] = false;
    config["preflightCommitment"] = "confirmed";
    nlohmann::json params = nlohmann::json::array({std::move(transaction), std::move(config)});
    co_return co_await call<std::string>(std::string("sendTransaction"), std::move(params),
                                         std::move(cancel));
}

QCoro::Task<SignatureStatusesResult>
SolanaRPCClient::getSignatureStatuses(std::vector<std::string> signatures,
                                      CancellationToken cancel) {
    nlohmann::json config = {{"searchTransactionHistory", true}};
    nlohmann::json params = nlohmann::json::array({std::move(signatures), std::move(config)});
    co_return co_await call<SignatureStatusesResult>(std::string("getSignatureStatuses"),
                                                     std::move(params), std::move(cancel));
}

QCoro::Task<EpochInfo> SolanaRPCClient::getEpochInfo(CancellationToken cancel) {
    nlohmann::json params = nlohmann::json::array({commitment()});
    co_return co_await call<EpochInfo>(std::string("getEpochInfo"), std::move(params),
                                       std::move(cancel));
}

QCoro::Task<BlockhashValidity> SolanaRPCClient::isBlockhashValid(std::string blockhash,
                                                                 CancellationToken cancel) {
    nlohmann::json params = nlohmann::json::array({std::move(blockhash), commitment()});
    co_return co_await call<BlockhashValidity>(std::string("isBlockhashValid"), std::move(params),
                                               std::move(cancel));
}

QCoro::Task<std::vector<std::optional<SolanaAccount>>>
SolanaRPCClient::getMultipleAccounts(std::vector<std::string> addresses, CancellationToken cancel) {
    nlohmann::json config = {{"encoding", "base64"}, {"commitment", "confirmed"}};
    nlohmann::json params = nlohmann::json::array({std::move(addresses), std::move(config)});
    auto result = co_await call<MultipleAccountsResult>(std::string("getMultipleAccounts"),
                                                        std::move(params), std::move(cancel));
    co_return std::move(result.value);
}

QCoro::Task<SimulationValue>
SolanaRPCClient::simulateTransaction(std::string transaction, std::vector<std::string> addresses,
                                     CancellationToken cancel) {
    nlohmann::json config = nlohmann::json::object();
    config["encoding"] = "base64";
    config["commitment"] = "confirmed";
    config["sigVerify"] = false;
    config["replaceRecentBlockhash"] = false;
    config["accounts"] = {{"addresses", std::move(addresses)}, {"encoding", "base64"}};
    nlohmann::json params = nlohmann::json::array({std::move(transaction), std::move(config)});
    auto result = co_await call<SimulationResult>(std::string("simulateTransaction"),
                                                  std::move(params), std::move(cancel));
    co_return std::move(result.value);
}

QCoro::Task<std::vector<SPLTokenAccountInfo>>
SolanaRPCClient::getTokenAccountsByOwner(std::string owner, CancellationToken cancel) {
    nlohmann::json program = {{"programId", "TokenkegQfeZyiNwAJbNbGKPFXCWuBvf9Ss623VQ5DA"}};
    nlohmann::json config = {{"encoding", "jsonParsed"}, {"commitment", "confirmed"}};
    nlohmann::json params =
        nlohmann::json::array({std::move(owner), std::move(program), std::move(config)});
    auto result = co_await call<TokenAccountsResult>(std::string("getTokenAccountsByOwner"),
                                                     std::move(params), std::move(cancel));
    co_return std::move(result.value);
}

QCoro::Task<std::vector<SolanaTransactionInfo>>
SolanaRPCClient::getSignaturesForAddress(std::string address, int limit, CancellationToken cancel) {
    nlohmann::json config = {{"limit", limit}, {"commitment", "confirmed"}};
    nlohmann::json params = nlohmann::json::array({std::move(address), std::move(config)});
    co_return co_await call<std::vector<SolanaTransactionInfo>>(
        std::string("getSignaturesForAddress"), std::move(params), std::move(cancel));
}

} // namespace qm
