#include "HttpFixture.h"
#include "RunTask.h"
#include "services/network/HttpSession.h"

#include <QTest>
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

qm::HttpRequestOptions cancelledBy(const qm::CancellationToken& token) {
    qm::HttpRequestOptions options;
    options.cancel = token;
    return options;
}

// Two requests in a row for one caller, the second sent as soon as the first returns (as a
// paging client does).
QCoro::Task<qm::HttpResponse> twoInARow(HttpSession& session, QUrl first, QUrl second,
                                        qm::CancellationToken token) {
    const qm::HttpRequestOptions options = cancelledBy(token);
    co_await session.get(std::move(first), options);
    co_return co_await session.get(std::move(second), options);
}

} // namespace

// Endpoints, bodies and error statuses reach the servers in the client tests (Solana,
// exchange, Blockscout); here, how an exchange is cut short.
TEST(HttpSession, TheIdleLimitEndsAStalledBody) {
    HttpFixture server;
    // Headers and half the body, then silence: a time-out, never a truncated 200.
    HttpSession session(server.url(), qm::HttpTimeouts{200ms, 60s});
    auto half = HttpFixtureResponse::json(QByteArray(64, 'a'));
    half.behaviour = HttpFixtureResponse::Behaviour::stallAfterHeaders;
    server.enqueue(half);
    EXPECT_EQ(failureKind(session.get(server.url())), HttpTransportError::Kind::timedOut);
}

// Every transport failure of a session carries the words its owner gave the service for a
// user; what() stays the transport's own text for the diagnostics.
TEST(HttpSession, TransportFailuresCarryTheServicesUnreachableText) {
    HttpFixture server;
    HttpSession session(server.url());
    // Every connection closed without a word (Qt tries a GET again once).
    server.setHandler([](const qm::test::HttpFixtureRequest&) {
        HttpFixtureResponse closed;
        closed.behaviour = HttpFixtureResponse::Behaviour::close;
        return closed;
    });
    try {
        qm::test::runTask(session.get(server.url()));
        ADD_FAILURE() << "the request did not fail";
    } catch (const HttpTransportError& error) {
        EXPECT_EQ(error.kind(), HttpTransportError::Kind::connectionFailed);
        EXPECT_EQ(error.unreachableText(), "");
    }
    session.setUnreachableText("Cannot connect to Polygon RPC");
    try {
        qm::test::runTask(session.get(server.url()));
        ADD_FAILURE() << "the request did not fail";
    } catch (const HttpTransportError& error) {
        EXPECT_EQ(error.kind(), HttpTransportError::Kind::connectionFailed);
        EXPECT_EQ(error.unreachableText(), "Cannot connect to Polygon RPC");
        EXPECT_NE(std::string(error.what()), "Cannot connect to Polygon RPC");
    }
}

// A body longer than the session's limit is refused as it arrives, whatever its status, with
// or without an announced length: a hostile server costs the limit, never the whole body.
TEST(HttpSession, ABodyPastTheLimitIsRefusedWhileItArrives) {
    HttpFixture server;
    constexpr std::size_t limit = 64 * 1024;
    HttpSession session(server.url(), qm::HttpTimeouts{5s, 20s}, limit);
    server.enqueue(HttpFixtureResponse::json(QByteArray(limit, 'a')));
    EXPECT_EQ(qm::test::runTask(session.get(server.url())).body.size(), qsizetype(limit));
    server.enqueue(HttpFixtureResponse::json(QByteArray(limit + 1, 'a'), 500));
    EXPECT_EQ(failureKind(session.get(server.url())), HttpTransportError::Kind::tooLarge);
    // A length announced past the limit ends the exchange before the body comes.
    auto announced = HttpFixtureResponse::json(QByteArray(64 << 20, 'a'));
    announced.behaviour = HttpFixtureResponse::Behaviour::stallAfterHeaders;
    server.enqueue(announced);
    EXPECT_EQ(failureKind(session.get(server.url())), HttpTransportError::Kind::tooLarge);
    // No length, and no end: the bytes received are what counts.
    auto endless = HttpFixtureResponse::json(QByteArray(16 * 1024, 'a'));
    endless.behaviour = HttpFixtureResponse::Behaviour::endless;
    server.enqueue(endless);
    EXPECT_EQ(failureKind(session.get(server.url())), HttpTransportError::Kind::tooLarge);
    EXPECT_LT(server.endlessBytes(), 16 << 20);
}

TEST(HttpSession, TheTotalLimitEndsATricklingBody) {
    HttpFixture server;
    // A body that keeps trickling never trips the idle limit, but the total one.
    HttpSession session(server.url(), qm::HttpTimeouts{60s, 300ms});
    auto slow = HttpFixtureResponse::json(QByteArray(1000, 'a'));
    slow.behaviour = HttpFixtureResponse::Behaviour::trickle;
    slow.trickleIntervalMs = 20;
    server.enqueue(slow);
    EXPECT_EQ(failureKind(session.get(server.url())), HttpTransportError::Kind::timedOut);
}

// abortAll(): at the end of the cancelled token's test.
TEST(HttpSession, DestructionAbortsRequestsInFlight) {
    HttpFixture server;
    auto owned = std::make_unique<HttpSession>(server.url());
    server.enqueue(HttpFixtureResponse::stalling());
    auto pending = owned->get(server.url("/1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == 1; }, 30'000));
    owned.reset();
    // Awaiters resume from the event loop, not inside the destructor.
    EXPECT_FALSE(pending.isReady());
    EXPECT_EQ(failureKind(std::move(pending)), HttpTransportError::Kind::aborted);
}

TEST(HttpSession, ACancelledTokenEndsItsOwnRequestsAndTheirFollowUpsOnly) {
    HttpFixture server;
    server.setHandler([](const qm::test::HttpFixtureRequest& request) {
        return request.target == "/quick" ? HttpFixtureResponse::json("{}")
                                          : HttpFixtureResponse::stalling();
    });
    HttpSession session(server.url(), qm::HttpTimeouts{60s, 60s});
    HttpSession other(server.url(), qm::HttpTimeouts{60s, 60s});

    const qm::CancellationToken token;
    auto chained = twoInARow(session, server.url("/quick"), server.url("/stall-1"), token);
    auto direct = other.get(server.url("/stall-2"), cancelledBy(token));
    auto outsider = session.get(server.url("/stall-3"), cancelledBy(qm::CancellationToken()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return server.requests().size() == 4 && server.openStalls() == 3; }, 30'000));

    token.cancel();
    EXPECT_EQ(failureKind(std::move(chained)), HttpTransportError::Kind::aborted);
    EXPECT_EQ(failureKind(std::move(direct)), HttpTransportError::Kind::aborted);
    // The server sees both connections of the token closed; the outsider's stays open.
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.openStalls() == 1; }, 30'000));
    EXPECT_FALSE(outsider.isReady());

    // A request with a token cancelled already ends without reaching the server.
    auto late = session.get(server.url("/stall-4"), cancelledBy(token));
    EXPECT_EQ(failureKind(std::move(late)), HttpTransportError::Kind::aborted);
    EXPECT_EQ(server.requests().size(), 4u);
    session.abortAll();
    EXPECT_FALSE(outsider.isReady()); // resumed from the event loop, not inside abortAll()
    EXPECT_EQ(failureKind(std::move(outsider)), HttpTransportError::Kind::aborted);
}
