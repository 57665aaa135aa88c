#include "ui/portfolio/BTCAddressListModel.h"

#include "core/model/Amount.h"
#include "state/AppState.h"
#include "ui/shell/SidebarItems.h"
#include "ui/shell/WalletShell.h"

#include <algorithm>
#include <limits>

namespace qm {
namespace {

// Identity of a row across refreshes and renumbering: the derivation index stays with the
// address.
bool sameAddress(const BTCAddressInfo& a, const BTCAddressInfo& b) {
    return a.derivationIndex == b.derivationIndex && a.address == b.address;
}

QString failureText(AddressChangeResult result, bool adding) {
    if (result == AddressChangeResult::keyringLocked) {
        return adding ? QStringLiteral("The keyring is locked: the new address was not added. "
                                       "Unlock it and try again.")
                      : QStringLiteral("The keyring is locked: the address was not removed. "
                                       "Unlock it and try again.");
    }
    return adding ? QStringLiteral("The new address could not be stored, so it was not added. "
                                   "Try again.")
                  : QStringLiteral("The wallet record could not be stored, so the address was "
                                   "not removed. Try again.");
}

} // namespace

QString addressBalanceText(std::uint64_t sats) {
    if (sats >= 100'000) { // 0.001 BTC
        return QString::fromStdString(Amount{UInt256(0, 0, 0, sats), 8}.fixedText(8));
    }
    return QString::number(sats) + QStringLiteral(" sat");
}

BTCAddressListModel::BTCAddressListModel(QObject* parent)
    : BTCAddressListModel(WalletShell::installedState(), parent) {}

BTCAddressListModel::BTCAddressListModel(AppState* state, QObject* parent)
    : QAbstractListModel(parent), m_state(state) {
    if (!state) {
        return;
    }
    connect(state, &AppState::bitcoinAccountsChanged, this, &BTCAddressListModel::reload);
    // Another account: an earlier failure was about the one before.
    connect(state, &AppState::selectedAccountIndexChanged, this, [this] {
        setErrorText({});
        reload();
    });
    connect(state, &AppState::selectedChainChanged, this, [this] { setErrorText({}); });
    connect(state, &AppState::accountChanged, this, [this](Chain chain, int) {
        if (chain == Chain::bitcoin) {
            reload();
        }
    });
    if (const auto* addresses = selectedAddresses()) {
        m_hasAccount = true;
        m_rows = *addresses;
    }
}

const std::vector<BTCAddressInfo>* BTCAddressListModel::selectedAddresses() const {
    if (!m_state) {
        return nullptr;
    }
    const auto& accounts = m_state->bitcoinAccounts();
    const qint64 index = m_state->selectedAccountIndex();
    if (index < 0 || static_cast<std::uint64_t>(index) >= accounts.size()) {
        return nullptr;
    }
    return &accounts[static_cast<std::size_t>(index)].addresses;
}

int BTCAddressListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant BTCAddressListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= m_rows.size()) {
        return {};
    }
    const BTCAddressInfo& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case AddressIdRole:
        return static_cast<qint64>(row.id);
    case KindRole:
        return QString::fromStdString(rawValue(row.type));
    case AddressRole:
        return QString::fromStdString(row.address);
    case HasBalanceRole:
        return row.balanceSats != 0;
    // Before a server has answered for the address, its zeros are not known.
    case BalanceRole:
        return !row.fetched           ? unknownFigureText()
               : row.balanceSats == 0 ? QStringLiteral("0")
                                      : addressBalanceText(row.balanceSats);
    case TxCountRole:
        return row.fetched ? QVariant(static_cast<qint64>(row.txCount))
                           : QVariant(unknownFigureText());
    case CanDeleteRole:
        return canDeleteAddress(row);
    case DerivationIndexRole:
        return static_cast<qint64>(row.derivationIndex);
    default:
        return {};
    }
}

