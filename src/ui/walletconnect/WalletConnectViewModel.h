#pragma once
// What the WalletConnect sheets and the window show: the pairing sheet's field and error, the
// proposal and the request at the head of their lines with their texts, the password step
// (wiped once the signature is made or refused, or when the request goes), the
// signing state and the one-second confirmation; the relay's dot and the connected dApps.
// Every press goes to the application state's WalletConnect service, which does one thing at
// a time. One per window shell; GUI thread.

#include "services/walletconnect/WCRecords.h"
#include "services/walletconnect/WCRequestCheck.h"
#include "ui/theme/PasswordEntry.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <utility>

namespace qm {

class AppState;
class WalletConnectService;

class WalletConnectViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The window's shell provides it")
    Q_PROPERTY(bool isRelayConnected READ isRelayConnected NOTIFY relayChanged)
    // One map per session, by dApp name: topic, peerName, peerURL, peerIcon ("" unless https).
    Q_PROPERTY(QVariantList sessions READ sessions NOTIFY sessionsChanged)

    Q_PROPERTY(bool showPairSheet READ showPairSheet WRITE setShowPairSheet NOTIFY pairChanged)
    Q_PROPERTY(QString pairingURI READ pairingURI WRITE setPairingURI NOTIFY pairChanged)
    Q_PROPERTY(QString pairError READ pairError NOTIFY pairChanged)
    Q_PROPERTY(bool hasPairError READ hasPairError NOTIFY pairChanged)
    Q_PROPERTY(bool isConnecting READ isConnecting NOTIFY pairChanged)
    // The field trimmed is not empty and no pairing runs.
    Q_PROPERTY(bool canConnect READ canConnect NOTIFY pairChanged)

    Q_PROPERTY(bool showProposalSheet READ showProposalSheet WRITE setShowProposalSheet NOTIFY
                   proposalChanged)
    Q_PROPERTY(bool hasProposal READ hasProposal NOTIFY proposalChanged)
    Q_PROPERTY(QString proposalName READ proposalName NOTIFY proposalChanged)
    Q_PROPERTY(QString proposalURL READ proposalURL NOTIFY proposalChanged)
    // The first icon when it is an https address; "" otherwise (the sheet then shows a globe).
    Q_PROPERTY(QString proposalIcon READ proposalIcon NOTIFY proposalChanged)
    Q_PROPERTY(bool isAnsweringProposal READ isAnsweringProposal NOTIFY proposalChanged)

    Q_PROPERTY(
        bool showRequestSheet READ showRequestSheet WRITE setShowRequestSheet NOTIFY requestChanged)
    // Names the request shown ("" for none): a new one empties the password field.
    Q_PROPERTY(QString requestKey READ requestKey NOTIFY requestKeyChanged)
    Q_PROPERTY(QString requestDappName READ requestDappName NOTIFY requestChanged)
    Q_PROPERTY(QString requestDisplayMethod READ requestDisplayMethod NOTIFY requestChanged)
    Q_PROPERTY(QString requestDisplayMessage READ requestDisplayMessage NOTIFY requestChanged)
    // "Ethereum", "Arbitrum" or "Polygon".
    Q_PROPERTY(QString requestChainName READ requestChainName NOTIFY requestChanged)
    // A transaction request ("eth_sendTransaction", "eth_signTransaction"): its review below
    // replaces the details text.
    Q_PROPERTY(bool isTransaction READ isTransaction NOTIFY requestChanged)
    // The transaction shown, every value whole: "to", "value", "call" ("transfer", "approve"
    // or ""), "callAmount", "callParty", "callNote", "data" ("" without), "dataBytes"; what
    // will be signed: "preparing", "prepared", "preparationError", "maxFee", "total".
    Q_PROPERTY(QVariantMap transaction READ transaction NOTIFY requestChanged)
    // Requests waiting behind the one shown.
    Q_PROPERTY(int requestsWaiting READ requestsWaiting NOTIFY requestChanged)
    // The request sheet's password step.
    Q_PROPERTY(qm::PasswordEntry* passwordEntry READ passwordEntry CONSTANT)
    Q_PROPERTY(bool hasPassword READ hasPassword NOTIFY requestChanged)
    Q_PROPERTY(bool isSigning READ isSigning NOTIFY requestChanged)
    Q_PROPERTY(QString signError READ signError NOTIFY requestChanged)
    Q_PROPERTY(bool hasSignError READ hasSignError NOTIFY requestChanged)
    Q_PROPERTY(bool signSuccess READ signSuccess NOTIFY requestChanged)
    // The request was answered with an earlier transaction the chain knew (nothing new was
    // signed): what the confirmation says of it, shown until dismissed. Empty otherwise.
    Q_PROPERTY(QString signedNote READ signedNote NOTIFY requestChanged)
    // While an earlier transaction of the account that the user was told failed may still
    // land, and this request is another: "This replaces your earlier … that may still go
    // through." Empty otherwise, and while the sheet offers Send Anyway (what that signs
    // replaces nothing).
    Q_PROPERTY(QString replacementNote READ replacementNote NOTIFY requestChanged)
    // The last approval of the request shown failed on an earlier transaction whose nonce the
    // chain has used while no server says by which transaction: the sheet offers Send Anyway.
    Q_PROPERTY(bool offersSendAnyway READ offersSendAnyway NOTIFY requestChanged)
    // A password is typed, no signing runs, and a transaction is not being prepared.
    Q_PROPERTY(bool canSign READ canSign NOTIFY requestChanged)

public:
    explicit WalletConnectViewModel(AppState& state, QObject* parent = nullptr);
    ~WalletConnectViewModel() override;

