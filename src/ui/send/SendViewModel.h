#pragma once
// The state of one send sheet: what the user typed (recipient, amount, fee level, asset,
// password), the fee estimate of the moment, and the send flow of the sheet's chain. Amounts
// are read exactly into base units and every amount text comes from an exact value.
//
// The send itself runs in the flow service's flow "send:<chain>" (TransactionFlow): a second
// start while one runs does nothing, and the outcome stays after the sheet has gone. The
// broadcast step, progress, transaction id and failure text are that flow's. The password is
// the confirmation's password step (PasswordEntry), never a QML string: each send takes a
// copy (the signer call wipes it); the form's, and the field's, stay for a retry until a
// transaction has left, then go, as they do on reset() and with the model.

#include "core/model/Amount.h"
#include "core/model/Chain.h"
#include "core/model/Token.h"
#include "platform/async/CancellationToken.h"
#include "platform/async/TaskHandle.h"
#include "services/bitcoin/BTCFeeRate.h"
#include "state/flows/TransactionFlow.h"
#include "state/send/SendRequest.h"
#include "ui/onboarding/StateBoundModel.h"
#include "ui/theme/PasswordEntry.h"

#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>
#include <cstdint>
#include <optional>

namespace qm {

class FlowService;

class SendViewModel : public StateBoundModel {
    Q_OBJECT
    QML_ELEMENT
    // The chain of the payment (Chain's order: 0 Bitcoin ... 4 Solana).
    Q_PROPERTY(int chain READ chainIndex WRITE setChainIndex NOTIFY chainChanged)
    Q_PROPERTY(QString recipientAddress READ recipientAddress WRITE setRecipientAddress NOTIFY
                   recipientAddressChanged)
    Q_PROPERTY(
        QString amountString READ amountString WRITE setAmountString NOTIFY amountStringChanged)
    Q_PROPERTY(FeeLevel selectedFeeLevel READ selectedFeeLevel WRITE setSelectedFeeLevel NOTIFY
                   selectedFeeLevelChanged)
    // A token map (TokenVariant.h) or null for the chain's native coin.
    Q_PROPERTY(QVariant selectedToken READ selectedTokenVariant WRITE setSelectedTokenVariant NOTIFY
                   selectedTokenChanged)
    Q_PROPERTY(bool showConfirmation READ showConfirmation WRITE setShowConfirmation NOTIFY
                   showConfirmationChanged)
    // The confirmation's password step.
    Q_PROPERTY(qm::PasswordEntry* passwordEntry READ passwordEntry CONSTANT)
    Q_PROPERTY(bool hasPassword READ hasPassword NOTIFY hasPasswordChanged)

    // Fee estimate: {slow, normal, fast}, each {satPerVByte, label, estimatedMinutes}.
    Q_PROPERTY(QVariantMap feeSnapshot READ feeSnapshotMap NOTIFY feeSnapshotChanged)
    Q_PROPERTY(qulonglong estimatedFeeSats READ estimatedFeeSats NOTIFY estimateChanged)
    Q_PROPERTY(QString estimatedFeeString READ estimatedFeeString NOTIFY estimateChanged)
    Q_PROPERTY(QString estimatedTotalString READ estimatedTotalString NOTIFY estimateChanged)
    Q_PROPERTY(bool isFetchingFees READ isFetchingFees NOTIFY isFetchingFeesChanged)

    // Derived from the inputs, the balances and the flow.
    Q_PROPERTY(bool isRecipientValid READ isRecipientValid NOTIFY formChanged)
    Q_PROPERTY(bool canReview READ canReview NOTIFY formChanged)
    // "Invalid amount" while the amount text is not an amount above zero the asset can hold
    // (too many decimals, too large, not a number); empty for an empty field.
    Q_PROPERTY(QString amountError READ amountError NOTIFY formChanged)
    // The selected token's symbol, else the chain's native symbol.
    Q_PROPERTY(QString symbol READ symbol NOTIFY formChanged)
    // The available balance with the symbol: 8 decimals on Bitcoin, 6 on the EVM chains, 4
    // on Solana, every digit of a token's.
    Q_PROPERTY(QString balanceText READ balanceText NOTIFY formChanged)
    // The chain's tokens the user added (token maps), in stored order: the asset list.
    Q_PROPERTY(QVariantList assetTokens READ assetTokens NOTIFY formChanged)

