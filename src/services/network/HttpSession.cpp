#include "services/network/HttpSession.h"

#include "platform/async/NextTurn.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <qcoro/qcoronetworkreply.h>

namespace qm {
namespace {

// Why a reply was aborted by us; a reply aborted without a reason hit the idle limit.
constexpr const char* abortReasonProperty = "qmAbortReason";
constexpr int abortedByUser = 1;
constexpr int abortedByTotalTimeout = 2;
constexpr int abortedTooLarge = 3;

struct Outcome {
    std::optional<HttpTransportError> failure;
    HttpResponse response;
};

// Qt reports 4xx/5xx replies as errors; they are HTTP answers all the same.
bool isHttpStatusError(QNetworkReply::NetworkError error) {
    const int code = error;
    return (code >= 201 && code <= 299) || (code >= 401 && code <= 499) ||
           error == QNetworkReply::ProtocolInvalidOperationError;
}

HttpTransportError::Kind transportKind(QNetworkReply::NetworkError error) {
    switch (error) {
    case QNetworkReply::TimeoutError:
        return HttpTransportError::Kind::timedOut;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::UnknownProxyError:
        return HttpTransportError::Kind::connectionFailed;
    case QNetworkReply::SslHandshakeFailedError:
        return HttpTransportError::Kind::tlsFailed;
    default:
        return HttpTransportError::Kind::other;
    }
}

Outcome readOutcome(QNetworkReply& reply) {
    Outcome outcome;
    const QNetworkReply::NetworkError error = reply.error();
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (error == QNetworkReply::NoError || (isHttpStatusError(error) && status.isValid())) {
        outcome.response.status = status.toInt();
        outcome.response.body = reply.readAll();
        return outcome;
    }
    if (error == QNetworkReply::OperationCanceledError) {
        const int reason = reply.property(abortReasonProperty).toInt();
        if (reason == abortedByUser) {
            outcome.failure.emplace(HttpTransportError::Kind::aborted,
                                    "The request was cancelled.");
        } else if (reason == abortedTooLarge) {
            outcome.failure.emplace(HttpTransportError::Kind::tooLarge,
                                    "The server's reply is too large.");
        } else {
            outcome.failure.emplace(HttpTransportError::Kind::timedOut, "The request timed out.");
        }
        return outcome;
    }
    const auto kind = transportKind(error);
    outcome.failure.emplace(kind, kind == HttpTransportError::Kind::timedOut
                                      ? std::string("The request timed out.")
                                      : reply.errorString().toStdString());
    return outcome;
}

void abortWithReason(QNetworkReply* reply, int reason) {
    if (reply->isFinished()) {
        return;
    }
    reply->setProperty(abortReasonProperty, reason);
    reply->abort();
}

} // namespace

HttpSession::HttpSession(QUrl baseUrl, HttpTimeouts timeouts, QObject* parent)
    : HttpSession(std::move(baseUrl), timeouts, defaultMaxBodyBytes, parent) {}

HttpSession::HttpSession(QUrl baseUrl, HttpTimeouts timeouts, std::size_t maxBodyBytes,
                         QObject* parent)
    : QObject(parent), m_baseUrl(std::move(baseUrl)), m_timeouts(timeouts),
      m_maxBodyBytes(maxBodyBytes), m_manager(new QNetworkAccessManager(this)) {}

HttpSession::~HttpSession() {
    // The awaiting coroutines resume here only to record the abort; they touch nothing of ours.
    abortAll();
}

QUrl HttpSession::endpoint(std::string_view path, const QUrlQuery& query) const {
    QUrl url = m_baseUrl;
    if (!path.empty()) {
        QString joined = url.path();
        while (joined.endsWith('/')) {
            joined.chop(1);
        }
        while (path.starts_with('/')) {
            path.remove_prefix(1);
        }
        joined += '/';
        joined += QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
        url.setPath(joined);
    }
    if (!query.isEmpty()) {
        url.setQuery(query);
    }
    return url;
}

QCoro::Task<HttpResponse> HttpSession::get(QUrl url, HttpRequestOptions options) {
    return send(Verb::get, std::move(url), {}, {}, std::move(options));
}

QCoro::Task<HttpResponse> HttpSession::post(QUrl url, QByteArray body, QByteArray contentType,
                                            HttpRequestOptions options) {
    return send(Verb::post, std::move(url), std::move(body), std::move(contentType),
                std::move(options));
}

void HttpSession::abortAll() {
    const auto replies = m_manager->findChildren<QNetworkReply*>(Qt::FindDirectChildrenOnly);
    for (QNetworkReply* reply : replies) {
        abortWithReason(reply, abortedByUser);
    }
}

void HttpSession::applyOptions(QNetworkRequest& request, const HttpRequestOptions& options) const {
    auto idle = m_timeouts.idle;
    if (options.idleTimeout) {
        idle = std::min(idle, *options.idleTimeout);
    }
    request.setTransferTimeout(static_cast<int>(std::clamp<long long>(idle.count(), 1, INT32_MAX)));
    for (const auto& [name, value] : options.headers) {
        request.setRawHeader(name, value);
    }
}

// Touches `this` only before the first co_await: the session may be gone when the reply ends.
QCoro::Task<HttpResponse> HttpSession::send(Verb verb, QUrl url, QByteArray body,
                                            QByteArray contentType, HttpRequestOptions options) {
    const std::string unreachableText = m_unreachableText;
    if (options.cancel.isCancelled()) {
        // Nothing is sent for a task that is already cancelled.
        co_await NextTurn{};
        throw HttpTransportError(HttpTransportError::Kind::aborted, "The request was cancelled.",
                                 unreachableText);
    }
    QNetworkRequest request(url);
    applyOptions(request, options);
    if (verb == Verb::post) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    }
    QPointer<QNetworkReply> reply =
        verb == Verb::get ? m_manager->get(request) : m_manager->post(request, body);

