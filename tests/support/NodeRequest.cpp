#include "NodeRequest.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <memory>

namespace qm::test {

nlohmann::json nodeRequest(const QUrl& node, const std::string& method,
                           const nlohmann::json& params) {
    QNetworkAccessManager manager;
    QNetworkRequest request(node);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    request.setTransferTimeout(10'000);
    const nlohmann::json call{
        {"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
    const std::unique_ptr<QNetworkReply> reply(
        manager.post(request, QByteArray::fromStdString(call.dump())));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        loop.exec();
    }
    nlohmann::json answer = nlohmann::json::parse(reply->readAll().toStdString(), nullptr, false);
    return answer.is_object() ? answer : nlohmann::json();
}

} // namespace qm::test
