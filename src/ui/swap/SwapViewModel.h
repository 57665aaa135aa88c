#pragma once
// The state of one swap screen: the chain, the two tokens, the amount as typed, the slippage,
// and the quote for exactly those inputs. The amount is read exactly into base units (never
// through a double), and a quote is kept only while it answers the current inputs: an edit of
// the chain, a token, the amount or the slippage drops it, and an answer to inputs that have
// changed meanwhile is thrown away, so only a current quote can be reviewed and executed.
//
// "Review Swap" (review()) prepares the swap of the current quote in the state's swap layer on
// Ethereum, Arbitrum and Polygon (the approval it may need, the fees, the max network fee);
// the confirmation opens on it only while it answers the current inputs, and the swap signs
// exactly it. When the chain moved before the press the flow hands back the swap prepared
// again, which the review shows and the next press signs.
//
// The swap itself runs in the chain's flow ("swap:<chain>") of the flow service, which the
// confirmation sheet reads (steps, progress, transaction id, failure) and which outlives the
// sheet. The password typed there (the shared password step) is kept for a retry until a
// transaction of the swap has left, then wiped, as it is by reset().

#include "core/crypto/UInt256.h"
#include "core/model/Amount.h"
#include "core/model/Chain.h"
#include "platform/async/CancellationToken.h"
#include "platform/async/TaskHandle.h"
#include "services/swap/SwapQuote.h"
#include "services/swap/SwapToken.h"
#include "state/flows/TransactionFlow.h"
#include "state/swap/EVMPreparedSwap.h"
#include "ui/onboarding/PasswordFormModel.h"

#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>
#include <memory>
#include <optional>
#include <vector>

namespace qm {

class AggregatorClient;
class FlowService;

class SwapViewModel : public PasswordFormModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(int chain READ chainIndex WRITE setChainIndex NOTIFY chainChanged)
    // [{symbol, address, decimals, isNative}] in picker order, for the current chain.
    Q_PROPERTY(QVariantList availableTokens READ availableTokenList NOTIFY availableTokensChanged)
    // The same fields, or empty when the side is not chosen.
    // Assigned a picker's choice (a map; anything else clears the side).
    Q_PROPERTY(QVariantMap tokenIn READ tokenInMap WRITE setTokenInMap NOTIFY tokensChanged)
    Q_PROPERTY(QVariantMap tokenOut READ tokenOutMap WRITE setTokenOutMap NOTIFY tokensChanged)
    Q_PROPERTY(QString amountInString READ amountInString WRITE setAmountInString NOTIFY
                   amountInStringChanged)
    Q_PROPERTY(int slippageBps READ slippageBps WRITE setSlippageBps NOTIFY slippageBpsChanged)
    // "0.5%", "1%": the slippage as the screens show it.
    Q_PROPERTY(QString slippageText READ slippageText NOTIFY slippageBpsChanged)
    // "Ethereum", "Solana": the chain's display name.
    Q_PROPERTY(QString chainName READ chainName NOTIFY chainChanged)
    Q_PROPERTY(bool isQuoting READ isQuoting NOTIFY isQuotingChanged)
    Q_PROPERTY(bool hasQuote READ hasQuote NOTIFY quoteChanged)
    Q_PROPERTY(QString quoteError READ quoteErrorText NOTIFY quoteErrorChanged)
    Q_PROPERTY(QString expectedOutputText READ expectedOutputText NOTIFY quoteChanged)
    // The review's figures, exact (every digit, never rounded): the amount that goes in, the
    // promised output and the least that may come out.
    Q_PROPERTY(QString exactAmountInText READ exactAmountInText NOTIFY quoteChanged)
    Q_PROPERTY(QString exactOutputText READ exactOutputText NOTIFY quoteChanged)
    Q_PROPERTY(QString minimumReceivedText READ minimumReceivedText NOTIFY quoteChanged)
    // The contract the swap calls (the router, also the spender of an approval): the whole
    // address on Ethereum, Arbitrum and Polygon; empty on Solana, whose order names none.
    Q_PROPERTY(QString contractAddress READ contractAddress NOTIFY chainChanged)
    Q_PROPERTY(QString route READ route NOTIFY quoteChanged)
    // The minimum is only worked out from the slippage (a Solana order that states none):
    // nothing on chain enforces it, and the screens say so.
    Q_PROPERTY(bool minimumIsEstimate READ minimumIsEstimate NOTIFY quoteChanged)
    Q_PROPERTY(bool canSwap READ canSwap NOTIFY canSwapChanged)
    // The review of an EVM swap: prepared by review() for the current quote.
    Q_PROPERTY(bool isPreparing READ isPreparing NOTIFY preparingChanged)
    // Why the last review() could not prepare the swap; cleared by the next one or an edit.
    Q_PROPERTY(QString prepareError READ prepareError NOTIFY preparingChanged)
    Q_PROPERTY(bool hasReview READ hasReview NOTIFY reviewChanged)
    // "0.00042 ETH": the most the prepared transactions may pay the network, exact; empty
    // without a review.
    Q_PROPERTY(QString reviewMaxFee READ reviewMaxFee NOTIFY reviewChanged)
    // The review includes an approval: the swap's own gas can only be estimated once it is in
    // a block, so its part of the max fee is a bound.
    Q_PROPERTY(bool reviewIncludesApproval READ reviewIncludesApproval NOTIFY reviewChanged)
    // While an earlier transaction of the account that the user was told failed may still
    // land, and this swap is another: "This replaces your earlier … that may still go
    // through." (Solana: that this one waits for its expiry). Empty otherwise, and while the
    // face offers Send Anyway (what that signs replaces nothing).
    Q_PROPERTY(QString replacementNote READ replacementNote NOTIFY replacementNoteChanged)
    // The flow of this chain's swaps: step, progress, txHash, errorMessage, isRunning,
    // offersSendAnyway.
    Q_PROPERTY(qm::TransactionFlow* flow READ flow NOTIFY flowChanged)
    Q_PROPERTY(bool isSending READ isSending NOTIFY canSwapChanged)
    Q_PROPERTY(bool showConfirmation READ showConfirmation WRITE setShowConfirmation NOTIFY
                   showConfirmationChanged)

public:
    explicit SwapViewModel(QObject* parent = nullptr);
    ~SwapViewModel() override;

