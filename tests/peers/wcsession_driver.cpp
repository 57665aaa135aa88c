// Driver of wcsession_peer.mjs: the wallet's whole WalletConnect side (the application state's
// service over the loopback relay, its signer, three anvil chains) driven op by op while the
// real dApp client talks to it. Ops: start, setup, pair, waitProposal, approveProposal,
// rejectProposal, waitRequest, sign, signAcrossExpiry, rejectRequest, sessions, waitSessions,
// disconnect, restart, deleteWallet, clockAhead, spin.
#include "AnvilNode.h"
#include "AppStateFixture.h"
#include "FakeKeychain.h"
#include "PeerDriver.h"
#include "RelayFixture.h"
#include "RunTask.h"
#include "state/flows/FlowService.h"
#include "state/refresh/RefreshOrchestrator.h"
#include "state/walletconnect/WalletConnectService.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {

using nlohmann::json;
using namespace qm;
using namespace std::chrono_literals;

// How far the wallet's clock runs ahead of the dApp's: a request the dApp gives its shortest
// life (five minutes) then expires in the wallet's eyes within seconds.
std::chrono::milliseconds clockAhead{0};

WCDate walletNow() {
    return wcNow() + clockAhead;
}

// The wallet's process: its state over a data folder and a keychain that outlive a restart.
class Wallet : public test::LoopbackAppState {
public:
    Wallet(WalletConnectService::Options options, std::array<std::optional<QUrl>, 4> pools)
        : LoopbackAppState(test::ElectrumFixture::Mode::tls),
          m_keychainItems(
              std::make_shared<test::FaultyKeychain>(std::make_shared<test::MemoryKeychain>())),
          m_options(std::move(options)), m_pools(std::move(pools)) {
        build();
    }
    ~Wallet() { m_state.reset(); }

    // A new process over the same folder and keychain.
    void restart() {
        m_state.reset();
        settle();
        build();
    }
    WalletConnectService& walletConnect() { return m_state->wcViewModel(); }
    // The keychain under the wallet: hung, a signing waits there for the seed.
    test::FaultyKeychain& keychain() { return *m_keychainItems; }
    FlowService& flows() { return m_flows; }

private:
    void build() {
        WalletConnectService::Options options = m_options;
        options.flows = &m_flows;
        AppStateServices services = makeServices(m_keychainItems, {}, {}, m_pools);
        services.wcViewModel = std::make_unique<WalletConnectService>(options);
        m_state = std::make_unique<AppState>(std::move(services));
        m_state->refreshOrchestrator().setSuspendedForTesting(true);
    }

    std::shared_ptr<test::FaultyKeychain> m_keychainItems;
    WalletConnectService::Options m_options;
    std::array<std::optional<QUrl>, 4> m_pools;
    FlowService m_flows;
};

struct Session {
    QTemporaryDir folder;
    std::unique_ptr<test::AnvilNode> ethereum, arbitrum, polygon;
    std::unique_ptr<Wallet> wallet;
};
std::unique_ptr<Session> session;

WalletConnectService& walletConnect() {
    if (!session) {
        throw std::logic_error("start first");
    }
    return session->wallet->walletConnect();
}

void waitOrThrow(const std::function<bool()>& condition, const char* what) {
    if (!test::waitUntil(condition, 20s)) {
        throw std::runtime_error(std::string("timed out waiting for ") + what);
    }
}

json start(const json& request) {
    session = std::make_unique<Session>();
    const std::string address = "0x9858EfFD232B4033E47d90003D41EC34EcaEda94";
    session->ethereum = std::make_unique<test::AnvilNode>(1);
    session->arbitrum = std::make_unique<test::AnvilNode>(42161);
    session->polygon = std::make_unique<test::AnvilNode>(137);
    for (auto* node : {session->ethereum.get(), session->arbitrum.get(), session->polygon.get()}) {
        node->setBalance(address, "0x56bc75e2d63100000"); // 100 coins
    }
    WalletConnectService::Options options;
    options.manager.endpoint = WCRelayEndpoint{request.at("relay").get<std::string>(),
                                               request.at("projectId").get<std::string>()};
    options.manager.sessionsFile =
        std::filesystem::path(session->folder.path().toStdString()) / "wc_sessions_v2.json";
    options.manager.now = walletNow;
    session->wallet = std::make_unique<Wallet>(
        options,
        std::array<std::optional<QUrl>, 4>{session->ethereum->url(), session->arbitrum->url(),
                                           session->polygon->url(), std::nullopt});
    AppState& state = session->wallet->state();
    state.loadStoredState();
    test::runTask(state.createWallet(test::AppStateFixture::abandonPhrase(),
                                     request.at("password").get<std::string>()));
    state.stopBackgroundTasks();
    return {{"address", state.evmAccounts(Chain::ethereum).at(0).account.address},
            {"rpc",
             {{"1", session->ethereum->url().toString().toStdString()},
              {"42161", session->arbitrum->url().toString().toStdString()},
              {"137", session->polygon->url().toString().toStdString()}}}};
}

json requestJSON(const WCPreparedRequest& request) {
    return {{"id", request.request.id},
            {"topic", request.request.sessionTopic},
            {"method", request.request.method},
            {"chain", rawValue(request.chain)},
            {"summary", requestSummary(request)}};
}

