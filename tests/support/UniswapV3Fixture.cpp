#include "UniswapV3Fixture.h"

#include "TestContracts.h"
#include "core/crypto/Keccak.h"
#include "core/encoding/Hex.h"
#include "services/evm/ERC20.h"
#include "services/swap/EVMSwapTokens.h"

#include <QFile>
#include <QRegularExpression>
#include <stdexcept>

namespace qm::test {
namespace {

const std::string modules = QM_SOURCE_DIR "/tests/peers/node_modules/";

nlohmann::json artifact(const std::string& path) {
    QFile file(QString::fromStdString(modules + path));
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("UniswapV3Fixture: no artifact " + path +
                                 " (scripts/install-deps)");
    }
    return nlohmann::json::parse(file.readAll().toStdString());
}

std::string creationCode(const std::string& path) {
    return artifact(path).at("bytecode").get<std::string>();
}

std::string word(const std::string& address) {
    return bytesToHex(UInt256::fromBigEndianBytes(hexToBytes(address).value()).bigEndianWord())
        .substr(2);
}

std::string call(const char* signature, std::initializer_list<Bytes> words) {
    Bytes data = functionSelector(signature);
    for (const Bytes& w : words) {
        data.insert(data.end(), w.begin(), w.end());
    }
    return bytesToHex(data);
}

Bytes addressWord(const std::string& address) {
    return UInt256::fromBigEndianBytes(hexToBytes(address).value()).bigEndianWord();
}

const std::string deployer = AnvilNode::devAccount(0);

} // namespace

std::string UniswapV3Fixture::poolCreationCodeHash() {
    const std::string code =
        creationCode("@uniswap/v3-core/artifacts/contracts/UniswapV3Pool.sol/UniswapV3Pool.json");
    return bytesToHex(keccak256(hexToBytes(code).value()));
}

std::string UniswapV3Fixture::peripheryInitCodeHash() {
    QFile file(QString::fromStdString(modules +
                                      "@uniswap/v3-periphery/contracts/libraries/PoolAddress.sol"));
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("UniswapV3Fixture: no PoolAddress.sol");
    }
    const QRegularExpression constant("POOL_INIT_CODE_HASH\\s*=\\s*(0x[0-9a-fA-F]{64})");
    const auto match = constant.match(QString::fromUtf8(file.readAll()));
    if (!match.hasMatch()) {
        throw std::runtime_error("UniswapV3Fixture: PoolAddress.sol has no init code hash");
    }
    return match.captured(1).toLower().toStdString();
}

