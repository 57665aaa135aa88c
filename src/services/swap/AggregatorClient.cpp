#include "services/swap/AggregatorClient.h"

#include "core/crypto/Base58.h"
#include "core/json/JSONReader.h"
#include "services/network/EndpointURL.h"
#include "services/prices/CoinGeckoClient.h"
#include "services/swap/SwapError.h"

#include <QtGlobal>
#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

using json = nlohmann::json;

// A minute of silence ends a request, as the platform's default request time-out; the whole
// exchange is bounded only by that.
constexpr HttpTimeouts kTimeouts{std::chrono::seconds(60), std::chrono::hours(24)};
constexpr std::int64_t fullBps = 10000;
constexpr int tooManyRequests = 429;

bool isKey(const std::string& text) {
    const std::optional<Bytes> bytes = base58Decode(text);
    return bytes && bytes->size() == 32;
}

// A member that is text holding an unsigned 64-bit decimal: digits only, the whole text.
std::optional<std::uint64_t> decimalMember(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_string()) {
        return std::nullopt;
    }
    const std::string& text = it->get_ref<const std::string&>();
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> textMember(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_string()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

HttpHeaders keyHeader(const AggregatorEndpoint& endpoint) {
    return {{"x-api-key", QByteArray::fromStdString(endpoint.apiKey)}};
}

// The answer's status, read before anything of its body.
void checkStatus(const HttpResponse& response, const char* failure) {
    if (response.status == tooManyRequests) {
        throw SwapError::jupiterError("Network busy, try again in a few seconds");
    }
    if (response.status != 200) {
        const std::string text =
            std::string(failure) + " (HTTP " + std::to_string(response.status) + ")";
        // A gateway's status: the aggregator behind it may have carried the request out.
        if (response.status >= 502 && response.status <= 504) {
            throw SwapError::jupiterAnswerLost(text);
        }
        throw SwapError::jupiterError(text);
    }
}

std::optional<json> bodyObject(const QByteArray& body) {
    std::optional<json> parsed = JSONReader::tryRead(
        std::string_view(body.constData(), static_cast<std::size_t>(body.size())),
        JSONReader::network);
    if (!parsed || !parsed->is_object()) {
        return std::nullopt;
    }
    return parsed;
}

// out × (10000 − bps) / 10000, rounded down, exact: with out = q × 10000 + r, that is
// q × k + r × k / 10000, and neither product can overflow.
std::uint64_t lessSlippage(std::uint64_t out, std::int64_t slippageBps) {
    const auto kept =
        static_cast<std::uint64_t>(fullBps - std::clamp<std::int64_t>(slippageBps, 0, fullBps));
    const auto whole = static_cast<std::uint64_t>(fullBps);
    return out / whole * kept + out % whole * kept / whole;
}

SolanaSwapQuote readOrder(const QByteArray& body, const std::string& inputMint,
                          const std::string& outputMint, std::uint64_t amount,
                          std::int64_t slippageBps) {
    const SwapError unreadable = SwapError::jupiterError("Cannot parse quote");
    const std::optional<json> order = bodyObject(body);
    if (!order) {
        throw unreadable;
    }
    SolanaSwapQuote quote;
    const auto inAmount = decimalMember(*order, "inAmount");
    const auto outAmount = decimalMember(*order, "outAmount");
    quote.requestId = textMember(*order, "requestId");
    quote.transactionBase64 = textMember(*order, "transaction");
    if (!inAmount || !outAmount || !quote.requestId || !quote.transactionBase64) {
        throw unreadable;
    }
    // The transaction moves what the order says: an order for another amount or pair is not
    // the swap the user reviews.
    if (*inAmount != amount) {
        throw SwapError::jupiterError("Order is for another amount");
    }
    const auto sentInput = textMember(*order, "inputMint");
    const auto sentOutput = textMember(*order, "outputMint");
    if ((sentInput && *sentInput != inputMint) || (sentOutput && *sentOutput != outputMint)) {
        throw SwapError::jupiterError("Order is for other tokens");
    }
    quote.inputMint = inputMint;
    quote.outputMint = outputMint;
    quote.inAmount = *inAmount;
    quote.outAmount = *outAmount;
    if (const auto impact = textMember(*order, "priceImpactPct")) {
        quote.priceImpactPct = priceFromText(*impact);
    }
    // Only the order's threshold of an exact-input swap is a minimum the transaction enforces.
    const auto mode = textMember(*order, "swapMode");
    const auto threshold = decimalMember(*order, "otherAmountThreshold");
    if ((!mode || *mode == "ExactIn") && threshold && *threshold <= *outAmount) {
        quote.outAmountMinimum = *threshold;
        quote.minimumIsStated = true;
    } else {
        quote.outAmountMinimum = lessSlippage(*outAmount, slippageBps);
    }
    quote.rawQuoteJSON.assign(body.begin(), body.end());
    return quote;
}

AggregatorExecution readExecution(const QByteArray& body) {
    const std::optional<json> answer = bodyObject(body);
    const auto status = answer ? textMember(*answer, "status") : std::nullopt;
    if (!status) {
        throw SwapError::jupiterAnswerLost("Cannot parse execute response");
    }
    if (*status == "Failed") {
        throw SwapError::jupiterError(textMember(*answer, "error").value_or("Unknown error"));
    }
    auto signature = textMember(*answer, "signature");
    if (!signature) {
        throw SwapError::jupiterError("No signature in response");
    }
    return {*status, std::move(*signature)};
}

} // namespace

