#include "HttpFixture.h"
#include "RunTask.h"
#include "services/network/HttpAbortGroup.h"
#include "services/network/HttpSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

using namespace std::chrono_literals;
using qm::HttpSession;
using qm::HttpTransportError;
using qm::test::HttpFixture;
using qm::test::HttpFixtureResponse;

namespace {

HttpTransportError::Kind failureKind(QCoro::Task<qm::HttpResponse> task) {
    try {
        qm::test::runTask(std::move(task));
    } catch (const HttpTransportError& error) {
        EXPECT_FALSE(std::string(error.what()).empty());
        return error.kind();
    }
    ADD_FAILURE() << "the request did not fail";
    return HttpTransportError::Kind::other;
}

// Runs the event loop until `done` holds; false when it still fails after a generous bound.
bool runUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(std::chrono::seconds(30));
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    return true;
}

} // namespace

TEST(HttpSession, EndpointsBodiesAndWhatIsSent) {
    HttpSession api(QUrl("http://127.0.0.1:9/api/"));
    EXPECT_EQ(api.endpoint("/v2/tx").toString(), "http://127.0.0.1:9/api/v2/tx");
    EXPECT_EQ(api.endpoint("").toString(), "http://127.0.0.1:9/api/");
    EXPECT_EQ(HttpSession(QUrl("http://127.0.0.1:9")).endpoint("ticker").toString(),
              "http://127.0.0.1:9/ticker");

    HttpFixture server;
    server.enqueue(HttpFixtureResponse::json(R"({"ok":true})"));
    server.enqueue(HttpFixtureResponse::json("posted"));
    HttpSession session(server.url("/base"));
    const auto got = qm::test::runTask(session.get(session.endpoint("a", QUrlQuery("b=c"))));
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(got.body, R"({"ok":true})");
    qm::HttpRequestOptions options;
    options.headers.emplace_back("X-Test", "yes");
    const auto posted = qm::test::runTask(
        session.post(session.baseUrl(), R"({"a":1})", "application/json", options));
    EXPECT_EQ(posted.body, "posted");

    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0].method, "GET");
    EXPECT_EQ(server.requests()[0].target, "/base/a?b=c");
    EXPECT_EQ(server.requests()[1].method, "POST");
    EXPECT_EQ(server.requests()[1].target, "/base");
    EXPECT_EQ(server.requests()[1].body, R"({"a":1})");
    EXPECT_EQ(server.requests()[1].header("content-type"), "application/json");
    EXPECT_EQ(server.requests()[1].header("x-test"), "yes");

    // Error statuses are answers, not transport failures.
    for (int status : {404, 500}) {
        server.enqueue(HttpFixtureResponse::withStatus(status, "refused"));
        const auto response = qm::test::runTask(session.get(server.url("/x")));
        EXPECT_EQ(response.status, status);
        EXPECT_EQ(response.body, "refused");
    }
}

TEST(HttpSession, TransportFailuresAreTyped) {
    // A port that was free a moment ago: nothing listens there.
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    HttpSession refused(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closedPort)));
    EXPECT_EQ(failureKind(refused.get(refused.baseUrl())),
              HttpTransportError::Kind::connectionFailed);

    HttpFixture server;
    HttpSession session(server.url());
    // Every connection is dropped without a word (Qt retries a GET once on a fresh one).
    server.setHandler([](const auto&) {
        HttpFixtureResponse hangUp;
        hangUp.behaviour = HttpFixtureResponse::Behaviour::close;
        return hangUp;
    });
    EXPECT_EQ(failureKind(session.get(server.url())), HttpTransportError::Kind::connectionFailed);

    HttpSession unsupported(QUrl("gopher://127.0.0.1/"));
    EXPECT_EQ(failureKind(unsupported.get(unsupported.baseUrl())), HttpTransportError::Kind::other);
}

