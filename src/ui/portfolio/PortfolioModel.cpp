#include "ui/portfolio/PortfolioModel.h"

#include "state/AppState.h"
#include "ui/portfolio/FiatText.h"
#include "ui/shell/SidebarItems.h"
#include "ui/shell/WalletShell.h"

#include <QStringList>
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
                              &AppState::solPriceUSDChanged, &AppState::chainPricesChanged,
                              &AppState::priceLoadFailedChanged}) {
        connect(state, signal, this, &PortfolioModel::reload);
    }
    connect(state, &AppState::evmAccountsChanged, this, &PortfolioModel::reload);
    // One account written in place: its chain's rows alone are made again.
    connect(state, &AppState::accountChanged, this,
            [this](Chain chain, int) { reloadChain(chain); });
    m_rows = portfolioRows(*state);
    m_totalUSD = portfolioTotalUSD(*state);
    m_balances = portfolioBalances(*state);
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
    const PortfolioBalances& b = m_balances;
    // Nothing held could be valued while something is missing: no figure, not "$0.00".
    if (b.valued == 0 && b.loading + b.failed + b.pricesLoading + b.pricesFailed > 0) {
        return unknownFigureText();
    }
    return formatUSD(m_totalUSD);
}

QString PortfolioModel::totalNote() const {
    QStringList notes;
    if (m_balances.failed > 0) {
        notes << QStringLiteral("Some balances could not be loaded.");
    } else if (m_balances.loading > 0) {
        notes << QStringLiteral("Some balances are still loading.");
    }
    if (m_balances.pricesFailed > 0) {
        notes << QStringLiteral("Some prices could not be loaded.");
    } else if (m_balances.pricesLoading > 0) {
        notes << QStringLiteral("Some prices are still loading.");
    }
    return notes.join(u' ');
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
    replaceRows(0, m_rows.size(), portfolioRows(*m_state, m_rows));
}

void PortfolioModel::reloadChain(Chain chain) {
    if (!m_state) {
        return;
    }
    const std::span<const PortfolioRow> slice = chainSlice(m_rows, chain);
    const auto first = static_cast<std::size_t>(slice.data() - m_rows.data());
    replaceRows(slice.empty() ? 0 : first, slice.size(),
                portfolioChainRows(*m_state, chain, slice));
}

void PortfolioModel::replaceRows(std::size_t first, std::size_t count,
                                 std::vector<PortfolioRow> rows) {
    const auto old = m_rows.begin() + static_cast<std::ptrdiff_t>(first);
    const bool sameRows =
        std::equal(rows.begin(), rows.end(), old, old + static_cast<std::ptrdiff_t>(count),
                   [](const PortfolioRow& a, const PortfolioRow& b) { return a.key == b.key; });
    if (!sameRows) {
        // Rows came or went: the whole list anew.
        beginResetModel();
        m_rows = portfolioRows(*m_state, m_rows);
        endResetModel();
    } else {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            // Only the roles that changed: a row's other texts are not laid out again.
            QList<int> roles;
            PortfolioRow& was = m_rows[first + i];
            const PortfolioRow& now = rows[i];
            if (now.name != was.name) {
                roles.append(NameRole);
            }
            if (now.symbol != was.symbol) {
                roles.append(SymbolRole);
            }
            if (now.balance != was.balance) {
                roles.append(BalanceRole);
            }
            if (now.fiat != was.fiat) {
                roles.append(FiatRole);
            }
            was = std::move(rows[i]);
            if (!roles.isEmpty()) {
                const QModelIndex changed = index(static_cast<int>(first + i));
                emit dataChanged(changed, changed, roles);
            }
        }
    }
    const double total = portfolioTotalUSD(*m_state);
    const PortfolioBalances balances = portfolioBalances(*m_state);
    const int assets = portfolioAssetCount(*m_state);
    if (total != m_totalUSD || balances != m_balances || assets != m_assetCount) {
        m_totalUSD = total;
        m_balances = balances;
        m_assetCount = assets;
        emit totalsChanged();
    }
}

} // namespace qm
