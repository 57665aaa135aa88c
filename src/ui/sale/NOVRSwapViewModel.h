#pragma once
// The state behind the NOVR sale sheet: the direction, the NOVR amount as typed, the buy's
// slippage, and the quote read from the sale contract (the floor price, and for a buy the
// USDC cost of the amount). Made for each presentation of the sheet; GUI thread only.
//
// A quote belongs to the amount it was asked for: the buy estimate is kept with that amount
// and used only while the typed amount is the same, and the answer of a quote that a newer
// edit or quote has superseded is dropped. Every edit of the amount, the slippage or the
// direction restarts a 0.5 s pause, after which one quote is asked for.
//
// "Review Swap" (review()) prepares the buy or sale of the figures as they are in the state's
// sale layer (the approval it may need, the fees, the max network fee); the confirmation
// opens on it, and only a review of the figures shown now can be confirmed: when the quote
// moves under an open confirmation (a reverted buy is quoted again) the review is prepared
// again, and a buy or sale the flow prepared again (the chain moved before the press) is shown
// for the next press.
//
// The confirmation sheet's password (the shared password step, wiped once the flow has taken
// it) starts the buy or sale on the sale's flow of the FlowService ("sale:arbitrum"), which
// outlives this model; the sheet follows the flow's steps, progress, hash and error through
// the properties below.

#include "core/crypto/UInt256.h"
#include "platform/async/CancellationToken.h"
#include "platform/async/TaskHandle.h"
#include "state/flows/TransactionFlow.h"
#include "state/sale/NOVRPreparedSale.h"
#include "ui/onboarding/PasswordFormModel.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>
#include <chrono>
#include <cstdint>
#include <optional>
#include <qcoro/qcorotask.h>

namespace qm {

class NOVRSwapViewModel : public PasswordFormModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(Direction direction READ direction WRITE setDirection NOTIFY directionChanged)
    Q_PROPERTY(
        QString amountString READ amountString WRITE setAmountString NOTIFY amountStringChanged)
    Q_PROPERTY(int slippageBps READ slippageBps WRITE setSlippageBps NOTIFY slippageBpsChanged)
    Q_PROPERTY(bool isQuoting READ isQuoting NOTIFY quoteChanged)
    Q_PROPERTY(QString quoteError READ quoteErrorText NOTIFY quoteChanged)
    Q_PROPERTY(bool hasQuoteError READ hasQuoteError NOTIFY quoteChanged)
    // A buy estimate for the amount as typed now (the max-cost row shows only with one).
    Q_PROPERTY(bool hasEstimatedCost READ hasEstimatedCost NOTIFY quoteChanged)
    Q_PROPERTY(bool hasFloorPrice READ hasFloorPrice NOTIFY quoteChanged)
    // The USDC side of the order: a buy's estimate, or what a sale pays at the floor price.
    Q_PROPERTY(QString estimatedUSDCText READ estimatedUSDCText NOTIFY quoteChanged)
    // The most a buy may cost after slippage; "—" for a sell or without an estimate.
    Q_PROPERTY(QString maxCostText READ maxCostText NOTIFY quoteChanged)
    // "1.2346 USDC", or "—" without a floor price.
    Q_PROPERTY(QString floorPriceText READ floorPriceText NOTIFY quoteChanged)
    // "0.5%", "1%", "2%", "3%".
    Q_PROPERTY(QString slippageText READ slippageText NOTIFY slippageBpsChanged)
    // The confirmation's rows, [label, value] each, every figure exact (all its digits, never
    // rounded): Amount, Estimated cost, Max cost and Slippage buying; Amount, You receive and
    // Price selling; then Floor price.
    Q_PROPERTY(QVariantList reviewRows READ reviewRows NOTIFY quoteChanged)
    // The sale contract every buy and sale calls (and the spender of their approvals), whole.
    Q_PROPERTY(QString contractAddress READ contractAddress CONSTANT)
    Q_PROPERTY(bool canReview READ canReview NOTIFY quoteChanged)
    // The review: prepared by review() for the figures shown now.
    Q_PROPERTY(bool isPreparing READ isPreparing NOTIFY preparingChanged)
    // Why the last preparation failed; cleared by the next one or an edit.
    Q_PROPERTY(QString prepareError READ prepareError NOTIFY preparingChanged)
    Q_PROPERTY(bool hasReview READ hasReview NOTIFY reviewChanged)
    // "0.00042 ETH": the most the prepared transactions may pay the network, exact; empty
    // without a review.
    Q_PROPERTY(QString reviewMaxFee READ reviewMaxFee NOTIFY reviewChanged)
    // The review includes an approval: the buy's or sale's own gas can only be estimated once
    // it is in a block, so its part of the max fee is a bound.
    Q_PROPERTY(bool reviewIncludesApproval READ reviewIncludesApproval NOTIFY reviewChanged)
    Q_PROPERTY(bool showConfirmation READ showConfirmation WRITE setShowConfirmation NOTIFY
                   showConfirmationChanged)
    // The flow: running, its progress (0 ... 1) and "45%", the hash of the buy or sale.
    Q_PROPERTY(bool isSending READ isSending NOTIFY flowChanged)
    Q_PROPERTY(double broadcastProgress READ broadcastProgress NOTIFY flowChanged)
    Q_PROPERTY(QString txHash READ txHash NOTIFY flowChanged)
    // "2.5 USDC → 1.5 NOVR" or "1.5 NOVR → 1.851851 USDC", exact: the order as confirmed once a
    // run has started (also in a sheet opened again on it), else as typed and quoted.
    Q_PROPERTY(QString orderLine READ orderLine NOTIFY orderLineChanged)
    // The press followed an earlier order the chain knows instead of signing: what it says
    // (the order line is then that order's). Empty otherwise.
    Q_PROPERTY(QString earlierNote READ earlierNote NOTIFY orderLineChanged)
    // While an earlier transaction of the account that the user was told failed may still
    // land, and this order is another: "This replaces your earlier … that may still go
    // through." Empty otherwise, and while the face offers Send Anyway (what that signs
    // replaces nothing).
    Q_PROPERTY(QString replacementNote READ replacementNote NOTIFY replacementNoteChanged)
    // The last press failed on an earlier transaction whose nonce the chain has used while no
    // server says by which transaction: the review face offers Send Anyway.
    Q_PROPERTY(bool offersSendAnyway READ offersSendAnyway NOTIFY flowChanged)
    // The sheet's face: the progress face from the first step to the end of a run that sent,
    // the review face before and after a failure.
    Q_PROPERTY(bool showsProgress READ showsProgress NOTIFY flowChanged)
    Q_PROPERTY(QString stepTitle READ stepTitle NOTIFY flowChanged)
    // The buy or sale is in a block: the green title. Finished: in a block or submitted (Done).
    Q_PROPERTY(bool isComplete READ isComplete NOTIFY flowChanged)
    Q_PROPERTY(bool isFinished READ isFinished NOTIFY flowChanged)
    // The four stages Approve, Sign, Broadcast, Done: 0 not reached, 1 active, 2 completed;
    // and whether each of the three connectors between them is reached.
    Q_PROPERTY(QVariantList stages READ stages NOTIFY flowChanged)
    Q_PROPERTY(QVariantList connectors READ connectors NOTIFY flowChanged)

public:
    // Capitalised for QML, which reads only enumerators that begin with a capital.
    enum class Direction { Buy, Sell };
    Q_ENUM(Direction)

