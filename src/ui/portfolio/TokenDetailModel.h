#pragma once
// One token as one EVM account holds it, for the token screen: name, balance and dollar value
// from the account's balance record (found by contract address in any letter case), and the
// account whose history and address the screen shows. Follows every refresh.

#include "core/model/Account.h"
#include "core/model/Token.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

namespace qm {

class AppState;

// The balance record of `token` in the EVM account `accountID`; none for another chain's
// account, an unknown account or a token it does not hold.
const TokenBalance* tokenBalanceOf(const AppState& state, std::string_view accountID,
                                   const Token& token);
// "0 USDC" without a record or with a zero balance, else the list text of the exact balance
// with the token's own symbol ("999.5000 USDC"); the unknown mark ("—") for a balance never read.
QString tokenBalanceText(const TokenBalance* balance, const Token& token);
// The dollar value of the record: "< $0.01" under a cent, "$0.00" without a record or for a
// zero balance, the unknown mark for a balance held without a price or never read.
QString tokenFiatText(const TokenBalance* balance);

class TokenDetailModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The account screen's model opens a token")
    Q_PROPERTY(QString symbol READ symbol CONSTANT)
    Q_PROPERTY(QString name READ name CONSTANT)
    Q_PROPERTY(QString contractAddress READ contractAddress CONSTANT)
    // The token for the send sheet (see TokenVariant.h).
    Q_PROPERTY(QVariantMap token READ tokenVariant CONSTANT)
    Q_PROPERTY(QString accountId READ accountId NOTIFY accountChanged)
    Q_PROPERTY(int chain READ chain NOTIFY accountChanged)
    Q_PROPERTY(QString chainName READ chainName NOTIFY accountChanged) // the back button's label
    Q_PROPERTY(QString address READ address NOTIFY accountChanged)
    Q_PROPERTY(QString balanceText READ balanceText NOTIFY balanceChanged)
    Q_PROPERTY(QString fiatText READ fiatText NOTIFY balanceChanged)

public:
    TokenDetailModel(AppState* state, Token token, Account account, QObject* parent = nullptr);

    const Token& token() const { return m_token; }
    const Account& account() const { return m_account; }
    void setAccount(Account account);

    QString symbol() const;
    QString name() const;
    QString contractAddress() const;
    QVariantMap tokenVariant() const;
    QString accountId() const;
    int chain() const { return static_cast<int>(m_account.chain); }
    QString chainName() const;
    QString address() const;
    QString balanceText() const { return m_balanceText; }
    QString fiatText() const { return m_fiatText; }

signals:
    void accountChanged();
    void balanceChanged();

private:
    void reload();

    QPointer<AppState> m_state;
    Token m_token;
    Account m_account;
    QString m_balanceText;
    QString m_fiatText;
};

} // namespace qm
