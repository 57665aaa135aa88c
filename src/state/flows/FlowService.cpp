#include "state/flows/FlowService.h"

#include <QPointer>

namespace qm {
namespace {

QPointer<FlowService>& installedService() {
    static QPointer<FlowService> service;
    return service;
}

} // namespace

FlowService::FlowService(TransactionFlow::Limits limits, QObject* parent)
    : QObject(parent), m_limits(limits) {}

FlowService::~FlowService() = default;

TransactionFlow* FlowService::flow(const QString& key) {
    const auto found = m_flows.find(key);
    if (found != m_flows.end()) {
        return found->second;
    }
    auto* flow = new TransactionFlow(m_limits, this);
    flow->setObjectName(key);
    m_flows.emplace(key, flow);
    return flow;
}

void FlowService::install(FlowService* service) {
    installedService() = service;
}

FlowService* FlowService::installed() {
    return installedService();
}

} // namespace qm
