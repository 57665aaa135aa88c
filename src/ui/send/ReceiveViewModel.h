#pragma once
// The receive sheet's texts for one address on one chain: the title, the caption over the
// address and what its QR code carries ("bitcoin:" and the address on Bitcoin, the bare
// address elsewhere). The copied text is always the bare address.

#include "core/model/Chain.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace qm {

class ReceiveViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // The chain's index (0 Bitcoin ... 4 Solana); another value reads as Bitcoin.
    Q_PROPERTY(int chain READ chainIndexValue WRITE setChain NOTIFY changed)
    Q_PROPERTY(QString address READ address WRITE setAddress NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QString addressCaption READ addressCaption NOTIFY changed)
    Q_PROPERTY(QString qrPayload READ qrPayload NOTIFY changed)

public:
    using QObject::QObject;

    int chainIndexValue() const { return static_cast<int>(chainIndex(m_chain)); }
    void setChain(int chain);
    QString address() const { return m_address; }
    void setAddress(const QString& address);

    // "Receive " and the native symbol ("Receive POL").
    QString title() const;
    // "Your " and the chain's name and " Address" ("Your Arbitrum Address").
    QString addressCaption() const;
    QString qrPayload() const;

signals:
    void changed();

private:
    Chain m_chain = Chain::bitcoin;
    QString m_address;
};

} // namespace qm
