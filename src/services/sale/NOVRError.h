#pragma once
// The failures of the NOVR sale that the sale itself names; the JSON-RPC client's, the
// signer's and the keychain's own errors pass through unchanged.

#include "platform/Error.h"

#include <string>

namespace qm {

class NOVRError : public Error {
public:
    enum class Kind {
        poolCallFailed, // "Pool error: " + message
        invalidAmount,  // "Invalid amount"
        noAccount,      // "No Arbitrum account found"
    };

    static NOVRError poolCallFailed(const std::string& message);
    static NOVRError invalidAmount();
    static NOVRError noAccount();

    Kind kind() const { return m_kind; }

private:
    NOVRError(Kind kind, const std::string& text) : Error(text), m_kind(kind) {}

    Kind m_kind;
};

} // namespace qm
