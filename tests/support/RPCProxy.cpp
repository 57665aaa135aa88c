#include "RPCProxy.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <memory>

namespace qm::test {

RPCProxy::RPCProxy() {
    m_server.setHandler([this](const HttpFixtureRequest& request) { return answer(request); });
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

HttpFixtureResponse RPCProxy::answer(const HttpFixtureRequest& request) {
    const auto call = nlohmann::json::parse(request.body.toStdString(), nullptr, false);
    const std::string method = call.is_object() ? call.value("method", std::string()) : "";
    ++m_counts[method];
    if (const auto found = m_overrides.find(method); found != m_overrides.end()) {
        if (std::optional<HttpFixtureResponse> own =
                found->second(call.value("params", nlohmann::json()))) {
            return *own;
        }
    }
    if (m_target.isEmpty()) {
        return HttpFixtureResponse::withStatus(502);
    }
    // The node's answer, awaited here: the client waits for this reply meanwhile.
    QNetworkAccessManager manager;
    QNetworkRequest forward(m_target);
    forward.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    forward.setTransferTimeout(30'000);
    const std::unique_ptr<QNetworkReply> reply(manager.post(forward, request.body));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        loop.exec();
    }
    const QByteArray body = reply->readAll();
    const auto parsed = nlohmann::json::parse(body.toStdString(), nullptr, false);
    if (parsed.is_object() && parsed.contains("result")) {
        m_results[method] = parsed["result"];
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return HttpFixtureResponse::json(body, status == 0 ? 502 : status);
}

} // namespace qm::test
