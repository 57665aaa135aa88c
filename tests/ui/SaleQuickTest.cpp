// Qt Quick Test of the NOVR sale sheet and its confirmation over a created wallet whose Arbitrum
// endpoint is anvil with the Solidity stand-in of the sale (tests/ui/sale); the tests reach the
// chain and the screenshots through `fixture`.

#include "NOVRSaleWallet.h"
#include "QuickTestSetup.h"
#include "core/model/Amount.h"
#include "services/sale/NOVRSaleContract.h"
#include "state/AppState.h"
#include "state/flows/FlowService.h"

#include <QtQuickTest>
#include <memory>

namespace {

class Fixture : public qm::test::QuickFixture {
    Q_OBJECT

public:
    Fixture() {
        qm::FlowLimits limits;
        limits.pace = 0.2;
        limits.pollInterval = std::chrono::milliseconds(50);
        m_flows = std::make_unique<qm::FlowService>(limits);
        qm::FlowService::install(m_flows.get());
    }
    ~Fixture() override { qm::FlowService::install(nullptr); }

    qm::AppState& state() { return m_sale.state(); }

    // NOVR held by the wallet: base units in decimal digits.
    Q_INVOKABLE QString novrBalance() {
        return QString::fromStdString(
            m_sale.chain().balanceOf(qm::novrTokenAddress, m_sale.address()).decimalString());
    }
    // floorPrice() answering (0), answering 31 bytes (1) or reverting (2).
    Q_INVOKABLE void setFloorMode(int mode) { m_sale.chain().setFloorMode(mode); }
    // The most the wallet's mined transactions could have paid the network (their gas limits
    // times their fee caps), written as the review writes a max network fee.
    Q_INVOKABLE QString allowedFees() {
        qm::UInt256 sum;
        for (const nlohmann::json& sent :
             m_sale.chain().node().minedTransactionsFrom(m_sale.address())) {
            const auto quantity = [&](const char* key) {
                return qm::UInt256::fromHex(sent.at(key).get<std::string>()).value();
            };
            sum = sum.checkedAdd(quantity("gas").checkedMultiply(quantity("maxFeePerGas")).value())
                      .value();
        }
        return QString::fromStdString(qm::Amount{sum, 18}.exactText() + " ETH");
    }
    // The node behind the wallet's Arbitrum endpoint answering its calls (0), keeping them
    // without a word (1), or closing on them (2).
    Q_INVOKABLE void setCallAnswer(int mode) {
        if (mode == 0) {
            m_sale.proxy().clearOverrides();
            return;
        }
        qm::test::HttpFixtureResponse answer;
        answer.behaviour = mode == 1 ? qm::test::HttpFixtureResponse::Behaviour::stall
                                     : qm::test::HttpFixtureResponse::Behaviour::close;
        m_sale.proxy().setOverride("eth_call", [answer](const nlohmann::json&) { return answer; });
    }
    // Transactions the wallet has sent and that are mined.
    Q_INVOKABLE int sentCount() {
        return static_cast<int>(m_sale.chain().minedNonce(m_sale.address()));
    }

private:
    qm::test::NOVRSaleWallet m_sale;
    std::unique_ptr<qm::FlowService> m_flows;
};

class Setup : public qm::test::QuickTestSetup {
    Q_OBJECT

public slots:
    void applicationAvailable() {
        prepareApplication(QLocale(QStringLiteral("en_US")));
        m_fixture = std::make_unique<Fixture>();
        show(m_fixture.get(), m_fixture->state());
    }
    void cleanupTestCase() override {
        QuickTestSetup::cleanupTestCase();
        m_fixture.reset();
    }

private:
    std::unique_ptr<Fixture> m_fixture;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(sale, Setup)

#include "SaleQuickTest.moc"
