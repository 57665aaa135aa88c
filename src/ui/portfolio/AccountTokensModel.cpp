#include "ui/portfolio/AccountTokensModel.h"

#include "state/AmountFormatting.h"
#include "state/AppState.h"
#include "ui/portfolio/AccountDetailModel.h"

#include <algorithm>

namespace qm {
AccountTokensModel::AccountTokensModel(AppState* state, QObject* parent)
    : KeyedListModel<TokenBalance>(parent), m_state(state) {
    if (!state) {
        return;
    }
    connect(state, &AppState::evmAccountsChanged, this, &AccountTokensModel::reload);
    connect(state, &AppState::accountChanged, this, [this](Chain chain, int) {
        if (chainFromAccountID(m_accountID) == chain) {
            reload();
        }
    });
}

QVariant AccountTokensModel::data(const QModelIndex& index, int role) const {
    const TokenBalance* balance = rowAt(index);
    if (!balance) {
        return {};
    }
    switch (role) {
    case TokenIdRole:
        return QString::fromStdString(balance->id());
    case NameRole:
        return QString::fromStdString(balance->token.name);
    case SymbolRole:
        return QString::fromStdString(balance->token.symbol);
    case BalanceFormattedRole:
        return balance->balanceFormatted;
    case PriceUSDRole:
        return balance->priceUSD ? QVariant(*balance->priceUSD) : QVariant::fromValue(nullptr);
    case BaseUnitsRole:
        return QString::fromStdString(tokenBalanceAmount(*balance).value.decimalString());
    case DecimalsRole:
        return tokenBalanceAmount(*balance).decimals;
    case BalanceKnownRole:
        return balance->balanceKnown;
    default:
        return {};
    }
}

QHash<int, QByteArray> AccountTokensModel::roleNames() const {
    return {{TokenIdRole, "tokenId"},   {NameRole, "name"},
            {SymbolRole, "symbol"},     {BalanceFormattedRole, "balanceFormatted"},
            {PriceUSDRole, "priceUSD"}, {BaseUnitsRole, "baseUnits"},
            {DecimalsRole, "decimals"}, {BalanceKnownRole, "balanceKnown"}};
}

void AccountTokensModel::setAccountID(const std::string& id) {
    if (m_accountID != id) {
        m_accountID = id;
        reload();
    }
}

std::optional<Token> AccountTokensModel::tokenAt(int row) const {
    const TokenBalance* balance = rowAt(index(row));
    return balance ? std::optional<Token>(balance->token) : std::nullopt;
}

void AccountTokensModel::reload() {
    const int before = rowCount();
    std::vector<TokenBalance> balances;
    bool failed = false;
    bool loading = false;
    if (m_state) {
        if (const EVMAccountState* account = evmAccountState(*m_state, m_accountID)) {
            balances = account->tokens;
            // One balance the last refresh could not read is a failed load of the list.
            failed = account->tokensLoadFailed ||
                     std::any_of(balances.begin(), balances.end(),
                                 [](const TokenBalance& b) { return b.balanceLoadFailed; });
            loading = account->tokensLoading;
        }
    }
    showRows(std::move(balances), [](const TokenBalance& b) { return b.id(); });
    if (rowCount() != before) {
        emit countChanged();
    }
    if (failed != m_loadFailed) {
        m_loadFailed = failed;
        emit loadFailedChanged();
    }
    if (loading != m_loading) {
        m_loading = loading;
        emit loadingChanged();
    }
}

} // namespace qm
