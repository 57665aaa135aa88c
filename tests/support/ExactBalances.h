#pragma once
// Balances written as a refresh writes them: the exact base units the texts are made from and
// the double beside them that dollar values use, both from one typed amount ("1.25").

#include "core/model/Amount.h"
#include "core/model/Token.h"
#include "state/EVMAccountState.h"

#include <string_view>

namespace qm::test {

// `coins` whole coins of the account's chain (18 decimals), as a server's answer: known.
inline void setNativeBalance(EVMAccountState& account, std::string_view coins) {
    const Amount amount = Amount::parse(coins, 18);
    account.balanceWei = amount.value;
    account.balanceNative = amount.toDouble();
    account.balanceLoad.end(false);
}

// `whole` tokens, in the token's own decimals.
inline void setTokenBalance(TokenBalance& balance, std::string_view whole) {
    const Amount amount = Amount::parse(whole, static_cast<unsigned>(balance.token.decimals));
    balance.balance = amount.value.description();
    balance.balanceFormatted = amount.toDouble();
}

} // namespace qm::test
