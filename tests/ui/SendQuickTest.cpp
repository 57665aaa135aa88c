// Qt Quick Test of the receive and send sheets over a real application state on loopback
// fixtures; the tests in send/ fill the state through `fixture`, read QR codes back with
// zbarimg and send on Bitcoin through the loopback Electrum server, on Polygon through anvil
// and on Solana through the litesvm server (each behind a proxy that can hold an answer back
// or change one), and read back what was signed: the fee and total each review showed.

#include "AppStateFixture.h"
#include "ChainsQuickFixture.h"
#include "ChainsQuickTestSetup.h"
#include "ProxiedChains.h"
#include "RawTransactionID.h"
#include "RunTask.h"
#include "core/crypto/Base58.h"
#include "core/crypto/UInt256.h"
#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "services/solana/SolanaRPCClient.h"
#include "state/flows/FlowService.h"

#include <QLocale>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtQuickTest>
#include <memory>

namespace {

class Fixture : public qm::test::ChainsQuickFixture {
    Q_OBJECT

public:
    using ChainsQuickFixture::ChainsQuickFixture;

    // `coins` coins of `sats` each at the first Bitcoin address; broadcasts are counted and
    // answered with a transaction id.
    Q_INVOKABLE void fundBitcoin(int sats, int coins = 1) {
        std::vector<qm::BTCAccountState> accounts = state().bitcoinAccounts();
        for (qm::BTCAddressInfo& address : accounts.at(0).addresses) {
            address.fetched = true;
        }
        const std::string scriptHash = accounts.at(0).addresses.at(0).scriptHash;
        state().setBitcoinAccounts(std::move(accounts));
        nlohmann::json coin = nlohmann::json::array();
        for (int i = 0; i < coins; ++i) {
            coin.push_back({{"tx_hash", std::string(64, 'a')},
                            {"tx_pos", i},
                            {"height", 800'000},
                            {"value", sats}});
        }
        auto line = [](const nlohmann::json& id, nlohmann::json result) {
            return std::optional<std::string>(
                nlohmann::json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}
                    .dump() +
                "\n");
        };
        m_env.electrum().answerRaw(
            "blockchain.scripthash.listunspent", [scriptHash, coin, line](const nlohmann::json& r) {
                const bool ours = r.at("params").at(0).get<std::string>() == scriptHash;
                return line(r.at("id"), ours ? coin : nlohmann::json::array());
            });
        m_coinSats = static_cast<std::uint64_t>(sats);
        m_env.electrum().answerRaw(
            "blockchain.transaction.broadcast", [this, line](const nlohmann::json& r) {
                ++m_broadcasts;
                m_lastBroadcast = r.at("params").at(0).get<std::string>();
                return line(r.at("id"), qm::test::rawTransactionID(m_lastBroadcast));
            });
    }
    Q_INVOKABLE int bitcoinBroadcasts() const { return m_broadcasts; }
    // What the last broadcast transaction paid, read from its bytes (every coin funded is worth
    // the same): {"inputs", "fee", "total", "txid"}, the fee and the total (to the recipient, the
    // first output, plus the fee) as exact BTC texts.
    Q_INVOKABLE QVariantMap lastBitcoinBroadcast() const {
        const qm::Bytes raw = qm::hexToBytes(m_lastBroadcast).value_or(qm::Bytes{});
        // Version (4), the segwit marker and flag (2), then the input count (one byte here).
        const bool segwit = raw.size() > 6 && raw[4] == 0 && raw[5] == 1;
        const std::uint64_t inputs = raw.size() > 6 ? raw[segwit ? 6 : 4] : 0;
        const auto outputs = qm::BTCTransactionParser::parseOutputs(m_lastBroadcast);
        std::uint64_t paidOut = 0;
        for (const auto& output : outputs) {
            paidOut += output.value;
        }
        const std::uint64_t fee = inputs * m_coinSats - paidOut;
        const std::uint64_t total = (outputs.empty() ? 0 : outputs.front().value) + fee;
        return {{QStringLiteral("inputs"), static_cast<int>(inputs)},
                {QStringLiteral("fee"), btcText(fee)},
                {QStringLiteral("total"), btcText(total)},
                {QStringLiteral("txid"),
                 QString::fromStdString(qm::test::rawTransactionID(m_lastBroadcast))}};
    }
    // Bitcoin estimates of 50, 20 and 5 sat/vB for 1, 3 and 6 blocks, and a balance.
    Q_INVOKABLE void setBitcoinFees() {
        m_env.electrum().answerRaw("blockchain.estimatefee", [](const nlohmann::json& request) {
            const int blocks = request.at("params").at(0).get<int>();
            const double btcPerKB = blocks <= 1 ? 0.0005 : blocks <= 3 ? 0.0002 : 0.00005;
            return std::optional<std::string>(
                nlohmann::json{{"jsonrpc", "2.0"}, {"id", request.at("id")}, {"result", btcPerKB}}
                    .dump() +
                "\n");
        });
        state().updateBitcoinAccount(0, "btc-0", [](qm::BTCAccountState& a) {
            a.balanceSats = 150'000;
            a.balanceLoad.end(false);
        });
    }

    // A load of the Bitcoin balance ended without an answer.
    Q_INVOKABLE void failBitcoinBalance() {
        state().updateBitcoinAccount(0, "btc-0",
                                     [](qm::BTCAccountState& a) { a.balanceLoad.end(true); });
    }

