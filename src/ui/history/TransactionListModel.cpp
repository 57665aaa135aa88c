#include "ui/history/TransactionListModel.h"

#include "state/AppState.h"
#include "state/flows/AttemptLedger.h"
#include "ui/history/TransactionDetailModel.h"
#include "ui/history/TransactionTexts.h"
#include "ui/shell/WalletShell.h"

#include <utility>

namespace qm {

TransactionListModel::TransactionListModel(QObject* parent)
    : TransactionListModel(WalletShell::installedState(), parent) {}

TransactionListModel::TransactionListModel(AppState* state, QObject* parent)
    : KeyedListModel<Transaction>(parent), m_state(state) {
    if (!state) {
        return;
    }
    for (const auto signal :
         {&AppState::bitcoinAccountsChanged, &AppState::solanaAccountsChanged}) {
        connect(state, signal, this, &TransactionListModel::reload);
    }
    connect(state, &AppState::evmAccountsChanged, this, &TransactionListModel::reload);
    connect(&state->attemptLedger(), &AttemptLedger::changed, this, &TransactionListModel::reload);
    // Another chain's account changing cannot change this list.
    connect(state, &AppState::accountChanged, this, [this](Chain chain, int) {
        if (chainFromAccountID(m_accountID.toStdString()) == chain) {
            reload();
        }
    });
}

QVariant TransactionListModel::data(const QModelIndex& index, int role) const {
    const Transaction* entry = rowAt(index);
    if (!entry) {
        return {};
    }
    switch (role) {
    case EntryIdRole:
        return QString::fromStdString(entry->id);
    case TitleRole:
        return QString::fromStdString(entry->displayTitle());
    case CounterpartyRole:
        return counterpartyText(*entry);
    case HasTimestampRole:
        return entry->timestamp.has_value();
    case TimestampRole:
        return entry->timestamp ? entry->timestamp->unixTime() : 0.0;
    case AmountTextRole:
        return signedAmountText(*entry);
    case IsReceivedRole:
        return entry->direction == TransactionDirection::received;
    case TokenSymbolRole:
        return QString::fromStdString(entry->tokenSymbol.value_or(std::string()));
    case IsTokenRole:
        return entry->tokenSymbol.has_value();
    case StatusRole:
        return QString::fromStdString(rawValue(entry->status));
    case StatusTextRole:
        return statusText(*entry);
    default:
        return {};
    }
}

QHash<int, QByteArray> TransactionListModel::roleNames() const {
    return {{EntryIdRole, "entryId"},           {TitleRole, "title"},
            {CounterpartyRole, "counterparty"}, {HasTimestampRole, "hasTimestamp"},
            {TimestampRole, "timestamp"},       {AmountTextRole, "amountText"},
            {IsReceivedRole, "isReceived"},     {TokenSymbolRole, "tokenSymbol"},
            {IsTokenRole, "isToken"},           {StatusRole, "status"},
            {StatusTextRole, "statusText"}};
}

void TransactionListModel::setAccountId(const QString& id) {
    if (m_accountID != id) {
        m_accountID = id;
        emit filterChanged();
        reload();
    }
}

void TransactionListModel::setNativeOnly(bool nativeOnly) {
    if (m_nativeOnly != nativeOnly) {
        m_nativeOnly = nativeOnly;
        emit filterChanged();
        reload();
    }
}

void TransactionListModel::setTokenContract(const QString& contract) {
    if (m_tokenContract != contract) {
        m_tokenContract = contract;
        emit filterChanged();
        reload();
    }
}

void TransactionListModel::setActive(bool active) {
    if (m_active != active) {
        m_active = active;
        emit filterChanged();
        reload();
    }
}

TransactionDetailModel* TransactionListModel::detail(int row) const {
    const Transaction* entry = rowAt(index(row));
    return entry ? new TransactionDetailModel(*entry) : nullptr;
}

HistoryFilter TransactionListModel::filter() const {
    if (!m_tokenContract.isEmpty()) {
        return {HistoryFilter::Kind::token, m_tokenContract.toStdString()};
    }
    return {m_nativeOnly ? HistoryFilter::Kind::nativeOnly : HistoryFilter::Kind::all, {}};
}

void TransactionListModel::reload() {
    const int before = rowCount();
    std::vector<Transaction> listed;
    if (m_state && m_active) {
        listed = listedTransactions(*m_state, m_accountID.toStdString(), filter());
    }
    showRows(std::move(listed), [](const Transaction& t) { return t.id; });
    if (rowCount() != before) {
        emit countChanged();
    }
    const HistoryLoad load =
        m_state && m_active ? historyLoad(*m_state, m_accountID.toStdString()) : HistoryLoad{};
    const HistoryLoad was = std::exchange(m_load, load);
    if (load.failed != was.failed || load.incomplete != was.incomplete) {
        emit loadFailedChanged();
    }
    if (load.loading != was.loading) {
        emit loadingChanged();
    }
}

} // namespace qm
