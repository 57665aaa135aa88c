// The send sheet's review and send: the form's send prepared in the state's send layer, shown
// as prepared, handed as prepared to the flow; a send the flow prepared again comes back here.
#include "state/AppState.h"
#include "state/flows/EarlierAttemptNote.h"
#include "state/send/BitcoinSend.h"
#include "state/send/EVMSend.h"
#include "state/send/SendError.h"
#include "state/send/SolanaSend.h"
#include "ui/send/SendViewModel.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

namespace qm {
namespace {

using Step = TransactionFlow::Step;

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QString exact(const UInt256& value, unsigned decimals, const std::string& symbol) {
    return text(Amount{value, decimals}.exactText() + " " + symbol);
}

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

// --- The form as the state's send layer takes it ----------------------------------------------

BitcoinSendForm SendViewModel::bitcoinForm() const {
    BitcoinSendForm form;
    form.recipient = m_recipientAddress.toStdString();
    form.amount = parsedAmount().value_or(UInt256()).toUInt64().value_or(0);
    form.feeLevel = feeLevel();
    form.sendEverything = m_sendsEverything;
    return form;
}

EVMSendForm SendViewModel::evmForm() const {
    EVMSendForm form;
    form.chain = m_chain;
    form.token = m_selectedToken;
    form.recipient = m_recipientAddress.toStdString();
    form.amount = parsedAmount().value_or(UInt256());
    form.feeLevel = feeLevel();
    return form;
}

SolanaSendForm SendViewModel::solanaForm() const {
    SolanaSendForm form;
    form.recipient = m_recipientAddress.toStdString();
    form.lamports = parsedAmount().value_or(UInt256()).toUInt64().value_or(0);
    return form;
}

// --- The review -------------------------------------------------------------------------------

void SendViewModel::formEdited() {
    ++m_formRevision;
    if (m_prepareTask) {
        m_prepareTask->cancel();
        m_prepareTask.reset();
    }
    setPreparing(false, {});
    dropReview();
    // A review open on figures of another form closes; a send's progress stays.
    if (m_showConfirmation && !isSending() &&
        (broadcastStep() == Step::Idle || broadcastStep() == Step::Failed)) {
        setShowConfirmation(false);
    }
}

void SendViewModel::dropReview() {
    if (hasReview()) {
        m_prepared = std::monostate{};
        m_review = {};
        emit reviewChanged();
    }
}

void SendViewModel::setPreparing(bool preparing, QString error) {
    if (preparing != m_isPreparing || error != m_prepareError) {
        m_isPreparing = preparing;
        m_prepareError = std::move(error);
        emit preparingChanged();
    }
}

void SendViewModel::review() {
    if (!canReview() || m_isPreparing) {
        return;
    }
    // A failure of an earlier attempt is not this review's.
    if (m_flow && m_flow->step() == Step::Failed) {
        m_flow->reset();
    }
    dropReview();
    setPreparing(true, {});
    const std::uint64_t revision = m_formRevision;
    m_prepareTask = TaskHandle::spawn(this, [this, revision](CancellationToken token) {
        return prepareReview(revision, std::move(token));
    });
}

QCoro::Task<void> SendViewModel::prepareReview(std::uint64_t revision, CancellationToken token) {
    const QPointer<SendViewModel> self(this);
    const QPointer<AppState> state = appState();
    Prepared prepared;
    QString failure;
    try {
        if (m_chain == Chain::bitcoin) {
            QCoro::Task<BitcoinPreparedSend> preparing =
                prepareBitcoinSend(state, bitcoinForm(), token);
            prepared = co_await std::move(preparing);
        } else if (isEVMChain(m_chain)) {
            QCoro::Task<EVMPreparedSend> preparing = prepareEVMSend(state, evmForm(), token);
            prepared = co_await std::move(preparing);
        } else {
            prepared = prepareSolanaSend(state, solanaForm());
        }
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    // An answer for an older form, or for a sheet that has gone, is nobody's.
    if (!self || token.isCancelled() || revision != m_formRevision) {
        co_return;
    }
    m_prepareTask.reset();
    setPreparing(false, failure);
    if (failure.isEmpty()) {
        acceptPrepared(std::move(prepared));
        setShowConfirmation(true);
    }
}

void SendViewModel::acceptPrepared(Prepared prepared) {
    ReviewTexts texts;
    if (const auto* bitcoin = std::get_if<BitcoinPreparedSend>(&prepared)) {
        texts.recipient = text(bitcoin->form.recipient);
        texts.amount = exact(fromUInt64(bitcoin->amount), 8, "BTC");
        texts.fee = exact(fromUInt64(bitcoin->fee), 8, "BTC") + QStringLiteral(" (") +
                    QString::number(bitcoin->satPerVByte) + QStringLiteral(" sat/vB)");
        texts.total = exact(fromUInt64(bitcoin->total()), 8, "BTC");
        if (bitcoin->form.sendEverything) {
            // What every coin pays: the form's amount and estimate follow it.
            writeAmount(text(Amount{fromUInt64(bitcoin->amount), 8}.exactText()));
            m_everythingVBytes = bitcoin->fee / std::max<std::uint64_t>(bitcoin->satPerVByte, 1);
        }
        // The form's estimate at the rate the review shows.
        BTCFeeSnapshot snapshot = m_feeSnapshot;
        BTCFeeRate& rate = m_selectedFeeLevel == FeeLevel::Fast     ? snapshot.fast
                           : m_selectedFeeLevel == FeeLevel::Normal ? snapshot.normal
                                                                    : snapshot.slow;
        if (rate.satPerVByte != bitcoin->satPerVByte) {
            // Asked anew: the level's default only when the server had no estimate.
            rate.fromServer =
                bitcoin->satPerVByte != BTCFeeRate::fallback(btcFeeLevel(feeLevel())).satPerVByte;
            rate.satPerVByte = bitcoin->satPerVByte;
        }
        setFeeSnapshot(std::move(snapshot));
        applyBitcoinFee();
    } else if (const auto* evm = std::get_if<EVMPreparedSend>(&prepared)) {
        const std::string& native = nativeSymbol(evm->form.chain);
        texts.recipient = text(evm->form.recipient);
        const unsigned decimals = evm->form.token
                                      ? static_cast<unsigned>(std::clamp<std::int64_t>(
                                            evm->form.token->decimals, 0, Amount::maxDecimals))
                                      : 18;
        const std::string& symbol = evm->form.token ? evm->form.token->symbol : native;
        texts.amount = exact(evm->form.amount, decimals, symbol);
        texts.fee = text(evmMaxFeeText(*evm));
        if (evm->form.token) {
            texts.total = texts.amount + QStringLiteral(" + ") + exact(evm->maxFee, 18, native);
        } else if (const std::optional<UInt256> sum = evm->form.amount.checkedAdd(evm->maxFee)) {
            texts.total = exact(*sum, 18, native);
        }
    } else if (const auto* solana = std::get_if<SolanaPreparedSend>(&prepared)) {
        texts.recipient = text(solana->form.recipient);
        texts.amount = exact(fromUInt64(solana->lamports), 9, "SOL");
        texts.fee = exact(fromUInt64(solana->fee), 9, "SOL");
        texts.total = exact(fromUInt64(solana->lamports + solana->fee), 9, "SOL");
    }
    m_prepared = std::move(prepared);
    m_review = std::move(texts);
    emit reviewChanged();
}

const BitcoinPreparedSend* SendViewModel::bitcoinReview() const {
    return std::get_if<BitcoinPreparedSend>(&m_prepared);
}

const EVMPreparedSend* SendViewModel::evmReview() const {
    return std::get_if<EVMPreparedSend>(&m_prepared);
}

const SolanaPreparedSend* SendViewModel::solanaReview() const {
    return std::get_if<SolanaPreparedSend>(&m_prepared);
}

// --- The send ---------------------------------------------------------------------------------

QString SendViewModel::shortRecipient() const {
    if (m_recipientAddress.size() <= 16) {
        return m_recipientAddress;
    }
    return m_recipientAddress.left(8) + QStringLiteral("...") + m_recipientAddress.right(6);
}

QString SendViewModel::replacementNote() const {
    const AppState* state = appState();
    if (!state || !hasReview() || !m_flow || m_flow->offersSendAnyway()) {
        return {};
    }
    return earlierAttemptReviewNote(*state, m_chain, m_flow->objectName().toStdString(),
                                    m_review.amount, QStringLiteral("to ") + shortRecipient());
}

void SendViewModel::startFlow(TransactionFlow::Body body) {
    if (!m_flow || m_flow->isRunning()) {
        return;
    }
    m_flow->setSummary(m_review.amount, QStringLiteral("to ") + shortRecipient());
    m_flow->start(Step::Signing, std::move(body));
}

void SendViewModel::startFailing(const std::exception_ptr& failure) {
    startFlow([failure](FlowRun run) { return failSend(std::move(run), failure); });
}

template <typename Kind> bool SendViewModel::fillRequest(PreparedSendRequest<Kind>& request) {
    const Kind* prepared = std::get_if<Kind>(&m_prepared);
    if (!prepared) {
        return false;
    }
    AppState* state = appState();
    if (!state || !state->wallet()) {
        startFailing(std::make_exception_ptr(SendError(SendError::Code::noAccount)));
        return false;
    }
    request.state = state;
    request.walletID = state->wallet()->id;
    // The send takes a copy (the signer wipes it); the form keeps its own for a retry until
    // a transaction has left.
    request.password = SecureBytes::fromText(m_passwordEntry->utf8());
    request.prepared = *prepared;
    const QPointer<SendViewModel> self(this);
    const std::uint64_t revision = m_formRevision;
    request.revised = [self, revision](const Kind& again) {
        if (self && self->m_formRevision == revision) {
            self->acceptPrepared(again);
        }
    };
    return true;
}

void SendViewModel::sendBitcoin() {
    if (m_chain != Chain::bitcoin || isSending()) {
        return;
    }
    auto request = std::make_shared<BitcoinSendRequest>();
    if (fillRequest(*request)) {
        startFlow(
            [request](FlowRun run) { return runBitcoinSend(std::move(run), std::move(*request)); });
    }
}

void SendViewModel::sendEVM() {
    if (!isEVMChain(m_chain) || isSending()) {
        return;
    }
    auto request = std::make_shared<EVMSendRequest>();
    if (fillRequest(*request)) {
        startFlow(
            [request](FlowRun run) { return runEVMSend(std::move(run), std::move(*request)); });
    }
}

void SendViewModel::sendSolana() {
    if (m_chain != Chain::solana || isSending()) {
        return;
    }
    auto request = std::make_shared<SolanaSendRequest>();
    if (fillRequest(*request)) {
        startFlow(
            [request](FlowRun run) { return runSolanaSend(std::move(run), std::move(*request)); });
    }
}

void SendViewModel::sendAnyway() {
    if (!m_flow || !m_flow->offersSendAnyway() || !isEVMChain(m_chain) || !evmReview()) {
        return;
    }
    m_flow->chooseSendAnyway();
    sendEVM();
}

} // namespace qm