    auto* totalTimer = new QTimer(reply); // goes with the reply
    totalTimer->setSingleShot(true);
    QObject::connect(totalTimer, &QTimer::timeout, reply,
                     [r = reply.data()] { abortWithReason(r, abortedByTotalTimeout); });
    totalTimer->start(std::max(m_timeouts.total, std::chrono::milliseconds(1)));

    // The body stays in the reply until it ends; it is measured as it grows, and a reply that
    // announces or delivers more than the limit is stopped there.
    const auto limit = static_cast<qint64>(std::min<std::size_t>(m_maxBodyBytes, INT64_MAX));
    const auto refuseOversized = [r = reply.data(), limit] {
        const QVariant announced = r->header(QNetworkRequest::ContentLengthHeader);
        if (r->bytesAvailable() > limit ||
            (announced.isValid() && announced.toLongLong() > limit)) {
            abortWithReason(r, abortedTooLarge);
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, refuseOversized);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, refuseOversized);

    const CancellationToken cancel = options.cancel;
    const CancellationToken::CallbackID onCancel = cancel.onCancel([r = reply] {
        if (r) {
            abortWithReason(r, abortedByUser);
        }
    });

    co_await reply.data();
    cancel.removeCallback(onCancel);

    Outcome outcome;
    if (reply) {
        totalTimer->stop();
        outcome = readOutcome(*reply);
        reply->deleteLater();
        // The whole body may have come in one piece, after which nothing was left to stop.
        if (!outcome.failure && outcome.response.body.size() > limit) {
            outcome.response = {};
            outcome.failure.emplace(HttpTransportError::Kind::tooLarge,
                                    "The server's reply is too large.");
        }
    } else {
        outcome.failure.emplace(HttpTransportError::Kind::aborted, "The request was cancelled.");
    }
    // Resume the awaiter from the event loop, not from inside the reply's signal or abortAll().
    co_await NextTurn{};

    if (outcome.failure) {
        throw HttpTransportError(outcome.failure->kind(), outcome.failure->what(), unreachableText);
    }
    co_return std::move(outcome.response);
}

} // namespace qm