AggregatorEndpoint AggregatorEndpoint::configured() {
    return {environmentOverride(kBaseURLVariable, std::string(kDefaultBaseURL)),
            environmentOverride(kAPIKeyVariable, std::string(kDefaultAPIKey))};
}

std::optional<QUrl> AggregatorEndpoint::url(std::string_view path, const QUrlQuery& query) const {
    std::optional<QUrl> url =
        checkedEndpointURL(baseURL, QLatin1String("https"), QLatin1String("http"));
    if (!url) {
        return std::nullopt;
    }
    QString joined = url->path();
    while (joined.endsWith('/')) {
        joined.chop(1);
    }
    joined += QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
    url->setPath(joined);
    if (!query.isEmpty()) {
        url->setQuery(query);
    }
    return url;
}

AggregatorClient::AggregatorClient(AggregatorEndpoint endpoint, QObject* parent)
    : QObject(parent), m_endpoint(std::move(endpoint)), m_session(QUrl(), kTimeouts) {
    m_session.setUnreachableText("Cannot reach the Jupiter swap service");
}

QCoro::Task<SolanaSwapQuote>
AggregatorClient::aggregatorOrder(std::string inputMint, std::string outputMint,
                                  std::uint64_t amount, std::int64_t slippageBps, std::string taker,
                                  CancellationToken cancel) {
    // They come from token lists and the network: only keys go into the query.
    if (!isKey(inputMint) || !isKey(outputMint)) {
        throw SwapError::invalidToken();
    }
    if (!isKey(taker)) {
        throw SwapError::transactionFailed("Invalid sender");
    }
    QUrlQuery query;
    query.addQueryItem("inputMint", QString::fromStdString(inputMint));
    query.addQueryItem("outputMint", QString::fromStdString(outputMint));
    query.addQueryItem("amount", QString::number(amount));
    query.addQueryItem("taker", QString::fromStdString(taker));
    const std::optional<QUrl> url = m_endpoint.url("/ultra/v1/order", query);
    if (!url) {
        throw SwapError::jupiterError("Invalid URL");
    }
    HttpRequestOptions options;
    options.headers = keyHeader(m_endpoint);
    options.cancel = std::move(cancel);
    auto request = m_session.get(*url, std::move(options));
    const HttpResponse response = co_await std::move(request);
    // Only locals from here on: the client may be gone.
    checkStatus(response, "Quote failed");
    co_return readOrder(response.body, inputMint, outputMint, amount, slippageBps);
}

QCoro::Task<AggregatorExecution>
AggregatorClient::executeAggregatorSwap(std::string signedTransaction, std::string requestId,
                                        CancellationToken cancel) {
    const std::optional<QUrl> url = m_endpoint.url("/ultra/v1/execute");
    if (!url) {
        throw SwapError::jupiterError("Invalid URL");
    }
    const json body = {{"signedTransaction", std::move(signedTransaction)},
                       {"requestId", std::move(requestId)}};
    HttpRequestOptions options;
    options.headers = keyHeader(m_endpoint);
    options.cancel = std::move(cancel);
    auto request = m_session.post(*url, QByteArray::fromStdString(body.dump()), "application/json",
                                  std::move(options));
    const HttpResponse response = co_await std::move(request);
    checkStatus(response, "Swap execution failed");
    co_return readExecution(response.body);
}

} // namespace qm