    bool isRelayConnected() const;
    QVariantList sessions() const;

    bool showPairSheet() const { return m_showPairSheet; }
    void setShowPairSheet(bool show);
    QString pairingURI() const { return m_pairingURI; }
    void setPairingURI(const QString& uri);
    QString pairError() const { return m_pairError.value_or(QString()); }
    bool hasPairError() const { return m_pairError.has_value(); }
    bool isConnecting() const;
    bool canConnect() const;

    bool showProposalSheet() const { return m_showProposalSheet; }
    void setShowProposalSheet(bool show);
    bool hasProposal() const { return m_proposal.has_value(); }
    QString proposalName() const;
    QString proposalURL() const;
    QString proposalIcon() const;
    bool isAnsweringProposal() const;

    bool showRequestSheet() const { return m_showRequestSheet; }
    void setShowRequestSheet(bool show);
    QString requestKey() const;
    QString requestDappName() const { return m_requestDappName; }
    QString requestDisplayMethod() const { return m_requestMethod; }
    QString requestDisplayMessage() const { return m_requestMessage; }
    QString requestChainName() const { return m_requestChain; }
    int requestsWaiting() const;
    PasswordEntry* passwordEntry() const { return m_password; }
    bool hasPassword() const { return m_password->hasPassword(); }
    bool isSigning() const;
    QString signError() const { return m_signError.value_or(QString()); }
    bool hasSignError() const { return m_signError.has_value(); }
    bool signSuccess() const { return m_signSuccess; }
    bool canSign() const;
    bool isTransaction() const;
    QString signedNote() const { return m_signSuccess ? m_signedNote : QString(); }
    QString replacementNote() const;
    bool offersSendAnyway() const { return !m_undecided.empty(); }
    QVariantMap transaction() const;

    // The pairing sheet's Connect and Return: pairs with the URI typed (Return also with an
    // empty one, which then says "Invalid WalletConnect URI"). Nothing while a pairing runs.
    QCoro::Task<void> pair();
    Q_INVOKABLE void startPairing() { pair(); }
    // Cancel: the sheet closes, the field and the error empty.
    Q_INVOKABLE void cancelPairing();

    // Approve and Reject of the proposal shown. Approving needs the wallet's Ethereum account;
    // a failure is logged and the proposal stays (unless it is gone, then the next shows).
    QCoro::Task<void> approveProposal();
    Q_INVOKABLE void startApprovingProposal() { approveProposal(); }
    Q_INVOKABLE void rejectProposal();
    // The proposal sheet closed otherwise (Escape): a rejection, unless an answer runs.
    Q_INVOKABLE void dismissProposal();

    // The password as the field's edits give it (tests).
    Q_INVOKABLE void setPassword(const QString& password) { m_password->setText(password); }
    // Sign and Return: signs the request shown with the password typed; on success the sheet
    // says so for a second, then shows the next request or closes. Nothing while signing or
    // while a transaction is being prepared.
    QCoro::Task<void> approveRequest();
    Q_INVOKABLE void startSigning() { approveRequest(); }
    // Send Anyway (offersSendAnyway): the earlier transaction counts as told, and the request
    // is approved again with the password typed, signing a new transaction beside it. Nothing
    // without the offer.
    Q_INVOKABLE void sendAnyway();
    // Reject: answers "User rejected"; nothing while signing.
    Q_INVOKABLE void rejectRequest();
    // The request sheet closed otherwise (Escape): a rejection, unless it is being signed.
    Q_INVOKABLE void dismissRequest();

    // The sidebar's disconnect of a session.
    Q_INVOKABLE void disconnect(const QString& topic);

    // How long the confirmation stays (tests change it).
    Q_INVOKABLE void setSuccessMilliseconds(int milliseconds) {
        m_successTimer.setInterval(milliseconds);
    }

signals:
    void relayChanged();
    void sessionsChanged();
    void pairChanged();
    void proposalChanged();
    void requestChanged();
    void requestKeyChanged();

private:
    using RequestKey = std::pair<std::string, std::int64_t>;

    void showFrontProposal();
    // The request shown, while it waits.
    const WCPreparedRequest* shownRequest() const;
    bool isPreparingTransaction() const;
    void showFrontRequest();
    void clearPassword();
    // The confirmation's second is over: the next request, or the sheet closes.
    void endConfirmation();
    void setSignError(std::optional<QString> error);

    QPointer<AppState> m_state;
    WalletConnectService* m_service;

    bool m_showPairSheet = false;
    QString m_pairingURI;
    std::optional<QString> m_pairError;

    bool m_showProposalSheet = false;
    std::optional<WCSessionProposal> m_proposal;

    bool m_showRequestSheet = false;
    std::optional<RequestKey> m_request;
    QString m_signedNote;
    QString m_requestDappName;
    QString m_requestMethod;
    QString m_requestMessage;
    QString m_requestChain;
    PasswordEntry* m_password; // a child
    std::optional<QString> m_signError;
    // The earlier transaction the last failure of the request shown offers to send beside.
    std::string m_undecided;
    bool m_signSuccess = false;
    // An approval of the request shown runs: it stays shown until it ends.
    bool m_approving = false;
    QTimer m_successTimer;
};

} // namespace qm