QHash<int, QByteArray> BTCAddressListModel::roleNames() const {
    return {{AddressIdRole, "addressId"}, {KindRole, "kind"},
            {AddressRole, "address"},     {HasBalanceRole, "hasBalance"},
            {BalanceRole, "balance"},     {TxCountRole, "txCount"},
            {CanDeleteRole, "canDelete"}, {DerivationIndexRole, "derivationIndex"}};
}

QString BTCAddressListModel::countText() const {
    return QString::number(m_rows.size()) + QStringLiteral(" indirizzi");
}

void BTCAddressListModel::generate() {
    if (m_state) {
        report(m_state->generateBTCAddress(), Change::add);
    }
}

void BTCAddressListModel::remove(qint64 derivationIndex) {
    if (m_state && derivationIndex >= 0 &&
        derivationIndex <= std::numeric_limits<std::uint32_t>::max()) {
        report(m_state->deleteBTCAddress(static_cast<std::uint32_t>(derivationIndex)),
               Change::remove);
    }
}

QCoro::Task<void> BTCAddressListModel::report(QCoro::Task<AddressChangeResult> change,
                                              Change kind) {
    const QPointer<BTCAddressListModel> self(this);
    const AddressChangeResult result = co_await std::move(change);
    if (!self) {
        co_return;
    }
    switch (result) {
    case AddressChangeResult::changed:
        setErrorText({});
        break;
    case AddressChangeResult::unchanged:
        break;
    case AddressChangeResult::keyringLocked:
    case AddressChangeResult::failed:
        setErrorText(failureText(result, kind == Change::add));
        break;
    }
}

void BTCAddressListModel::setErrorText(const QString& text) {
    if (m_errorText != text) {
        m_errorText = text;
        emit errorTextChanged();
    }
}

void BTCAddressListModel::reload() {
    const std::vector<BTCAddressInfo>* addresses = selectedAddresses();
    const std::vector<BTCAddressInfo> rows = addresses ? *addresses : std::vector<BTCAddressInfo>{};
    const bool hadAccount = m_hasAccount;
    const std::size_t oldCount = m_rows.size();
    m_hasAccount = addresses != nullptr;
    if (!m_hasAccount) {
        setErrorText({}); // locked, or no account selected: no change of this list is pending
    }

    // Positions where old and new rows stop matching from the front and from the back.
    std::size_t head = 0;
    while (head < rows.size() && head < m_rows.size() && sameAddress(rows[head], m_rows[head])) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < rows.size() - head && tail < m_rows.size() - head &&
           sameAddress(rows[rows.size() - 1 - tail], m_rows[m_rows.size() - 1 - tail])) {
        ++tail;
    }
    const std::size_t removed = m_rows.size() - head - tail;
    const std::size_t inserted = rows.size() - head - tail;
    if (removed > 0 && inserted > 0) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
    } else {
        if (removed > 0) {
            beginRemoveRows({}, static_cast<int>(head), static_cast<int>(head + removed - 1));
            m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(head),
                         m_rows.begin() + static_cast<std::ptrdiff_t>(head + removed));
            endRemoveRows();
        }
        if (inserted > 0) {
            beginInsertRows({}, static_cast<int>(head), static_cast<int>(head + inserted - 1));
            m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(head),
                          rows.begin() + static_cast<std::ptrdiff_t>(head),
                          rows.begin() + static_cast<std::ptrdiff_t>(head + inserted));
            endInsertRows();
        }
        // What is left matches address for address: report the rows whose fields changed
        // (a refreshed balance, a renumbered id).
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!(rows[i] == m_rows[i])) {
                m_rows[i] = rows[i];
                emit dataChanged(index(static_cast<int>(i)), index(static_cast<int>(i)));
            }
        }
    }
    if (hadAccount != m_hasAccount || oldCount != m_rows.size()) {
        emit countTextChanged();
    }
}

} // namespace qm
