#pragma once
// One chain's section of the sidebar as a list model: a row per account in list order, with
// its texts and whether it is the selected one. A change of one account (a refreshed balance)
// updates its row alone; only a list of other accounts (derivation, lock) resets the model.

#include "core/model/Chain.h"
#include "ui/shell/SidebarItems.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <string>
#include <vector>

namespace qm {

class AppState;

class SidebarAccountList : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The sidebar provides it")

public:
    enum Role {
        AccountIdRole = Qt::UserRole + 1, // "accountId": the account id, e.g. "eth-0"
        NameRole,                         // "name": "Ethereum #0"
        BalanceRole,                      // "balance"
        AddressRole,                      // "address": shortened
        ChainRole,                        // "chain": 0 to 4
        SelectedRole,                     // "isSelected"
    };
    Q_ENUM(Role)

    SidebarAccountList(AppState& state, Chain chain, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    // The chain's list was written: rows whose account stayed in place change alone.
    void reloadList();
    // The account at `row` changed in place.
    void reloadRow(int row);
    // Marks the rows of the old and the new selection.
    void updateSelection();
    // The row of the account `id`; -1 when none.
    int rowOf(const std::optional<std::string>& id) const;

    QPointer<AppState> m_state;
    Chain m_chain;
    std::vector<SidebarAccountItem> m_items;
    std::optional<std::string> m_selectedID;
};

} // namespace qm
