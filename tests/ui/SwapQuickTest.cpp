// Qt Quick Test of the swap screens through the real QML: the token picker, and the swap sheet
// with its confirmation over a created wallet whose Arbitrum account swaps on Uniswap V3 on
// anvil (when anvil is installed) and whose Solana account swaps through the loopback
// aggregator over litesvm (when node and the test peers are installed).

#include "AggregatorFixture.h"
#include "AnvilNode.h"
#include "QuickTestSetup.h"
#include "RefreshFixture.h"
#include "RunTask.h"
#include "UniswapV3Fixture.h"
#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "services/evm/JSONRPCClient.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/swap/AggregatorClient.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/SwapToken.h"
#include "services/swap/UniswapCalldata.h"
#include "services/swap/UniswapQuoter.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"
#include "ui/swap/SwapTokenVariant.h"
#include "ui/swap/SwapViewModel.h"

#include <QJsonDocument>
#include <QStandardPaths>
#include <QtQuickTest>
#include <memory>

namespace {

using namespace qm;

const char* const walletPassword = "correct horse";
const char* const aggregatorKey = "swap-screen-key";

UInt256 whole(std::uint64_t count, unsigned decimals) {
    return UInt256(0, 0, 0, count).checkedMultiply(UInt256::powerOfTen(decimals).value()).value();
}

class Fixture : public test::QuickFixture {
    Q_OBJECT

public:
    Fixture(test::RefreshFixture& env, test::AnvilNode* node, test::UniswapV3Fixture* uniswap,
            test::AggregatorFixture* aggregator)
        : m_env(env), m_node(node), m_uniswap(uniswap), m_aggregator(aggregator) {}

    // Whether the wallet's Arbitrum account swaps on a node (anvil is installed).
    Q_INVOKABLE bool hasNode() const { return m_uniswap != nullptr; }
    Q_INVOKABLE QString password() const { return QString::fromUtf8(walletPassword); }
    Q_INVOKABLE void setAutomine(bool on) { m_node->setAutomine(on); }
    Q_INVOKABLE void mine() { m_node->mine(); }
    // The wallet's USDC on Arbitrum, in base units.
    Q_INVOKABLE QString usdcBalance() const {
        return QString::fromStdString(
            m_uniswap->balanceOf(m_uniswap->usdc(), address()).decimalString());
    }
    Q_INVOKABLE int walletNonce() const {
        return static_cast<int>(
            hexToUInt64(
                m_node->rpc("eth_getTransactionCount", {address(), "pending"}).get<std::string>())
                .value());
    }
    // The most the wallet's mined Arbitrum transactions from nonce `from` on could have paid
    // the network (their gas limits times their fee caps), written as the review writes a max
    // network fee.
    Q_INVOKABLE QString allowedFees(int from) const {
        UInt256 sum;
        const std::vector<nlohmann::json> sent = m_node->minedTransactionsFrom(address());
        for (std::size_t i = static_cast<std::size_t>(from); i < sent.size(); ++i) {
            const auto quantity = [&](const char* key) {
                return UInt256::fromHex(sent[i].at(key).get<std::string>()).value();
            };
            sum = sum.checkedAdd(quantity("gas").checkedMultiply(quantity("maxFeePerGas")).value())
                      .value();
        }
        return QString::fromStdString(Amount{sum, 18}.exactText() + " ETH");
    }
    // Another account buys USDC with 5 ETH: the price moves away from any quote taken before.
    Q_INVOKABLE void movePrice() {
        const std::string other = test::AnvilNode::devAccount(2);
        const SwapToken eth = SwapToken::native(Chain::arbitrum);
        const SwapToken usdc{"USDC", m_uniswap->usdc(), 6, false};
        const SwapQuote big =
            test::runTask(uniswapQuote(eth, usdc, whole(5, 18), 0, Chain::arbitrum,
                                       std::make_shared<JSONRPCClient>(m_node->url())));
        const RouterCall call =
            uniswapSwapCalldata(big, hexToBytes(other).value(), Chain::arbitrum);
        m_uniswap->transact(other, uniswapRouterAddress, bytesToHex(call.data),
                            call.value.description());
    }

    // Whether the wallet's Solana account swaps through the loopback aggregator.
    Q_INVOKABLE bool hasAggregator() const { return m_aggregator != nullptr; }
    // The cases of the aggregator's next answers: {order: [...], execute: [...]}.
    Q_INVOKABLE void scriptAggregator(const QVariantMap& cases) {
        m_aggregator->script(nlohmann::json::parse(QJsonDocument::fromVariant(cases).toJson()));
    }
    // Lamports (decimal text) to the Solana account.
    Q_INVOKABLE void airdropSolana(const QString& lamports) {
        m_aggregator->airdrop(solanaAddress(), lamports.toULongLong());
    }
    // The Solana account's lamports and USDC base units, as decimal text.
    Q_INVOKABLE QString solanaLamports() const {
        return QString::number(test::runTask(solanaNode().getBalance(solanaAddress())));
    }
    Q_INVOKABLE QString solanaUsdc() const {
        std::uint64_t total = 0;
        for (const SPLTokenAccountInfo& account :
             test::runTask(solanaNode().getTokenAccountsByOwner(solanaAddress()))) {
            if (account.mint == test::AggregatorFixture::usdcMint) {
                total += std::stoull(account.amount);
            }
        }
        return QString::number(total);
    }

