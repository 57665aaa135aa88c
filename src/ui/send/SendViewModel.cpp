#include "ui/send/SendViewModel.h"

#include "core/crypto/Base58.h"
#include "core/storage/TokenStore.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"
#include "state/send/BitcoinSend.h"
#include "state/send/EVMSend.h"
#include "state/send/SendError.h"
#include "state/send/SolanaSend.h"
#include "ui/portfolio/TokenVariant.h"

#include <exception>
#include <memory>
#include <utility>

namespace qm {
namespace {

// Solana's fee for one signature, in lamports.
constexpr std::uint64_t solanaFeeLamports = 5000;

UInt256 fromUInt64(std::uint64_t value) {
    return {0, 0, 0, value};
}

// A failure made a send body, so it reaches the screens the way every send failure does.
QCoro::Task<void> failSend(FlowRun run, std::exception_ptr failure) {
    static_cast<void>(run);
    std::rethrow_exception(failure);
    co_return;
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
    connect(this, &StateBoundModel::appStateChanged, this, &SendViewModel::formChanged);
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
    // The estimate in flight and the fee shown were the other chain's.
    if (m_feeTask) {
        m_feeTask->cancel();
        m_feeTask.reset();
    }
    setIsFetchingFees(false);
    setFeeSnapshot({});
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
        emit recipientAddressChanged();
        emit formChanged();
    }
}

void SendViewModel::setAmountString(const QString& text) {
    if (text != m_amountString) {
        // An amount of the user's own: an ordinary payment again.
        stopSendingEverything();
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
        emit selectedFeeLevelChanged();
    }
}

void SendViewModel::setSelectedToken(std::optional<Token> token) {
    if (token != m_selectedToken) {
        stopSendingEverything();
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
    const QString& text = m_recipientAddress;
    if (text.isEmpty()) {
        return false;
    }
    if (text.startsWith(QLatin1String("bc1")) || text.startsWith(QLatin1String("tb1"))) {
        return text.size() >= 42;
    }
    if (text.startsWith(QLatin1String("0x"))) {
        return text.size() == 42;
    }
    const std::optional<Bytes> decoded = base58Decode(text.toStdString());
    return decoded && decoded->size() == 32;
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
        const Amount amount = Amount::parse(m_amountString.toStdString(), assetDecimals());
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
    if (m_amountString.isEmpty() || parsedAmount()) {
        return {};
    }
    return QString::fromUtf8(SendError(SendError::Code::invalidAmount).what());
}

bool SendViewModel::canReview() const {
    return isRecipientValid() && parsedAmount().has_value() && !isSending();
}

QString SendViewModel::symbol() const {
    return QString::fromStdString(m_selectedToken ? m_selectedToken->symbol
                                                  : nativeSymbol(m_chain));
}

Amount SendViewModel::availableBalance() const {
    const AppState* state = appState();
    const unsigned decimals = assetDecimals();
    if (!state) {
        return {{}, decimals};
    }
    if (m_chain == Chain::bitcoin && !m_selectedToken) {
        const auto& accounts = state->bitcoinAccounts();
        return {accounts.empty() ? UInt256() : fromUInt64(accounts.front().balanceSats), 8};
    }
    if (m_chain == Chain::solana && !m_selectedToken) {
        const auto& accounts = state->solanaAccounts();
        return {accounts.empty() ? UInt256() : fromUInt64(accounts.front().balanceLamports), 9};
    }
    const auto& accounts = state->evmAccounts(m_chain);
    if (accounts.empty()) {
        return {{}, decimals};
    }
    if (!m_selectedToken) {
        return {accounts.front().balanceWei, decimals};
    }
    for (const TokenBalance& held : accounts.front().tokens) {
        if (held.token.contractAddress == m_selectedToken->contractAddress) {
            return {UInt256::fromHex(held.balance).value_or(UInt256()), decimals};
        }
    }
    return {{}, decimals};
}

QString SendViewModel::balanceText() const {
    const Amount balance = availableBalance();
    std::string number;
    if (m_selectedToken) {
        number = balance.exactText();
    } else if (m_chain == Chain::bitcoin) {
        number = balance.fixedText(8);
    } else if (m_chain == Chain::solana) {
        number = balance.fixedText(4);
    } else {
        number = balance.fixedText(6);
    }
    return QString::fromStdString(number) + u' ' + symbol();
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
    const Amount balance = availableBalance();
    std::string text;
    if (m_selectedToken) {
        text = balance.exactText();
    } else if (m_chain == Chain::bitcoin || m_chain == Chain::solana) {
        const bool bitcoin = m_chain == Chain::bitcoin;
        const UInt256 fee = fromUInt64(bitcoin ? m_estimatedFeeSats : solanaFeeLamports);
        const UInt256 rest = balance.value.checkedSubtract(fee).value_or(UInt256());
        text = Amount{rest, balance.decimals}.fixedText(bitcoin ? 8 : 9);
    } else {
        text = balance.fixedText(18);
    }
    if (m_chain == Chain::bitcoin && !m_selectedToken) {
        writeAmount(QString::fromStdString(text));
        m_sendsEverything = true;
    } else {
        setAmountString(QString::fromStdString(text));
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

QString SendViewModel::shortRecipient() const {
    if (m_recipientAddress.size() <= 16) {
        return m_recipientAddress;
    }
    return m_recipientAddress.left(8) + QStringLiteral("...") + m_recipientAddress.right(6);
}

void SendViewModel::startFlow(TransactionFlow::Body body) {
    if (!m_flow || m_flow->isRunning()) {
        return;
    }
    m_flow->setSummary(m_amountString + u' ' + symbol(), QStringLiteral("to ") + shortRecipient());
    m_flow->start(TransactionFlow::Step::Signing, std::move(body));
}

void SendViewModel::startFailing(const std::exception_ptr& failure) {
    startFlow([failure](FlowRun run) { return failSend(std::move(run), failure); });
}

bool SendViewModel::fillRequest(SendRequest& request) {
    AppState* state = appState();
    if (!state || !state->wallet()) {
        startFailing(std::make_exception_ptr(SendError(SendError::Code::noAccount)));
        return false;
    }
    const std::optional<UInt256> amount = parsedAmount();
    if (!amount) {
        startFailing(std::make_exception_ptr(SendError(SendError::Code::invalidAmount)));
        return false;
    }
    request.state = state;
    request.walletID = state->wallet()->id;
    // The send takes a copy (the signer wipes it); the form keeps its own for a retry until
    // a transaction has left.
    request.password = SecureBytes::fromText(m_passwordEntry->utf8());
    request.recipient = m_recipientAddress.toStdString();
    request.amount = *amount;
    request.feeLevel = feeLevel();
    return true;
}

void SendViewModel::sendBitcoin() {
    if (m_chain != Chain::bitcoin || isSending()) {
        return;
    }
    auto request = std::make_shared<BitcoinSendRequest>();
    if (!fillRequest(*request)) {
        return;
    }
    const BTCFeeRate& shown = m_selectedFeeLevel == FeeLevel::Fast     ? m_feeSnapshot.fast
                              : m_selectedFeeLevel == FeeLevel::Normal ? m_feeSnapshot.normal
                                                                       : m_feeSnapshot.slow;
    request->shownSatPerVByte = shown.satPerVByte;
    request->shownFeeSats = m_estimatedFeeSats;
    const QPointer<SendViewModel> self(this);
    request->feeRevised = [self](std::uint64_t satPerVByte, std::uint64_t feeSats) {
        if (self) {
            self->reviseBitcoinFee(satPerVByte, feeSats);
        }
    };
    request->sendEverything = m_sendsEverything;
    request->everythingRevised = [self](std::uint64_t amountSats, std::uint64_t satPerVByte,
                                        std::uint64_t feeSats) {
        if (self) {
            self->reviseEverything(amountSats, satPerVByte, feeSats);
        }
    };
    startFlow(
        [request](FlowRun run) { return runBitcoinSend(std::move(run), std::move(*request)); });
}

void SendViewModel::sendEVM() {
    if (!isEVMChain(m_chain) || isSending()) {
        return;
    }
    auto request = std::make_shared<EVMSendRequest>();
    if (!fillRequest(*request)) {
        return;
    }
    request->chain = m_chain;
    request->token = m_selectedToken;
    startFlow([request](FlowRun run) { return runEVMSend(std::move(run), std::move(*request)); });
}

void SendViewModel::sendSolana() {
    if (m_chain != Chain::solana || isSending()) {
        return;
    }
    auto request = std::make_shared<SolanaSendRequest>();
    if (!fillRequest(*request)) {
        return;
    }
    startFlow(
        [request](FlowRun run) { return runSolanaSend(std::move(run), std::move(*request)); });
}

void SendViewModel::reset() {
    stopSendingEverything();
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
}

} // namespace qm
