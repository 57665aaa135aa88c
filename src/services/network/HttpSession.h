#pragma once
// The one HTTP piece every HTTP client of the wallet builds on (JSON-RPC, Solana, explorer,
// prices). One HttpSession is one "session": a QNetworkAccessManager of its own, a base URL and
// two time-outs, shared with no other client.
//
// Usage (inside a coroutine of a client that owns the session):
//
//     HttpSession session(QUrl("https://rpc.example"), HttpTimeouts{30s, 60s});
//     HttpResponse r = co_await session.post(session.baseUrl(), body, "application/json");
//     if (r.status != 200) throw MyError::httpError(r.status);
//
// Semantics:
// - Time-outs. `idle` is the longest silence between two transferred bytes
//   (QNetworkRequest::setTransferTimeout); `total` bounds the whole exchange from the moment the
//   request starts (a timer that aborts it). Either one expiring throws
//   HttpTransportError{kind = timedOut}. A request may tighten the idle limit (never widen it).
// - HTTP status. Any reply that carries an HTTP status (2xx, 3xx that is not followed, 4xx, 5xx)
//   is returned as HttpResponse with that status and the whole body, never thrown: deciding
//   what a status means is the caller's job. Redirects are followed as Qt's default policy allows.
// - Transport failures (no connection, refused, TLS, a reply cut short, a time-out, an abort)
//   throw HttpTransportError with a kind and a readable text; nothing else is thrown. The error
//   also carries the session's unreachable text, the words a user reads when this service
//   cannot be reached ("Cannot connect to Ethereum RPC"), which its owner names.
// - Size. A reply body (of any status) longer than the session's limit is refused while it
//   arrives: the request is aborted as soon as the announced length or the bytes received
//   pass the limit, and throws kind tooLarge. So a hostile server costs at most the limit.
// - Aborting. abortAll() and the session's destructor abort every request in flight; their
//   awaiters then throw kind aborted. Awaiters always resume from the event loop on a later turn,
//   never inside a reply's signal, abortAll() or the destructor, so an owner is never re-entered
//   while it tears itself down. Owners that can go away while a request is in flight still
//   re-check themselves (QPointer) after every co_await, as for any coroutine.
//   A request also ends, kind aborted, when the cancellation token in its options is
//   cancelled (at once when it is already). A client passes one caller's token to every
//   request it sends for that caller's call (the next page, the next call), so cancelling a
//   task ends all of them and no other caller's.
// - Threads: create, use and destroy a session on one thread with an event loop (the GUI
//   thread). Requests of one session may be in flight at the same time.

#include "platform/Error.h"
#include "platform/async/CancellationToken.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QUrl>
#include <QUrlQuery>
#include <chrono>
#include <cstddef>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string_view>
#include <utility>
#include <vector>

class QNetworkAccessManager;
class QNetworkRequest;

namespace qm {

struct HttpTimeouts {
    std::chrono::milliseconds idle{std::chrono::seconds(30)};
    std::chrono::milliseconds total{std::chrono::seconds(60)};
};

using HttpHeaders = std::vector<std::pair<QByteArray, QByteArray>>;

struct HttpRequestOptions {
    // Not an aggregate: gcc 12 destroys an aggregate temporary of a co_await expression twice,
    // and a defaulted `options` argument of a request is one.
    HttpRequestOptions() = default;

    HttpHeaders headers;
    // A tighter idle limit for this request only; the session's limit applies when it is shorter.
    std::optional<std::chrono::milliseconds> idleTimeout;
    // Cancelling it aborts the request.
    CancellationToken cancel;
};

struct HttpResponse {
    int status = 0;
    QByteArray body;
};

class HttpTransportError : public Error {
public:
    enum class Kind {
        timedOut,         // the idle or the total time-out expired
        aborted,          // abortAll(), the session's destruction or a cancelled token
        connectionFailed, // refused, host not found, closed early, network down, proxy
        tlsFailed,        // handshake or certificate failure
        tooLarge,         // the body passed the session's size limit
        other,            // anything else below HTTP (bad URL, unknown protocol, ...)
    };

    HttpTransportError(Kind kind, const std::string& text, std::string unreachableText = {})
        : Error(text), m_kind(kind), m_unreachableText(std::move(unreachableText)) {}
    Kind kind() const { return m_kind; }
    // What a user reads when the session's service cannot be reached; empty when its owner
    // named none. what() stays the transport's own text, for the diagnostics.
    const std::string& unreachableText() const { return m_unreachableText; }

private:
    Kind m_kind;
    std::string m_unreachableText;
};

class HttpSession : public QObject {
    Q_OBJECT

public:
    // A client whose replies can be longer than the default limit names its own.
    static constexpr std::size_t defaultMaxBodyBytes = 4u << 20;

    explicit HttpSession(QUrl baseUrl, HttpTimeouts timeouts = {}, QObject* parent = nullptr);
    HttpSession(QUrl baseUrl, HttpTimeouts timeouts, std::size_t maxBodyBytes,
                QObject* parent = nullptr);
    ~HttpSession() override;

    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    const QUrl& baseUrl() const { return m_baseUrl; }
    const HttpTimeouts& timeouts() const { return m_timeouts; }
    std::size_t maxBodyBytes() const { return m_maxBodyBytes; }
    // The words for a user when this service cannot be reached, carried by every transport
    // failure of the session's requests from now on ("Cannot connect to Ethereum RPC").
    void setUnreachableText(std::string text) { m_unreachableText = std::move(text); }

    // The base URL with `path` appended to its path (one '/' between them) and `query` set.
    // An empty path gives the base URL itself (with the query).
    QUrl endpoint(std::string_view path, const QUrlQuery& query = {}) const;

    // GET `url`. Returns the status and body of any HTTP reply; throws HttpTransportError.
    QCoro::Task<HttpResponse> get(QUrl url, HttpRequestOptions options = {});
    // POST `body` with the given Content-Type to `url`. Same results as get().
    QCoro::Task<HttpResponse> post(QUrl url, QByteArray body, QByteArray contentType,
                                   HttpRequestOptions options = {});

    // Aborts every request in flight (see the header comment).
    void abortAll();

private:
    enum class Verb { get, post };

    QCoro::Task<HttpResponse> send(Verb verb, QUrl url, QByteArray body, QByteArray contentType,
                                   HttpRequestOptions options);
    void applyOptions(QNetworkRequest& request, const HttpRequestOptions& options) const;

    QUrl m_baseUrl;
    HttpTimeouts m_timeouts;
    std::size_t m_maxBodyBytes;
    std::string m_unreachableText;
    QNetworkAccessManager* m_manager; // child of this session
};

} // namespace qm