    explicit NOVRSwapViewModel(QObject* parent = nullptr);
    ~NOVRSwapViewModel() override;

    Direction direction() const { return m_direction; }
    void setDirection(Direction direction);
    QString amountString() const { return m_amountString; }
    void setAmountString(const QString& text);
    int slippageBps() const { return static_cast<int>(m_slippageBps); }
    // 0 ... 10,000 basis points; other values are refused (nothing changes).
    void setSlippageBps(int basisPoints);
    bool isQuoting() const { return m_isQuoting; }
    const std::optional<QString>& quoteError() const { return m_quoteError; }
    QString quoteErrorText() const { return m_quoteError.value_or(QString()); }
    bool hasQuoteError() const { return m_quoteError.has_value(); }
    bool showConfirmation() const { return m_showConfirmation; }
    void setShowConfirmation(bool show);

    // The typed amount in NOVR base units when it is a number above zero with at most 18
    // fraction digits (a comma is its decimal point where the user's locale writes one); none
    // otherwise.
    std::optional<UInt256> usableAmount() const;
    // The buy estimate (USDC base units) when it was quoted for the amount typed now.
    std::optional<UInt256> estimatedCostUSDC() const;
    const std::optional<UInt256>& floorPriceRaw() const { return m_floorPrice; }
    // The most a buy may cost: the estimate raised by the slippage, whole in 256 bits; none
    // without an estimate for the amount or when it does not fit.
    std::optional<UInt256> maxCostUSDC() const;
    bool hasEstimatedCost() const { return estimatedCostUSDC().has_value(); }
    bool hasFloorPrice() const { return m_floorPrice.has_value(); }

    // What is wrong with the typed amount when the amount's own text says it ("Use a point as
    // the decimal separator", "Too many decimal places"); none for an amount, for an empty
    // field or for text that is no number at all.
    std::optional<QString> amountError() const;

    // The form's figures, rounded as the lists are ("2.5000"; "—" without one).
    QString estimatedUSDCText() const;
    QString maxCostText() const;
    QString floorPriceText() const;
    QString slippageText() const;
    // The typed amount as it will be sent: the exact text of its base units, or the text as
    // typed while it is no amount.
    QString exactAmountText() const;
    QVariantList reviewRows() const;
    QString contractAddress() const;
    // An amount above zero, no quote running or failed, and the figure the direction needs for
    // the amount as typed (a buy's estimate and its maximum, a sale's floor price).
    bool canReview() const;

