#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <unistd.h>

namespace qm {
namespace {

const QByteArray showRequest = QByteArrayLiteral("show\n");
// Bounds the start-up of a second launch when the first one does not answer.
constexpr int answerMilliseconds = 2000;

} // namespace

QString SingleInstance::defaultName() {
    // A bare name would be a socket in /tmp, where another user can take it first. The
    // runtime folder ($XDG_RUNTIME_DIR, else one Qt makes) is the user's own, mode 0700.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(runtime).filePath(QStringLiteral("quillmark-%1").arg(::getuid()));
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), m_name(std::move(name)) {
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

bool SingleInstance::becomePrimary() {
    if (askRunningInstance()) {
        return false;
    }
    // Nobody answered: a socket left by a crashed process is stale and can go.
    QLocalServer::removeServer(m_name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    return m_server.listen(m_name) || !askRunningInstance();
}

bool SingleInstance::askRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(answerMilliseconds)) {
        return false;
    }
    socket.write(showRequest);
    if (!socket.waitForBytesWritten(answerMilliseconds)) {
        return false;
    }
    // The running instance closes the connection once it has read the request.
    socket.waitForDisconnected(answerMilliseconds);
    return true;
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            if (socket->readLine() == showRequest) {
                emit activationRequested();
            }
            socket->disconnectFromServer();
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

} // namespace qm