TEST(HttpSession, IdleAndTotalTimeOutsAbortTheExchange) {
    HttpFixture server;
    {
        // Nothing at all comes back: the idle limit ends it.
        HttpSession session(server.url(), qm::HttpTimeouts{200ms, 60s});
        server.enqueue(HttpFixtureResponse::stalling());
        EXPECT_EQ(failureKind(session.get(server.url())), HttpTransportError::Kind::timedOut);
    }
    {
        // Headers and half the body, then silence: a time-out, never a truncated 200.
        HttpSession session(server.url(), qm::HttpTimeouts{200ms, 60s});
        auto half = HttpFixtureResponse::json(QByteArray(64, 'a'));
        half.behaviour = HttpFixtureResponse::Behaviour::stallAfterHeaders;
        server.enqueue(half);
        EXPECT_EQ(failureKind(session.get(server.url())), HttpTransportError::Kind::timedOut);
    }
    {
        // A body that keeps trickling never trips the idle limit, but the total one.
        HttpSession session(server.url(), qm::HttpTimeouts{60s, 300ms});
        auto slow = HttpFixtureResponse::json(QByteArray(1000, 'a'));
        slow.behaviour = HttpFixtureResponse::Behaviour::trickle;
        slow.trickleIntervalMs = 20;
        server.enqueue(slow);
        EXPECT_EQ(failureKind(session.get(server.url())), HttpTransportError::Kind::timedOut);
    }
    {
        // A request may tighten the session's idle limit.
        HttpSession session(server.url(), qm::HttpTimeouts{60s, 60s});
        server.enqueue(HttpFixtureResponse::stalling());
        qm::HttpRequestOptions options;
        options.idleTimeout = 200ms;
        EXPECT_EQ(failureKind(session.get(server.url(), options)),
                  HttpTransportError::Kind::timedOut);
    }
}

TEST(HttpSession, AbortAllAndDestructionAbortRequestsInFlight) {
    HttpFixture server;
    server.setHandler([](const auto&) { return HttpFixtureResponse::stalling(); });

    HttpSession session(server.url());
    auto first = session.get(server.url("/1"));
    auto second = session.post(server.url("/2"), "x", "text/plain");
    ASSERT_TRUE(runUntil([&] { return server.requests().size() == 2; }));
    session.abortAll();
    // Awaiters resume from the event loop, not inside abortAll().
    EXPECT_FALSE(first.isReady());
    EXPECT_EQ(failureKind(std::move(first)), HttpTransportError::Kind::aborted);
    EXPECT_EQ(failureKind(std::move(second)), HttpTransportError::Kind::aborted);

    auto owned = std::make_unique<HttpSession>(server.url());
    auto pending = owned->get(server.url("/3"));
    ASSERT_TRUE(runUntil([&] { return server.requests().size() == 3; }));
    owned.reset();
    EXPECT_FALSE(pending.isReady());
    EXPECT_EQ(failureKind(std::move(pending)), HttpTransportError::Kind::aborted);
}

namespace {

// Two requests in a row, the second sent as soon as the first returns (as a paging client does).
QCoro::Task<qm::HttpResponse> twoInARow(HttpSession& session, QUrl first, QUrl second) {
    co_await session.get(std::move(first));
    co_return co_await session.get(std::move(second));
}

} // namespace

TEST(HttpSession, AnAbortGroupEndsItsOwnRequestsAndTheirFollowUpsOnly) {
    HttpFixture server;
    server.setHandler([](const qm::test::HttpFixtureRequest& request) {
        return request.target == "/quick" ? HttpFixtureResponse::json("{}")
                                          : HttpFixtureResponse::stalling();
    });
    HttpSession session(server.url(), qm::HttpTimeouts{60s, 60s});
    HttpSession other(server.url(), qm::HttpTimeouts{60s, 60s});

    auto group = std::make_shared<qm::HttpAbortGroup>();
    QCoro::Task<qm::HttpResponse> chained;
    QCoro::Task<qm::HttpResponse> direct;
    {
        const qm::HttpAbortGroup::Scope scope(group);
        chained = twoInARow(session, server.url("/quick"), server.url("/stall-1"));
        direct = other.get(server.url("/stall-2"));
    }
    auto outsider = session.get(server.url("/stall-3"));
    ASSERT_TRUE(
        runUntil([&] { return server.requests().size() == 4 && server.openStalls() == 3; }));
    EXPECT_EQ(qm::HttpAbortGroup::current(), nullptr);

    group->abort();
    EXPECT_EQ(failureKind(std::move(chained)), HttpTransportError::Kind::aborted);
    EXPECT_EQ(failureKind(std::move(direct)), HttpTransportError::Kind::aborted);
    // The server sees both connections of the group closed; the outsider's stays open.
    ASSERT_TRUE(runUntil([&] { return server.openStalls() == 1; }));
    EXPECT_FALSE(outsider.isReady());

    // A request that joins an aborted group ends at once.
    {
        const qm::HttpAbortGroup::Scope scope(group);
        auto late = session.get(server.url("/stall-4"));
        EXPECT_EQ(failureKind(std::move(late)), HttpTransportError::Kind::aborted);
    }
    session.abortAll();
    EXPECT_EQ(failureKind(std::move(outsider)), HttpTransportError::Kind::aborted);
}
