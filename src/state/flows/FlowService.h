#pragma once
// The long-lived owner of the money-moving flows: one TransactionFlow per key ("send:bitcoin",
// "swap:ethereum", ...), made on first use and kept for the life of the service, so a run goes
// on, and its outcome stays readable, after the sheet that started it has closed. A sheet
// opened again for the same key finds the flow as it is (running, or with its outcome until
// its Done resets it).
//
// The program makes one at start-up and installs it for the view models; tests make their own.
// GUI thread only.

#include "state/flows/TransactionFlow.h"

#include <QObject>
#include <QString>
#include <map>

namespace qm {

class FlowService : public QObject {
    Q_OBJECT

public:
    explicit FlowService(TransactionFlow::Limits limits = {}, QObject* parent = nullptr);
    ~FlowService() override;

    // The flow of `key`, made on first use; it lives as long as the service.
    TransactionFlow* flow(const QString& key);
    const TransactionFlow::Limits& limits() const { return m_limits; }

    // The service the view models use when none is given to them: the program's.
    static void install(FlowService* service);
    static FlowService* installed();

private:
    TransactionFlow::Limits m_limits;
    std::map<QString, TransactionFlow*> m_flows; // children of this service
};

} // namespace qm
