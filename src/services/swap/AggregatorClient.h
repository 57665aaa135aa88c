#pragma once
// The Solana swap aggregator's REST API ("Ultra"): an order prices a swap and carries the whole
// unsigned transaction built for the wallet's account; the execute request takes the signed
// transaction back, submits it and answers with its signature. Every failure with a text of its
// own is a SwapError jupiterError ("Jupiter: ..."); transport failures are HttpTransportError.
//
// The base URL and the API key have built-in defaults; a deployment (or a test pointing at a
// loopback fixture) replaces them through two environment variables, read when a client is made.

#include "platform/async/CancellationToken.h"
#include "services/network/HttpSession.h"
#include "services/swap/SwapQuote.h"

#include <QObject>
#include <QUrl>
#include <QUrlQuery>
#include <cstdint>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <string_view>

namespace qm {

struct AggregatorEndpoint {
    static constexpr std::string_view kDefaultBaseURL = "https://api.jup.ag";
    static constexpr std::string_view kDefaultAPIKey = "7f3c9a12-4e5b-4c8d-b2a6-19e0d5f7c384";
    static constexpr const char* kBaseURLVariable = "QUILLMARK_SWAP_API_URL";
    static constexpr const char* kAPIKeyVariable = "QUILLMARK_SWAP_API_KEY";

    std::string baseURL; // scheme and host, maybe a port and a path; no query
    std::string apiKey;  // sent as "x-api-key"

    // The two variables where set and not empty; else the defaults.
    static AggregatorEndpoint configured();

    // The base URL with `path` appended and `query` set (percent-encoded by QUrlQuery). Absent
    // when the base is not "https://" with a host ("http://" only for a loopback host), or has a
    // query, a fragment or user information.
    std::optional<QUrl> url(std::string_view path, const QUrlQuery& query = {}) const;
};

// What the execute request answered for a transaction it took.
struct AggregatorExecution {
    std::string status;    // the aggregator's "status": "Success" when it saw it land
    std::string signature; // the transaction's signature as it reported it
};

class AggregatorClient : public QObject {
    Q_OBJECT

public:
    explicit AggregatorClient(AggregatorEndpoint endpoint = AggregatorEndpoint::configured(),
                              QObject* parent = nullptr);

    const AggregatorEndpoint& endpoint() const { return m_endpoint; }

    // An order of `amount` base units of `inputMint` into `outputMint` for the account `taker`
    // (all three Base58 of 32 bytes; the native coin as the wrapped-SOL mint). The quote holds
    // the request id and the transaction. Its minimum output is the order's own threshold when
    // the order states one (minimumIsStated), else an estimate of the output less `slippageBps`.
    // Throws SwapError invalidToken (a mint that is no 32-byte key, before any request),
    // transactionFailed "Invalid sender" (likewise, the taker), jupiterError "Invalid URL",
    // "Network busy, try again in a few seconds" (429), "Quote failed (HTTP n)", "Cannot parse
    // quote" (a member missing or of another kind, a null transaction), "Order is for another
    // amount" or "Order is for other tokens" (an order that does not answer what was asked).
    QCoro::Task<SolanaSwapQuote> aggregatorOrder(std::string inputMint, std::string outputMint,
                                                 std::uint64_t amount, std::int64_t slippageBps,
                                                 std::string taker, CancellationToken cancel = {});

    // Hands the signed transaction (standard Base64) of order `requestId` over for execution.
    // Throws SwapError jupiterError "Invalid URL", the 429 text, "Swap execution failed (HTTP
    // n)", "Cannot parse execute response" (no "status" text), the aggregator's "error" text or
    // "Unknown error" (status "Failed"), "No signature in response"; a gateway's status (502,
    // 503, 504) and "Cannot parse execute response" are answers that may be lost (answerLost).
    QCoro::Task<AggregatorExecution> executeAggregatorSwap(std::string signedTransaction,
                                                           std::string requestId,
                                                           CancellationToken cancel = {});

private:
    AggregatorEndpoint m_endpoint;
    HttpSession m_session;
};

} // namespace qm
