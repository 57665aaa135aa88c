#include "ChainsQuickTestSetup.h"

namespace qm::test {

void ChainsQuickTestSetup::cleanupTestCase() {
    FlowService::install(nullptr);
    QuickTestSetup::cleanupTestCase();
}

} // namespace qm::test
