#pragma once
// Failures of the swap feature, each with the text the swap screen and its failed step show.

#include "platform/Error.h"

#include <string>

namespace qm {

class SwapError : public Error {
public:
    enum class Kind {
        jupiterError,
        transactionFailed,
        invalidToken,
        noLiquidity,
        insufficientBalance
    };

    static SwapError jupiterError(const std::string& message); // "Jupiter: " + message
    // A jupiterError whose answer may be lost on its way rather than the aggregator's refusal
    // (a gateway's status, an answer that cannot be read): it may have carried the request out.
    static SwapError jupiterAnswerLost(const std::string& message); // "Jupiter: " + message
    static SwapError transactionFailed(const std::string& message); // "Failed: " + message
    static SwapError invalidToken();                                // "Invalid token"
    static SwapError noLiquidity();                                 // "No liquidity for this pair"
    static SwapError insufficientBalance();                         // "Insufficient balance"

    Kind kind() const { return m_kind; }
    // Made by jupiterAnswerLost.
    bool answerLost() const { return m_answerLost; }
    // The message a jupiterError or transactionFailed carries; empty for the others.
    const std::string& message() const { return m_message; }

private:
    SwapError(Kind kind, const std::string& text, std::string message = {}, bool answerLost = false)
        : Error(text), m_kind(kind), m_message(std::move(message)), m_answerLost(answerLost) {}

    Kind m_kind;
    std::string m_message;
    bool m_answerLost;
};

} // namespace qm
