#pragma once
// The portfolio screen's list model: the total, the asset count and the rows of the asset
// list, fed from the window's state. A refresh that changes one balance changes the rows that
// show it (its row, its chain's header); only a change of which rows exist resets the list.

#include "ui/portfolio/PortfolioRows.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <vector>

namespace qm {

class AppState;

class PortfolioModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double totalUSD READ totalUSD NOTIFY totalsChanged)
    // The total's dollars: what it can value (known balances, at known prices); the unknown
    // mark while it can value nothing held (known zeros value nothing) and something is left
    // out.
    Q_PROPERTY(QString totalText READ totalText NOTIFY totalsChanged)
    // Under the total, when it leaves out balances not known: "Some balances could not be
    // loaded." once one of them failed to load, else "Some balances are still loading."; then,
    // when it leaves out holdings for want of a price, "Some prices could not be loaded." or
    // "Some prices are still loading." in the same way. Empty when it leaves out nothing.
    Q_PROPERTY(QString totalNote READ totalNote NOTIFY totalsChanged)
    Q_PROPERTY(int assetCount READ assetCount NOTIFY totalsChanged)

public:
    enum Role {
        KindRole = Qt::UserRole + 1, // "kind": "header", "account" or "token"
        ChainRole,                   // "chain": 0 to 4
        KeyRole,                     // "key"
        NameRole,                    // "name"
        SymbolRole,                  // "symbol"
        BalanceRole,                 // "balance"
        FiatRole,                    // "fiat"
    };
    Q_ENUM(Role)

    // Over the window's installed state (none: an empty list).
    explicit PortfolioModel(QObject* parent = nullptr);
    PortfolioModel(AppState* state, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    double totalUSD() const { return m_totalUSD; }
    QString totalText() const;
    QString totalNote() const;
    int assetCount() const { return m_assetCount; }

    // Send and Receive of the overview: selects the first account in chain order, whose screen
    // holds its send and receive actions. Nothing without any account.
    Q_INVOKABLE void openFirstAccount();

signals:
    void totalsChanged();

private:
    // Rebuilds the rows from the state (or one chain's) and reports only what differs.
    void reload();
    void reloadChain(Chain chain);
    // Puts `rows` in place of the `count` rows from `first`: the changed roles of each when
    // the keys are the same, else the whole list anew.
    void replaceRows(std::size_t first, std::size_t count, std::vector<PortfolioRow> rows);

    QPointer<AppState> m_state;
    std::vector<PortfolioRow> m_rows;
    double m_totalUSD = 0;
    PortfolioBalances m_balances;
    int m_assetCount = 0;
};

} // namespace qm