    // What a quote answers; two quotes are interchangeable only for equal inputs.
    struct Inputs {
        Chain chain = Chain::ethereum;
        SwapToken tokenIn;
        SwapToken tokenOut;
        UInt256 amountIn; // base units of tokenIn, above zero
        std::int64_t slippageBps = 0;
        bool operator==(const Inputs&) const = default;
    };

    // The tokens both pickers offer on `chain`: the native coin, then the account tokens held
    // (EVM: balance above zero; Solana: every holding), then the chain's fixed list, each
    // token once (all four fields compared exactly).
    static std::vector<SwapToken> availableTokens(Chain chain, const AppState& state);

    Chain chain() const { return m_chain; }
    void setChain(Chain chain);
    int chainIndex() const { return static_cast<int>(m_chain); }
    void setChainIndex(int chain);
    const std::optional<SwapToken>& tokenIn() const { return m_tokenIn; }
    const std::optional<SwapToken>& tokenOut() const { return m_tokenOut; }
    void setTokenIn(std::optional<SwapToken> token);
    void setTokenOut(std::optional<SwapToken> token);
    void setTokenInMap(const QVariantMap& token);
    void setTokenOutMap(const QVariantMap& token);
    // The sides a freshly shown screen starts with: the first offered token in, and out the
    // first non-native "USDC" offered, else the second token (left as it is with fewer than
    // two).
    Q_INVOKABLE void chooseDefaultTokens();
    // The token at `index` of availableTokens; an index outside the list clears the side.
    Q_INVOKABLE void selectTokenIn(int index);
    Q_INVOKABLE void selectTokenOut(int index);
    QString amountInString() const { return m_amountInString; }
    void setAmountInString(const QString& text);
    int slippageBps() const { return static_cast<int>(m_slippageBps); }
    // Kept within 0 ... 10000.
    void setSlippageBps(int bps);
    QString slippageText() const { return slippageText(m_slippageBps); }
    // bps / 100 as a whole number, or with one decimal, followed by "%".
    static QString slippageText(std::int64_t bps);
    QString chainName() const;

    // The current inputs when both tokens are chosen and the amount is an exact amount above
    // zero in tokenIn's base units; else none.
    std::optional<Inputs> inputs() const;

