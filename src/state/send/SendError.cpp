#include "state/send/SendError.h"

#include "core/model/Amount.h"

namespace qm {
namespace {

std::string textOf(SendError::Code code) {
    switch (code) {
    case SendError::Code::networkUnavailable:
        return "Network unavailable";
    case SendError::Code::insufficientFunds:
        return "Insufficient funds";
    case SendError::Code::invalidAmount:
        return "Invalid amount";
    case SendError::Code::invalidAddress:
        return "Invalid recipient address";
    case SendError::Code::noAccount:
        break;
    case SendError::Code::feeAboveShown:
        return "The fee changed";
    case SendError::Code::everythingRevised:
        return "The amount changed";
    }
    return "No account available";
}

std::string btcText(std::uint64_t sats) {
    return Amount{UInt256(0, 0, 0, sats), 8}.fixedText(8) + " BTC";
}

} // namespace

SendError::SendError(Code code) : Error(textOf(code)), m_code(code) {}

SendError SendError::networkUnavailable(const std::string& message) {
    return {Code::networkUnavailable, message};
}

SendError SendError::everythingRevised(std::uint64_t amountSats, std::uint64_t feeSats,
                                       std::uint64_t satPerVByte) {
    return {Code::everythingRevised, "Sending everything pays " + btcText(amountSats) +
                                         " to the recipient and a fee of " + btcText(feeSats) +
                                         " (" + std::to_string(satPerVByte) +
                                         " sat/vB). Review the new amount and send again."};
}

SendError SendError::feeAboveShown(std::uint64_t feeSats, std::uint64_t satPerVByte) {
    return {Code::feeAboveShown, "This transaction needs a fee of " + btcText(feeSats) + " (" +
                                     std::to_string(satPerVByte) +
                                     " sat/vB), more than the fee shown. Review the new fee and "
                                     "send again."};
}

} // namespace qm
