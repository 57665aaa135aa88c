#pragma once
// The add-token sheet's state: the typed contract address, the lookup of the token behind it
// (name, symbol and decimals over the chain's JSON-RPC endpoint), and adding it to the custom
// tokens. Every text of the address shape starts a lookup; only the lookup of the text that
// is in the field now may fill the preview: an earlier, slower one is cancelled and its answer
// dropped. Closing the sheet (destroying the model) cancels a running lookup.

#include "core/model/Chain.h"
#include "core/model/Token.h"
#include "platform/async/CancellationToken.h"
#include "platform/async/TaskHandle.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <cstdint>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class AppState;

// "0x" (lower-case x) followed by 40 more characters, after trimming: the text starts a lookup.
bool hasContractAddressShape(const QString& trimmedText);

class AddTokenViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(int chain READ chain WRITE setChain NOTIFY chainChanged)
    Q_PROPERTY(QString chainLabel READ chainLabel NOTIFY chainChanged) // "on Arbitrum"
    Q_PROPERTY(QString contractAddress READ contractAddress WRITE setContractAddress NOTIFY
                   contractAddressChanged)
    Q_PROPERTY(bool isResolving READ isResolving NOTIFY stateChanged)
    Q_PROPERTY(bool hasResolvedToken READ hasResolvedToken NOTIFY stateChanged)
    Q_PROPERTY(QString resolvedName READ resolvedName NOTIFY stateChanged)
    Q_PROPERTY(QString resolvedSymbol READ resolvedSymbol NOTIFY stateChanged)
    Q_PROPERTY(QString resolvedDecimals READ resolvedDecimals NOTIFY stateChanged)
    // Empty while there is no message.
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY stateChanged)
    Q_PROPERTY(QString addButtonText READ addButtonText NOTIFY stateChanged) // "Add USDC"
    Q_PROPERTY(bool canAdd READ canAdd NOTIFY stateChanged)

public:
    // Over the window's installed state.
    explicit AddTokenViewModel(QObject* parent = nullptr);
    AddTokenViewModel(AppState* state, QObject* parent);
    ~AddTokenViewModel() override;

    int chain() const { return static_cast<int>(m_chain); }
    void setChain(int chain);
    QString chainLabel() const;
    QString contractAddress() const { return m_contractAddress; }
    // The field's edit: a text of the address shape starts a lookup; any other text clears the
    // preview and the message and drops the running lookup.
    void setContractAddress(const QString& text);

    bool isResolving() const { return m_isResolving; }
    bool hasResolvedToken() const { return m_resolved.has_value(); }
    const std::optional<Token>& resolvedToken() const { return m_resolved; }
    QString resolvedName() const;
    QString resolvedSymbol() const;
    QString resolvedDecimals() const;
    QString errorMessage() const { return m_errorMessage; }
    QString addButtonText() const;
    bool canAdd() const { return m_resolved && !m_isResolving; }

    // Stores the previewed token (a token already stored counts as added), then reports
    // `added` and starts a full refresh that outlives the sheet. When the token file cannot
    // be written the token is not kept and the store's error is shown: the sheet stays.
    Q_INVOKABLE void addToken();

signals:
    void chainChanged();
    void contractAddressChanged();
    void stateChanged();
    // The token is stored: the sheet closes.
    void added();

private:
    void startLookup(std::string address);
    QCoro::Task<void> resolve(std::string address, std::uint64_t generation,
                              CancellationToken cancel);
    void dropLookup();

    QPointer<AppState> m_state;
    Chain m_chain = Chain::ethereum;
    QString m_contractAddress;
    bool m_isResolving = false;
    std::optional<Token> m_resolved;
    QString m_errorMessage;
    // Which lookup may still change the state: each new one (and every other edit) moves it on.
    std::uint64_t m_generation = 0;
    std::optional<TaskHandle> m_lookup;
};

} // namespace qm