json answer(const json& request) {
    const std::string op = request.at("op").get<std::string>();
    if (op == "start") {
        return start(request);
    }
    if (op == "setup") {
        test::runTask(walletConnect().setup());
        return {{"connected", walletConnect().isRelayConnected()}};
    }
    if (op == "pair") {
        test::runTask(walletConnect().pair(request.at("uri").get<std::string>()));
        return {{"ok", true}};
    }
    if (op == "waitProposal") {
        waitOrThrow([] { return !walletConnect().proposals().empty(); }, "a proposal");
        const WCSessionProposal& proposal = walletConnect().proposals().front();
        return {{"id", proposal.id}, {"name", proposal.metadata.name}};
    }
    if (op == "approveProposal") {
        test::runTask(walletConnect().approveProposal(request.at("id").get<std::int64_t>()));
        return {{"sessions", walletConnect().sessions().size()}};
    }
    if (op == "rejectProposal") {
        test::runTask(walletConnect().rejectProposal(request.at("id").get<std::int64_t>()));
        return {{"ok", true}};
    }
    if (op == "waitRequest") {
        const std::int64_t id = request.at("id").get<std::int64_t>();
        waitOrThrow(
            [id] {
                const auto& line = walletConnect().requests();
                return std::any_of(line.begin(), line.end(),
                                   [id](const auto& r) { return r.request.id == id; });
            },
            "a request");
        for (const WCPreparedRequest& waiting : walletConnect().requests()) {
            if (waiting.request.id == id) {
                return requestJSON(waiting);
            }
        }
        throw std::runtime_error("the request left the line");
    }
    if (op == "sign" || op == "signAcrossExpiry" || op == "rejectRequest") {
        const std::int64_t id = request.at("id").get<std::int64_t>();
        std::string topic;
        std::optional<WCDate> expiry;
        for (const WCPreparedRequest& waiting : walletConnect().requests()) {
            if (waiting.request.id == id) {
                topic = waiting.request.sessionTopic;
                expiry = waiting.request.expiry;
            }
        }
        if (topic.empty()) {
            throw std::runtime_error("no such request waits");
        }
        if (op == "rejectRequest") {
            test::runTask(walletConnect().rejectRequest(topic, id));
            return {{"ok", true}};
        }
        // As the sheet does: Sign waits for the transaction's preparation.
        waitOrThrow(
            [&] {
                const WCTransactionReview* review = walletConnect().transactionReview(topic, id);
                return !review || !review->preparing;
            },
            "the transaction's preparation");
        if (op == "signAcrossExpiry") {
            // The seed is held back while the request's expiry passes (and the wallet's
            // expiry timer fires): the approval was given before it, and what it signs must
            // still answer the dApp.
            if (!expiry || *expiry < walletNow()) {
                throw std::runtime_error("the request has no expiry still to come");
            }
            session->wallet->keychain().hang();
            QCoro::Task<bool> approving = walletConnect().approveRequest(
                topic, id, SecureBytes::fromText(request.at("password").get<std::string>()));
            waitOrThrow([&] { return walletNow() > *expiry + 500ms; }, "the expiry");
            const auto& line = walletConnect().requests();
            const bool listed = std::any_of(line.begin(), line.end(), [&](const auto& r) {
                return r.request.id == id && r.request.sessionTopic == topic;
            });
            session->wallet->keychain().release();
            const bool answered = test::runTask(std::move(approving));
            return {{"answered", answered}, {"listedPastExpiry", listed}};
        }
        const bool answered = test::runTask(walletConnect().approveRequest(
            topic, id, SecureBytes::fromText(request.at("password").get<std::string>())));
        return {{"answered", answered}};
    }
    if (op == "requestCount") {
        return {{"count", walletConnect().requests().size()}};
    }
    if (op == "sessions" || op == "waitSessions") {
        if (op == "waitSessions") {
            const std::size_t count = request.at("count").get<std::size_t>();
            waitOrThrow([count] { return walletConnect().sessions().size() == count; },
                        "the sessions");
        }
        json list = json::array();
        for (const WCSession& s : walletConnect().sessions()) {
            list.push_back({{"topic", s.topic},
                            {"peerName", s.peerName},
                            {"accounts", s.approvedAccounts},
                            {"chains", s.approvedChains}});
        }
        return {{"sessions", list}};
    }
    if (op == "disconnect") {
        test::runTask(walletConnect().disconnect(request.at("topic").get<std::string>()));
        return {{"ok", true}};
    }
    if (op == "restart") {
        session->wallet->restart();
        AppState& state = session->wallet->state();
        state.loadStoredState();
        test::runTask(state.unlock(request.at("password").get<std::string>()));
        state.stopBackgroundTasks();
        // The unlock sets WalletConnect up anew.
        waitOrThrow([] { return walletConnect().isRelayConnected(); }, "the relay");
        return {{"sessions", walletConnect().sessions().size()}};
    }
    if (op == "deleteWallet") {
        test::runTask(session->wallet->state().resetWallet());
        return {{"sessions", walletConnect().sessions().size()},
                {"file", std::filesystem::exists(session->folder.path().toStdString() +
                                                 "/wc_sessions_v2.json")}};
    }
    if (op == "clockAhead") {
        clockAhead = std::chrono::milliseconds(request.at("ms").get<std::int64_t>());
        return {{"ok", true}};
    }
    if (op == "spin") {
        QTest::qWait(request.at("ms").get<int>());
        return {{"ok", true}};
    }
    throw std::invalid_argument("unknown op " + op);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int status = qm::test::runPeerDriver(answer);
    session.reset();
    return status;
}
