#pragma once
// TransactionFlow for QML: its steps (TransactionFlow.Signing ...) and properties, which
// every money-moving sheet reads from its view model's flow.

#include "state/flows/TransactionFlow.h"

#include <QtQml/qqmlregistration.h>

namespace qm {

struct TransactionFlowType {
    Q_GADGET
    QML_FOREIGN(qm::TransactionFlow)
    QML_NAMED_ELEMENT(TransactionFlow)
    QML_UNCREATABLE("A flow belongs to the flow service.")
};

} // namespace qm
