#pragma once
// One JSON-RPC endpoint over HTTP, shared by the EVM and Solana clients: its own session,
// request ids from 1, and a 60 s idle limit on every request besides the session's limits.

#include "services/network/HttpSession.h"
#include "services/network/JSONRPCEnvelope.h"

#include <QUrl>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class JSONRPCTransport {
public:
    // `maxBodyBytes`: the longest reply the client's protocol needs (see HttpSession).
    JSONRPCTransport(QUrl url, HttpTimeouts timeouts, std::size_t maxBodyBytes);

    const QUrl& url() const { return m_url; }
    // The words for a user when the endpoint cannot be reached (see HttpSession).
    void setUnreachableText(std::string text) { m_session.setUnreachableText(std::move(text)); }
    // Posts one request; the reply's status and body (what a status means is the client's call).
    // Cancelling `cancel` aborts it.
    QCoro::Task<HttpResponse> post(std::string method, nlohmann::json params,
                                   CancellationToken cancel);

    // Posts one request and decodes a 200 reply's result with `decode(json, Result&)`. Every
    // failure is the client's: `Failures` has [[noreturn]] static http(status), decoding(text),
    // rpc(code, message) and noResult().
    template <typename Result, typename Failures, typename Decode>
    QCoro::Task<Result> call(std::string method, nlohmann::json params, Decode decode,
                             CancellationToken cancel) {
        const HttpResponse response =
            co_await post(std::move(method), std::move(params), std::move(cancel));
        // Only locals from here on: the transport may be gone with its client.
        if (response.status != 200) {
            Failures::http(response.status);
        }
        co_return jsonRPCResult<Result, Failures>(response.body, decode);
    }

private:
    QUrl m_url;
    HttpSession m_session;
    std::int64_t m_requestID = 0;
};

} // namespace qm
