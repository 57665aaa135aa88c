#pragma once
// The send flows' own failures, each with the text the confirmation sheet shows. Failures of
// other components (keychain, Electrum, coin selection, signer, JSON-RPC) keep their own texts.

#include "platform/Error.h"

#include <cstdint>
#include <string>

namespace qm {

class SendError : public Error {
public:
    enum class Code {
        networkUnavailable, // the given text ("Cannot connect to Electrum")
        insufficientFunds,  // "Insufficient funds"
        invalidAmount,      // "Invalid amount"
        invalidAddress,     // "Invalid recipient address"
        noAccount,          // "No account available"
        feeAboveShown,      // the fee the transaction needs, above the one the user saw
        everythingRevised,  // a send of everything sends another amount or fee than shown
    };

    explicit SendError(Code code);
    static SendError networkUnavailable(const std::string& message);
    // The built transaction would pay `feeSats` at `satPerVByte`, more than the fee shown.
    static SendError feeAboveShown(std::uint64_t feeSats, std::uint64_t satPerVByte);
    // Every coin would send `amountSats` after `feeSats` at `satPerVByte`, not what was shown.
    static SendError everythingRevised(std::uint64_t amountSats, std::uint64_t feeSats,
                                       std::uint64_t satPerVByte);

    Code code() const { return m_code; }

private:
    SendError(Code code, const std::string& text) : Error(text), m_code(code) {}
    Code m_code;
};

} // namespace qm
