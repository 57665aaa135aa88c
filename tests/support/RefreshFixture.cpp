#include "RefreshFixture.h"

#include "FakeKeychain.h"
#include "core/crypto/Bech32.h"
#include "services/bitcoin/ElectrumScriptHash.h"
#include "services/evm/BlockExplorerClient.h"
#include "services/prices/CoinGeckoClient.h"
#include "state/TokenPriceLookup.h"
#include "state/WalletConnectSetup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QUuid>
#include <stdexcept>

namespace qm::test {

RefreshFixture::RefreshFixture(Setup setup) {
    if (!m_folder.isValid()) {
        throw std::runtime_error("RefreshFixture: no temporary folder");
    }
    const std::filesystem::path folder(m_folder.path().toStdString());
    KeychainManager::Config config;
    config.keychain = std::make_shared<MemoryKeychain>();
    config.dataLocation = folder;
    m_keychain = std::make_unique<KeychainManager>(std::move(config));
    m_tokens = std::make_unique<TokenStore>(folder / "Quillmark" / "tokens.json");

    ServerPoolTable pools;
    pools.electrum.servers.push_back(
        {QUuid::createUuid(), m_electrum.host(), m_electrum.port(), m_electrum.useTLS()});
    const QUrl rpcURL = m_rpc.url("/rpc");
    pools.ethereum.urls.push_back(setup.ethereum.value_or(rpcURL));
    pools.arbitrum.urls.push_back(setup.arbitrum.value_or(rpcURL));
    pools.polygon.urls.push_back(setup.polygon.value_or(rpcURL));
    pools.solana.urls.push_back(setup.solana.value_or(rpcURL));
    NetworkManager::Options options;
    options.electrumLimits.connectTimeout = std::chrono::seconds(5);
    options.electrumLimits.requestTimeout = setup.electrumRequestTimeout;
    options.rpcTimeouts = setup.httpTimeouts;

    BlockExplorerClient::BaseURLs explorers;
    for (std::string& base : explorers) {
        base = m_web.url("/api/v2").toString().toStdString();
    }
    AppStateServices services;
    services.keychain = m_keychain.get();
    services.tokenStore = m_tokens.get();
    services.networkManager = std::make_unique<NetworkManager>(pools, options);
    services.explorerClient = std::make_unique<BlockExplorerClient>(explorers, setup.httpTimeouts);
    services.coinGecko = std::make_unique<CoinGeckoClient>(
        m_web.url("/api/v3").toString().toStdString(), setup.httpTimeouts);
    services.wcViewModel = std::make_unique<WalletConnectSetup>();
    services.tokenPrices = std::make_unique<TokenPriceLookup>();
    m_state = std::make_unique<AppState>(std::move(services));
    m_refresh = &m_state->refreshOrchestrator();
    m_state->setIsOnboarding(false);
    m_state->setIsLocked(false);
}

RefreshFixture::~RefreshFixture() {
    m_state.reset();
    for (int turn = 0; turn < 20; ++turn) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

Bytes RefreshFixture::testKey(int n) {
    Bytes key(33, static_cast<std::uint8_t>(n + 1));
    key[0] = 0x02;
    return key;
}

std::string RefreshFixture::testAddress(int n) {
    return segwitAddressEncode("bc", 0, hash160(testKey(n)));
}

Bytes RefreshFixture::testOutputScript(int n) {
    Bytes script{0x00, 0x14};
    const Bytes hash = hash160(testKey(n));
    script.insert(script.end(), hash.begin(), hash.end());
    return script;
}

std::string RefreshFixture::testScriptHash(int n) {
    return electrumScriptHash(testKey(n));
}

BTCAddressInfo RefreshFixture::testAddressInfo(int n, std::int64_t position) {
    BTCAddressInfo info;
    info.id = position;
    info.derivationIndex = static_cast<std::uint32_t>(n);
    info.derivationPath = "m/84'/0'/0'/0/" + std::to_string(n);
    info.address = testAddress(n);
    info.compressedPublicKey = testKey(n);
    info.scriptHash = testScriptHash(n);
    return info;
}

void RefreshFixture::setBitcoinAddresses(const std::vector<int>& keys) {
    BTCAccountState account;
    account.account = {"btc-0", Chain::bitcoin, 0, testAddress(keys.at(0)), "m/84'/0'/0'/0/0"};
    account.compressedPublicKey = testKey(keys.at(0));
    for (std::size_t i = 0; i < keys.size(); ++i) {
        account.addresses.push_back(testAddressInfo(keys[i], static_cast<std::int64_t>(i)));
    }
    m_state->setBitcoinAccounts({account});
}

void RefreshFixture::setEVMAccount(Chain chain, const std::string& address) {
    EVMAccountState account;
    account.account = {accountID(chain, 0), chain, 0, address, "m/44'/60'/0'/0/0"};
    switch (chain) {
    case Chain::ethereum:
        m_state->setEthereumAccounts({account});
        break;
    case Chain::arbitrum:
        m_state->setArbitrumAccounts({account});
        break;
    default:
        m_state->setPolygonAccounts({account});
        break;
    }
}

void RefreshFixture::setSolanaAccount(const std::string& address) {
    SolanaAccountState account;
    account.account = {accountID(Chain::solana, 0), Chain::solana, 0, address, "m/44'/501'/0'/0'"};
    m_state->setSolanaAccounts({account});
}

void RefreshFixture::spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

bool RefreshFixture::waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace qm::test
