#pragma once
// The state of one send sheet: what the user typed (recipient, amount, fee level, asset,
// password), the fee estimate of the moment, the send prepared for review, and the send flow
// of the sheet's chain. Amounts are read exactly into base units and every amount text comes
// from an exact value (every digit it needs, never rounded).
//
// "Review Transaction" prepares the form's send (src/state/send: the coins or fees, the
// checks); the confirmation opens on the prepared figures only when they answer the form as it
// is: an edit of the recipient, amount, asset, level or chain drops them, and an answer for an
// older form is thrown away. A failure to prepare shows in the form. The send hands the
// prepared transaction to the flow; when the chain moved meanwhile, the flow hands back the
// send prepared again, which the review shows and the next press sends.
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
#include <variant>
#include <vector>

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

    // Fee estimate: {slow, normal, fast}, each {satPerVByte, label, estimatedMinutes, rateText}:
    // rateText "20 sat/vB", or "—" for a default rate while the first estimate runs.
    Q_PROPERTY(QVariantMap feeSnapshot READ feeSnapshotMap NOTIFY feeSnapshotChanged)
    // Once an estimate ended on Bitcoin, which levels' rates no server gave: "Default rates: the
    // fee estimate could not be loaded." (or "Default rate for Priority: ..."); else empty.
    Q_PROPERTY(QString feeRatesNote READ feeRatesNote NOTIFY feeSnapshotChanged)
    Q_PROPERTY(qulonglong estimatedFeeSats READ estimatedFeeSats NOTIFY estimateChanged)
    Q_PROPERTY(QString estimatedFeeString READ estimatedFeeString NOTIFY estimateChanged)
    Q_PROPERTY(QString estimatedTotalString READ estimatedTotalString NOTIFY estimateChanged)
    Q_PROPERTY(bool isFetchingFees READ isFetchingFees NOTIFY isFetchingFeesChanged)

    // Derived from the inputs, the balances and the flow.
    Q_PROPERTY(bool isRecipientValid READ isRecipientValid NOTIFY formChanged)
    // What is wrong with the recipient on this chain (recipientProblem); empty for an empty
    // field or an address that can be paid.
    Q_PROPERTY(QString recipientError READ recipientError NOTIFY formChanged)
    Q_PROPERTY(bool canReview READ canReview NOTIFY formChanged)
    // "Invalid amount" while the amount text is not an amount above zero the asset can hold
    // (too many decimals, too large, not a number), "Use a point as the decimal separator" for
    // a comma where the user's locale writes a point, the dust limit's text for a Bitcoin
    // payment below it; empty for an empty field. After a Max refused for want of a balance,
    // while the balance is still unknown: "Max needs the balance, which is still loading." (or
    // "..., which could not be loaded.").
    Q_PROPERTY(QString amountError READ amountError NOTIFY formChanged)

    // The review: prepared by review(), for the form as it is now.
    Q_PROPERTY(bool isPreparing READ isPreparing NOTIFY preparingChanged)
    // Why the last review() could not prepare the send; cleared by the next one or an edit.
    Q_PROPERTY(QString prepareError READ prepareError NOTIFY preparingChanged)
    Q_PROPERTY(bool hasReview READ hasReview NOTIFY reviewChanged)
    // The prepared send's texts: the whole recipient, the amount, the fee (Bitcoin: with its
    // rate; EVM: the max fee, gas limit x fee cap, with the cap per gas), the total (amount
    // plus fee; a token's amount "+" the max fee in the chain's coin).
    Q_PROPERTY(QString reviewRecipient READ reviewRecipient NOTIFY reviewChanged)
    Q_PROPERTY(QString reviewAmount READ reviewAmount NOTIFY reviewChanged)
    Q_PROPERTY(QString reviewFee READ reviewFee NOTIFY reviewChanged)
    Q_PROPERTY(QString reviewTotal READ reviewTotal NOTIFY reviewChanged)
    // The selected token's symbol, else the chain's native symbol.
    Q_PROPERTY(QString symbol READ symbol NOTIFY formChanged)
    // The available balance with the symbol: the sidebar's text of a native balance (8
    // decimals on Bitcoin, 6 on the EVM chains, 4 on Solana, rounded half up), every digit of a
    // token's; the unknown mark ("—") while no server has answered for it.
    Q_PROPERTY(QString balanceText READ balanceText NOTIFY balanceChanged)
    // When the balance's last load failed, the account screen's words: "Could not load the
    // Bitcoin balance." (a token's: "Could not load the tokens."); else empty.
    Q_PROPERTY(QString balanceNote READ balanceNote NOTIFY balanceChanged)
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
    // While an earlier send of the account that the user was told failed may still land, and
    // the review is another payment: "This replaces your earlier send of … that may still go
    // through." (Solana: that this one waits for its expiry). Empty otherwise, and while the
    // face offers Send Anyway (what that signs replaces nothing).
    Q_PROPERTY(QString replacementNote READ replacementNote NOTIFY replacementNoteChanged)

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
    QString feeRatesNote() const;
    qulonglong estimatedFeeSats() const { return m_estimatedFeeSats; }
    // The estimated fee in the native coin's base units (satoshis, wei, lamports).
    const std::optional<Amount>& estimatedFee() const { return m_estimatedFee; }
    QString estimatedFeeString() const { return m_estimatedFeeString; }
    QString estimatedTotalString() const { return m_estimatedTotalString; }
    bool isFetchingFees() const { return m_isFetchingFees; }

    // An address of this chain that can be paid (SendRecipients.h: checksums included).
    bool isRecipientValid() const;
    QString recipientError() const;
    // A valid recipient, an amount without error, no send running.
    bool canReview() const;
    QString amountError() const;
    // The amount typed, exact in base units of the asset; none unless it is above zero and
    // fits the asset (64 bits on Bitcoin and Solana).
    std::optional<UInt256> parsedAmount() const;
    // The decimals of the asset: the token's, else the native coin's.
    unsigned assetDecimals() const;
    QString symbol() const;
    // The exact balance of the asset in the chain's first account once a server answered for
    // it (the last known one after a failed load); none before, and without an account.
    std::optional<Amount> availableBalance() const;
    QString balanceText() const;
    QString balanceNote() const;
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
    QString replacementNote() const;

    // Estimates the fee of the chain at the selected level (cancelling the estimate before).
    Q_INVOKABLE void refreshFees();
    // The same as a coroutine, done when the estimate has been written or given up.
    QCoro::Task<void> estimateFees(CancellationToken token);
    // Writes the most the asset allows: a token's whole balance, an EVM coin's less the max
    // fee of the estimate (made first when there is none yet), Bitcoin's less the estimated
    // fee, Solana's less its 0.000005 SOL fee (never below 0). While the balance is unknown it
    // writes nothing and says why (amountError). On Bitcoin the form then sends
    // everything (every coin, no change) until the amount is edited or the chain or asset
    // changes: the review shows what every coin really pays, and the amount field with it.
    Q_INVOKABLE void useMaxAmount();
    bool sendsEverything() const { return m_sendsEverything; }

    // Prepares the form's send for review (nothing while one is prepared or the form cannot be
    // reviewed); the confirmation opens when it is ready, the failure shows otherwise.
    Q_INVOKABLE void review();
    bool isPreparing() const { return m_isPreparing; }
    QString prepareError() const { return m_prepareError; }
    bool hasReview() const { return !std::holds_alternative<std::monostate>(m_prepared); }
    QString reviewRecipient() const { return m_review.recipient; }
    QString reviewAmount() const { return m_review.amount; }
    QString reviewFee() const { return m_review.fee; }
    QString reviewTotal() const { return m_review.total; }
    // The prepared send under review, if it is of that chain family.
    const BitcoinPreparedSend* bitcoinReview() const;
    const EVMPreparedSend* evmReview() const;
    const SolanaPreparedSend* solanaReview() const;

    // Start the chain's send of the prepared one; nothing without one, while one runs or on
    // another chain.
    Q_INVOKABLE void sendBitcoin();
    Q_INVOKABLE void sendEVM();
    Q_INVOKABLE void sendSolana();
    // Send Anyway, on a failed face whose flow offers it (TransactionFlow::offersSendAnyway):
    // the earlier send counts as told, and the reviewed one is sent as a new transaction.
    // Nothing without the offer.
    Q_INVOKABLE void sendAnyway();
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
    // The balance shown, or what is known of it, may have changed.
    void balanceChanged();
    void isSendingChanged();
    void broadcastStepChanged();
    void broadcastProgressChanged();
    void txHashChanged();
    void errorMessageChanged();
    void preparingChanged();
    void reviewChanged();
    void replacementNoteChanged();

