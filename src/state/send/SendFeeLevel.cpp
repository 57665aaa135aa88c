#include "state/send/SendRequest.h"

namespace qm {

BTCFeeLevel btcFeeLevel(SendFeeLevel level) {
    switch (level) {
    case SendFeeLevel::fast:
        return BTCFeeLevel::fast;
    case SendFeeLevel::normal:
        return BTCFeeLevel::normal;
    case SendFeeLevel::slow:
        break;
    }
    return BTCFeeLevel::economy;
}

} // namespace qm
