#pragma once
// What a review shows of a dApp's transaction request, every value whole: the address it goes
// to, the value, an ERC-20 transfer or approval named with its recipient or spender and
// amount, and the call data byte for byte.

#include "core/model/Token.h"
#include "services/walletconnect/WCRequestCheck.h"

#include <cstddef>
#include <optional>
#include <string>

namespace qm {

struct WCTransactionDisplay {
    enum class Call { none, transfer, approve };

    std::string to;    // EIP-55
    std::string value; // exact, with the chain's coin ("0.01 ETH", "0 POL")
    Call call = Call::none;
    // The token amount of a transfer or approval: exact with the token's symbol when the
    // wallet knows the token, else its base units; "Unlimited" for an approval of 2^255 or more.
    std::string callAmount;
    std::string callParty; // the recipient or the spender, EIP-55
    std::string callNote;  // why an amount is in base units; empty otherwise
    std::string data;      // "0x" and every byte; empty without data
    std::size_t dataBytes = 0;
};

// The display of a transaction request; `token` is the wallet's token at the request's "to",
// if it knows one.
WCTransactionDisplay transactionDisplay(const WCPreparedRequest& request,
                                        const std::optional<Token>& token);

} // namespace qm