private:
    using Prepared =
        std::variant<std::monostate, BitcoinPreparedSend, EVMPreparedSend, SolanaPreparedSend>;
    struct ReviewTexts {
        QString recipient;
        QString amount;
        QString fee;
        QString total;
    };
    // Follows the flow of the current chain.
    void attachFlow();
    // Fills a request with the prepared send of `Kind` under review (its `revised` hands a
    // send prepared again back to this model while the form is unchanged); false (and
    // nothing started) without one, or when the wallet has gone (the flow fails then).
    template <typename Kind> bool fillRequest(PreparedSendRequest<Kind>& request);
    void startFlow(TransactionFlow::Body body);
    void startFailing(const std::exception_ptr& failure);
    // Flow texts: "<amount> <symbol>", "to <short recipient>".
    QString shortRecipient() const;

    // An edit of the form: the review and a preparation in flight answer it no longer.
    void formEdited();
    void dropReview();
    QCoro::Task<void> prepareReview(std::uint64_t revision, CancellationToken token);
    // The prepared send becomes the review (its texts; Bitcoin's rate, and the amount of a
    // send of everything, shown in the form too).
    void acceptPrepared(Prepared prepared);
    void setPreparing(bool preparing, QString error);
    BitcoinSendForm bitcoinForm() const;
    EVMSendForm evmForm() const;
    SolanaSendForm solanaForm() const;

    QCoro::Task<void> estimateBitcoin(CancellationToken token);
    QCoro::Task<void> estimateEVM(CancellationToken token);
    void estimateSolana();
    // Writes the Bitcoin fee of the selected level from the snapshot (141 vB, or the size of
    // the prepared send of everything) and the total.
    void applyBitcoinFee();
    // The form's Bitcoin estimate: `feeSats` at `satPerVByte` (the level's rate from now on).
    void showBitcoinFee(std::uint64_t satPerVByte, std::uint64_t feeSats);
    // Max on an EVM coin once the estimate has its max fee.
    void writeMaxAmount();
    // Max while the balance is unknown: nothing written, amountError says why.
    void refuseMax();
    // The asset's balance as availableBalance() gives it, and whether its last load failed
    // (the figure, if any, is then the last known one).
    struct AssetBalance {
        std::optional<Amount> amount;
        bool failed = false;
    };
    AssetBalance assetBalance() const;
    // Follows the balances of the state now bound.
    void followBalances();
    // The amount text, without ending a send of everything or dropping the review.
    void writeAmount(const QString& text);
    void stopSendingEverything();
    void setEstimate(std::optional<Amount> fee, std::uint64_t feeSats, QString feeText,
                     std::optional<QString> totalText);
    void setIsFetchingFees(bool fetching);
    void setFeeSnapshot(BTCFeeSnapshot snapshot);
    void setFeesAsked(bool asked);
    SendFeeLevel feeLevel() const;

    Chain m_chain = Chain::bitcoin;
    QString m_recipientAddress;
    QString m_amountString;
    FeeLevel m_selectedFeeLevel = FeeLevel::Normal;
    std::optional<Token> m_selectedToken;
    bool m_sendsEverything = false;
    // The size of the transaction that sends everything, once one was prepared.
    std::optional<std::uint64_t> m_everythingVBytes;
    // Max asked for on an EVM coin before an estimate: written when the estimate lands.
    bool m_maxPending = false;
    // Max pressed while the balance was unknown, and nothing typed since.
    bool m_maxRefused = false;
    std::vector<QMetaObject::Connection> m_balanceConnections;
    // Counts the form's edits: a review, or a send prepared again, answers one revision.
    std::uint64_t m_formRevision = 0;
    Prepared m_prepared;
    ReviewTexts m_review;
    bool m_isPreparing = false;
    QString m_prepareError;
    std::optional<TaskHandle> m_prepareTask;
    bool m_showConfirmation = false;
    PasswordEntry* m_passwordEntry; // a child

    BTCFeeSnapshot m_feeSnapshot;
    // An estimate of the chain's rates ended, with or without them: a default shown from then on
    // is no longer a placeholder but the rate a send would get.
    bool m_feesAsked = false;
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
