#pragma once
// The Bitcoin address list of the selected Bitcoin account as a list model: one row per
// address in stored order, with the texts of its cells and whether its trash button may
// appear (the state's own deletion rule). A refresh changes the rows whose address changed;
// a new address is inserted and a deleted one removed, the other rows staying. An address
// change that could not be stored says so until the next stored change or another account.

#include "state/BTCAddressDeletion.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <cstdint>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace qm {

class AppState;
enum class AddressChangeResult;

// The balance cell of a non-zero balance: "%.8f" of the bitcoins from 0.001 up, else the
// satoshis and " sat".
QString addressBalanceText(std::uint64_t sats);

class BTCAddressListModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool hasAccount READ hasAccount NOTIFY countTextChanged)
    Q_PROPERTY(QString countText READ countText NOTIFY countTextChanged) // "2 indirizzi"
    // Why the last address change asked for was not stored; empty when nothing failed.
    Q_PROPERTY(QString errorText READ errorText NOTIFY errorTextChanged)

public:
    enum Role {
        AddressIdRole = Qt::UserRole + 1, // "addressId": the position in the list
        KindRole,                         // "kind": "Ricezione" or "Resto"
        AddressRole,                      // "address"
        HasBalanceRole,                   // "hasBalance"
        BalanceRole,                      // "balance": "0" for none
        TxCountRole,                      // "txCount"
        CanDeleteRole,                    // "canDelete"
        DerivationIndexRole,              // "derivationIndex": what a deletion takes
    };
    Q_ENUM(Role)

    explicit BTCAddressListModel(QObject* parent = nullptr);
    BTCAddressListModel(AppState* state, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    bool hasAccount() const { return m_hasAccount; }
    QString countText() const;
    const QString& errorText() const { return m_errorText; }

    // "Nuovo": a further receive address, appended by the state.
    Q_INVOKABLE void generate();
    // The trash button of the address derived at `derivationIndex` (never a position: one
    // deletion still waiting shifts the positions of the rows after it). The state refuses
    // what its rule forbids; an index outside 0 to 2^32 - 1 changes nothing.
    Q_INVOKABLE void remove(qint64 derivationIndex);

signals:
    void countTextChanged();
    void errorTextChanged();

private:
    enum class Change { add, remove };
    // Shows how the change ended: a failure's text, or none once a change was stored.
    QCoro::Task<void> report(QCoro::Task<AddressChangeResult> change, Change kind);
    void setErrorText(const QString& text);
    void reload();
    // The selected Bitcoin account's addresses; none when the index is past the list.
    const std::vector<BTCAddressInfo>* selectedAddresses() const;

    QPointer<AppState> m_state;
    bool m_hasAccount = false;
    std::vector<BTCAddressInfo> m_rows;
    QString m_errorText;
};

} // namespace qm
