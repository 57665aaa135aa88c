#include "ui/walletconnect/WalletConnectViewModel.h"

#include "platform/SecureBytes.h"
#include "services/walletconnect/WCError.h"
#include "services/walletconnect/WCTransactionDisplay.h"
#include "state/AppState.h"
#include "state/UserErrorText.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/SignedBroadcast.h"
#include "state/walletconnect/WalletConnectService.h"
#include "ui/walletconnect/DAppIcon.h"

#include <QUrl>
#include <algorithm>
#include <iostream>
#include <utility>

namespace qm {
namespace {

// Only icons the window may fetch (https addresses); "" for any other.
QString httpsOnly(const std::string& address) {
    const QString url = QString::fromStdString(address);
    return DAppIcon::isAllowed(url) ? url : QString();
}

} // namespace

WalletConnectViewModel::WalletConnectViewModel(AppState& state, QObject* parent)
    : QObject(parent), m_state(&state), m_service(&state.wcViewModel()),
      m_password(new PasswordEntry(this)) {
    connect(m_password, &PasswordEntry::passwordChanged, this,
            &WalletConnectViewModel::requestChanged);
    connect(m_service, &WalletConnectService::relayConnectedChanged, this,
            &WalletConnectViewModel::relayChanged);
    connect(m_service, &WalletConnectService::sessionsChanged, this,
            &WalletConnectViewModel::sessionsChanged);
    connect(m_service, &WalletConnectService::proposalsChanged, this,
            [this] { showFrontProposal(); });
    connect(m_service, &WalletConnectService::requestsChanged, this,
            [this] { showFrontRequest(); });
    connect(m_service, &WalletConnectService::reviewChanged, this,
            &WalletConnectViewModel::requestChanged);
    // The review names an earlier transaction of the account while it is unsettled.
    connect(&state.attemptLedger(), &AttemptLedger::changed, this,
            &WalletConnectViewModel::requestChanged);
    connect(m_service, &WalletConnectService::busyChanged, this, [this] {
        emit pairChanged();
        emit proposalChanged();
        emit requestChanged();
    });
    m_successTimer.setSingleShot(true);
    m_successTimer.setInterval(1000);
    connect(&m_successTimer, &QTimer::timeout, this, [this] { endConfirmation(); });
    showFrontProposal();
    showFrontRequest();
}

WalletConnectViewModel::~WalletConnectViewModel() {
    clearPassword();
}

bool WalletConnectViewModel::isRelayConnected() const {
    return m_service->isRelayConnected();
}

QVariantList WalletConnectViewModel::sessions() const {
    QVariantList out;
    for (const WCSession& session : m_service->sessions()) {
        out.append(QVariantMap{
            {QStringLiteral("topic"), QString::fromStdString(session.topic)},
            {QStringLiteral("peerName"), QString::fromStdString(session.peerName)},
            {QStringLiteral("peerURL"), QString::fromStdString(session.peerURL)},
            {QStringLiteral("peerIcon"),
             session.peerIcon ? httpsOnly(*session.peerIcon) : QString()},
        });
    }
    return out;
}

// --- Pairing ------------------------------------------------------------------------------

void WalletConnectViewModel::setShowPairSheet(bool show) {
    if (m_showPairSheet != show) {
        m_showPairSheet = show;
        emit pairChanged();
    }
}

void WalletConnectViewModel::setPairingURI(const QString& uri) {
    if (m_pairingURI != uri) {
        m_pairingURI = uri;
        emit pairChanged();
    }
}

bool WalletConnectViewModel::isConnecting() const {
    return m_service->isPairing();
}

bool WalletConnectViewModel::canConnect() const {
    return !m_pairingURI.trimmed().isEmpty() && !isConnecting();
}

QCoro::Task<void> WalletConnectViewModel::pair() {
    if (isConnecting()) {
        co_return;
    }
    m_pairError.reset();
    emit pairChanged();
    QPointer<WalletConnectViewModel> self(this);
    try {
        QCoro::Task<void> pairing = m_service->pair(m_pairingURI.trimmed().toStdString());
        co_await std::move(pairing);
    } catch (const std::exception& error) {
        if (self) {
            m_pairError = userErrorText(error);
            emit pairChanged();
        }
        co_return;
    }
    if (!self) {
        co_return;
    }
    m_showPairSheet = false;
    m_pairingURI.clear();
    emit pairChanged();
}

void WalletConnectViewModel::cancelPairing() {
    m_showPairSheet = false;
    m_pairingURI.clear();
    m_pairError.reset();
    emit pairChanged();
}

// --- Proposals ----------------------------------------------------------------------------

void WalletConnectViewModel::setShowProposalSheet(bool show) {
    if (m_showProposalSheet != show) {
        m_showProposalSheet = show;
        emit proposalChanged();
    }
}

QString WalletConnectViewModel::proposalName() const {
    return m_proposal ? QString::fromStdString(m_proposal->metadata.name) : QString();
}

QString WalletConnectViewModel::proposalURL() const {
    return m_proposal ? QString::fromStdString(m_proposal->metadata.url) : QString();
}

QString WalletConnectViewModel::proposalIcon() const {
    if (!m_proposal || m_proposal->metadata.icons.empty()) {
        return {};
    }
    return httpsOnly(m_proposal->metadata.icons.front());
}

bool WalletConnectViewModel::isAnsweringProposal() const {
    return m_service->isAnsweringProposal();
}

void WalletConnectViewModel::showFrontProposal() {
    const auto& line = m_service->proposals();
    if (line.empty()) {
        m_proposal.reset();
        m_showProposalSheet = false;
    } else if (!m_proposal || m_proposal->id != line.front().id) {
        m_proposal = line.front();
        m_showProposalSheet = true;
    }
    emit proposalChanged();
}

QCoro::Task<void> WalletConnectViewModel::approveProposal() {
    if (!m_proposal) {
        co_return;
    }
    try {
        QCoro::Task<void> approving = m_service->approveProposal(m_proposal->id);
        co_await std::move(approving);
    } catch (const std::exception& error) {
        std::cout << "[WalletConnect] The session could not be approved: " << error.what()
                  << std::endl;
    }
}

void WalletConnectViewModel::rejectProposal() {
    if (m_proposal) {
        m_service->rejectProposal(m_proposal->id);
    }
}

void WalletConnectViewModel::dismissProposal() {
    if (!isAnsweringProposal()) {
        rejectProposal();
    }
}

// --- Requests -----------------------------------------------------------------------------

void WalletConnectViewModel::setShowRequestSheet(bool show) {
    if (m_showRequestSheet != show) {
        m_showRequestSheet = show;
        emit requestChanged();
    }
}

QString WalletConnectViewModel::requestKey() const {
    if (!m_request) {
        return {};
    }
    return QString::fromStdString(m_request->first) + '/' + QString::number(m_request->second);
}

int WalletConnectViewModel::requestsWaiting() const {
    const auto count = static_cast<int>(m_service->requests().size());
    return m_request ? std::max(0, count - 1) : count;
}

bool WalletConnectViewModel::isSigning() const {
    return m_service->isSigning();
}

const WCPreparedRequest* WalletConnectViewModel::shownRequest() const {
    if (!m_request) {
        return nullptr;
    }
    const auto& line = m_service->requests();
    const auto shown = std::find_if(line.begin(), line.end(), [&](const WCPreparedRequest& r) {
        return r.request.sessionTopic == m_request->first && r.request.id == m_request->second;
    });
    return shown == line.end() ? nullptr : &*shown;
}

bool WalletConnectViewModel::isTransaction() const {
    const WCPreparedRequest* shown = shownRequest();
    return shown && (shown->kind == WCPreparedRequest::Kind::sendTransaction ||
                     shown->kind == WCPreparedRequest::Kind::signTransaction);
}

bool WalletConnectViewModel::isPreparingTransaction() const {
    const WCPreparedRequest* shown = shownRequest();
    const WCTransactionReview* review =
        shown ? m_service->transactionReview(shown->request.sessionTopic, shown->request.id)
              : nullptr;
    return review && review->preparing;
}

bool WalletConnectViewModel::canSign() const {
    return hasPassword() && !isSigning() && !isPreparingTransaction();
}

QVariantMap WalletConnectViewModel::transaction() const {
    const WCPreparedRequest* shown = shownRequest();
    if (!shown || !isTransaction()) {
        return {};
    }
    const WCTransactionDisplay display =
        transactionDisplay(*shown, m_service->knownToken(shown->chain, shown->transaction.to));
    const auto text = [](const std::string& value) { return QString::fromStdString(value); };
    QString call;
    if (display.call == WCTransactionDisplay::Call::transfer) {
        call = QStringLiteral("transfer");
    } else if (display.call == WCTransactionDisplay::Call::approve) {
        call = QStringLiteral("approve");
    }
    QVariantMap out{
        {QStringLiteral("to"), text(display.to)},
        {QStringLiteral("value"), text(display.value)},
        {QStringLiteral("call"), call},
        {QStringLiteral("callAmount"), text(display.callAmount)},
        {QStringLiteral("callParty"), text(display.callParty)},
        {QStringLiteral("callNote"), text(display.callNote)},
        {QStringLiteral("data"), text(display.data)},
        {QStringLiteral("dataBytes"), static_cast<qulonglong>(display.dataBytes)},
    };
    const WCTransactionReview* review =
        m_service->transactionReview(shown->request.sessionTopic, shown->request.id);
    const bool prepared = review && review->prepared;
    out.insert(QStringLiteral("preparing"), review && review->preparing);
    out.insert(QStringLiteral("prepared"), prepared);
    out.insert(QStringLiteral("preparationError"), review ? text(review->error) : QString());
    out.insert(QStringLiteral("maxFee"),
               prepared ? text(exactCoinText(review->prepared->maxFee, shown->chain)) : QString());
    out.insert(QStringLiteral("total"),
               prepared ? text(exactCoinText(review->prepared->total, shown->chain)) : QString());
    return out;
}

void WalletConnectViewModel::showFrontRequest() {
    const QString shownBefore = requestKey();
    if (m_signSuccess || m_approving) {
        // The request being answered stays on screen: its confirmation shows for a second.
        emit requestChanged();
        return;
    }
    const auto& line = m_service->requests();
    const auto shown = std::find_if(line.begin(), line.end(), [&](const WCPreparedRequest& r) {
        return m_request && r.request.sessionTopic == m_request->first &&
               r.request.id == m_request->second;
    });
    if (shown == line.end()) {
        clearPassword();
        m_signError.reset();
        m_undecided.clear();
        m_password->setErrorMessage(std::nullopt);
        if (line.empty()) {
            m_request.reset();
            m_showRequestSheet = false;
        } else {
            const WCPreparedRequest& next = line.front();
            m_request = RequestKey(next.request.sessionTopic, next.request.id);
            m_requestMethod = QString::fromStdString(next.request.method);
            m_requestDappName =
                QString::fromStdString(m_service->dappName(next.request.sessionTopic));
            m_requestMessage = QString::fromStdString(requestSummary(next));
            m_requestChain = QString::fromStdString(displayName(next.chain));
            m_showRequestSheet = true;
        }
    }
    emit requestChanged();
    if (requestKey() != shownBefore) {
        emit requestKeyChanged();
    }
}

void WalletConnectViewModel::clearPassword() {
    m_password->wipe();
}

void WalletConnectViewModel::setSignError(std::optional<QString> error) {
    m_signError = std::move(error);
    m_password->setErrorMessage(m_signError);
    emit requestChanged();
}

QCoro::Task<void> WalletConnectViewModel::approveRequest() {
    // Return too waits for the figures of a transaction to be shown.
    if (!m_request || isSigning() || m_signSuccess || isPreparingTransaction()) {
        co_return;
    }
    const RequestKey key = *m_request;
    const std::string_view typed = m_password->utf8();
    SecureBytes password(
        ByteView(reinterpret_cast<const std::uint8_t*>(typed.data()), typed.size()));
    m_undecided.clear();
    setSignError(std::nullopt);
    QPointer<WalletConnectViewModel> self(this);
    bool answered = false;
    bool passwordUnused = false;
    std::optional<QString> failure;
    std::string undecided;
    m_approving = true;
    try {
        QCoro::Task<bool> signing =
            m_service->approveRequest(key.first, key.second, std::move(password));
        answered = co_await std::move(signing);
    } catch (const EarlierAttemptError& error) {
        failure = QString::fromStdString(error.what());
        // Stopped before signing: Send Anyway signs with the same password.
        undecided = error.undecided();
        passwordUnused = !undecided.empty();
    } catch (const WCError& error) {
        failure = QString::fromStdString(error.what());
        // Stopped before signing to show new figures: the next press signs them.
        passwordUnused = error.code() == WCError::Code::feeRevised;
    } catch (const std::exception& error) {
        failure = userErrorText(error);
    }
    if (!self) {
        co_return;
    }
    m_approving = false;
    if (!answered) {
        // Refused or not, the password was used: it is typed again.
        if (!passwordUnused) {
            clearPassword();
        }
        m_undecided = std::move(undecided);
        setSignError(failure);
        showFrontRequest(); // still the same request, unless it left meanwhile
        co_return;
    }
    clearPassword();
    m_signSuccess = true;
    m_signedNote = m_service->followedNote();
    // What moved is not what the sheet showed: it stays until the user has read it.
    if (m_signedNote.isEmpty()) {
        m_successTimer.start();
    }
    emit requestChanged();
}

QString WalletConnectViewModel::replacementNote() const {
    return m_request && m_undecided.empty()
               ? m_service->replacementNote(m_request->first, m_request->second)
               : QString();
}

void WalletConnectViewModel::sendAnyway() {
    if (m_undecided.empty() || !m_state || isSigning() || m_signSuccess) {
        return;
    }
    qm::sendAnyway(m_state->attemptLedger(), std::exchange(m_undecided, {}));
    approveRequest();
}

void WalletConnectViewModel::rejectRequest() {
    if (m_request && !isSigning() && !m_signSuccess) {
        m_service->rejectRequest(m_request->first, m_request->second);
    }
}

void WalletConnectViewModel::dismissRequest() {
    if (m_signSuccess) {
        m_successTimer.stop();
        endConfirmation();
        return;
    }
    rejectRequest();
}

void WalletConnectViewModel::endConfirmation() {
    m_signSuccess = false;
    m_request.reset();
    showFrontRequest();
    emit requestKeyChanged(); // the next request is new even with the same key
}

void WalletConnectViewModel::disconnect(const QString& topic) {
    m_service->disconnect(topic.toStdString());
}

} // namespace qm
