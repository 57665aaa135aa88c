#include "RefreshFixture.h"

#include "core/crypto/Bech32.h"
#include "services/bitcoin/ElectrumScriptHash.h"

#include <QTest>

namespace qm::test {

RefreshFixture::RefreshFixture(Setup setup) : LoopbackAppState(ElectrumFixture::Mode::plain) {
    NetworkManager::Options options;
    options.electrumLimits.connectTimeout = std::chrono::seconds(5);
    options.electrumLimits.requestTimeout = setup.electrumRequestTimeout;
    options.rpcTimeouts = setup.httpTimeouts;
    AppStateServices services =
        makeServices(std::make_shared<MemoryKeychain>(), options, setup.httpTimeouts,
                     {setup.ethereum, setup.arbitrum, setup.polygon, setup.solana},
                     setup.quoteTokenPrices, setup.serversPerPool);
    m_state = std::make_unique<AppState>(std::move(services));
    m_state->setIsOnboarding(false);
    m_state->setIsLocked(false);
}

namespace {

Bytes testKey(int n) {
    Bytes key(33, static_cast<std::uint8_t>(n + 1));
    key[0] = 0x02;
    return key;
}

} // namespace

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
    m_state->setEVMAccounts(chain, {account});
}

void RefreshFixture::setSolanaAccount(const std::string& address) {
    SolanaAccountState account;
    account.account = {accountID(Chain::solana, 0), Chain::solana, 0, address, "m/44'/501'/0'/0'"};
    m_state->setSolanaAccounts({account});
}

void RefreshFixture::spin(int ms) {
    QTest::qWait(ms);
}

bool RefreshFixture::waitUntil(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 15'000);
}

} // namespace qm::test
