#include "state/send/SendFeeLevel.h"

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

EVMFeeFactors evmFeeFactors(SendFeeLevel level) {
    switch (level) {
    case SendFeeLevel::slow:
        return {1, 1};
    case SendFeeLevel::normal:
        return {2, 1};
    case SendFeeLevel::fast:
        break;
    }
    return {3, 2};
}

} // namespace qm
