#pragma once
// The account screen's state: the selected account (chain, address, native balance), which
// parts its chain shows, its token list, and the token whose screen replaces the account's.
// The screen stays while the sidebar switches accounts; a token screen stays open only while
// the selected account is on the token's chain.

#include "core/model/Account.h"
#include "state/EVMAccountState.h"
#include "ui/portfolio/AccountTokensModel.h"
#include "ui/portfolio/TokenDetailModel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <string_view>

namespace qm {

class AppState;

// The native balance of the header, from the account's state found by id in its chain's list:
// shownNativeBalance ("0.00150000 BTC", "1.500000 ETH", "2.5000 SOL"; unknownFigureText()
// while no server has answered for it); unknownFigureText() when no state has that id.
QString accountBalanceText(const AppState& state, const Account& account);
// Under the balance, when its last load ended without an answer: "Could not load the Bitcoin
// balance." (the chain's name); else empty.
QString accountBalanceNote(const AppState& state, const Account& account);
// "Could not load the Bitcoin balance." with `chain`'s name.
QString balanceLoadFailedText(Chain chain);
// The first state with the id `accountID` in the list of its chain (from the id's prefix);
// none for a Bitcoin or Solana id and when none matches.
const EVMAccountState* evmAccountState(const AppState& state, std::string_view accountID);

class AccountDetailModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool hasAccount READ hasAccount NOTIFY accountChanged)
    Q_PROPERTY(QString accountId READ accountId NOTIFY accountChanged)
    Q_PROPERTY(int chain READ chain NOTIFY accountChanged)
    Q_PROPERTY(QString address READ address NOTIFY accountChanged)
    Q_PROPERTY(bool isBitcoin READ isBitcoin NOTIFY accountChanged)
    // Ethereum, Arbitrum, Polygon: a token list, and a history of native transfers only.
    Q_PROPERTY(bool isEVM READ isEVM NOTIFY accountChanged)
    // Only Arbitrum shows the quick-swap chips.
    Q_PROPERTY(bool isArbitrum READ isArbitrum NOTIFY accountChanged)
    Q_PROPERTY(QString balanceText READ balanceText NOTIFY balanceTextChanged)
    Q_PROPERTY(QString balanceNote READ balanceNote NOTIFY balanceTextChanged)
    Q_PROPERTY(AccountTokensModel* tokens READ tokens CONSTANT)
    // The open token screen's model; null while the account's own content shows.
    Q_PROPERTY(TokenDetailModel* tokenDetail READ tokenDetail NOTIFY tokenDetailChanged)

public:
    // Over the window's installed state.
    explicit AccountDetailModel(QObject* parent = nullptr);
    AccountDetailModel(AppState* state, QObject* parent);

    const std::optional<Account>& account() const { return m_account; }
    bool hasAccount() const { return m_account.has_value(); }
    QString accountId() const;
    int chain() const;
    QString address() const;
    bool isBitcoin() const;
    bool isEVM() const;
    bool isArbitrum() const;
    QString balanceText() const { return m_balanceText; }
    QString balanceNote() const { return m_balanceNote; }
    AccountTokensModel* tokens() const { return m_tokens; }
    TokenDetailModel* tokenDetail() const { return m_tokenDetail; }

    // Opens the token screen for the token of the row; nothing past the end.
    Q_INVOKABLE void selectToken(int row);
    // The token screen's back action.
    Q_INVOKABLE void closeTokenDetail();

signals:
    void accountChanged();
    void balanceTextChanged();
    void tokenDetailChanged();

private:
    void followSelection();
    void reloadBalance();

    QPointer<AppState> m_state;
    std::optional<Account> m_account;
    QString m_balanceText;
    QString m_balanceNote;
    AccountTokensModel* m_tokens;
    TokenDetailModel* m_tokenDetail = nullptr;
    Chain m_tokenChain = Chain::ethereum; // the chain of the account it was opened from
};

} // namespace qm
