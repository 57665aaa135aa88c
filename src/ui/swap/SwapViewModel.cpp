#include "ui/swap/SwapViewModel.h"

#include "core/model/Amount.h"
#include "services/connections/NetworkManager.h"
#include "services/swap/AggregatorClient.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/SwapError.h"
#include "services/swap/UniswapQuoter.h"
#include "state/AppState.h"
#include "state/UserErrorText.h"
#include "state/flows/EarlierAttemptNote.h"
#include "state/flows/FlowService.h"
#include "state/swap/EVMSwapExecution.h"
#include "state/swap/SolanaSwapExecution.h"
#include "ui/swap/SwapTokenVariant.h"
#include "ui/theme/TypedAmount.h"

#include <QPointer>
#include <algorithm>

namespace qm {
namespace {

constexpr std::int64_t maxSlippageBps = 10000;

void appendOnce(std::vector<SwapToken>& list, SwapToken token) {
    token.isNative = false;
    if (std::find(list.begin(), list.end(), token) == list.end()) {
        list.push_back(std::move(token));
    }
}

// Exact base units of a typed amount; none for text that is no amount above zero. The
// amount errors that name a number the token cannot hold, or the separator to use, are
// reported.
struct ParsedAmount {
    std::optional<UInt256> value;
    std::optional<QString> error;
};

ParsedAmount parseAmount(const QString& text, std::int64_t decimals) {
    if (decimals < 0) {
        return {};
    }
    try {
        const Amount amount = parseTypedAmount(text, static_cast<unsigned>(decimals));
        if (amount.value.isZero()) {
            return {};
        }
        return {amount.value, std::nullopt};
    } catch (const AmountError& error) {
        if (error.kind() == AmountError::Kind::tooManyDecimals ||
            error.kind() == AmountError::Kind::tooLarge ||
            error.kind() == AmountError::Kind::decimalComma) {
            return {std::nullopt, QString::fromUtf8(error.what())};
        }
        return {};
    }
}

} // namespace

SwapViewModel::SwapViewModel(QObject* parent) : PasswordFormModel(parent) {
    connect(this, &StateBoundModel::appStateChanged, this, &SwapViewModel::availableTokensChanged);
    for (const auto signal : {&SwapViewModel::reviewChanged, &SwapViewModel::flowChanged}) {
        connect(this, signal, this, &SwapViewModel::replacementNoteChanged);
    }
    connect(this, &StateBoundModel::attemptsChanged, this, &SwapViewModel::replacementNoteChanged);
    watchFlow();
}

SwapViewModel::~SwapViewModel() = default;

std::vector<SwapToken> SwapViewModel::availableTokens(Chain chain, const AppState& state) {
    std::vector<SwapToken> list = {SwapToken::native(chain)};
    if (isEVMChain(chain)) {
        for (const EVMAccountState& account : state.evmAccounts(chain)) {
            for (const TokenBalance& held : account.tokens) {
                if (held.balanceFormatted > 0) {
                    appendOnce(list, {held.token.symbol, held.token.contractAddress,
                                      held.token.decimals, false});
                }
            }
        }
        for (const EVMSwapTokens::TokenDef& token : EVMSwapTokens::tokens(chain)) {
            appendOnce(list, {token.symbol, token.address, token.decimals, false});
        }
    } else if (chain == Chain::solana) {
        for (const SolanaAccountState& account : state.solanaAccounts()) {
            for (const SPLTokenBalance& held : account.tokens) {
                appendOnce(list, {held.symbol, held.mint, held.decimals, false});
            }
        }
        for (const SPLTokenList::TokenInfo& token : SPLTokenList::knownTokens()) {
            if (token.symbol != "SOL") {
                appendOnce(list, {token.symbol, token.mint, token.decimals, false});
            }
        }
    }
    return list;
}

QVariantList SwapViewModel::availableTokenList() const {
    QVariantList list;
    if (const AppState* state = appState()) {
        for (const SwapToken& token : availableTokens(m_chain, *state)) {
            list.push_back(swapTokenToVariant(token));
        }
    }
    return list;
}

QVariantMap SwapViewModel::tokenInMap() const {
    return swapTokenToVariant(m_tokenIn);
}

QVariantMap SwapViewModel::tokenOutMap() const {
    return swapTokenToVariant(m_tokenOut);
}

void SwapViewModel::setChain(Chain chain) {
    if (chain == m_chain) {
        return;
    }
    m_chain = chain;
    emit chainChanged();
    emit availableTokensChanged();
    watchFlow();
    inputsChanged();
}

void SwapViewModel::setChainIndex(int chain) {
    if (chain >= 0 && static_cast<std::size_t>(chain) < chainCount) {
        setChain(allChains()[static_cast<std::size_t>(chain)]);
    }
}

void SwapViewModel::setTokenIn(std::optional<SwapToken> token) {
    if (token == m_tokenIn) {
        return;
    }
    // A token is never on both sides: the other side's token trades places with this one.
    if (token && token == m_tokenOut) {
        flipTokens();
        return;
    }
    m_tokenIn = std::move(token);
    emit tokensChanged();
    inputsChanged();
}

void SwapViewModel::setTokenOut(std::optional<SwapToken> token) {
    if (token == m_tokenOut) {
        return;
    }
    if (token && token == m_tokenIn) {
        flipTokens();
        return;
    }
    m_tokenOut = std::move(token);
    emit tokensChanged();
    inputsChanged();
}

void SwapViewModel::setTokenInMap(const QVariantMap& token) {
    setTokenIn(swapTokenFromVariant(token));
}

void SwapViewModel::setTokenOutMap(const QVariantMap& token) {
    setTokenOut(swapTokenFromVariant(token));
}

void SwapViewModel::chooseDefaultTokens() {
    const AppState* state = appState();
    const std::vector<SwapToken> list =
        state ? availableTokens(m_chain, *state) : std::vector<SwapToken>{};
    setTokenIn(list.empty() ? std::nullopt : std::optional(list.front()));
    if (list.size() < 2) {
        return;
    }
    const auto usdc = std::find_if(list.begin(), list.end(), [](const SwapToken& token) {
        return !token.isNative && token.symbol == "USDC";
    });
    setTokenOut(usdc != list.end() ? *usdc : list[1]);
}

void SwapViewModel::selectTokenIn(int index) {
    const AppState* state = appState();
    const std::vector<SwapToken> list =
        state ? availableTokens(m_chain, *state) : std::vector<SwapToken>{};
    setTokenIn(index >= 0 && static_cast<std::size_t>(index) < list.size()
                   ? std::optional(list[static_cast<std::size_t>(index)])
                   : std::nullopt);
}

void SwapViewModel::selectTokenOut(int index) {
    const AppState* state = appState();
    const std::vector<SwapToken> list =
        state ? availableTokens(m_chain, *state) : std::vector<SwapToken>{};
    setTokenOut(index >= 0 && static_cast<std::size_t>(index) < list.size()
                    ? std::optional(list[static_cast<std::size_t>(index)])
                    : std::nullopt);
}

void SwapViewModel::setAmountInString(const QString& text) {
    if (text == m_amountInString) {
        return;
    }
    m_amountInString = text;
    emit amountInStringChanged();
    inputsChanged();
}

void SwapViewModel::setSlippageBps(int bps) {
    const std::int64_t clamped = std::clamp<std::int64_t>(bps, 0, maxSlippageBps);
    if (clamped == m_slippageBps) {
        return;
    }
    m_slippageBps = clamped;
    emit slippageBpsChanged();
    inputsChanged();
}

QString SwapViewModel::slippageText(std::int64_t bps) {
    if (bps % 100 == 0) {
        return QString::number(bps / 100) + QStringLiteral("%");
    }
    // One decimal, the hundredths rounded half up: 50 gives "0.5%", 10 "0.1%".
    const std::int64_t tenths = (bps + 5) / 10;
    return QString::number(tenths / 10) + QStringLiteral(".") + QString::number(tenths % 10) +
           QStringLiteral("%");
}

QString SwapViewModel::chainName() const {
    return QString::fromStdString(displayName(m_chain));
}

std::optional<SwapViewModel::Inputs> SwapViewModel::inputs() const {
    if (!m_tokenIn || !m_tokenOut) {
        return std::nullopt;
    }
    const ParsedAmount amount = parseAmount(m_amountInString, m_tokenIn->decimals);
    if (!amount.value) {
        return std::nullopt;
    }
    return Inputs{m_chain, *m_tokenIn, *m_tokenOut, *amount.value, m_slippageBps};
}

void SwapViewModel::inputsChanged() {
    ++m_generation;
    if (m_quoteTask) {
        m_quoteTask->cancel();
        m_quoteTask.reset();
    }
    setIsQuoting(false);
    clearQuotes();
    // The review's amount follows the inputs, quote or not.
    emit quoteChanged();
    emit canSwapChanged();
    // A review open on another swap closes; a swap's progress stays.
    const TransactionFlow* current = flow();
    if (m_showConfirmation && isEVMChain(m_chain) && !isSending() &&
        (!current || current->step() == TransactionFlow::Step::Idle ||
         current->step() == TransactionFlow::Step::Failed)) {
        setShowConfirmation(false);
    }
}

QString SwapViewModel::expectedOutputText() const {
    const std::optional<Amount> output = quotedOutput();
    return output ? QString::fromStdString(output->listNumberText()) : QString();
}

std::optional<Amount> SwapViewModel::quotedOutput() const {
    if (m_currentQuote) {
        return amountOf(m_currentQuote->amountOut, m_currentQuote->tokenOut.decimals);
    }
    if (m_solanaQuote) {
        return amountOf(UInt256(0, 0, 0, m_solanaQuote->quote.outAmount),
                        m_solanaQuote->asked.tokenOut.decimals);
    }
    return std::nullopt;
}

QString SwapViewModel::exactAmountInText() const {
    const std::optional<Inputs> current = inputs();
    if (!current) {
        return m_amountInString;
    }
    return QString::fromStdString(
        amountOf(current->amountIn, current->tokenIn.decimals).exactText());
}

QString SwapViewModel::exactOutputText() const {
    const std::optional<Amount> output = quotedOutput();
    return output ? QString::fromStdString(output->exactText()) : QString();
}

QString SwapViewModel::minimumReceivedText() const {
    std::optional<Amount> minimum;
    if (m_currentQuote) {
        minimum = amountOf(m_currentQuote->amountOutMinimum, m_currentQuote->tokenOut.decimals);
    } else if (m_solanaQuote) {
        minimum = amountOf(UInt256(0, 0, 0, m_solanaQuote->quote.outAmountMinimum),
                           m_solanaQuote->asked.tokenOut.decimals);
    }
    return minimum ? QString::fromStdString(minimum->exactText()) : QString();
}

QString SwapViewModel::contractAddress() const {
    return isEVMChain(m_chain) ? QString::fromStdString(uniswapRouterAddress) : QString();
}

bool SwapViewModel::minimumIsEstimate() const {
    return !m_currentQuote && m_solanaQuote && !m_solanaQuote->quote.minimumIsStated;
}

QString SwapViewModel::route() const {
    if (m_currentQuote) {
        return QString::fromStdString(m_currentQuote->route);
    }
    return m_solanaQuote ? QString::fromStdString(m_solanaQuote->quote.routePlan) : QString();
}

bool SwapViewModel::canSwap() const {
    return hasQuote() && !isSending() && inputs().has_value();
}

FlowService* SwapViewModel::flowService() const {
    return m_flowService ? m_flowService.data() : FlowService::installed();
}

void SwapViewModel::setFlowService(FlowService* service) {
    m_flowService = service;
    watchFlow();
}

TransactionFlow* SwapViewModel::flow() const {
    FlowService* service = flowService();
    return service
               ? service->flow(QStringLiteral("swap:") + QString::fromStdString(rawValue(m_chain)))
               : nullptr;
}

bool SwapViewModel::isSending() const {
    const TransactionFlow* current = flow();
    return current && current->isRunning();
}

void SwapViewModel::watchFlow() {
    disconnect(m_flowWatch);
    disconnect(m_flowStepWatch);
    if (TransactionFlow* current = flow()) {
        m_flowWatch = connect(current, &TransactionFlow::runningChanged, this,
                              &SwapViewModel::canSwapChanged);
        m_flowStepWatch =
            connect(current, &TransactionFlow::stepChanged, this, &SwapViewModel::followFlowStep);
    }
    followFlowStep();
    emit flowChanged();
    emit canSwapChanged();
}

void SwapViewModel::followFlowStep() {
    const TransactionFlow* current = flow();
    // Kept for a retry while nothing has left; once a transaction is out it is used up.
    if (current && current->hasBroadcast()) {
        wipePassword();
    }
    if (current && current->step() == TransactionFlow::Step::Failed) {
        setErrorMessage(current->errorMessage());
    } else {
        setErrorMessage(std::nullopt);
    }
    // A run that ended Failed has left its attempt in the ledger by now.
    emit replacementNoteChanged();
}

void SwapViewModel::setShowConfirmation(bool shown) {
    if (shown != m_showConfirmation) {
        m_showConfirmation = shown;
        emit showConfirmationChanged();
    }
}

std::pair<QString, QString> SwapViewModel::summaryTexts(const SwapToken& in,
                                                        const SwapToken& out) const {
    return {exactAmountInText() + QStringLiteral(" ") + QString::fromStdString(in.symbol) +
                QStringLiteral(" \u2192 ") + exactOutputText() + QStringLiteral(" ") +
                QString::fromStdString(out.symbol),
            QStringLiteral("on ") + QString::fromStdString(displayName(m_chain))};
}

void SwapViewModel::showSummary(TransactionFlow& flow, const SwapToken& in,
                                const SwapToken& out) const {
    auto [summary, detail] = summaryTexts(in, out);
    flow.setSummary(std::move(summary), std::move(detail));
}

QString SwapViewModel::replacementNote() const {
    const AppState* state = appState();
    TransactionFlow* current = flow();
    if (!state || !current || current->offersSendAnyway() || !hasReview() || !m_tokenIn ||
        !m_tokenOut) {
        return {};
    }
    const auto [summary, detail] = summaryTexts(*m_tokenIn, *m_tokenOut);
    return earlierAttemptReviewNote(*state, m_chain, current->objectName().toStdString(), summary,
                                    detail);
}

std::optional<SolanaSwapQuote> SwapViewModel::currentSolanaQuote() const {
    return m_solanaQuote ? std::optional(m_solanaQuote->quote) : std::nullopt;
}

std::shared_ptr<AggregatorClient> SwapViewModel::aggregator() {
    if (!m_aggregator) {
        m_aggregator = std::make_shared<AggregatorClient>();
    }
    return m_aggregator;
}

QCoro::Task<SolanaSwapQuote> SwapViewModel::solanaOrder(const Inputs& asked,
                                                        CancellationToken cancel) {
    const AppState* state = appState();
    if (!state || state->solanaAccounts().empty()) {
        throw SwapError::jupiterError("No Solana account found");
    }
    // An order moves a 64-bit amount.
    const std::optional<std::uint64_t> amount = asked.amountIn.toUInt64();
    if (!amount) {
        throw AmountError(AmountError::Kind::tooLarge);
    }
    const auto mint = [](const SwapToken& token) {
        return token.isNative ? wrappedSOLMint : token.address;
    };
    return aggregator()->aggregatorOrder(
        mint(asked.tokenIn), mint(asked.tokenOut), *amount, asked.slippageBps,
        state->solanaAccounts().front().account.address, std::move(cancel));
}

bool SwapViewModel::executeSolanaSwap() {
    TransactionFlow* current = flow();
    AppState* state = appState();
    if (!current || !state || m_chain != Chain::solana || current->isRunning()) {
        return false;
    }
    if (!m_solanaQuote || inputs() != m_solanaQuote->asked) {
        requestQuote();
        return false;
    }
    SolanaSwapOrder order;
    order.quote = m_solanaQuote->quote;
    // An order without its request or transaction is nothing to sign.
    if (!order.quote.requestId || !order.quote.transactionBase64) {
        return false;
    }
    order.walletID = state->wallet() ? state->wallet()->id : std::string();
    order.taker = state->solanaAccounts().empty() ? std::string()
                                                  : state->solanaAccounts().front().account.address;
    std::string typed = passwordUtf8();
    auto password = std::make_shared<const SecureBytes>(SecureBytes::fromText(typed));
    wipe(typed);
    showSummary(*current, m_solanaQuote->asked.tokenIn, m_solanaQuote->asked.tokenOut);
    const QPointer<AppState> owner(state);
    return current->start(TransactionFlow::Step::Signing,
                          [owner, client = aggregator(), order, password](FlowRun run) {
                              return runSolanaSwap(std::move(run), owner, client, order, password);
                          });
}

void SwapViewModel::reset() {
    setAmountInString(QString());
    clearQuotes();
    dropReview();
    setQuoteError(std::nullopt);
    wipePassword();
    if (TransactionFlow* current = flow()) {
        current->reset();
    }
    setShowConfirmation(false);
}

void SwapViewModel::setQuote(std::optional<SwapQuote> quote) {
    if (quote == m_currentQuote) {
        return;
    }
    dropReview();
    m_currentQuote = std::move(quote);
    emit quoteChanged();
    emit canSwapChanged();
}

void SwapViewModel::setSolanaQuote(std::optional<SolanaOrder> order) {
    if (order == m_solanaQuote) {
        return;
    }
    m_solanaQuote = std::move(order);
    emit quoteChanged();
    emit canSwapChanged();
}

void SwapViewModel::clearQuotes() {
    setQuote(std::nullopt);
    setSolanaQuote(std::nullopt);
}

void SwapViewModel::setQuoteError(std::optional<QString> text) {
    if (text != m_quoteError) {
        m_quoteError = std::move(text);
        emit quoteErrorChanged();
    }
}

void SwapViewModel::setIsQuoting(bool quoting) {
    if (quoting != m_isQuoting) {
        m_isQuoting = quoting;
        emit isQuotingChanged();
    }
}

void SwapViewModel::requestQuote() {
    if (m_quoteTask) {
        m_quoteTask->cancel();
    }
    m_quoteTask =
        TaskHandle::spawn(this, [this](CancellationToken cancel) { return fetchQuote(cancel); });
}

QCoro::Task<void> SwapViewModel::fetchQuote(CancellationToken cancel) {
    QPointer<SwapViewModel> self(this);
    ++m_generation;
    const std::uint64_t generation = m_generation;
    const std::optional<Inputs> asked = inputs();
    if (!asked || !(isEVMChain(m_chain) || m_chain == Chain::solana) || !appState()) {
        clearQuotes();
        setQuoteError(m_tokenIn && m_tokenOut
                          ? parseAmount(m_amountInString, m_tokenIn->decimals).error
                          : std::nullopt);
        co_return;
    }
    setIsQuoting(true);
    setQuoteError(std::nullopt);
    clearQuotes();
    std::optional<SwapQuote> quote;
    std::optional<SolanaSwapQuote> order;
    std::optional<QString> failure;
    try {
        if (asked->chain == Chain::solana) {
            auto request = solanaOrder(*asked, cancel);
            order = co_await std::move(request);
        } else {
            std::shared_ptr<JSONRPCClient> client =
                appState()->networkManager().evmClient(asked->chain);
            auto request =
                uniswapQuote(asked->tokenIn, asked->tokenOut, asked->amountIn, asked->slippageBps,
                             asked->chain, std::move(client), cancel);
            quote = co_await std::move(request);
        }
    } catch (const std::exception& error) {
        failure = userErrorText(error);
    }
    // Only the answer to the latest request, for inputs that still hold, lands.
    if (!self || generation != m_generation || inputs() != asked) {
        co_return;
    }
    setQuote(std::move(quote));
    if (order) {
        setSolanaQuote(SolanaOrder{*asked, std::move(*order)});
    }
    setQuoteError(std::move(failure));
    setIsQuoting(false);
}

void SwapViewModel::flipTokens() {
    std::swap(m_tokenIn, m_tokenOut);
    emit tokensChanged();
    m_amountInString.clear();
    emit amountInStringChanged();
    inputsChanged();
    setQuoteError(std::nullopt);
}

Amount SwapViewModel::amountOf(const UInt256& amount, std::int64_t decimals) {
    return {amount,
            static_cast<unsigned>(std::clamp<std::int64_t>(decimals, 0, Amount::maxDecimals))};
}

QString SwapViewModel::formatAmount(const UInt256& amount, std::int64_t decimals) {
    return QString::fromStdString(amountOf(amount, decimals).listNumberText());
}

} // namespace qm
