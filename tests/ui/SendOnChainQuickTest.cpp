// Qt Quick Test of the send sheet against real chains: Bitcoin through an Electrum server that
// keeps a mempool (bitcoinjs-lib checks each broadcast, a coin is spent once), Polygon on anvil
// and Solana on the litesvm server, each behind a proxy the test controls. The tests in
// sendonchain/ read the review's figures and compare them with what the chain took, and lose
// the answer to a broadcast the chain did take (silence until the client's time-out, HTTP 504,
// a dropped connection) to see that it is paid once and the sheet shows the id. Servers that
// keep a transaction yet answer an error, while their lookups lag, are pressed again until the
// send ends: still paid once, the id of what landed shown; a form edited after such a refusal
// and sent once the lookups caught up shows the earlier send that went through, not its own. A
// coin spent elsewhere as the wallet sends does not stop the next press from paying with the
// other coins. Where no server can say which transaction took an earlier send's nonce, only
// Send Anyway signs beside it.

#include "AppStateFixture.h"
#include "ChainsQuickFixture.h"
#include "ChainsQuickTestSetup.h"
#include "ElectrumMempoolServer.h"
#include "LaggingBackend.h"
#include "NodeRequest.h"
#include "ProxiedChains.h"
#include "RawTransactionID.h"
#include "RunTask.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Bech32.h"
#include "core/crypto/UInt256.h"
#include "core/model/Amount.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "services/solana/SolanaRPCClient.h"
#include "state/flows/FlowService.h"

#include <QDateTime>
#include <QLocale>
#include <QTimer>
#include <QtQuickTest>
#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr std::uint64_t coinSats = 50'000;
constexpr int coinCount = 6;

// What `read` gives, or {"error": why} when the chain has no such transaction: the QML test
// then fails on the figure it compares, not on an exception inside the engine.
template <typename Read> QVariantMap guarded(Read read) {
    try {
        return read();
    } catch (const std::exception& error) {
        return {{QStringLiteral("error"), QString::fromUtf8(error.what())}};
    }
}

QString exactText(const qm::UInt256& units, unsigned decimals, const char* symbol) {
    return QString::fromStdString(qm::Amount{units, decimals}.exactText() + " " + symbol);
}

qm::UInt256 quantity(const nlohmann::json& hex) {
    return qm::UInt256::fromHex(hex.get<std::string>()).value();
}

class Fixture : public qm::test::ChainsQuickFixture {
    Q_OBJECT

public:
    using ChainsQuickFixture::ChainsQuickFixture;

