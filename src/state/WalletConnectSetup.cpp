#include "state/WalletConnectSetup.h"

namespace qm {

WalletConnectSetup::WalletConnectSetup(QObject* parent) : QObject(parent) {}

WalletConnectSetup::~WalletConnectSetup() = default;

QCoro::Task<void> WalletConnectSetup::setup() {
    co_return;
}

} // namespace qm
