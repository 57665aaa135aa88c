#include "ui/portfolio/TokenDetailModel.h"

#include "core/encoding/AsciiCase.h"
#include "state/AmountFormatting.h"
#include "state/AppState.h"
#include "ui/portfolio/AccountDetailModel.h"
#include "ui/portfolio/FiatText.h"
#include "ui/portfolio/TokenVariant.h"
#include "ui/shell/SidebarItems.h"

#include <algorithm>

namespace qm {
namespace {} // namespace

const TokenBalance* tokenBalanceOf(const AppState& state, std::string_view accountID,
                                   const Token& token) {
    const EVMAccountState* account = evmAccountState(state, accountID);
    if (!account) {
        return nullptr;
    }
    const auto found =
        std::find_if(account->tokens.begin(), account->tokens.end(), [&](const TokenBalance& b) {
            return equalIgnoringASCIICase(b.token.contractAddress, token.contractAddress);
        });
    return found == account->tokens.end() ? nullptr : &*found;
}

QString tokenBalanceText(const TokenBalance* balance, const Token& token) {
    if (balance && !balance->balanceKnown) {
        return unknownFigureText();
    }
    const Amount amount = balance ? tokenBalanceAmount(*balance) : Amount{};
    return QString::fromStdString(amount.exactAmountText(token.symbol));
}

QString tokenFiatText(const TokenBalance* balance) {
    if (!balance) {
        return formatTokenUSD(0);
    }
    return tokenValueText(holdingValueUSD(*balance));
}

TokenDetailModel::TokenDetailModel(AppState* state, Token token, Account account, QObject* parent)
    : QObject(parent), m_state(state), m_token(std::move(token)), m_account(std::move(account)) {
    if (state) {
        connect(state, &AppState::evmAccountsChanged, this, &TokenDetailModel::reload);
        connect(state, &AppState::accountChanged, this, [this](Chain chain, int) {
            if (chain == m_account.chain) {
                reload();
            }
        });
    }
    reload();
}

void TokenDetailModel::setAccount(Account account) {
    if (account == m_account) {
        return;
    }
    m_account = std::move(account);
    emit accountChanged();
    reload();
}

QString TokenDetailModel::symbol() const {
    return QString::fromStdString(m_token.symbol);
}

QString TokenDetailModel::name() const {
    return QString::fromStdString(m_token.name);
}

QString TokenDetailModel::contractAddress() const {
    return QString::fromStdString(m_token.contractAddress);
}

QVariantMap TokenDetailModel::tokenVariant() const {
    return tokenToVariant(m_token);
}

QString TokenDetailModel::accountId() const {
    return QString::fromStdString(m_account.id);
}

QString TokenDetailModel::chainName() const {
    return QString::fromStdString(displayName(m_account.chain));
}

QString TokenDetailModel::address() const {
    return QString::fromStdString(m_account.address);
}

void TokenDetailModel::reload() {
    const TokenBalance* balance =
        m_state ? tokenBalanceOf(*m_state, m_account.id, m_token) : nullptr;
    QString balanceText = tokenBalanceText(balance, m_token);
    QString fiatText = tokenFiatText(balance);
    if (balanceText != m_balanceText || fiatText != m_fiatText) {
        m_balanceText = std::move(balanceText);
        m_fiatText = std::move(fiatText);
        emit balanceChanged();
    }
}

} // namespace qm
