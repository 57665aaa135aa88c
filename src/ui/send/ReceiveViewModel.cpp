#include "ui/send/ReceiveViewModel.h"

namespace qm {

void ReceiveViewModel::setChain(int chain) {
    const Chain next = chain >= 0 && chain < static_cast<int>(chainCount)
                           ? allChains()[static_cast<std::size_t>(chain)]
                           : Chain::bitcoin;
    if (next != m_chain) {
        m_chain = next;
        emit changed();
    }
}

void ReceiveViewModel::setAddress(const QString& address) {
    if (address != m_address) {
        m_address = address;
        emit changed();
    }
}

QString ReceiveViewModel::title() const {
    return QStringLiteral("Receive ") + QString::fromStdString(nativeSymbol(m_chain));
}

QString ReceiveViewModel::addressCaption() const {
    return QStringLiteral("Your %1 Address").arg(QString::fromStdString(displayName(m_chain)));
}

QString ReceiveViewModel::qrPayload() const {
    if (m_address.isEmpty()) {
        return {};
    }
    return m_chain == Chain::bitcoin ? QStringLiteral("bitcoin:") + m_address : m_address;
}

} // namespace qm
