#include "ui/shell/SidebarAccountList.h"

#include "state/AppState.h"

#include <algorithm>

namespace qm {

SidebarAccountList::SidebarAccountList(AppState& state, Chain chain, QObject* parent)
    : QAbstractListModel(parent), m_state(&state), m_chain(chain),
      m_items(sidebarItems(state, chain)), m_selectedID(selectedAccountID(state)) {
    switch (chain) {
    case Chain::bitcoin:
        connect(&state, &AppState::bitcoinAccountsChanged, this, &SidebarAccountList::reloadList);
        break;
    case Chain::solana:
        connect(&state, &AppState::solanaAccountsChanged, this, &SidebarAccountList::reloadList);
        break;
    default:
        connect(&state, &AppState::evmAccountsChanged, this, [this](Chain written) {
            if (written == m_chain) {
                reloadList();
            }
        });
        break;
    }
    connect(&state, &AppState::accountChanged, this, [this](Chain changed, int index) {
        if (changed == m_chain) {
            reloadRow(index);
        }
    });
    connect(&state, &AppState::selectedChainChanged, this, &SidebarAccountList::updateSelection);
    connect(&state, &AppState::selectedAccountIndexChanged, this,
            &SidebarAccountList::updateSelection);
}

int SidebarAccountList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_items.size());
}

QVariant SidebarAccountList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= m_items.size()) {
        return {};
    }
    const SidebarAccountItem& item = m_items[static_cast<std::size_t>(index.row())];
    switch (role) {
    case AccountIdRole:
        return QString::fromStdString(item.id);
    case NameRole:
        return item.name;
    case BalanceRole:
        return item.balance;
    case AddressRole:
        return item.address;
    case ChainRole:
        return static_cast<int>(item.chain);
    case SelectedRole:
        return m_selectedID == item.id;
    default:
        return {};
    }
}

QHash<int, QByteArray> SidebarAccountList::roleNames() const {
    return {{AccountIdRole, "accountId"}, {NameRole, "name"},   {BalanceRole, "balance"},
            {AddressRole, "address"},     {ChainRole, "chain"}, {SelectedRole, "isSelected"}};
}

void SidebarAccountList::reloadList() {
    if (!m_state) {
        return;
    }
    std::vector<SidebarAccountItem> items = sidebarItems(*m_state, m_chain);
    const bool sameAccounts = std::equal(
        items.begin(), items.end(), m_items.begin(), m_items.end(),
        [](const SidebarAccountItem& a, const SidebarAccountItem& b) { return a.id == b.id; });
    if (!sameAccounts) {
        beginResetModel();
        m_items = std::move(items);
        m_selectedID = selectedAccountID(*m_state);
        endResetModel();
        return;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!(items[i] == m_items[i])) {
            m_items[i] = std::move(items[i]);
            const QModelIndex changed = index(static_cast<int>(i));
            emit dataChanged(changed, changed);
        }
    }
    updateSelection();
}

void SidebarAccountList::reloadRow(int row) {
    if (!m_state || row < 0) {
        return;
    }
    const auto position = static_cast<std::size_t>(row);
    std::optional<SidebarAccountItem> item = sidebarItem(*m_state, m_chain, position);
    if (!item || position >= m_items.size() || item->id != m_items[position].id) {
        reloadList(); // the rows no longer match the list: never show a stale account
        return;
    }
    if (*item == m_items[position]) {
        return;
    }
    m_items[position] = std::move(*item);
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {NameRole, BalanceRole, AddressRole});
}

void SidebarAccountList::updateSelection() {
    if (!m_state) {
        return;
    }
    std::optional<std::string> id = selectedAccountID(*m_state);
    if (id == m_selectedID) {
        return;
    }
    const int previous = rowOf(m_selectedID);
    m_selectedID = std::move(id);
    for (const int row : {previous, rowOf(m_selectedID)}) {
        if (row >= 0) {
            emit dataChanged(index(row), index(row), {SelectedRole});
        }
    }
}

int SidebarAccountList::rowOf(const std::optional<std::string>& id) const {
    if (!id) {
        return -1;
    }
    const auto found =
        std::find_if(m_items.begin(), m_items.end(),
                     [&id](const SidebarAccountItem& item) { return item.id == *id; });
    return found == m_items.end() ? -1 : static_cast<int>(found - m_items.begin());
}

} // namespace qm
