#pragma once
// One account's history as a list model: the entries of the account `accountId` that the
// filter keeps, newest first as the state holds them, one row each with the texts of its
// row. A refresh inserts, removes or moves rows by entry id and reports changed rows alone.

#include "core/model/Transaction.h"
#include "ui/history/HistoryFilter.h"
#include "ui/history/KeyedListModel.h"
#include "ui/history/TransactionDetailModel.h"

#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace qm {

class AppState;

class TransactionListModel : public KeyedListModel<Transaction> {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString accountId READ accountId WRITE setAccountId NOTIFY filterChanged)
    // Only entries that name no token (the EVM account screens).
    Q_PROPERTY(bool nativeOnly READ nativeOnly WRITE setNativeOnly NOTIFY filterChanged)
    // When not empty: only the transfers of this token contract (any letter case).
    Q_PROPERTY(QString tokenContract READ tokenContract WRITE setTokenContract NOTIFY filterChanged)
    // While false the list is empty (the Bitcoin address tab shows no history).
    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY filterChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // The last refresh could not load the account's history: the rows are the last known ones.
    Q_PROPERTY(bool loadFailed READ loadFailed NOTIFY loadFailedChanged)
    // The last refresh loaded the newest entries of the history but not the older ones.
    Q_PROPERTY(bool loadIncomplete READ loadIncomplete NOTIFY loadFailedChanged)
    // No load of the account's history has ended yet: no rows means "not known yet".
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)

public:
    enum Role {
        EntryIdRole = Qt::UserRole + 1, // "entryId"
        TitleRole,                      // "title": "Sent USDC"
        CounterpartyRole,               // "counterparty": "0x1234...abcd"
        HasTimestampRole,               // "hasTimestamp"
        TimestampRole,                  // "timestamp": seconds since 1970, 0 without one
        AmountTextRole,                 // "amountText": "+0.5 ETH"
        IsReceivedRole,                 // "isReceived"
        TokenSymbolRole,                // "tokenSymbol": empty for a native entry
        IsTokenRole,                    // "isToken": the entry has a token symbol
        StatusRole,                     // "status": "pending", "confirmed", "failed"
        StatusTextRole,                 // "statusText": "0/6 conf", "Confirmed"
    };
    Q_ENUM(Role)

    // Over the window's installed state (none: always empty).
    explicit TransactionListModel(QObject* parent = nullptr);
    TransactionListModel(AppState* state, QObject* parent);

    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    QString accountId() const { return m_accountID; }
    void setAccountId(const QString& id);
    bool nativeOnly() const { return m_nativeOnly; }
    void setNativeOnly(bool nativeOnly);
    QString tokenContract() const { return m_tokenContract; }
    void setTokenContract(const QString& contract);
    bool active() const { return m_active; }
    void setActive(bool active);
    int count() const { return rowCount(); }
    bool loadFailed() const { return m_load.failed; }
    bool loadIncomplete() const { return m_load.incomplete; }
    bool loading() const { return m_load.loading; }

    // A copy of the entry at `row` for the detail sheet (the caller owns it); none past the end.
    Q_INVOKABLE qm::TransactionDetailModel* detail(int row) const;

signals:
    void filterChanged();
    void countChanged();
    void loadFailedChanged();
    void loadingChanged();

private:
    void reload();
    HistoryFilter filter() const;

    QPointer<AppState> m_state;
    QString m_accountID;
    bool m_nativeOnly = false;
    QString m_tokenContract;
    bool m_active = true;
    HistoryLoad m_load;
};

} // namespace qm