    // The tokens offered on `chain` (a raw chain index), as the swap screen hands them over.
    Q_INVOKABLE QVariantList tokens(int chain) const {
        QVariantList list;
        for (const SwapToken& token : SwapViewModel::availableTokens(
                 allChains()[static_cast<std::size_t>(chain)], m_env.state())) {
            list.push_back(swapTokenToVariant(token));
        }
        return list;
    }

private:
    std::string address() const {
        return m_env.state().evmAccounts(Chain::arbitrum).at(0).account.address;
    }
    std::string solanaAddress() const {
        return m_env.state().solanaAccounts().at(0).account.address;
    }
    SolanaRPCClient& solanaNode() const {
        if (!m_solana) {
            m_solana = std::make_unique<SolanaRPCClient>(m_aggregator->rpcURL());
        }
        return *m_solana;
    }

    test::RefreshFixture& m_env;
    test::AnvilNode* m_node;
    test::UniswapV3Fixture* m_uniswap;
    test::AggregatorFixture* m_aggregator;
    mutable std::unique_ptr<SolanaRPCClient> m_solana;
};

class Setup : public test::QuickTestSetup {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        prepareApplication(QLocale(QStringLiteral("en_US")));
        test::RefreshFixture::Setup setup;
        if (test::AnvilNode::isAvailable()) {
            m_node = std::make_unique<test::AnvilNode>(evmChainID(Chain::arbitrum));
            m_uniswap = std::make_unique<test::UniswapV3Fixture>(*m_node, Chain::arbitrum);
            setup.arbitrum = m_node->url();
        }
        if (!QStandardPaths::findExecutable("node").isEmpty()) {
            m_aggregator = std::make_unique<test::AggregatorFixture>(aggregatorKey);
            if (m_aggregator->isRunning()) {
                qputenv(AggregatorEndpoint::kBaseURLVariable,
                        m_aggregator->aggregatorURL().toString().toUtf8());
                qputenv(AggregatorEndpoint::kAPIKeyVariable, aggregatorKey);
                setup.solana = m_aggregator->rpcURL();
            } else {
                m_aggregator.reset();
            }
        }
        m_env = std::make_unique<test::RefreshFixture>(setup);
        m_env->refresh().setSuspendedForTesting(true);
        AppState& state = m_env->state();
        if (m_uniswap || m_aggregator) {
            test::runTask(
                state.createWallet(test::AppStateFixture::abandonPhrase(), walletPassword));
            state.stopBackgroundTasks();
        }
        if (m_aggregator) {
            m_aggregator->airdrop(state.solanaAccounts().at(0).account.address, 10'000'000'000);
        }
        if (m_uniswap) {
            const std::string address = state.evmAccounts(Chain::arbitrum).at(0).account.address;
            // Enough for the largest swap reviewed (1234 ETH): a review is only prepared for
            // a swap the node would take.
            m_node->setBalance(address, whole(10'000, 18).description());
            m_uniswap->mint(m_uniswap->usdc(), address, whole(10'000, 6));
        }
        // Short polls and no pauses in the progress: the steps are what is checked.
        TransactionFlow::Limits limits;
        limits.pollInterval = std::chrono::milliseconds(50);
        limits.confirmationTimeout = std::chrono::seconds(30);
        limits.pace = 0;
        m_flows = std::make_unique<FlowService>(limits);
        FlowService::install(m_flows.get());
        m_fixture =
            std::make_unique<Fixture>(*m_env, m_node.get(), m_uniswap.get(), m_aggregator.get());
        show(m_fixture.get(), state);
    }
    void cleanupTestCase() override {
        QuickTestSetup::cleanupTestCase();
        FlowService::install(nullptr);
        qunsetenv(AggregatorEndpoint::kBaseURLVariable);
        qunsetenv(AggregatorEndpoint::kAPIKeyVariable);
    }

private:
    std::unique_ptr<test::AnvilNode> m_node;
    std::unique_ptr<test::UniswapV3Fixture> m_uniswap;
    std::unique_ptr<test::AggregatorFixture> m_aggregator;
    std::unique_ptr<test::RefreshFixture> m_env;
    std::unique_ptr<FlowService> m_flows;
    std::unique_ptr<Fixture> m_fixture;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(swap, Setup)

#include "SwapQuickTest.moc"
