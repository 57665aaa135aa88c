#pragma once
// One JSON-RPC endpoint over HTTP, shared by the EVM and Solana clients: its own session,
// request ids from 1, and a 60 s idle limit on every request besides the session's limits.

#include "services/network/HttpSession.h"

#include <QUrl>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class JSONRPCTransport {
public:
    JSONRPCTransport(QUrl url, HttpTimeouts timeouts);

    const QUrl& url() const { return m_url; }
    // Posts one request; the reply's status and body (what a status means is the client's call).
    QCoro::Task<HttpResponse> post(std::string method, nlohmann::json params);

private:
    QUrl m_url;
    HttpSession m_session;
    std::int64_t m_requestID = 0;
};

} // namespace qm
