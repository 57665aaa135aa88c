#include "services/walletconnect/WCTransactionDisplay.h"

#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "services/evm/ERC20.h"
#include "services/evm/EthereumAddress.h"

namespace qm {

WCTransactionDisplay transactionDisplay(const WCPreparedRequest& request,
                                        const std::optional<Token>& token) {
    const WCTransactionRequest& tx = request.transaction;
    WCTransactionDisplay out;
    out.to = eip55Checksum(tx.to);
    out.value = Amount{tx.value, static_cast<unsigned>(nativeDecimals(request.chain))}.exactText() +
                " " + nativeSymbol(request.chain);
    if (!tx.data.empty()) {
        out.data = bytesToHex(tx.data);
        out.dataBytes = tx.data.size();
    }
    const auto call = decodeERC20Call(tx.data);
    if (!call) {
        return out;
    }
    out.call = call->kind == ERC20Call::Kind::transfer ? WCTransactionDisplay::Call::transfer
                                                       : WCTransactionDisplay::Call::approve;
    out.callParty = eip55Checksum(call->party);
    const bool known = token && token->decimals >= 0 &&
                       token->decimals <= static_cast<std::int64_t>(Amount::maxDecimals);
    if (out.call == WCTransactionDisplay::Call::approve && isUnlimitedAllowance(call->amount)) {
        out.callAmount = "Unlimited";
    } else if (known) {
        out.callAmount = Amount{call->amount, static_cast<unsigned>(token->decimals)}.exactText() +
                         " " + token->symbol;
    } else {
        out.callAmount = call->amount.decimalString() + " base units";
        out.callNote = "The wallet does not know this token: the amount is in its smallest "
                       "units, without decimals.";
    }
    return out;
}

} // namespace qm