    Q_INVOKABLE void toggleDirection();
    // Asks the sale contract for the floor price and, buying, the cost of the amount. Without
    // a usable amount it clears the quote instead. A newer quote or edit supersedes it.
    QCoro::Task<void> fetchQuote();
    Q_INVOKABLE void requestQuote() { fetchQuote(); }
    // The sheet appeared: one quote after the pause.
    Q_INVOKABLE void scheduleQuote();
    // Back to an empty amount without a quote or password, the flow back to idle (unless it
    // runs), the sheet closed; the direction and the slippage stay.
    Q_INVOKABLE void reset();

    // "Review Swap": prepares the buy or sale of the figures shown (nothing while one is
    // prepared or nothing can be reviewed); the confirmation opens when it is ready, the
    // failure shows in prepareError otherwise. A failure of an earlier attempt goes.
    Q_INVOKABLE void review();
    bool isPreparing() const { return m_isPreparing; }
    QString prepareError() const { return m_prepareError; }
    // The prepared buy or sale under review, if any.
    const std::optional<NOVRPreparedSale>& saleReview() const { return m_review; }
    bool hasReview() const { return m_review.has_value(); }
    QString reviewMaxFee() const;
    bool reviewIncludesApproval() const;
    // The order of the figures shown now: none without a usable amount, or for a buy without
    // its maximum cost.
    std::optional<NOVRSaleOrder> currentOrder() const;

    // Confirm and Return: starts the reviewed buy or sale with the password. Nothing without
    // a review of the figures shown now, and nothing while one runs.
    Q_INVOKABLE void executeSwap();
    // Send Anyway (offersSendAnyway): the earlier transaction counts as told, and the reviewed
    // buy or sale is signed as a new one, as executeSwap does. Nothing without the offer.
    Q_INVOKABLE void sendAnyway();

    // The flow the buy or sale runs on; by default the installed FlowService's.
    void setFlow(TransactionFlow* flow);
    TransactionFlow* flow() const { return m_flow; }
    bool isSending() const { return m_flow && m_flow->isRunning(); }
    double broadcastProgress() const { return m_flow ? m_flow->progress() : 0; }
    QString orderLine() const;
    QString earlierNote() const { return m_flow ? m_flow->earlierNote() : QString(); }
    QString replacementNote() const;
    bool offersSendAnyway() const { return m_flow && m_flow->offersSendAnyway(); }
    QString txHash() const { return m_flow ? m_flow->txHash() : QString(); }
    TransactionFlow::Step broadcastStep() const {
        return m_flow ? m_flow->step() : TransactionFlow::Step::Idle;
    }
    bool showsProgress() const;
    QString stepTitle() const;
    bool isComplete() const { return broadcastStep() == TransactionFlow::Step::Confirmed; }
    bool isFinished() const;
    QVariantList stages() const;
    QVariantList connectors() const;

    // The pause between the last edit and the quote (tests shorten it).
    void setQuoteDelay(std::chrono::milliseconds delay) { m_quoteTimer.setInterval(delay); }

signals:
    void directionChanged();
    void amountStringChanged();
    void slippageBpsChanged();
    void quoteChanged();
    void showConfirmationChanged();
    void flowChanged();
    void orderLineChanged();
    void preparingChanged();
    void reviewChanged();
    void replacementNoteChanged();

protected:
    // Ends the quote running now: its answer is dropped and its request aborted.
    void supersedeQuote();

private:
    // An edit: the running quote is superseded and the pause starts again.
    void quoteInputsChanged();
    void setQuoteResult(bool quoting, std::optional<QString> error);
    // The flow's step moved: a failure's text goes under the password field; a reverted buy
    // means the price moved, so the quote is asked for again.
    void followFlowStep();
    QString liveOrderLine() const;
    // The USDC side of the order: a buy's estimate, a sale's proceeds at the floor price.
    std::optional<UInt256> estimatedUSDC() const;
    // The figures moved: a review of others goes; under an open confirmation that is not
    // running, the figures shown now are prepared again.
    void followFigures();
    void dropReview();
    void startPreparing();
    void setPreparing(bool preparing, QString error);
    QCoro::Task<void> prepareReview(std::uint64_t revision, NOVRSaleOrder order,
                                    CancellationToken token);

    struct BuyEstimate {
        UInt256 amount; // NOVR base units quoted
        UInt256 cost;   // USDC base units
    };

    Direction m_direction = Direction::Buy;
    QString m_amountString;
    unsigned m_slippageBps = 100;
    bool m_isQuoting = false;
    std::optional<BuyEstimate> m_estimate;
    std::optional<UInt256> m_floorPrice;
    std::optional<QString> m_quoteError;
    bool m_showConfirmation = false;

    QTimer m_quoteTimer;
    std::uint64_t m_quoteGeneration = 0;
    CancellationToken m_quoteToken;

    QPointer<TransactionFlow> m_flow;

    std::optional<NOVRPreparedSale> m_review;
    bool m_isPreparing = false;
    QString m_prepareError;
    std::optional<TaskHandle> m_prepareTask;
    std::optional<NOVRSaleOrder> m_preparingOrder;
    // Bumped when a review or its preparation stops answering the figures.
    std::uint64_t m_reviewRevision = 0;
};

} // namespace qm