UniswapV3Fixture::UniswapV3Fixture(AnvilNode& node, Chain chain) : m_node(node), m_chain(chain) {
    if (poolCreationCodeHash() != peripheryInitCodeHash()) {
        throw std::runtime_error("UniswapV3Fixture: the pool code does not match the periphery");
    }
    // WETH9's name, symbol and decimals are storage its constructor wrote: copied with the code.
    const std::string weth9 =
        node.deploy(deployer, creationCode("canonical-weth/build/contracts/WETH9.json"));
    node.copyContract(weth9, weth());
    m_factory = node.deploy(
        deployer,
        creationCode(
            "@uniswap/v3-core/artifacts/contracts/UniswapV3Factory.sol/UniswapV3Factory.json"));

    const std::string quoter = node.deploy(
        deployer,
        creationCode("@uniswap/v3-periphery/artifacts/contracts/lens/QuoterV2.sol/QuoterV2.json") +
            word(m_factory) + word(weth()));
    node.copyContract(quoter, uniswapQuoterAddress);
    const std::string zero = "0x0000000000000000000000000000000000000000";
    const std::string router = node.deploy(
        deployer,
        creationCode("@uniswap/swap-router-contracts/artifacts/contracts/SwapRouter02.sol/"
                     "SwapRouter02.json") +
            word(zero) + word(m_factory) + word(zero) + word(weth()));
    node.copyContract(router, uniswapRouterAddress);

    const auto& contracts = TestContracts::shared();
    node.setCode(usdc(), contracts.deployedBytecode("TestUSDC"));
    node.setCode(dai(), contracts.deployedBytecode("TestDAI"));
    node.setCode(gold, contracts.deployedBytecode("TestGold"));
    node.setCode(micro, contracts.deployedBytecode("TestMicro"));
    node.setCode(lonely, contracts.deployedBytecode("TestGold"));
    m_seeder = node.deploy(deployer, contracts.bytecode("PoolSeeder"));

    const UInt256 ether = UInt256::powerOfTen(18).value();
    const UInt256 usdcUnit = UInt256::powerOfTen(6).value();
    const auto times = [](const UInt256& unit, std::uint64_t n) {
        return unit.checkedMultiply(UInt256(0, 0, 0, n)).value();
    };
    seedPool(weth(), usdc(), 3000, times(ether, 100), times(usdcUnit, 200'000));
    seedPool(usdc(), dai(), 500, times(usdcUnit, 1'000'000), times(ether, 1'000'000));
    seedPool(gold, usdc(), 3000, times(ether, 10'000), times(usdcUnit, 500'000));
    seedPool(micro, usdc(), 500, times(UInt256::powerOfTen(24).value(), 100'000),
             times(usdcUnit, 300'000));
}

std::string UniswapV3Fixture::weth() const {
    return wrappedNativeAddress(m_chain);
}

std::string UniswapV3Fixture::usdc() const {
    return usdcAddress(m_chain).value();
}

std::string UniswapV3Fixture::dai() const {
    for (const auto& token : EVMSwapTokens::tokens(m_chain)) {
        if (token.symbol == "DAI") {
            return token.address;
        }
    }
    throw std::runtime_error("UniswapV3Fixture: no DAI on this chain");
}

void UniswapV3Fixture::seedPool(const std::string& tokenA, const std::string& tokenB,
                                std::uint64_t fee, const UInt256& amountA, const UInt256& amountB) {
    const std::string data = call("seed(address,address,address,address,uint24,uint256,uint256)",
                                  {addressWord(m_factory), addressWord(weth()), addressWord(tokenA),
                                   addressWord(tokenB), UInt256(0, 0, 0, fee).bigEndianWord(),
                                   amountA.bigEndianWord(), amountB.bigEndianWord()});
    // Wrapped ether is paid from the ether sent along; the rest stays with the seeder.
    const bool paysEther = tokenA == weth() || tokenB == weth();
    const UInt256 ether = tokenA == weth() ? amountA : amountB;
    transact(deployer, m_seeder, data,
             paysEther ? ether.checkedAdd(ether).value().description() : "0x0");
}

void UniswapV3Fixture::mint(const std::string& token, const std::string& to,
                            const UInt256& amount) {
    transact(deployer, token,
             call("mint(address,uint256)", {addressWord(to), amount.bigEndianWord()}));
}

UInt256 UniswapV3Fixture::balanceOf(const std::string& token, const std::string& owner) {
    nlohmann::json request = {{"to", token},
                              {"data", call("balanceOf(address)", {addressWord(owner)})}};
    return UInt256::fromHex(m_node.rpc("eth_call", {request, "latest"}).get<std::string>()).value();
}

UInt256 UniswapV3Fixture::allowance(const std::string& token, const std::string& owner,
                                    const std::string& spender) {
    nlohmann::json request = {
        {"to", token},
        {"data", call("allowance(address,address)", {addressWord(owner), addressWord(spender)})}};
    return UInt256::fromHex(m_node.rpc("eth_call", {request, "latest"}).get<std::string>()).value();
}

UInt256 UniswapV3Fixture::nativeBalance(const std::string& owner) {
    return UInt256::fromHex(m_node.rpc("eth_getBalance", {owner, "latest"}).get<std::string>())
        .value();
}

nlohmann::json UniswapV3Fixture::transact(const std::string& from, const std::string& to,
                                          const std::string& data, const std::string& valueHex) {
    nlohmann::json transaction = {
        {"from", from}, {"to", to}, {"data", data}, {"value", valueHex}, {"gas", "0x989680"}};
    const std::string hash =
        m_node.rpc("eth_sendTransaction", nlohmann::json::array({transaction})).get<std::string>();
    nlohmann::json receipt = m_node.minedReceipt(hash);
    if (receipt.at("status") != "0x1") {
        throw std::runtime_error("UniswapV3Fixture: transaction reverted: " + receipt.dump());
    }
    return receipt;
}

} // namespace qm::test
