#pragma once
// The send flows' own failures, each with the text the send sheets show. Failures of other
// components (keychain, Electrum, coin selection, signer, JSON-RPC) keep their own texts.

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
        belowDust,          // a Bitcoin payment below the dust limit
        // The chain moved since the review: the send was prepared again, nothing was signed,
        // and the text names what the review shows now.
        feeAboveShown,     // the fee it needs is above the one shown
        everythingRevised, // a send of everything sends another amount or fee
        reviewRevised,     // another figure changed (the coins it spends, the fees)
        // A Solana send of another form while the last attempt may still land: two transfers
        // with one blockhash could both land, so nothing was signed.
        earlierMayLand,
    };

    explicit SendError(Code code);
    static SendError networkUnavailable(const std::string& message);
    // The payment needs `feeSats` at `satPerVByte`, more than the fee shown.
    static SendError feeAboveShown(std::uint64_t feeSats, std::uint64_t satPerVByte);
    // Every coin would send `amountSats` after `feeSats` at `satPerVByte`, not what was shown.
    static SendError everythingRevised(std::uint64_t amountSats, std::uint64_t feeSats,
                                       std::uint64_t satPerVByte);
    // The coins the payment spends changed; it now pays `feeSats` at `satPerVByte`.
    static SendError coinsRevised(std::uint64_t feeSats, std::uint64_t satPerVByte);
    // An EVM send now needs the max fee `maxFeeText` ("0.042 ETH (2000 Gwei)"): above the one
    // shown when `above`, else only another one.
    static SendError maxFeeRevised(const std::string& maxFeeText, bool above);

    Code code() const { return m_code; }

private:
    SendError(Code code, const std::string& text) : Error(text), m_code(code) {}
    Code m_code;
};

// "<exact amount> BTC" of `sats`: every digit it needs, no trailing zeros.
std::string exactBitcoinText(std::uint64_t sats);

} // namespace qm
