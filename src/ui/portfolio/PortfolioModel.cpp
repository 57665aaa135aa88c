#include "ui/portfolio/PortfolioModel.h"

#include "state/AppState.h"
#include "ui/portfolio/FiatText.h"
#include "ui/shell/WalletShell.h"

#include <algorithm>

namespace qm {

PortfolioModel::PortfolioModel(QObject* parent)
    : PortfolioModel(WalletShell::installedState(), parent) {}

PortfolioModel::PortfolioModel(AppState* state, QObject* parent)
    : QAbstractListModel(parent), m_state(state) {
    if (!state) {
        return;
    }
    for (const auto signal : {&AppState::bitcoinAccountsChanged, &AppState::solanaAccountsChanged,
                              &AppState::btcPriceUSDChanged, &AppState::ethPriceUSDChanged,
                              &AppState::solPriceUSDChanged, &AppState::chainPricesChanged}) {
        connect(state, signal, this, &PortfolioModel::reload);
    }
    connect(state, &AppState::evmAccountsChanged, this, &PortfolioModel::reload);
    connect(state, &AppState::accountChanged, this, &PortfolioModel::reload);
    m_rows = portfolioRows(*state);
    m_totalUSD = portfolioTotalUSD(*state);
    m_assetCount = portfolioAssetCount(*state);
}

int PortfolioModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant PortfolioModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= m_rows.size()) {
        return {};
    }
    const PortfolioRow& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case KindRole:
        switch (row.kind) {
        case PortfolioRow::Kind::chainHeader:
            return QStringLiteral("header");
        case PortfolioRow::Kind::account:
            return QStringLiteral("account");
        case PortfolioRow::Kind::token:
            return QStringLiteral("token");
        }
        return {};
    case ChainRole:
        return static_cast<int>(row.chain);
    case KeyRole:
        return QString::fromStdString(row.key);
    case NameRole:
        return row.name;
    case SymbolRole:
        return row.symbol;
    case BalanceRole:
        return row.balance;
    case FiatRole:
        return row.fiat;
    default:
        return {};
    }
}

QHash<int, QByteArray> PortfolioModel::roleNames() const {
    return {{KindRole, "kind"},     {ChainRole, "chain"},     {KeyRole, "key"},  {NameRole, "name"},
            {SymbolRole, "symbol"}, {BalanceRole, "balance"}, {FiatRole, "fiat"}};
}

QString PortfolioModel::totalText() const {
    return formatUSD(m_totalUSD);
}

void PortfolioModel::openFirstAccount() {
    if (!m_state) {
        return;
    }
    for (const PortfolioRow& row : m_rows) {
        if (row.kind == PortfolioRow::Kind::account) {
            m_state->setSelectedChain(row.chain);
            m_state->setSelectedAccountIndex(0);
            return;
        }
    }
}

void PortfolioModel::reload() {
    if (!m_state) {
        return;
    }
    std::vector<PortfolioRow> rows = portfolioRows(*m_state);
    const bool sameRows =
        std::equal(rows.begin(), rows.end(), m_rows.begin(), m_rows.end(),
                   [](const PortfolioRow& a, const PortfolioRow& b) { return a.key == b.key; });
    if (!sameRows) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    } else {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (!(rows[i] == m_rows[i])) {
                m_rows[i] = std::move(rows[i]);
                const QModelIndex changed = index(static_cast<int>(i));
                emit dataChanged(changed, changed);
            }
        }
    }
    const double total = portfolioTotalUSD(*m_state);
    const int count = portfolioAssetCount(*m_state);
    if (total != m_totalUSD || count != m_assetCount) {
        m_totalUSD = total;
        m_assetCount = count;
        emit totalsChanged();
    }
}

} // namespace qm
