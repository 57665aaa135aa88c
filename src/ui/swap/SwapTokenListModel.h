#pragma once
// The token picker's rows: the tokens offered, kept when the search text is empty or found
// (lowercased) in the symbol or the address, in the order given. A token's name is not
// searched (a swap token has none) and blanks are not trimmed. Rows are keyed by address.

#include "services/swap/SwapToken.h"
#include "ui/history/KeyedListModel.h"

#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <vector>

namespace qm {

// The tokens of `tokens` that `search` keeps, in order.
std::vector<SwapToken> filterSwapTokens(const std::vector<SwapToken>& tokens,
                                        const QString& search);
// A row's second line: "Native", or the address, shortened from 17 characters on.
QString swapTokenDetail(const SwapToken& token);

class SwapTokenListModel : public KeyedListModel<SwapToken> {
    Q_OBJECT
    QML_ELEMENT
    // Maps {symbol, address, decimals, isNative}, in display order.
    Q_PROPERTY(QVariantList tokens READ tokens WRITE setTokens NOTIFY tokensChanged)
    // The side's current token (an empty map or null for none): its row is marked.
    Q_PROPERTY(QVariant selectedToken READ selectedToken WRITE setSelectedToken NOTIFY
                   selectedTokenChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role {
        SymbolRole = Qt::UserRole + 1,
        AddressRole,
        IsNativeRole,
        DetailRole,
        SelectedRole
    };

    explicit SwapTokenListModel(QObject* parent = nullptr);

    QVariantList tokens() const { return m_tokens; }
    void setTokens(const QVariantList& tokens);
    QVariant selectedToken() const { return m_selectedVariant; }
    void setSelectedToken(const QVariant& token);
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString& text);
    int count() const { return rowCount(); }

    // The token of `row` as a map; empty outside the rows.
    Q_INVOKABLE QVariantMap token(int row) const;

    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void tokensChanged();
    void selectedTokenChanged();
    void searchTextChanged();
    void countChanged();

private:
    void rebuild();

    QVariantList m_tokens;
    std::vector<SwapToken> m_all;
    QVariant m_selectedVariant;
    std::optional<SwapToken> m_selected;
    QString m_searchText;
};

} // namespace qm
