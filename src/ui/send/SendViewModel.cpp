#include "ui/send/SendViewModel.h"

#include "core/storage/TokenStore.h"
#include "services/bitcoin/CoinSelection.h"
#include "state/AmountFormatting.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"
#include "state/send/SendError.h"
#include "state/send/SendRecipients.h"
#include "ui/portfolio/AccountDetailModel.h"
#include "ui/portfolio/TokenVariant.h"
#include "ui/shell/SidebarItems.h"
#include "ui/theme/TypedAmount.h"

#include <utility>

namespace qm {
namespace {

UInt256 fromUInt64(std::uint64_t value) {
    return {0, 0, 0, value};
}

} // namespace

SendViewModel::SendViewModel(QObject* parent)
    : StateBoundModel(parent), m_passwordEntry(new PasswordEntry(this)) {
    connect(m_passwordEntry, &PasswordEntry::passwordChanged, this,
            &SendViewModel::hasPasswordChanged);
    // Used: once a transaction has left, the password goes from here and from the field.
    connect(this, &SendViewModel::broadcastStepChanged, this, [this] {
        if (m_flow && m_flow->hasBroadcast()) {
            m_passwordEntry->wipe();
        }
    });
    connect(this, &StateBoundModel::appStateChanged, this, [this] {
        followBalances();
        formEdited();
        emit formChanged();
    });
    // The chain, the asset or the state changed: so may the balance.
    connect(this, &SendViewModel::formChanged, this, &SendViewModel::balanceChanged);
    followBalances();
    // A run that ended Failed has left its attempt in the ledger by the time its step shows.
    for (const auto signal : {&SendViewModel::reviewChanged, &SendViewModel::broadcastStepChanged,
                              &SendViewModel::chainChanged}) {
        connect(this, signal, this, &SendViewModel::replacementNoteChanged);
    }
    connect(this, &StateBoundModel::attemptsChanged, this, &SendViewModel::replacementNoteChanged);
    m_flows = FlowService::installed();
    if (!m_flows) {
        m_ownFlows = new FlowService({}, this);
        m_flows = m_ownFlows;
    }
    attachFlow();
}

SendViewModel::~SendViewModel() {
    m_passwordEntry->wipe();
}

void SendViewModel::setFlowService(FlowService* service) {
    m_flows = service;
    attachFlow();
    emit chainChanged();
}

// --- Inputs ---------------------------------------------------------------------------------

void SendViewModel::setChain(Chain chain) {
    if (chain == m_chain) {
        return;
    }
    m_chain = chain;
    stopSendingEverything();
    m_maxRefused = false;
    formEdited();
    // The estimate in flight and the fee shown were the other chain's.
    if (m_feeTask) {
        m_feeTask->cancel();
        m_feeTask.reset();
    }
    setIsFetchingFees(false);
    setFeeSnapshot({});
    setFeesAsked(false);
    setEstimate(std::nullopt, 0, {}, QString());
    attachFlow();
    emit chainChanged();
    emit formChanged();
}

void SendViewModel::setChainIndex(int chain) {
    if (chain >= 0 && static_cast<std::size_t>(chain) < chainCount) {
        setChain(allChains()[static_cast<std::size_t>(chain)]);
    }
}

void SendViewModel::setRecipientAddress(const QString& text) {
    if (text != m_recipientAddress) {
        m_recipientAddress = text;
        formEdited();
        emit recipientAddressChanged();
        emit formChanged();
    }
}

void SendViewModel::setAmountString(const QString& text) {
    if (text != m_amountString) {
        // An amount of the user's own: an ordinary payment again.
        stopSendingEverything();
        m_maxPending = false;
        m_maxRefused = false;
        formEdited();
        writeAmount(text);
    }
}

void SendViewModel::writeAmount(const QString& text) {
    if (text != m_amountString) {
        m_amountString = text;
        emit amountStringChanged();
        emit formChanged();
    }
}

void SendViewModel::stopSendingEverything() {
    m_sendsEverything = false;
    m_everythingVBytes.reset();
}

void SendViewModel::setSelectedFeeLevel(FeeLevel level) {
    if (level != m_selectedFeeLevel) {
        m_selectedFeeLevel = level;
        formEdited();
        emit selectedFeeLevelChanged();
    }
}

void SendViewModel::setSelectedToken(std::optional<Token> token) {
    if (token != m_selectedToken) {
        stopSendingEverything();
        m_maxPending = false;
        m_maxRefused = false;
        formEdited();
        m_selectedToken = std::move(token);
        emit selectedTokenChanged();
        emit formChanged();
    }
}

QVariant SendViewModel::selectedTokenVariant() const {
    return m_selectedToken ? QVariant(tokenToVariant(*m_selectedToken)) : QVariant();
}

void SendViewModel::setSelectedTokenVariant(const QVariant& token) {
    setSelectedToken(tokenFromVariant(token));
}

void SendViewModel::setShowConfirmation(bool show) {
    if (show != m_showConfirmation) {
        m_showConfirmation = show;
        emit showConfirmationChanged();
    }
}

QString SendViewModel::feeLevelName(FeeLevel level) const {
    switch (level) {
    case FeeLevel::Slow:
        return QStringLiteral("Economy");
    case FeeLevel::Normal:
        return QStringLiteral("Normal");
    case FeeLevel::Fast:
        break;
    }
    return QStringLiteral("Priority");
}

SendFeeLevel SendViewModel::feeLevel() const {
    switch (m_selectedFeeLevel) {
    case FeeLevel::Slow:
        return SendFeeLevel::slow;
    case FeeLevel::Normal:
        return SendFeeLevel::normal;
    case FeeLevel::Fast:
        break;
    }
    return SendFeeLevel::fast;
}

// --- Derived values ---------------------------------------------------------------------------

bool SendViewModel::isRecipientValid() const {
    return !m_recipientAddress.isEmpty() && recipientError().isEmpty();
}

QString SendViewModel::recipientError() const {
    if (m_recipientAddress.isEmpty()) {
        return {};
    }
    return QString::fromStdString(recipientProblem(m_chain, m_recipientAddress.toStdString()));
}

unsigned SendViewModel::assetDecimals() const {
    if (m_selectedToken && isEVMChain(m_chain)) {
        return static_cast<unsigned>(
            std::clamp<std::int64_t>(m_selectedToken->decimals, 0, Amount::maxDecimals));
    }
    return static_cast<unsigned>(nativeDecimals(m_chain));
}

std::optional<UInt256> SendViewModel::parsedAmount() const {
    try {
        const Amount amount = parseTypedAmount(m_amountString, assetDecimals());
        const bool native64 = m_chain == Chain::bitcoin || m_chain == Chain::solana;
        if (amount.value.isZero() || (native64 && !amount.value.toUInt64())) {
            return std::nullopt;
        }
        return amount.value;
    } catch (const AmountError&) {
        return std::nullopt;
    }
}

QString SendViewModel::amountError() const {
    if (const AssetBalance balance = assetBalance(); m_maxRefused && !balance.amount) {
        return balance.failed ? QStringLiteral("Max needs the balance, which could not be loaded.")
                              : QStringLiteral("Max needs the balance, which is still loading.");
    }
    if (m_amountString.isEmpty()) {
        return {};
    }
    const std::optional<UInt256> amount = parsedAmount();
    if (!amount) {
        try {
            parseTypedAmount(m_amountString, assetDecimals());
        } catch (const AmountError& error) {
            // A comma where the locale's decimal point is a point: say which separator to use.
            if (error.kind() == AmountError::Kind::decimalComma) {
                return QString::fromUtf8(error.what());
            }
        }
        return QString::fromUtf8(SendError(SendError::Code::invalidAmount).what());
    }
    // A payment output below it is refused by the network's nodes: never signed.
    if (m_chain == Chain::bitcoin && !m_selectedToken &&
        *amount < fromUInt64(CoinSelection::kDustLimit)) {
        return QString::fromUtf8(SendError(SendError::Code::belowDust).what());
    }
    return {};
}

bool SendViewModel::canReview() const {
    return isRecipientValid() && parsedAmount().has_value() && amountError().isEmpty() &&
           !isSending();
}

QString SendViewModel::symbol() const {
    return QString::fromStdString(m_selectedToken ? m_selectedToken->symbol
                                                  : nativeSymbol(m_chain));
}

SendViewModel::AssetBalance SendViewModel::assetBalance() const {
    const AppState* state = appState();
    const auto of = [](const BalanceLoad& load, Amount amount) -> AssetBalance {
        return {load.known ? std::optional<Amount>(amount) : std::nullopt, load.failed};
    };
    if (!state) {
        return {};
    }
    if (m_chain == Chain::bitcoin && !m_selectedToken) {
        const auto& accounts = state->bitcoinAccounts();
        if (accounts.empty()) {
            return {};
        }
        return of(accounts.front().balanceLoad, {fromUInt64(accounts.front().balanceSats), 8});
    }
    if (m_chain == Chain::solana && !m_selectedToken) {
        const auto& accounts = state->solanaAccounts();
        if (accounts.empty()) {
            return {};
        }
        return of(accounts.front().balanceLoad, {fromUInt64(accounts.front().balanceLamports), 9});
    }
    const auto& accounts = state->evmAccounts(m_chain);
    if (accounts.empty()) {
        return {};
    }
    const EVMAccountState& account = accounts.front();
    const unsigned decimals = assetDecimals();
    if (!m_selectedToken) {
        return of(account.balanceLoad, {account.balanceWei, decimals});
    }
    // Listed once a load of the token balances has ended (a token added since waits for the
    // next one).
    for (const TokenBalance& held : account.tokens) {
        if (held.token.contractAddress == m_selectedToken->contractAddress) {
            const bool failed = account.tokensLoadFailed || held.balanceLoadFailed;
            if (!held.balanceKnown) {
                return {std::nullopt, failed};
            }
            return {Amount{UInt256::fromHex(held.balance).value_or(UInt256()), decimals}, failed};
        }
    }
    return {std::nullopt, account.tokensLoadFailed};
}

std::optional<Amount> SendViewModel::availableBalance() const {
    return assetBalance().amount;
}

QString SendViewModel::balanceText() const {
    const std::optional<Amount> balance = availableBalance();
    if (!balance) {
        return unknownFigureText();
    }
    if (m_selectedToken) {
        return QString::fromStdString(balance->exactText()) + u' ' + symbol();
    }
    // The sidebar's and the portfolio's text of the same balance.
    return QString::fromStdString(nativeBalanceText(m_chain, balance->value));
}

QString SendViewModel::balanceNote() const {
    if (!assetBalance().failed) {
        return {};
    }
    return m_selectedToken ? QStringLiteral("Could not load the tokens.")
                           : balanceLoadFailedText(m_chain);
}

void SendViewModel::followBalances() {
    for (const QMetaObject::Connection& connection : m_balanceConnections) {
        disconnect(connection);
    }
    m_balanceConnections.clear();
    AppState* state = appState();
    if (!state) {
        return;
    }
    const auto changed = [this] {
        emit balanceChanged();
        if (m_maxRefused) {
            emit formChanged(); // the refusal goes once the balance is known
        }
    };
    m_balanceConnections = {
        connect(state, &AppState::bitcoinAccountsChanged, this, changed),
        connect(state, &AppState::evmAccountsChanged, this, changed),
        connect(state, &AppState::solanaAccountsChanged, this, changed),
        connect(state, &AppState::accountChanged, this,
                [this, changed](Chain chain, int) {
                    if (chain == m_chain) {
                        changed();
                    }
                }),
    };
}

QVariantList SendViewModel::assetTokens() const {
    QVariantList list;
    if (const AppState* state = appState(); state && isEVMChain(m_chain)) {
        for (const Token& token : state->tokenStore().tokens(m_chain)) {
            list.push_back(tokenToVariant(token));
        }
    }
    return list;
}

void SendViewModel::useMaxAmount() {
    const std::optional<Amount> balance = availableBalance();
    if (!balance) {
        refuseMax();
        return;
    }
    if (m_selectedToken) {
        setAmountString(QString::fromStdString(balance->exactText()));
        return;
    }
    if (isEVMChain(m_chain)) {
        if (!m_estimatedFee || m_isFetchingFees) {
            // The max fee of this form is not known yet: written once the estimate has it.
            setAmountString({});
            m_maxPending = true;
            refreshFees();
            return;
        }
        writeMaxAmount();
        return;
    }
    const bool bitcoin = m_chain == Chain::bitcoin;
    const UInt256 fee = fromUInt64(bitcoin ? m_estimatedFeeSats : SolanaPreparedSend::feeLamports);
    const UInt256 rest = balance->value.checkedSubtract(fee).value_or(UInt256());
    setAmountString(QString::fromStdString(Amount{rest, balance->decimals}.exactText()));
    if (bitcoin && !m_sendsEverything) {
        m_sendsEverything = true;
        formEdited();
    }
}

void SendViewModel::writeMaxAmount() {
    m_maxPending = false;
    const std::optional<Amount> balance = availableBalance();
    if (!balance) {
        refuseMax();
        return;
    }
    const UInt256 fee = m_estimatedFee ? m_estimatedFee->value : UInt256();
    const UInt256 rest = balance->value.checkedSubtract(fee).value_or(UInt256());
    setAmountString(QString::fromStdString(Amount{rest, balance->decimals}.exactText()));
}

void SendViewModel::refuseMax() {
    if (!m_maxRefused) {
        m_maxRefused = true;
        emit formChanged();
    }
}

// --- The flow ---------------------------------------------------------------------------------

void SendViewModel::attachFlow() {
    if (m_flow) {
        disconnect(m_flow, nullptr, this, nullptr);
    }
    m_flow =
        m_flows ? m_flows->flow(QStringLiteral("send:") + QString::fromStdString(rawValue(m_chain)))
                : nullptr;
    if (m_flow) {
        connect(m_flow, &TransactionFlow::runningChanged, this, [this] {
            emit isSendingChanged();
            emit formChanged();
        });
        connect(m_flow, &TransactionFlow::stepChanged, this, &SendViewModel::broadcastStepChanged);
        connect(m_flow, &TransactionFlow::progressChanged, this,
                &SendViewModel::broadcastProgressChanged);
        connect(m_flow, &TransactionFlow::txHashChanged, this, &SendViewModel::txHashChanged);
        connect(m_flow, &TransactionFlow::errorMessageChanged, this,
                &SendViewModel::errorMessageChanged);
    }
    emit isSendingChanged();
    emit broadcastStepChanged();
    emit broadcastProgressChanged();
    emit txHashChanged();
    emit errorMessageChanged();
}

TransactionFlow* SendViewModel::flow() const {
    return m_flow;
}

QObject* SendViewModel::flowObject() const {
    return m_flow;
}

bool SendViewModel::isSending() const {
    return m_flow && m_flow->isRunning();
}

TransactionFlow::Step SendViewModel::broadcastStep() const {
    return m_flow ? m_flow->step() : TransactionFlow::Step::Idle;
}

double SendViewModel::broadcastProgress() const {
    return m_flow ? m_flow->progress() : 0.0;
}

QString SendViewModel::txHash() const {
    return m_flow ? m_flow->txHash() : QString();
}

QString SendViewModel::errorMessage() const {
    return m_flow ? m_flow->errorMessage() : QString();
}

void SendViewModel::reset() {
    stopSendingEverything();
    m_maxPending = false;
    m_maxRefused = false;
    setRecipientAddress({});
    setAmountString({});
    setSelectedFeeLevel(FeeLevel::Normal);
    setShowConfirmation(false);
    m_passwordEntry->wipe();
    setSelectedToken(std::nullopt);
    if (m_flow) {
        m_flow->reset();
    }
    setFeeSnapshot({});
    setEstimate(std::nullopt, 0, {}, QString());
    setIsFetchingFees(false);
    if (m_feeTask) {
        m_feeTask->cancel();
        m_feeTask.reset();
    }
    formEdited();
}

} // namespace qm