    // The node's balance of `address` in wei, as a quantity ("0x...").
    Q_INVOKABLE QString polygonBalance(const QString& address) {
        return QString::fromStdString(m_chains.anvil()
                                          .rpc("eth_getBalance", {address.toStdString(), "latest"})
                                          .get<std::string>());
    }
    // What left the wallet's address besides the fees of the transactions `hashes` (each
    // receipt's gas used times its effective price), in decimal wei.
    Q_INVOKABLE QString polygonSentWithoutFees(const QStringList& hashes) {
        const auto quantity = [](const nlohmann::json& hex) {
            return qm::UInt256::fromHex(hex.get<std::string>()).value();
        };
        qm::UInt256 left = qm::UInt256::fromDecimalString("100000000000000000000");
        left = left.checkedSubtract(quantity(m_chains.anvil().rpc("eth_getBalance",
                                                                  {polygonSender(), "latest"})))
                   .value();
        for (const QString& hash : hashes) {
            const nlohmann::json receipt = m_chains.anvil().minedReceipt(hash.toStdString());
            const qm::UInt256 fee = quantity(receipt.at("gasUsed"))
                                        .checkedMultiply(quantity(receipt.at("effectiveGasPrice")))
                                        .value();
            left = left.checkedSubtract(fee).value();
        }
        return QString::fromStdString(left.decimalString());
    }
    Q_INVOKABLE int rawTransactionsSent() const {
        return m_polygon.requestCount("eth_sendRawTransaction");
    }
    // What the mined transaction `hash` could cost at most (its gas limit times its fee cap)
    // and that plus its value, as exact POL texts: {"maxFee", "total"}.
    Q_INVOKABLE QVariantMap polygonSigned(const QString& hash) {
        const nlohmann::json tx = m_chains.anvil().rpc("eth_getTransactionByHash",
                                                       nlohmann::json::array({hash.toStdString()}));
        const auto quantity = [&](const char* key) {
            return qm::UInt256::fromHex(tx.at(key).get<std::string>()).value();
        };
        const qm::UInt256 maxFee =
            quantity("gas").checkedMultiply(quantity("maxFeePerGas")).value();
        const auto text = [](const qm::UInt256& wei) {
            return QString::fromStdString(qm::Amount{wei, 18}.exactText() + " POL");
        };
        return {{QStringLiteral("maxFee"), text(maxFee)},
                {QStringLiteral("total"), text(maxFee.checkedAdd(quantity("value")).value())}};
    }
    // From now on the node's gas price is `factor` times what it answered last.
    Q_INVOKABLE void raisePolygonGasPrice(int factor) {
        const qm::UInt256 raised =
            qm::UInt256::fromHex(m_polygon.lastResult("eth_gasPrice").get<std::string>())
                .value()
                .checkedMultiply(qm::UInt256(0, 0, 0, static_cast<std::uint64_t>(factor)))
                .value();
        m_polygon.setOverride("eth_gasPrice", [raised](const nlohmann::json&) {
            return std::optional(
                qm::test::HttpFixtureResponse::jsonRPCResult(raised.description()));
        });
    }
    // While held, every receipt asked for is "not mined yet".
    Q_INVOKABLE void holdReceipts(bool hold) {
        if (hold) {
            m_polygon.setOverride("eth_getTransactionReceipt", [](const nlohmann::json&) {
                return std::optional(qm::test::HttpFixtureResponse::jsonRPCResult(nullptr));
            });
        } else {
            m_polygon.clearOverrides();
        }
    }

    // The runtime's lamports at `address` (the wallet's own when empty), in decimal.
    Q_INVOKABLE QString solanaLamports(const QString& address = {}) const {
        qm::SolanaRPCClient client(m_chains.litesvm().url());
        const std::string of = address.isEmpty() ? solanaSender() : address.toStdString();
        return QString::number(qm::test::runTask(client.getBalance(of)));
    }
    Q_INVOKABLE int solanaTransactionsSent() const {
        return m_solana.requestCount("sendTransaction");
    }
    // A Solana address nobody holds: the Base58 text of 32 bytes of 0x42.
    Q_INVOKABLE QString solanaRecipient() const {
        return QString::fromStdString(qm::base58Encode(qm::Bytes(32, 0x42)));
    }

    Q_INVOKABLE bool canDecodeQR() const {
        return !QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty();
    }
    // What zbarimg reads in the image at `path`; empty when it reads nothing.
    Q_INVOKABLE QString decodeQR(const QString& path) const {
        QProcess zbar;
        zbar.start(QStringLiteral("zbarimg"),
                   {QStringLiteral("--raw"), QStringLiteral("-q"), path});
        if (!zbar.waitForFinished(30'000)) {
            return {};
        }
        return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
    }
    // What zbarimg reads in `item` as the window draws it.
    Q_INVOKABLE QString decodeQRIn(QQuickItem* item) const {
        if (!item || !item->window()) {
            return {};
        }
        const QRectF area = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        const QImage drawn = item->window()->grabWindow().copy(area.toAlignedRect());
        const QString path = m_scratch.filePath(QStringLiteral("code.png"));
        return drawn.save(path) ? decodeQR(path) : QString();
    }
    Q_INVOKABLE int networkRequests() const { return m_env.networkRequests(); }

private:
    static QString btcText(std::uint64_t sats) {
        return QString::fromStdString(qm::Amount{qm::UInt256(0, 0, 0, sats), 8}.exactText() +
                                      " BTC");
    }
    int m_broadcasts = 0;
    std::uint64_t m_coinSats = 0;
    std::string m_lastBroadcast;
    QTemporaryDir m_scratch;
};

class Setup : public qm::test::ChainsQuickTestSetup {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        // Steps paced at a fifth of the program's; a receipt waited for at most 2 s.
        qm::FlowLimits limits;
        limits.pollInterval = std::chrono::milliseconds(20);
        limits.confirmationTimeout = std::chrono::seconds(2);
        limits.pace = 0.2;
        start<Fixture>(limits);
    }
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(send, Setup)

#include "SendQuickTest.moc"