    bool isQuoting() const { return m_isQuoting; }
    // The quote of the current inputs, if one has arrived for them.
    const std::optional<SwapQuote>& currentQuote() const { return m_currentQuote; }
    // The Solana aggregator's order for the current inputs (with the transaction it built).
    std::optional<SolanaSwapQuote> currentSolanaQuote() const;
    bool hasQuote() const { return m_currentQuote.has_value() || m_solanaQuote.has_value(); }
    const std::optional<QString>& quoteError() const { return m_quoteError; }
    QString quoteErrorText() const { return m_quoteError.value_or(QString()); }
    // The promised output as the form shows it (the lists' rounding), without a symbol; empty
    // without a quote. The route: "ETH → 0.3% → USDC".
    QString expectedOutputText() const;
    // The typed amount as it will be sent (the exact text of its base units; the text as typed
    // while it is no amount), the promised and the minimum output, exact; empty without a quote.
    QString exactAmountInText() const;
    QString exactOutputText() const;
    QString minimumReceivedText() const;
    QString contractAddress() const;
    bool minimumIsEstimate() const;
    QString route() const;
    // Both tokens, an amount above zero, a current quote and no swap running.
    bool canSwap() const;

    // Asks for a quote of the current inputs (the screen calls it after its debounce); the
    // answer lands in currentQuote or quoteError unless the inputs changed meanwhile. Without
    // inputs it clears the quote and the error and sends nothing. A request still running is
    // cancelled. Quotes on Solana come from its aggregator, which is not wired here: none.
    Q_INVOKABLE void requestQuote();
    // The same as a coroutine that ends when the answer has landed (or was thrown away);
    // cancelling `cancel` aborts the request.
    QCoro::Task<void> fetchQuote(CancellationToken cancel = {});

    // Exchanges the two sides and clears the amount, the quote and its error.
    Q_INVOKABLE void flipTokens();

    // The flow service the swaps run in; unset, the program's installed one.
    void setFlowService(FlowService* service);
    // The flow of the current chain's swaps; none without a flow service.
    TransactionFlow* flow() const;
    // A swap of this chain is running (its flow's run, whoever started it).
    bool isSending() const;
    bool showConfirmation() const { return m_showConfirmation; }
    void setShowConfirmation(bool shown);

    // "Review Swap": on Ethereum, Arbitrum and Polygon prepares the swap of the current quote
    // (nothing while one is prepared or nothing can be swapped); the confirmation opens when
    // it is ready, the failure shows in prepareError otherwise. On Solana the order is the
    // review: the confirmation opens at once. A failure of an earlier attempt goes.
    Q_INVOKABLE void review();
    bool isPreparing() const { return m_isPreparing; }
    QString prepareError() const { return m_prepareError; }
    // The prepared EVM swap under review, if any.
    const std::optional<EVMPreparedSwap>& evmReview() const { return m_review; }
    bool hasReview() const { return m_review.has_value(); }
    QString reviewMaxFee() const;
    bool reviewIncludesApproval() const;
    QString replacementNote() const;

    // Starts the swap under review on Ethereum, Arbitrum or Polygon with the password set on
    // this model, in the chain's flow. False, and nothing started, when there is no quote for
    // the current inputs (it asks for one then: a quote older than the last edit is never
    // executed), no review prepared for it, the chain is not an EVM chain, or a swap of the
    // chain still runs.
    Q_INVOKABLE bool executeEVMSwap();
    // The same on Solana: signs the current order's transaction and hands it to the
    // aggregator. False, and nothing started, without an order for the current inputs (it
    // asks for a new one then: an order for an earlier amount or token is never signed).
    Q_INVOKABLE bool executeSolanaSwap();
    // The swap of the current chain: executeEVMSwap on Ethereum, Arbitrum and Polygon,
    // executeSolanaSwap on Solana; false, and nothing started, elsewhere.
    Q_INVOKABLE bool executeSwap();
    // Send Anyway, on a failed face whose flow offers it (TransactionFlow::offersSendAnyway):
    // the earlier transaction counts as told, and the reviewed swap is signed as a new one.
    // False, and nothing started, without the offer or as executeEVMSwap.
    Q_INVOKABLE bool sendAnyway();
    // Back to a fresh form for the same chain, tokens and slippage: no amount, quote, error
    // or password, the sheet closed, and the flow reset (unless it still runs).
    Q_INVOKABLE void reset();

