#include "state/send/SendError.h"

#include "core/model/Amount.h"
#include "services/bitcoin/CoinSelection.h"

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
    case SendError::Code::belowDust:
        return "Below the network's dust limit: send at least " +
               exactBitcoinText(CoinSelection::kDustLimit) + ".";
    case SendError::Code::feeAboveShown:
        return "The fee changed";
    case SendError::Code::everythingRevised:
        return "The amount changed";
    case SendError::Code::reviewRevised:
        return "The transaction changed";
    case SendError::Code::earlierMayLand:
        return "The last attempt of this send may still go through until its blockhash expires, "
               "in about a minute; nothing was signed. Send it unchanged, or try this one once "
               "it has expired.";
    }
    return "No account available";
}

std::string rateText(std::uint64_t satPerVByte) {
    return " (" + std::to_string(satPerVByte) + " sat/vB)";
}

} // namespace

std::string exactBitcoinText(std::uint64_t sats) {
    return Amount{UInt256(0, 0, 0, sats), 8}.exactText() + " BTC";
}

SendError::SendError(Code code) : Error(textOf(code)), m_code(code) {}

SendError SendError::networkUnavailable(const std::string& message) {
    return {Code::networkUnavailable, message};
}

SendError SendError::everythingRevised(std::uint64_t amountSats, std::uint64_t feeSats,
                                       std::uint64_t satPerVByte) {
    return {Code::everythingRevised, "Sending everything pays " + exactBitcoinText(amountSats) +
                                         " to the recipient and a fee of " +
                                         exactBitcoinText(feeSats) + rateText(satPerVByte) +
                                         ". Review the new amount and send again."};
}

SendError SendError::feeAboveShown(std::uint64_t feeSats, std::uint64_t satPerVByte) {
    return {Code::feeAboveShown, "This transaction needs a fee of " + exactBitcoinText(feeSats) +
                                     rateText(satPerVByte) +
                                     ", more than the fee shown. Review the new fee and send "
                                     "again."};
}

SendError SendError::coinsRevised(std::uint64_t feeSats, std::uint64_t satPerVByte) {
    return {Code::reviewRevised, "The coins to spend changed since the review; this transaction "
                                 "now pays a fee of " +
                                     exactBitcoinText(feeSats) + rateText(satPerVByte) +
                                     ". Review it and send again."};
}

SendError SendError::maxFeeRevised(const std::string& maxFeeText, bool above) {
    if (above) {
        return {Code::feeAboveShown, "This transaction needs a max fee of " + maxFeeText +
                                         ", more than the fee shown. Review the new fee and send "
                                         "again."};
    }
    return {Code::reviewRevised, "The network's fees changed since the review; the max fee is "
                                 "now " +
                                     maxFeeText + ". Review it and send again."};
}

} // namespace qm
