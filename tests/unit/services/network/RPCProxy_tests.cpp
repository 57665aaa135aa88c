// The proxy in front of a node, as the send tests use it: a client that gives up while the
// proxy still waits for the node's answer must leave the proxy serving (it once deleted the
// client's socket inside that socket's own signal).
#include "HttpFixture.h"
#include "RPCProxy.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using qm::test::HttpFixture;
using qm::test::HttpFixtureRequest;
using qm::test::HttpFixtureResponse;
using qm::test::RPCProxy;

namespace {

QNetworkReply* post(QNetworkAccessManager& manager, const QUrl& url, const char* method) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    return manager.post(request, QByteArray(R"({"jsonrpc":"2.0","id":1,"method":")") + method +
                                     R"(","params":[]})");
}

} // namespace

TEST(RPCProxy, AClientThatGivesUpWhileTheNodeIsSlowLeavesTheProxyServing) {
    QNetworkAccessManager client;
    QPointer<QNetworkReply> abandoned;
    HttpFixture node;
    int answered = 0;
    node.setHandler([&](const HttpFixtureRequest&) {
        HttpFixtureResponse response = HttpFixtureResponse::jsonRPCResult(++answered);
        if (answered == 1) {
            // The client closes its connection while the proxy waits for this answer.
            QMetaObject::invokeMethod(
                &client, [&] { abandoned->abort(); }, Qt::QueuedConnection);
            response.behaviour = HttpFixtureResponse::Behaviour::delay;
            response.delayMs = 300;
        }
        return response;
    });
    RPCProxy proxy;
    proxy.setTarget(node.url());
    proxy.setOverride("own", [](const nlohmann::json&) {
        return std::optional(HttpFixtureResponse::jsonRPCResult("mine"));
    });

    abandoned = post(client, proxy.url(), "eth_blockNumber");
    // The node's late answer reaches the proxy, which has nobody left to give it to.
    ASSERT_TRUE(QTest::qWaitFor([&] { return proxy.lastResult("eth_blockNumber") == 1; }, 10'000));
    EXPECT_EQ(abandoned->error(), QNetworkReply::OperationCanceledError);
    delete abandoned;

    // Still serving: forwarded, and answered by the test itself.
    const std::unique_ptr<QNetworkReply> next(post(client, proxy.url(), "eth_blockNumber"));
    const std::unique_ptr<QNetworkReply> own(post(client, proxy.url(), "own"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return next->isFinished() && own->isFinished(); }, 10'000));
    EXPECT_EQ(nlohmann::json::parse(next->readAll().toStdString())["result"], 2);
    EXPECT_EQ(nlohmann::json::parse(own->readAll().toStdString())["result"], "mine");
    EXPECT_EQ(proxy.requestCount("eth_blockNumber"), 2);
    EXPECT_EQ(proxy.requestCount(), 3);
}
