#include "ui/swap/SwapTokenListModel.h"

#include "ui/swap/SwapTokenVariant.h"
#include "ui/theme/AddressText.h"

namespace qm {

std::vector<SwapToken> filterSwapTokens(const std::vector<SwapToken>& tokens,
                                        const QString& search) {
    if (search.isEmpty()) {
        return tokens;
    }
    const QString wanted = search.toLower();
    std::vector<SwapToken> kept;
    for (const SwapToken& token : tokens) {
        if (QString::fromStdString(token.symbol).toLower().contains(wanted) ||
            QString::fromStdString(token.address).toLower().contains(wanted)) {
            kept.push_back(token);
        }
    }
    return kept;
}

QString swapTokenDetail(const SwapToken& token) {
    return token.isNative ? QStringLiteral("Native")
                          : pickerAddressText(QString::fromStdString(token.address));
}

SwapTokenListModel::SwapTokenListModel(QObject* parent) : KeyedListModel(parent) {}

void SwapTokenListModel::setTokens(const QVariantList& tokens) {
    if (tokens == m_tokens) {
        return;
    }
    m_tokens = tokens;
    m_all.clear();
    for (const QVariant& token : tokens) {
        if (std::optional<SwapToken> read = swapTokenFromVariant(token)) {
            m_all.push_back(std::move(*read));
        }
    }
    emit tokensChanged();
    rebuild();
}

void SwapTokenListModel::setSelectedToken(const QVariant& token) {
    const std::optional<SwapToken> selected = swapTokenFromVariant(token);
    m_selectedVariant = token;
    if (selected == m_selected) {
        return;
    }
    m_selected = selected;
    emit selectedTokenChanged();
    if (!rows().empty()) {
        emit dataChanged(index(0), index(rowCount() - 1), {SelectedRole});
    }
}

void SwapTokenListModel::setSearchText(const QString& text) {
    if (text == m_searchText) {
        return;
    }
    m_searchText = text;
    emit searchTextChanged();
    rebuild();
}

void SwapTokenListModel::rebuild() {
    const int before = rowCount();
    showRows(filterSwapTokens(m_all, m_searchText),
             [](const SwapToken& token) { return token.address; });
    if (rowCount() != before) {
        emit countChanged();
    }
}

QVariantMap SwapTokenListModel::token(int row) const {
    const SwapToken* found = rowAt(index(row));
    return found ? swapTokenToVariant(*found) : QVariantMap();
}

QVariant SwapTokenListModel::data(const QModelIndex& index, int role) const {
    const SwapToken* token = rowAt(index);
    if (!token) {
        return {};
    }
    switch (role) {
    case SymbolRole:
        return QString::fromStdString(token->symbol);
    case AddressRole:
        return QString::fromStdString(token->address);
    case IsNativeRole:
        return token->isNative;
    case DetailRole:
        return swapTokenDetail(*token);
    case SelectedRole:
        return m_selected == *token;
    default:
        return {};
    }
}

QHash<int, QByteArray> SwapTokenListModel::roleNames() const {
    return {{SymbolRole, "symbol"},
            {AddressRole, "address"},
            {IsNativeRole, "isNative"},
            {DetailRole, "detail"},
            {SelectedRole, "isSelected"}};
}

} // namespace qm
