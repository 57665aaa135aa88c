#pragma once
// One running Quillmark per user: the first process listens on a local socket; a later one
// asks it to show its window and exits.

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace qm {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // The socket of the current user: "quillmark-" and the user id, in the user's runtime
    // folder.
    static QString defaultName();

    explicit SingleInstance(QString name, QObject* parent = nullptr);

    // True when this process is now the one instance (it listens from here on). False when
    // another one answered: it has been asked to show its window, and this process should end.
    bool becomePrimary();

signals:
    // Another launch asked this instance to show its window.
    void activationRequested();

private:
    bool askRunningInstance();
    void acceptConnections();

    QString m_name;
    QLocalServer m_server;
};

} // namespace qm
