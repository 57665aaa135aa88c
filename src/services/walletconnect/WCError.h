#pragma once
// The WalletConnect errors; what() is the user-facing text.

#include "platform/Error.h"

#include <string>

namespace qm {

class WCError : public Error {
public:
    enum class Code {
        signingFailed,
        relayError,
        cryptoError,
        invalidURI,
        expiredURI,
        notConnected,
        noPairingKey,
        invalidProposal,
        sessionNotFound,
        feeRevised
    };

    static WCError signingFailed(const std::string& text) {
        return {Code::signingFailed, "Signing failed: " + text, text};
    }
    static WCError relayError(const std::string& text) {
        return {Code::relayError, "Relay: " + text, text};
    }
    static WCError cryptoError(const std::string& text) {
        return {Code::cryptoError, "Crypto: " + text, text};
    }
    static WCError invalidURI() { return {Code::invalidURI, "Invalid WalletConnect URI", {}}; }
    // The dApp stopped listening on the pairing: pairing would wait for a proposal that never
    // comes.
    static WCError expiredURI() {
        return {Code::expiredURI, "This pairing link has expired. Ask the dApp for a new one.", {}};
    }
    // The same text as the relay's own RelayError::notConnected.
    static WCError notConnected() { return {Code::notConnected, "Not connected to relay", {}}; }
    static WCError noPairingKey() { return {Code::noPairingKey, "Pairing key not found", {}}; }
    static WCError invalidProposal() {
        return {Code::invalidProposal, "Invalid session proposal", {}};
    }
    static WCError sessionNotFound() { return {Code::sessionNotFound, "Session not found", {}}; }
    // A transaction prepared anew before signing; nothing was signed. `maxFee` is the new max
    // network fee as the review shows it.
    static WCError feeRevised(const std::string& maxFee) {
        return {Code::feeRevised,
                "The network fee changed: the max network fee is now " + maxFee +
                    ". Review it and sign again.",
                maxFee};
    }

    Code code() const { return code_; }
    // The text a case carries (signingFailed, relayError, cryptoError, feeRevised); empty
    // otherwise.
    const std::string& detail() const { return detail_; }

private:
    WCError(Code code, const std::string& what, std::string detail)
        : Error(what), code_(code), detail_(std::move(detail)) {}

    Code code_;
    std::string detail_;
};

} // namespace qm
