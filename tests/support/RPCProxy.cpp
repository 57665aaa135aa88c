#include "RPCProxy.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <memory>

namespace qm::test {

RPCProxy::RPCProxy() {
    m_server.setAsyncHandler(
        [this](const HttpFixtureRequest& request, const HttpFixture::Responder& respond) {
            answer(request, respond);
        });
}

nlohmann::json RPCProxy::lastResult(const std::string& method) const {
    const auto found = m_results.find(method);
    return found == m_results.end() ? nlohmann::json() : found->second;
}

int RPCProxy::requestCount(const std::string& method) const {
    if (method.empty()) {
        return static_cast<int>(m_server.requests().size());
    }
    const auto found = m_counts.find(method);
    return found == m_counts.end() ? 0 : found->second;
}

void RPCProxy::answer(const HttpFixtureRequest& request, const HttpFixture::Responder& respond) {
    const auto call = nlohmann::json::parse(request.body.toStdString(), nullptr, false);
    std::string method = call.is_object() ? call.value("method", std::string()) : "";
    ++m_counts[method];
    if (const auto found = m_overrides.find(method); found != m_overrides.end()) {
        if (std::optional<HttpFixtureResponse> own =
                found->second(call.value("params", nlohmann::json()))) {
            respond(*own);
            return;
        }
    }
    if (m_target.isEmpty()) {
        respond(HttpFixtureResponse::withStatus(502));
        return;
    }
    QNetworkRequest forward(m_target);
    forward.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    forward.setTransferTimeout(30'000);
    QNetworkReply* reply = m_manager.post(forward, request.body);
    QObject::connect(reply, &QNetworkReply::finished, &m_context,
                     [this, reply, method = std::move(method), respond] {
                         reply->deleteLater();
                         const QByteArray body = reply->readAll();
                         const auto parsed =
                             nlohmann::json::parse(body.toStdString(), nullptr, false);
                         if (parsed.is_object() && parsed.contains("result")) {
                             m_results[method] = parsed["result"];
                         }
                         const int status =
                             reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                         respond(HttpFixtureResponse::json(body, status == 0 ? 502 : status));
                     });
}

} // namespace qm::test