    // base units / 10^decimals as the lists show it, from the exact value: "0", or 6 fraction
    // digits below 0.01, 4 below 1000, else 2, rounded half up.
    static QString formatAmount(const UInt256& amount, std::int64_t decimals);

signals:
    void chainChanged();
    void availableTokensChanged();
    void tokensChanged();
    void amountInStringChanged();
    void slippageBpsChanged();
    void isQuotingChanged();
    void quoteChanged();
    void quoteErrorChanged();
    void canSwapChanged();
    void flowChanged();
    void showConfirmationChanged();
    void preparingChanged();
    void reviewChanged();
    void replacementNoteChanged();

private:
    QVariantList availableTokenList() const;
    QVariantMap tokenInMap() const;
    QVariantMap tokenOutMap() const;
    // The inputs changed: the quote and any request for the old inputs are dropped.
    void inputsChanged();
    // A Solana order with the inputs it answers.
    struct SolanaOrder {
        Inputs asked;
        SolanaSwapQuote quote;
        bool operator==(const SolanaOrder&) const = default;
    };

    // base units of a token whose decimals are kept within 0 ... 255.
    static Amount amountOf(const UInt256& amount, std::int64_t decimals);
    // The promised output of the current quote; none without one.
    std::optional<Amount> quotedOutput() const;
    void setQuote(std::optional<SwapQuote> quote);
    // The review answers the current quote no more: it goes, with a preparation in flight.
    void dropReview();
    void setPreparing(bool preparing, QString error);
    QCoro::Task<void> prepareReview(std::uint64_t revision, EVMSwapOrder order,
                                    CancellationToken token);
    // The swap of the current quote from the chain's first account.
    EVMSwapOrder currentOrder() const;
    void setSolanaQuote(std::optional<SolanaOrder> order);
    void clearQuotes();
    // What the flow shows of the swap it runs: "1.5 SOL → 225.0000 USDC", "on Solana".
    void showSummary(TransactionFlow& flow, const SwapToken& in, const SwapToken& out) const;
    // What the flow shows of this swap: "1 ETH → 2 USDC", "on Ethereum".
    std::pair<QString, QString> summaryTexts(const SwapToken& in, const SwapToken& out) const;
    // The aggregator's order for `asked` (a Solana swap), for the first Solana account.
    QCoro::Task<SolanaSwapQuote> solanaOrder(const Inputs& asked, CancellationToken cancel);
    std::shared_ptr<AggregatorClient> aggregator();
    void setQuoteError(std::optional<QString> text);
    void setIsQuoting(bool quoting);
    FlowService* flowService() const;
    // Follows the current chain's flow: its running flag moves canSwap and isSending, and a
    // failure before anything left shows under the password field (errorMessage).
    void watchFlow();
    // At each step: the failure under the password field, and the password wiped once a
    // transaction has left.
    void followFlowStep();

    Chain m_chain = Chain::ethereum;
    std::optional<SwapToken> m_tokenIn;
    std::optional<SwapToken> m_tokenOut;
    QString m_amountInString;
    std::int64_t m_slippageBps = 50;
    bool m_isQuoting = false;
    std::optional<SwapQuote> m_currentQuote;
    std::optional<SolanaOrder> m_solanaQuote;
    // Made on first use, from the configured endpoint; runs hold it past this model.
    std::shared_ptr<AggregatorClient> m_aggregator;
    std::optional<QString> m_quoteError;
    bool m_showConfirmation = false;
    QPointer<FlowService> m_flowService;
    QMetaObject::Connection m_flowWatch;
    QMetaObject::Connection m_flowStepWatch;
    // Bumped by every change of the inputs and every request: only the answer of the latest
    // request for the current inputs is kept.
    std::uint64_t m_generation = 0;
    std::optional<TaskHandle> m_quoteTask;
    // The review and its preparation; the revision counts the quotes it may answer.
    std::optional<EVMPreparedSwap> m_review;
    bool m_isPreparing = false;
    QString m_prepareError;
    std::optional<TaskHandle> m_prepareTask;
    std::uint64_t m_reviewRevision = 0;
};

} // namespace qm
