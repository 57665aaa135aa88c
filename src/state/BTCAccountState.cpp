#include "state/BTCAccountState.h"

namespace qm {

const std::string& rawValue(BTCAddressInfo::BTCAddressType type) {
    static const std::string receive = "Ricezione";
    static const std::string change = "Resto";
    return type == BTCAddressInfo::BTCAddressType::receive ? receive : change;
}

} // namespace qm
