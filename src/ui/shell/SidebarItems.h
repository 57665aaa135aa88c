#pragma once
// The sidebar's account entries, built from the application state, and the selection they
// write back.

#include "core/model/Chain.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class AppState;
struct BTCAccountState;
struct EVMAccountState;
struct SolanaAccountState;

struct SidebarAccountItem {
    std::string id;  // the account id, e.g. "eth-0": row identity and selection key
    QString name;    // "Ethereum #0"
    QString address; // shortened for the sidebar
    QString balance; // with symbol, and " +N tokens" for EVM and Solana accounts
    Chain chain = Chain::bitcoin;
    bool operator==(const SidebarAccountItem&) const = default;
};

// Stands for a figure the wallet does not know: a balance no server has answered for since the
// accounts were opened, and its dollar value. "—".
QString unknownFigureText();

// The balances are nativeBalanceText of the exact base units (rounded half up, never through a
// double), as the send sheet shows them.
// "0.00150000 BTC" for 150,000 satoshis.
QString bitcoinBalanceText(std::uint64_t sats);
// "1.2500 SOL", then " +N tokens" when `tokenCount` is not 0.
QString solanaBalanceText(std::uint64_t lamports, std::size_t tokenCount);
// An account's native balance as every screen shows it: the text above of its exact base
// units ("0.00150000 BTC", "1.500000 ETH", "2.5000 SOL"), or unknownFigureText() while no
// server has answered for it.
QString shownNativeBalance(const BTCAccountState& account);
QString shownNativeBalance(const EVMAccountState& account);
QString shownNativeBalance(const SolanaAccountState& account);
// The native balance (balanceWei) with six places and its symbol ("0.500000 ETH"; Arbitrum
// shows ETH too), then " +N tokens". A balance not known yet reads as unknownFigureText(), as
// in every entry.
QString evmBalanceText(const EVMAccountState& state);

// The entries of one chain's list, in list order.
std::vector<SidebarAccountItem> sidebarItems(const AppState& state, Chain chain);
// The entry of the account at `index` of one chain's list; none past its end.
std::optional<SidebarAccountItem> sidebarItem(const AppState& state, Chain chain,
                                              std::size_t index);

// The id of the selected entry: the selected chain's account at the selected index; absent
// when the index is outside that list.
std::optional<std::string> selectedAccountID(const AppState& state);
// A click on the row `id`: writes the chain (from the id's prefix) and then the index of the
// first account with that id (0 when there is none), each only when it changes. An id without
// a known prefix changes nothing.
void selectAccount(AppState& state, std::string_view id);

} // namespace qm
