#include "services/network/JSONRPCTransport.h"

#include "services/network/JSONRPCEnvelope.h"

#include <chrono>

namespace qm {

JSONRPCTransport::JSONRPCTransport(QUrl url, HttpTimeouts timeouts, std::size_t maxBodyBytes)
    : m_url(url), m_session(std::move(url), timeouts, maxBodyBytes) {}

QCoro::Task<HttpResponse> JSONRPCTransport::post(std::string method, nlohmann::json params,
                                                 CancellationToken cancel) {
    const std::int64_t id = ++m_requestID;
    HttpRequestOptions options;
    options.idleTimeout = std::chrono::seconds(60); // every request carries its own limit too
    options.cancel = std::move(cancel);
    QByteArray body = jsonRPCRequestBody(id, std::move(method), std::move(params));
    QByteArray contentType("application/json");
    co_return co_await m_session.post(m_url, std::move(body), std::move(contentType), options);
}

} // namespace qm
