#include "ui/shell/SidebarItems.h"

#include "state/AmountFormatting.h"
#include "state/AppState.h"
#include "ui/theme/AddressText.h"

namespace qm {
namespace {

QString nativeText(Chain chain, const UInt256& baseUnits) {
    return QString::fromStdString(nativeBalanceText(chain, baseUnits));
}

QString withTokenCount(QString balance, std::size_t tokenCount) {
    if (tokenCount > 0) {
        balance += QStringLiteral(" +%1 tokens").arg(tokenCount);
    }
    return balance;
}

QString entryName(const Account& account) {
    return QString::fromStdString(displayName(account.chain)) + QStringLiteral(" #") +
           QString::number(account.index);
}

template <typename AccountState>
SidebarAccountItem entry(const AccountState& state, Chain chain, QString balance) {
    return {state.account.id, entryName(state.account),
            sidebarAddressText(QString::fromStdString(state.account.address)), std::move(balance),
            chain};
}

// `figure` when the balance `load` speaks for is one a server gave, else the unknown mark.
QString ifKnown(const BalanceLoad& load, QString figure) {
    return load.known ? std::move(figure) : unknownFigureText();
}

// The account ids of one chain's list, in order.
std::vector<std::string> accountIDs(const AppState& state, Chain chain) {
    std::vector<std::string> ids;
    auto collect = [&ids](const auto& list) {
        for (const auto& account : list) {
            ids.push_back(account.account.id);
        }
    };
    switch (chain) {
    case Chain::bitcoin:
        collect(state.bitcoinAccounts());
        break;
    case Chain::ethereum:
    case Chain::arbitrum:
    case Chain::polygon:
        collect(state.evmAccounts(chain));
        break;
    case Chain::solana:
        collect(state.solanaAccounts());
        break;
    }
    return ids;
}

} // namespace

QString unknownFigureText() {
    return QStringLiteral("\u2014");
}

QString bitcoinBalanceText(std::uint64_t sats) {
    return nativeText(Chain::bitcoin, UInt256(0, 0, 0, sats));
}

QString solanaBalanceText(std::uint64_t lamports, std::size_t tokenCount) {
    return withTokenCount(nativeText(Chain::solana, UInt256(0, 0, 0, lamports)), tokenCount);
}

QString shownNativeBalance(const BTCAccountState& account) {
    return ifKnown(account.balanceLoad, bitcoinBalanceText(account.balanceSats));
}

QString shownNativeBalance(const EVMAccountState& account) {
    return ifKnown(account.balanceLoad, nativeText(account.account.chain, account.balanceWei));
}

QString shownNativeBalance(const SolanaAccountState& account) {
    return ifKnown(account.balanceLoad, solanaBalanceText(account.balanceLamports, 0));
}

QString evmBalanceText(const EVMAccountState& state) {
    return withTokenCount(shownNativeBalance(state), state.tokens.size());
}

std::vector<SidebarAccountItem> sidebarItems(const AppState& state, Chain chain) {
    std::vector<SidebarAccountItem> items;
    for (std::size_t i = 0;; ++i) {
        std::optional<SidebarAccountItem> item = sidebarItem(state, chain, i);
        if (!item) {
            return items;
        }
        items.push_back(std::move(*item));
    }
}

std::optional<SidebarAccountItem> sidebarItem(const AppState& state, Chain chain,
                                              std::size_t index) {
    switch (chain) {
    case Chain::bitcoin:
        if (index < state.bitcoinAccounts().size()) {
            const BTCAccountState& account = state.bitcoinAccounts()[index];
            return entry(account, chain, shownNativeBalance(account));
        }
        break;
    case Chain::ethereum:
    case Chain::arbitrum:
    case Chain::polygon:
        if (index < state.evmAccounts(chain).size()) {
            const EVMAccountState& account = state.evmAccounts(chain)[index];
            return entry(account, chain, evmBalanceText(account));
        }
        break;
    case Chain::solana:
        if (index < state.solanaAccounts().size()) {
            const SolanaAccountState& account = state.solanaAccounts()[index];
            return entry(account, chain,
                         withTokenCount(shownNativeBalance(account), account.tokens.size()));
        }
        break;
    }
    return std::nullopt;
}

std::optional<std::string> selectedAccountID(const AppState& state) {
    const std::vector<std::string> ids = accountIDs(state, state.selectedChain());
    const qint64 index = state.selectedAccountIndex();
    if (index < 0 || index >= static_cast<qint64>(ids.size())) {
        return std::nullopt;
    }
    return ids[static_cast<std::size_t>(index)];
}

void selectAccount(AppState& state, std::string_view id) {
    const std::optional<Chain> chain = chainFromAccountID(id);
    if (!chain) {
        return;
    }
    if (state.selectedChain() != *chain) {
        state.setSelectedChain(*chain);
    }
    const std::vector<std::string> ids = accountIDs(state, *chain);
    qint64 position = 0;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] == id) {
            position = static_cast<qint64>(i);
            break;
        }
    }
    if (state.selectedAccountIndex() != position) {
        state.setSelectedAccountIndex(position);
    }
}

} // namespace qm
