#include "ui/portfolio/AccountDetailModel.h"

#include "state/AmountFormatting.h"
#include "state/AppState.h"
#include "ui/shell/SidebarItems.h"
#include "ui/shell/WalletShell.h"

#include <algorithm>

namespace qm {
namespace {

template <typename State>
const State* stateWithID(const std::vector<State>& states, std::string_view id) {
    const auto found =
        std::find_if(states.begin(), states.end(), [&](const State& s) { return s.id() == id; });
    return found == states.end() ? nullptr : &*found;
}

// An account's native balance as its screen shows it, and whether its last load failed.
struct NativeBalance {
    QString text;
    bool failed = false;
};

template <typename State> NativeBalance nativeBalanceOf(const State& found) {
    return {shownNativeBalance(found), found.balanceLoad.failed};
}

// From the account's state found by id in its chain's list; none when no state has that id.
std::optional<NativeBalance> nativeBalance(const AppState& state, const Account& account) {
    switch (account.chain) {
    case Chain::bitcoin:
        if (const auto* found = stateWithID(state.bitcoinAccounts(), account.id)) {
            return nativeBalanceOf(*found);
        }
        return std::nullopt;
    case Chain::solana:
        if (const auto* found = stateWithID(state.solanaAccounts(), account.id)) {
            return nativeBalanceOf(*found);
        }
        return std::nullopt;
    default:
        if (const auto* found = stateWithID(state.evmAccounts(account.chain), account.id)) {
            return nativeBalanceOf(*found);
        }
        return std::nullopt;
    }
}

} // namespace

QString accountBalanceText(const AppState& state, const Account& account) {
    const std::optional<NativeBalance> balance = nativeBalance(state, account);
    return balance ? balance->text : unknownFigureText();
}

QString accountBalanceNote(const AppState& state, const Account& account) {
    const std::optional<NativeBalance> balance = nativeBalance(state, account);
    if (!balance || !balance->failed) {
        return {};
    }
    return balanceLoadFailedText(account.chain);
}

QString balanceLoadFailedText(Chain chain) {
    return QStringLiteral("Could not load the %1 balance.")
        .arg(QString::fromStdString(displayName(chain)));
}

const EVMAccountState* evmAccountState(const AppState& state, std::string_view accountID) {
    const std::optional<Chain> chain = chainFromAccountID(accountID);
    if (!chain || !isEVMChain(*chain)) {
        return nullptr;
    }
    return stateWithID(state.evmAccounts(*chain), accountID);
}

AccountDetailModel::AccountDetailModel(QObject* parent)
    : AccountDetailModel(WalletShell::installedState(), parent) {}

AccountDetailModel::AccountDetailModel(AppState* state, QObject* parent)
    : QObject(parent), m_state(state), m_tokens(new AccountTokensModel(state, this)) {
    if (state) {
        for (const auto signal :
             {&AppState::bitcoinAccountsChanged, &AppState::solanaAccountsChanged,
              &AppState::selectedChainChanged, &AppState::selectedAccountIndexChanged}) {
            connect(state, signal, this, &AccountDetailModel::followSelection);
        }
        connect(state, &AppState::evmAccountsChanged, this, &AccountDetailModel::followSelection);
        connect(state, &AppState::accountChanged, this, &AccountDetailModel::reloadBalance);
    }
    followSelection();
}

QString AccountDetailModel::accountId() const {
    return m_account ? QString::fromStdString(m_account->id) : QString();
}

int AccountDetailModel::chain() const {
    return m_account ? static_cast<int>(m_account->chain) : 0;
}

QString AccountDetailModel::address() const {
    return m_account ? QString::fromStdString(m_account->address) : QString();
}

bool AccountDetailModel::isBitcoin() const {
    return m_account && m_account->chain == Chain::bitcoin;
}

bool AccountDetailModel::isEVM() const {
    return m_account && isEVMChain(m_account->chain);
}

bool AccountDetailModel::isArbitrum() const {
    return m_account && m_account->chain == Chain::arbitrum;
}

void AccountDetailModel::selectToken(int row) {
    const std::optional<Token> token = m_tokens->tokenAt(row);
    if (!token || !m_account) {
        return;
    }
    closeTokenDetail();
    m_tokenChain = m_account->chain;
    m_tokenDetail = new TokenDetailModel(m_state, *token, *m_account, this);
    emit tokenDetailChanged();
}

void AccountDetailModel::closeTokenDetail() {
    if (!m_tokenDetail) {
        return;
    }
    TokenDetailModel* closed = m_tokenDetail;
    m_tokenDetail = nullptr;
    emit tokenDetailChanged();
    // The screen may still be reading it in this turn.
    closed->deleteLater();
}

void AccountDetailModel::followSelection() {
    std::optional<Account> account = m_state ? m_state->selectedAccount() : std::nullopt;
    if (account != m_account) {
        m_account = std::move(account);
        m_tokens->setAccountID(m_account ? m_account->id : std::string());
        emit accountChanged();
    }
    // A token is only ever shown as held by an account of its own chain: another chain's
    // account would show it as held there, and its Send would start on the wrong chain.
    if (m_tokenDetail) {
        if (!m_account || m_account->chain != m_tokenChain) {
            closeTokenDetail();
        } else {
            m_tokenDetail->setAccount(*m_account);
        }
    }
    reloadBalance();
}

void AccountDetailModel::reloadBalance() {
    QString text = m_state && m_account ? accountBalanceText(*m_state, *m_account) : QString();
    QString note = m_state && m_account ? accountBalanceNote(*m_state, *m_account) : QString();
    if (text != m_balanceText || note != m_balanceNote) {
        m_balanceText = std::move(text);
        m_balanceNote = std::move(note);
        emit balanceTextChanged();
    }
}

} // namespace qm
