#include "HttpFixture.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <stdexcept>

namespace qm::test {
namespace {

constexpr const char* bufferProperty = "qmFixtureBuffer";

QByteArray head(const HttpFixtureResponse& response) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) +
                     (response.status == 200 ? " OK\r\n" : " Status\r\n");
    if (!response.contentType.isEmpty()) {
        out += "Content-Type: " + response.contentType + "\r\n";
    }
    if (response.status != 204 && // "No Content" has no body
        response.behaviour != HttpFixtureResponse::Behaviour::endless) {
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    return out;
}

// A complete request at the start of `buffer`: its length, or 0 when more bytes are needed.
qsizetype parseRequest(const QByteArray& buffer, HttpFixtureRequest& request) {
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        return 0;
    }
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request = {};
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    qsizetype contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0) {
            continue;
        }
        if (lines[i].left(colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0) {
            contentLength = lines[i].mid(colon + 1).trimmed().toLongLong();
        }
    }
    const qsizetype total = headerEnd + 4 + contentLength;
    if (buffer.size() < total) {
        return 0;
    }
    request.body = buffer.mid(headerEnd + 4, contentLength);
    return total;
}

} // namespace

HttpFixtureResponse HttpFixtureResponse::json(QByteArray body, int status) {
    HttpFixtureResponse response;
    response.status = status;
    response.contentType = "application/json";
    response.body = std::move(body);
    return response;
}

HttpFixtureResponse HttpFixtureResponse::jsonRPCResult(const nlohmann::json& result) {
    const nlohmann::json reply = {{"jsonrpc", "2.0"}, {"id", 1}, {"result", result}};
    return json(QByteArray::fromStdString(reply.dump()));
}

HttpFixtureResponse HttpFixtureResponse::withStatus(int status) {
    HttpFixtureResponse response;
    response.status = status;
    return response;
}

HttpFixtureResponse HttpFixtureResponse::stalling() {
    HttpFixtureResponse response;
    response.behaviour = Behaviour::stall;
    return response;
}

HttpFixture::HttpFixture() {
    if (!m_server.listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("HttpFixture: cannot listen on 127.0.0.1");
    }
    connect(&m_server, &QTcpServer::newConnection, this, &HttpFixture::accept);
}

void HttpFixture::setHandler(Handler handler) {
    if (!handler) {
        m_handler = nullptr;
        return;
    }
    m_handler = [handler = std::move(handler)](const HttpFixtureRequest& request,
                                               const Responder& respond) {
        respond(handler(request));
    };
}

void HttpFixture::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void HttpFixture::readFrom(QTcpSocket* socket) {
    QByteArray buffer = socket->property(bufferProperty).toByteArray() + socket->readAll();
    HttpFixtureRequest request;
    const qsizetype used = parseRequest(buffer, request);
    if (used == 0) {
        socket->setProperty(bufferProperty, buffer);
        return;
    }
    // One request per connection: every answer closes it.
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    m_requests.push_back(request);
    // Leaves the socket's signal first: a socket deleted while its signal is delivered
    // crashes Qt's dispatch.
    QMetaObject::invokeMethod(
        this, [this, socket = QPointer<QTcpSocket>(socket), request] { answer(socket, request); },
        Qt::QueuedConnection);
}

void HttpFixture::answer(const QPointer<QTcpSocket>& socket, const HttpFixtureRequest& request) {
    // The response is taken even for a client that gave up, so later requests get theirs.
    if (!m_queue.empty()) {
        HttpFixtureResponse response = std::move(m_queue.front());
        m_queue.erase(m_queue.begin());
        if (socket) {
            respond(socket, response);
        }
    } else if (m_handler) {
        m_handler(request, [self = QPointer<HttpFixture>(this),
                            socket](const HttpFixtureResponse& response) {
            if (self && socket) {
                self->respond(socket, response);
            }
        });
    } else if (socket) {
        respond(socket, HttpFixtureResponse::withStatus(404));
    }
}

void HttpFixture::respond(QTcpSocket* socket, const HttpFixtureResponse& response) {
    using Behaviour = HttpFixtureResponse::Behaviour;
    switch (response.behaviour) {
    case Behaviour::respond:
        socket->write(head(response) + (response.status == 204 ? "" : response.body));
        socket->disconnectFromHost();
        break;
    case Behaviour::stall:
        ++m_openStalls;
        connect(socket, &QTcpSocket::disconnected, this, [this] { --m_openStalls; });
        break;
    case Behaviour::stallAfterHeaders:
        socket->write(head(response) + response.body.left(response.body.size() / 2));
        break;
    case Behaviour::trickle: {
        socket->write(head(response));
        auto* timer = new QTimer(socket);
        auto remaining = std::make_shared<QByteArray>(response.body);
        connect(timer, &QTimer::timeout, socket, [socket, timer, remaining] {
            if (remaining->isEmpty()) {
                timer->stop();
                socket->disconnectFromHost();
                return;
            }
            socket->write(remaining->left(1));
            remaining->remove(0, 1);
        });
        timer->start(response.trickleIntervalMs);
        break;
    }
    case Behaviour::delay: {
        const QByteArray whole = head(response) + response.body;
        QTimer::singleShot(response.delayMs, socket, [socket, whole] {
            socket->write(whole);
            socket->disconnectFromHost();
        });
        break;
    }
    case Behaviour::endless: {
        socket->write(head(response));
        auto* timer = new QTimer(socket);
        // Written only as fast as the client reads, so what it holds is what it took in.
        connect(timer, &QTimer::timeout, socket, [this, socket, body = response.body] {
            if (socket->state() == QAbstractSocket::ConnectedState &&
                socket->bytesToWrite() < body.size()) {
                socket->write(body);
                m_endlessBytes += body.size();
            }
        });
        timer->start(1);
        break;
    }
    case Behaviour::close:
        socket->abort();
        socket->deleteLater();
        break;
    }
}

} // namespace qm::test
