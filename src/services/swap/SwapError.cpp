#include "services/swap/SwapError.h"

namespace qm {

SwapError SwapError::jupiterError(const std::string& message) {
    return {Kind::jupiterError, "Jupiter: " + message, message};
}

SwapError SwapError::jupiterAnswerLost(const std::string& message) {
    return {Kind::jupiterError, "Jupiter: " + message, message, true};
}

SwapError SwapError::transactionFailed(const std::string& message) {
    return {Kind::transactionFailed, "Failed: " + message, message};
}

SwapError SwapError::invalidToken() {
    return {Kind::invalidToken, "Invalid token"};
}

SwapError SwapError::noLiquidity() {
    return {Kind::noLiquidity, "No liquidity for this pair"};
}

SwapError SwapError::insufficientBalance() {
    return {Kind::insufficientBalance, "Insufficient balance"};
}

} // namespace qm
