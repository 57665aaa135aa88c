#include "ui/history/TransactionDetailModel.h"

#include "ui/history/TransactionTexts.h"
#include "ui/theme/ExternalLink.h"

namespace qm {
namespace {

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QString text(const std::optional<std::string>& value) {
    return value ? QString::fromStdString(*value) : QString();
}

} // namespace

TransactionDetailModel::TransactionDetailModel(Transaction transaction, QObject* parent)
    : QObject(parent), m_transaction(std::move(transaction)),
      m_explorerURL(explorerURL(m_transaction.chain, m_transaction.txHash).value_or(QUrl())) {}

QString TransactionDetailModel::entryId() const {
    return text(m_transaction.id);
}

QString TransactionDetailModel::title() const {
    return text(m_transaction.displayTitle());
}

QString TransactionDetailModel::amountText() const {
    return signedAmountText(m_transaction);
}

bool TransactionDetailModel::isReceived() const {
    return m_transaction.direction == TransactionDirection::received;
}

QString TransactionDetailModel::status() const {
    return text(rawValue(m_transaction.status));
}

QString TransactionDetailModel::tokenSymbol() const {
    return text(m_transaction.tokenSymbol);
}

// Nothing for a transfer of the chain's own coin: its card is hidden, and a screen reader
// would hear the bare brackets.
QString TransactionDetailModel::tokenLabel() const {
    const QString name = text(m_transaction.tokenName);
    const QString symbol = tokenSymbol();
    if (name.isEmpty() || symbol.isEmpty()) {
        return name.isEmpty() ? symbol : name;
    }
    return name + QStringLiteral(" (") + symbol + QStringLiteral(")");
}

QString TransactionDetailModel::contractAddress() const {
    return text(m_transaction.contractAddress);
}

QString TransactionDetailModel::txHash() const {
    return text(m_transaction.txHash);
}

QString TransactionDetailModel::from() const {
    return text(m_transaction.from);
}

QString TransactionDetailModel::to() const {
    return text(m_transaction.to);
}

QString TransactionDetailModel::blockHeightText() const {
    return m_transaction.blockHeight ? QString::number(*m_transaction.blockHeight) : QString();
}

QString TransactionDetailModel::confirmationsText() const {
    return QString::number(m_transaction.confirmations);
}

QString TransactionDetailModel::fee() const {
    return text(m_transaction.fee);
}

QString TransactionDetailModel::dateText() const {
    return m_transaction.timestamp ? longDateText(*m_transaction.timestamp) : QString();
}

QString TransactionDetailModel::chainName() const {
    return text(displayName(m_transaction.chain));
}

QString TransactionDetailModel::explorerLabel() const {
    return QStringLiteral("View on ") + explorerName(m_transaction.chain);
}

bool TransactionDetailModel::openExplorer() const {
    return !m_explorerURL.isEmpty() && openExternalUrl(m_explorerURL);
}

} // namespace qm
