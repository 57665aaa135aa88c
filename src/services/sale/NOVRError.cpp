#include "services/sale/NOVRError.h"

namespace qm {

NOVRError NOVRError::poolCallFailed(const std::string& message) {
    return NOVRError(Kind::poolCallFailed, "Pool error: " + message);
}

NOVRError NOVRError::invalidAmount() {
    return NOVRError(Kind::invalidAmount, "Invalid amount");
}

NOVRError NOVRError::noAccount() {
    return NOVRError(Kind::noAccount, "No Arbitrum account found");
}

} // namespace qm
