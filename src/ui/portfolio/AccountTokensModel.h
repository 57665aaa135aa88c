#pragma once
// The token holdings of one EVM account, as the account screen lists them: one row per
// balance record in the state's order, with the numbers its token row formats.

#include "core/model/Token.h"
#include "ui/history/KeyedListModel.h"

#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace qm {

class AppState;

class AccountTokensModel : public KeyedListModel<TokenBalance> {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The account screen's model holds its token list")
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // The last refresh could not load the balances, or one of them: those rows are the last
    // known ones, or unknown.
    Q_PROPERTY(bool loadFailed READ loadFailed NOTIFY loadFailedChanged)
    // No load of the balances has ended yet: no rows means "not known yet".
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)

public:
    enum Role {
        TokenIdRole = Qt::UserRole + 1, // "tokenId": the contract address
        NameRole,                       // "name"
        SymbolRole,                     // "symbol"
        BalanceFormattedRole,           // "balanceFormatted": whole tokens, for the dollar value
        PriceUSDRole,                   // "priceUSD": dollars per token, null when unpriced
        BaseUnitsRole,                  // "baseUnits": the exact balance, decimal digits
        DecimalsRole,                   // "decimals": the token's, within 0 ... 255
        BalanceKnownRole,               // "balanceKnown": false while no balance was ever read
    };
    Q_ENUM(Role)

    AccountTokensModel(AppState* state, QObject* parent);

    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    int count() const { return rowCount(); }
    bool loadFailed() const { return m_loadFailed; }
    bool loading() const { return m_loading; }

    // Follows the account `id` (empty: no account, no rows).
    void setAccountID(const std::string& id);
    // The token of the row; none past the end.
    std::optional<Token> tokenAt(int row) const;

signals:
    void countChanged();
    void loadFailedChanged();
    void loadingChanged();

private:
    void reload();

    QPointer<AppState> m_state;
    std::string m_accountID;
    bool m_loadFailed = false;
    bool m_loading = false;
};

} // namespace qm