    // The Electrum server with six coins of 50,000 sat at the wallet's first address, behind
    // the wallet's Electrum fixture; false without node.
    Q_INVOKABLE bool startBitcoin() {
        if (!m_electrum) {
            std::vector<qm::BTCAccountState> accounts = state().bitcoinAccounts();
            for (qm::BTCAddressInfo& address : accounts.at(0).addresses) {
                address.fetched = true;
            }
            const std::string first = accounts.at(0).addresses.at(0).address;
            m_bitcoinAddress = first;
            accounts.at(0).balanceSats = coinSats * coinCount;
            accounts.at(0).balanceLoad.end(false);
            state().setBitcoinAccounts(std::move(accounts));
            m_electrum =
                std::make_unique<qm::test::ElectrumMempoolServer>(first, coinSats, coinCount);
            m_electrum->serve(m_env.electrum());
        }
        return m_electrum->isRunning();
    }
    // Every broadcast from now on reaches the server and its answer is lost as `how` says:
    // "timedOut" (never sent: the wallet's request times out) or "dropped" (every connection
    // closed instead).
    Q_INVOKABLE void loseBitcoinAnswers(const QString& how) {
        const bool drop = how == QLatin1String("dropped");
        m_env.electrum().answerRaw(
            "blockchain.transaction.broadcast", [this, drop](const nlohmann::json& request) {
                m_electrum->exchange(request);
                if (drop) {
                    // After this request's handling: its socket must outlive its signal.
                    QTimer::singleShot(0, &m_env.electrum(),
                                       [this] { m_env.electrum().closeAll(); });
                }
                return std::optional<std::string>();
            });
    }
    // The coins of the next broadcast are spent elsewhere (by another wallet of the same
    // phrase) as it arrives, and a coin of 90,000 sat comes to the wallet's first address: the
    // server refuses that broadcast (missing or spent) and keeps nothing; it takes the later ones.
    Q_INVOKABLE void spendBitcoinElsewhere() {
        m_spentElsewhere.clear();
        m_env.electrum().answerRaw(
            "blockchain.transaction.broadcast", [this](const nlohmann::json& request) {
                if (m_spentElsewhere.empty()) {
                    m_spentElsewhere = inputsOf(request.at("params").at(0).get<std::string>());
                    m_electrum->spendElsewhere(m_spentElsewhere);
                    m_electrum->call("test.fund", {m_bitcoinAddress, 90'000});
                }
                return std::optional(m_electrum->exchange(request));
            });
    }
    // The coins spent elsewhere, as "txid:index".
    Q_INVOKABLE QStringList bitcoinSpentElsewhere() const { return texts(m_spentElsewhere); }
    // The coins the server's transaction `txid` spends.
    Q_INVOKABLE QStringList bitcoinInputs(const QString& txid) {
        const nlohmann::json raw =
            m_electrum->call("blockchain.transaction.get", {txid.toStdString()});
        return texts(inputsOf(raw.get<std::string>()));
    }
    // A Bitcoin address nobody holds: P2WPKH of 20 bytes of `fill`.
    Q_INVOKABLE QString bitcoinRecipient(int fill) const {
        return QString::fromStdString(
            qm::segwitAddressEncode("bc", 0, qm::Bytes(20, static_cast<std::uint8_t>(fill))));
    }
    // What the server's transactions paid to `address`: {"amount" (BTC text), "txids"}.
    Q_INVOKABLE QVariantMap bitcoinReceived(const QString& address) {
        const nlohmann::json received = m_electrum->call("test.received", {address.toStdString()});
        QStringList txids;
        for (const nlohmann::json& id : received.at("txids")) {
            txids << QString::fromStdString(id.get<std::string>());
        }
        return {{QStringLiteral("amount"), btcText(received.at("sats").get<std::uint64_t>())},
                {QStringLiteral("txids"), txids}};
    }
    // The transaction `txid` as the server took it, in BTC texts: "fee", what its coins paid
    // beyond its outputs, and "spent", what left the wallet (its outputs to `recipient` and
    // that fee; the rest is change).
    Q_INVOKABLE QVariantMap bitcoinTaken(const QString& txid, const QString& recipient) {
        return guarded([&] { return takenOnBitcoin(txid, recipient); });
    }
    QVariantMap takenOnBitcoin(const QString& txid, const QString& recipient) {
        const nlohmann::json taken = m_electrum->call("test.transaction", {txid.toStdString()});
        const std::uint64_t fee = taken.at("fee").get<std::uint64_t>();
        std::uint64_t toRecipient = 0;
        for (const nlohmann::json& output : taken.at("outputs")) {
            if (output.at("address").get<std::string>() == recipient.toStdString()) {
                toRecipient += output.at("value").get<std::uint64_t>();
            }
        }
        return {{QStringLiteral("fee"), btcText(fee)},
                {QStringLiteral("spent"), btcText(toRecipient + fee)}};
    }

    // Every raw transaction from now on reaches anvil, and its answer is lost as `how` says
    // (see loseAnswers).
    Q_INVOKABLE void losePolygonAnswers(const QString& how) {
        loseAnswers(m_polygon, m_chains.anvil().url(), "eth_sendRawTransaction", how);
    }
    // The node's balance of `address`, as an exact POL text.
    Q_INVOKABLE QString polygonBalance(const QString& address) {
        return exactText(
            quantity(m_chains.anvil().rpc("eth_getBalance", {address.toStdString(), "latest"})), 18,
            "POL");
    }
    // How many transactions the wallet's address has had mined (its nonce).
    Q_INVOKABLE int polygonSentCount() {
        return static_cast<int>(
            quantity(m_chains.anvil().rpc("eth_getTransactionCount", {polygonSender(), "latest"}))
                .toUInt64()
                .value());
    }
    // The mined transaction `hash` against the node, in exact POL texts: "maxFee" and
    // "maxTotal", what it could cost at most as signed (gas limit x fee cap, and that plus its
    // value); "value"; "fee", what its receipt charged; "spentBeyondValue", what left the
    // wallet since its balance was `before` less the value; and "feeWithinMax".
    Q_INVOKABLE QVariantMap polygonTaken(const QString& hash, const QString& before) {
        return guarded([&] { return takenOnPolygon(hash, before); });
    }
    QVariantMap takenOnPolygon(const QString& hash, const QString& before) {
        const nlohmann::json tx =
            m_chains.anvil().rpc("eth_getTransactionByHash", {hash.toStdString()});
        const nlohmann::json receipt = m_chains.anvil().minedReceipt(hash.toStdString());
        const qm::UInt256 maxFee =
            quantity(tx.at("gas")).checkedMultiply(quantity(tx.at("maxFeePerGas"))).value();
        const qm::UInt256 fee = quantity(receipt.at("gasUsed"))
                                    .checkedMultiply(quantity(receipt.at("effectiveGasPrice")))
                                    .value();
        const qm::UInt256 now =
            quantity(m_chains.anvil().rpc("eth_getBalance", {polygonSender(), "latest"}));
        const qm::UInt256 start =
            qm::Amount::parse(before.section(' ', 0, 0).toStdString(), 18).value;
        const auto text = [](const qm::UInt256& wei) { return exactText(wei, 18, "POL"); };
        return {
            {QStringLiteral("maxFee"), text(maxFee)},
            {QStringLiteral("maxTotal"), text(maxFee.checkedAdd(quantity(tx.at("value"))).value())},
            {QStringLiteral("fee"), text(fee)},
            {QStringLiteral("spentBeyondValue"), text(start.checkedSubtract(now)
                                                          .value()
                                                          .checkedSubtract(quantity(tx.at("value")))
                                                          .value())},
            {QStringLiteral("value"), text(quantity(tx.at("value")))},
            {QStringLiteral("feeWithinMax"), !(maxFee < fee)}};
    }
    // The nonce of the node's transaction `hash` (-1 without one).
    Q_INVOKABLE int polygonNonce(const QString& hash) {
        const nlohmann::json tx =
            m_chains.anvil().rpc("eth_getTransactionByHash", {hash.toStdString()});
        return tx.is_object() ? static_cast<int>(quantity(tx.at("nonce")).toUInt64().value()) : -1;
    }
    Q_INVOKABLE QString polygonSenderAddress() const {
        return QString::fromStdString(polygonSender());
    }

    // Every transaction from now on reaches the runtime, and its answer is lost as `how` says
    // (see loseAnswers).
    Q_INVOKABLE void loseSolanaAnswers(const QString& how) {
        loseAnswers(m_solana, m_chains.litesvm().url(), "sendTransaction", how);
    }
    // The runtime's balance at `address` (the wallet's own when empty), as an exact SOL text.
    Q_INVOKABLE QString solanaBalance(const QString& address = {}) const {
        qm::SolanaRPCClient client(m_chains.litesvm().url());
        const std::string of = address.isEmpty() ? solanaSender() : address.toStdString();
        const std::uint64_t lamports = qm::test::runTask(client.getBalance(of));
        return exactText(qm::UInt256(0, 0, 0, lamports), 9, "SOL");
    }
    // What left the wallet's address since its balance was `before`, as an exact SOL text.
    Q_INVOKABLE QString solanaSpentSince(const QString& before) const {
        const qm::UInt256 start =
            qm::Amount::parse(before.section(' ', 0, 0).toStdString(), 9).value;
        const qm::UInt256 now =
            qm::Amount::parse(solanaBalance().section(' ', 0, 0).toStdString(), 9).value;
        return exactText(start.checkedSubtract(now).value(), 9, "SOL");
    }
    // A Solana address nobody holds: the Base58 text of 32 bytes of `fill`.
    Q_INVOKABLE QString solanaRecipient(int fill) const {
        return QString::fromStdString(
            qm::base58Encode(qm::Bytes(32, static_cast<std::uint8_t>(fill))));
    }
    // Every transaction from now on is kept by the chain's node (`chain`: "bitcoin", "polygon",
    // "solana") while the wallet hears `refusal`, and the node's lookups do not see it for 5 s
    // after it first arrived (LaggingBackend; on Bitcoin blockchain.transaction.get), or until
    // catchUp() when `untilCaughtUp`. On Polygon the count of mined transactions includes it
    // when `countAhead` (so no server can say which transaction took its nonce).
    Q_INVOKABLE void keepAndRefuse(const QString& chain, const QString& refusal,
                                   bool untilCaughtUp = false, bool countAhead = false) {
        const std::chrono::milliseconds lag =
            untilCaughtUp ? std::chrono::hours(1) : std::chrono::seconds(5);
        m_bitcoinLag = lag;
        if (chain == QLatin1String("polygon")) {
            m_lagging = std::make_unique<qm::test::LaggingBackend>(
                m_polygon, m_chains.anvil().url(), qm::test::LaggingBackend::Family::evm,
                refusal.toStdString(), lag,
                countAhead ? qm::test::LaggingBackend::Count::ahead
                           : qm::test::LaggingBackend::Count::lagging);
        } else if (chain == QLatin1String("solana")) {
            m_lagging = std::make_unique<qm::test::LaggingBackend>(
                m_solana, m_chains.litesvm().url(), qm::test::LaggingBackend::Family::solana,
                refusal.toStdString(), lag);
        } else {
            keepAndRefuseBitcoin(refusal.toStdString());
        }
    }
    // The lagging lookups see every transaction kept so far and from now on; the servers still
    // answer broadcasts with the refusal.
    Q_INVOKABLE void catchUp() {
        if (m_lagging) {
            m_lagging->catchUp();
        }
        m_bitcoinLag = std::chrono::milliseconds(0);
    }
    // The lagging node answers the transactions that first arrive from now on; those it kept
    // stay unseen.
    Q_INVOKABLE void answerNewTransactions() {
        if (m_lagging) {
            m_lagging->answerNewOnes();
        }
    }
    // The ids of the transactions the lagging servers kept, in order.
    Q_INVOKABLE QStringList keptIds() const {
        return texts(m_lagging ? m_lagging->kept() : m_keptBitcoin);
    }
    // The litesvm server's status of `signature`: whether it landed.
    Q_INVOKABLE bool solanaLanded(const QString& signature) const {
        qm::SolanaRPCClient client(m_chains.litesvm().url());
        const auto statuses =
            qm::test::runTask(client.getSignatureStatuses({signature.toStdString()})).value;
        return !statuses.empty() && statuses.front().has_value();
    }
    // Broadcasts answered again on every chain.
    Q_INVOKABLE void answerBroadcasts() {
        m_polygon.clearOverrides();
        m_solana.clearOverrides();
        m_lagging.reset();
        m_keptBitcoin.clear();
        m_bitcoinSeen.clear();
        if (m_electrum) {
            m_electrum->serve(m_env.electrum());
        }
    }
    // Requests of `method` the proxy of `chain` ("polygon", "solana") got.
    Q_INVOKABLE int requests(const QString& chain, const QString& method) const {
        return (chain == QLatin1String("solana") ? m_solana : m_polygon)
            .requestCount(method.toStdString());
    }
    Q_INVOKABLE int bitcoinBroadcasts() const {
        return m_env.electrum().requestCount("blockchain.transaction.broadcast");
    }

private:
    // Each request of `method` at `proxy` goes to `node`, and the wallet gets, as `how` says,
    // no answer until its time-out ("timedOut"), a closed connection ("dropped") or HTTP 504
    // ("gateway") in place of the node's answer.
    static void loseAnswers(qm::test::RPCProxy& proxy, QUrl node, const std::string& method,
                            const QString& how) {
        qm::test::HttpFixtureResponse lost = qm::test::HttpFixtureResponse::withStatus(504);
        if (how == QLatin1String("timedOut")) {
            lost = qm::test::HttpFixtureResponse::stalling();
        } else if (how == QLatin1String("dropped")) {
            lost.behaviour = qm::test::HttpFixtureResponse::Behaviour::close;
        }
        proxy.setOverride(method, [node, method, lost](const nlohmann::json& params) {
            qm::test::nodeRequest(node, method, params);
            return std::optional(lost);
        });
    }
    static std::vector<std::string> inputsOf(const std::string& raw) {
        return qm::BTCTransactionParser::spending(raw).value().outpoints;
    }
    static QStringList texts(const std::vector<std::string>& list) {
        QStringList out;
        for (const std::string& text : list) {
            out << QString::fromStdString(text);
        }
        return out;
    }
    // Whether the lagging lookups do not see the transaction `id` yet.
    bool lagging(const std::string& id) const {
        const auto seen = m_bitcoinSeen.find(id);
        return seen != m_bitcoinSeen.end() &&
               seen->second.msecsTo(QDateTime::currentDateTimeUtc()) < m_bitcoinLag.count();
    }
    // The Electrum server takes each broadcast into its mempool and answers `refusal`; its
    // blockchain.transaction.get and histories do not know one for m_bitcoinLag after it first
    // arrived (so nothing is known to spend the coins it took).
    void keepAndRefuseBitcoin(const std::string& refusal) {
        m_env.electrum().answerRaw(
            "blockchain.transaction.broadcast", [this, refusal](const nlohmann::json& request) {
                m_electrum->exchange(request);
                const std::string id =
                    qm::test::rawTransactionID(request.at("params").at(0).get<std::string>());
                if (m_bitcoinSeen.emplace(id, QDateTime::currentDateTimeUtc()).second) {
                    m_keptBitcoin.push_back(id);
                }
                return std::optional(electrumError(request, 1, refusal));
            });
        m_env.electrum().answerRaw(
            "blockchain.transaction.get", [this](const nlohmann::json& request) {
                if (lagging(request.at("params").at(0).get<std::string>())) {
                    return std::optional(
                        electrumError(request, 2, "No such mempool or blockchain transaction"));
                }
                return std::optional(m_electrum->exchange(request));
            });
        m_env.electrum().answerRaw(
            "blockchain.scripthash.get_history", [this](const nlohmann::json& request) {
                nlohmann::json answer = nlohmann::json::parse(m_electrum->exchange(request));
                nlohmann::json& history = answer.at("result");
                history.erase(std::remove_if(history.begin(), history.end(),
                                             [this](const nlohmann::json& entry) {
                                                 return lagging(entry.at("tx_hash"));
                                             }),
                              history.end());
                return std::optional(answer.dump() + "\n");
            });
    }
    static std::string electrumError(const nlohmann::json& request, int code,
                                     const std::string& message) {
        return nlohmann::json{{"jsonrpc", "2.0"},
                              {"id", request.at("id")},
                              {"error", {{"code", code}, {"message", message}}}}
                   .dump() +
               "\n";
    }
    static QString btcText(std::uint64_t sats) {
        return exactText(qm::UInt256(0, 0, 0, sats), 8, "BTC");
    }

    std::unique_ptr<qm::test::ElectrumMempoolServer> m_electrum;
    std::unique_ptr<qm::test::LaggingBackend> m_lagging;
    std::map<std::string, QDateTime> m_bitcoinSeen;
    std::chrono::milliseconds m_bitcoinLag{5'000};
    std::vector<std::string> m_keptBitcoin;
    std::string m_bitcoinAddress;
    std::vector<std::string> m_spentElsewhere;
};

class Setup : public qm::test::ChainsQuickTestSetup {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        // A lost answer is given up on after 2 s (Electrum) or 3 s (JSON-RPC).
        qm::NetworkManager::Options network;
        network.electrumLimits.requestTimeout = std::chrono::seconds(2);
        network.rpcTimeouts = {std::chrono::seconds(3), std::chrono::seconds(6)};
        // Steps paced at a fifth of the program's; the chain's answer waited for at most 5 s.
        qm::FlowLimits limits;
        limits.pollInterval = std::chrono::milliseconds(50);
        limits.confirmationTimeout = std::chrono::seconds(5);
        limits.pace = 0.2;
        start<Fixture>(limits, network);
    }
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(sendonchain, Setup)

#include "SendOnChainQuickTest.moc"
