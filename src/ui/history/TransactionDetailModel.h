#pragma once
// What the transaction detail sheet shows of one history entry: a copy taken when the sheet
// opens, so a refresh that rewrites the history while it is open changes nothing in it.

#include "core/model/Transaction.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace qm {

class TransactionDetailModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Made by a transaction list for one of its rows")
    Q_PROPERTY(QString entryId READ entryId CONSTANT)
    Q_PROPERTY(QString title READ title CONSTANT)           // "Received ETH"
    Q_PROPERTY(QString amountText READ amountText CONSTANT) // "+0.5000 ETH"
    Q_PROPERTY(bool isReceived READ isReceived CONSTANT)
    Q_PROPERTY(QString status READ status CONSTANT) // "pending", "confirmed", "failed"
    Q_PROPERTY(bool hasTokenSymbol READ hasTokenSymbol CONSTANT)
    Q_PROPERTY(QString tokenSymbol READ tokenSymbol CONSTANT)
    Q_PROPERTY(bool hasTokenName READ hasTokenName CONSTANT)
    Q_PROPERTY(QString tokenLabel READ tokenLabel CONSTANT) // "USD Coin (USDC)"
    Q_PROPERTY(bool hasContract READ hasContract CONSTANT)
    Q_PROPERTY(QString contractAddress READ contractAddress CONSTANT)
    Q_PROPERTY(QString txHash READ txHash CONSTANT)
    Q_PROPERTY(QString from READ from CONSTANT)
    Q_PROPERTY(QString to READ to CONSTANT)
    Q_PROPERTY(bool hasBlockHeight READ hasBlockHeight CONSTANT)
    Q_PROPERTY(QString blockHeightText READ blockHeightText CONSTANT)
    Q_PROPERTY(QString confirmationsText READ confirmationsText CONSTANT)
    Q_PROPERTY(bool isConfirmedOnce READ isConfirmedOnce CONSTANT) // 1 confirmation or more
    Q_PROPERTY(bool hasFee READ hasFee CONSTANT)
    Q_PROPERTY(QString fee READ fee CONSTANT)
    Q_PROPERTY(bool hasDate READ hasDate CONSTANT)
    Q_PROPERTY(QString dateText READ dateText CONSTANT)
    Q_PROPERTY(int chain READ chain CONSTANT)
    Q_PROPERTY(QString chainName READ chainName CONSTANT)
    // Empty when the stored hash is not of the chain's shape: the sheet then has no link.
    Q_PROPERTY(QString explorerURL READ explorerURLText CONSTANT)
    Q_PROPERTY(QString explorerLabel READ explorerLabel CONSTANT) // "View on Etherscan"

public:
    explicit TransactionDetailModel(Transaction transaction, QObject* parent = nullptr);

    const Transaction& transaction() const { return m_transaction; }

    QString entryId() const;
    QString title() const;
    QString amountText() const;
    bool isReceived() const;
    QString status() const;
    bool hasTokenSymbol() const { return m_transaction.tokenSymbol.has_value(); }
    QString tokenSymbol() const;
    bool hasTokenName() const { return m_transaction.tokenName.has_value(); }
    QString tokenLabel() const;
    bool hasContract() const { return m_transaction.contractAddress.has_value(); }
    QString contractAddress() const;
    QString txHash() const;
    QString from() const;
    QString to() const;
    bool hasBlockHeight() const { return m_transaction.blockHeight.has_value(); }
    QString blockHeightText() const;
    QString confirmationsText() const;
    bool isConfirmedOnce() const { return m_transaction.confirmations >= 1; }
    bool hasFee() const { return !m_transaction.fee.empty(); }
    QString fee() const;
    bool hasDate() const { return m_transaction.timestamp.has_value(); }
    QString dateText() const;
    int chain() const { return static_cast<int>(m_transaction.chain); }
    QString chainName() const;
    QString explorerURLText() const { return m_explorerURL.toString(); }
    QString explorerLabel() const;

    // Opens the explorer page in the browser; nothing without a link.
    Q_INVOKABLE bool openExplorer() const;

private:
    Transaction m_transaction;
    QUrl m_explorerURL;
};

} // namespace qm