    // The send flow of the chain and what the sheets read of it.
    Q_PROPERTY(QObject* flow READ flowObject NOTIFY chainChanged)
    Q_PROPERTY(bool isSending READ isSending NOTIFY isSendingChanged)
    Q_PROPERTY(
        qm::TransactionFlow::Step broadcastStep READ broadcastStep NOTIFY broadcastStepChanged)
    Q_PROPERTY(double broadcastProgress READ broadcastProgress NOTIFY broadcastProgressChanged)
    Q_PROPERTY(QString txHash READ txHash NOTIFY txHashChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    // "Economy", "Normal", "Priority" (feeLevelName).
    enum class FeeLevel { Slow, Normal, Fast };
    Q_ENUM(FeeLevel)

    // The installed flow service's flows (or, without one, a service of this model's own).
    explicit SendViewModel(QObject* parent = nullptr);
    ~SendViewModel() override;

    // The flows to use in place of the installed service's (tests).
    void setFlowService(FlowService* service);

    Chain chain() const { return m_chain; }
    void setChain(Chain chain);
    int chainIndex() const { return static_cast<int>(m_chain); }
    void setChainIndex(int chain);
    QString recipientAddress() const { return m_recipientAddress; }
    void setRecipientAddress(const QString& text);
    QString amountString() const { return m_amountString; }
    void setAmountString(const QString& text);
    FeeLevel selectedFeeLevel() const { return m_selectedFeeLevel; }
    void setSelectedFeeLevel(FeeLevel level);
    const std::optional<Token>& selectedToken() const { return m_selectedToken; }
    void setSelectedToken(std::optional<Token> token);
    QVariant selectedTokenVariant() const;
    void setSelectedTokenVariant(const QVariant& token);
    bool showConfirmation() const { return m_showConfirmation; }
    void setShowConfirmation(bool show);
    PasswordEntry* passwordEntry() const { return m_passwordEntry; }
    // Keeps the typed password (the previous one wiped), as the field's edits do.
    Q_INVOKABLE void setPassword(const QString& password) { m_passwordEntry->setText(password); }
    bool hasPassword() const { return m_passwordEntry->hasPassword(); }

    const BTCFeeSnapshot& feeSnapshot() const { return m_feeSnapshot; }
    QVariantMap feeSnapshotMap() const;
    qulonglong estimatedFeeSats() const { return m_estimatedFeeSats; }
    // The estimated fee in the native coin's base units (satoshis, wei, lamports).
    const std::optional<Amount>& estimatedFee() const { return m_estimatedFee; }
    QString estimatedFeeString() const { return m_estimatedFeeString; }
    QString estimatedTotalString() const { return m_estimatedTotalString; }
    bool isFetchingFees() const { return m_isFetchingFees; }

    // By prefix and length: "bc1"/"tb1" and at least 42 characters, "0x" and exactly 42,
    // else Base58 of exactly 32 bytes. Each send checks the recipient again for its chain.
    bool isRecipientValid() const;
    // A plausible recipient, an amount above zero and no send running.
    bool canReview() const;
    QString amountError() const;
    // The amount typed, exact in base units of the asset; none unless it is above zero and
    // fits the asset (64 bits on Bitcoin and Solana).
    std::optional<UInt256> parsedAmount() const;
    // The decimals of the asset: the token's, else the native coin's.
    unsigned assetDecimals() const;
    QString symbol() const;
    // The exact balance of the asset in the chain's first account (0 without one).
    Amount availableBalance() const;
    QString balanceText() const;
    QVariantList assetTokens() const;
    // "Economy", "Normal", "Priority".
    Q_INVOKABLE QString feeLevelName(FeeLevel level) const;

    TransactionFlow* flow() const;
    QObject* flowObject() const;
    bool isSending() const;
    TransactionFlow::Step broadcastStep() const;
    double broadcastProgress() const;
    QString txHash() const;
    QString errorMessage() const;

    // Estimates the fee of the chain at the selected level (cancelling the estimate before).
    Q_INVOKABLE void refreshFees();
    // The same as a coroutine, done when the estimate has been written or given up.
    QCoro::Task<void> estimateFees(CancellationToken token);
    // Writes the most the asset allows: a token's or an EVM coin's whole balance, Bitcoin's
    // less the estimated fee, Solana's less its 0.000005 SOL fee (never below 0). On Bitcoin
    // the form then sends everything (every coin, no change) until the amount is edited or
    // the chain or asset changes: the send stops once to show what every coin really pays.
    Q_INVOKABLE void useMaxAmount();
    bool sendsEverything() const { return m_sendsEverything; }

    // Start the chain's send with what was typed; nothing while one runs or on another chain.
    Q_INVOKABLE void sendBitcoin();
    Q_INVOKABLE void sendEVM();
    Q_INVOKABLE void sendSolana();
    // Back to a fresh form: inputs, password, fee fields, and the flow's outcome (unless it
    // is still running); a fee estimate in flight is cancelled.
    Q_INVOKABLE void reset();

signals:
    void chainChanged();
    void recipientAddressChanged();
    void amountStringChanged();
    void selectedFeeLevelChanged();
    void selectedTokenChanged();
    void showConfirmationChanged();
    void hasPasswordChanged();
    void feeSnapshotChanged();
    void estimateChanged();
    void isFetchingFeesChanged();
    void formChanged();
    void isSendingChanged();
    void broadcastStepChanged();
    void broadcastProgressChanged();
    void txHashChanged();
    void errorMessageChanged();

private:
    // Follows the flow of the current chain.
    void attachFlow();
    // Fills the fields common to every send; none (and the flow failed with `invalidAmount`
    // or `noAccount`) when the inputs cannot make one.
    bool fillRequest(SendRequest& request);
    void startFlow(TransactionFlow::Body body);
    void startFailing(const std::exception_ptr& failure);
    // Flow texts: "<amount> <symbol>", "to <short recipient>".
    QString shortRecipient() const;

    QCoro::Task<void> estimateBitcoin(CancellationToken token);
    QCoro::Task<void> estimateEVM(CancellationToken token);
    void estimateSolana();
    // Writes the Bitcoin fee of the selected level from the snapshot (141 vB) and the total.
    void applyBitcoinFee();
    // A send found that its transaction needs `feeSats` at `satPerVByte`: shown from now on,
    // and what the next send signs at.
    void reviseBitcoinFee(std::uint64_t satPerVByte, std::uint64_t feeSats);
    // A send of everything found what every coin pays: shown from now on, and what the next
    // send sends; the fee follows the rate at that size until the form stops sending all.
    void reviseEverything(std::uint64_t amountSats, std::uint64_t satPerVByte,
                          std::uint64_t feeSats);
    // The amount text, without ending a send of everything.
    void writeAmount(const QString& text);
    void stopSendingEverything();
    void setEstimate(std::optional<Amount> fee, std::uint64_t feeSats, QString feeText,
                     std::optional<QString> totalText);
    void setIsFetchingFees(bool fetching);
    void setFeeSnapshot(BTCFeeSnapshot snapshot);
    SendFeeLevel feeLevel() const;

    Chain m_chain = Chain::bitcoin;
    QString m_recipientAddress;
    QString m_amountString;
    FeeLevel m_selectedFeeLevel = FeeLevel::Normal;
    std::optional<Token> m_selectedToken;
    bool m_sendsEverything = false;
    // The size of the transaction that sends everything, once a send has found it.
    std::optional<std::uint64_t> m_everythingVBytes;
    bool m_showConfirmation = false;
    PasswordEntry* m_passwordEntry; // a child

    BTCFeeSnapshot m_feeSnapshot;
    std::uint64_t m_estimatedFeeSats = 0;
    std::optional<Amount> m_estimatedFee;
    QString m_estimatedFeeString;
    QString m_estimatedTotalString;
    bool m_isFetchingFees = false;
    std::optional<TaskHandle> m_feeTask;

    QPointer<FlowService> m_flows;
    FlowService* m_ownFlows = nullptr; // a child, made when no service is installed
    QPointer<TransactionFlow> m_flow;
};

} // namespace qm
