// The accounts of the open seed: the published "abandon ... about" accounts, the keys, and the
// Bitcoin receive addresses the user adds and removes. Derivation of arbitrary phrases and
// sequences of added and deleted addresses is checked against independent libraries by the
// appstate peer (tests/peers/appstate_peer.mjs).

#include "AppStateFixture.h"
#include "RunTask.h"
#include "TestHex.h"
#include "services/network/NetworkManager.h"
#include "state/WalletRecord.h"

#include <QSignalSpy>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

using test::AppStateFixture;
using test::hex;

constexpr const char* password = "correct horse 1";

std::vector<std::string> paths(const AppState& state) {
    std::vector<std::string> out;
    for (const BTCAddressInfo& address : state.bitcoinAccounts().at(0).addresses) {
        out.push_back(address.derivationPath);
    }
    return out;
}

struct CreatedWallet : AppStateFixture {
    CreatedWallet() {
        state().loadStoredState();
        state().createWallet(abandonPhrase(), password);
    }
    std::string lastPath() { return state().bitcoinAccounts()[0].addresses.back().derivationPath; }
};

// Marks every address as read from a server, with the given balance at one position.
void markFetched(AppState& state, std::size_t withBalance = SIZE_MAX) {
    std::vector<BTCAccountState> accounts = state.bitcoinAccounts();
    for (std::size_t i = 0; i < accounts[0].addresses.size(); ++i) {
        accounts[0].addresses[i].fetched = true;
        accounts[0].addresses[i].balanceSats = i == withBalance ? 1500 : 0;
    }
    state.setBitcoinAccounts(std::move(accounts));
}

TEST(AppStateAccounts, AbandonAboutDerivesThePublishedAccountsAndKeys) {
    CreatedWallet env;
    AppState& state = env.state();

    ASSERT_EQ(state.bitcoinAccounts().size(), 1u);
    const BTCAccountState& btc = state.bitcoinAccounts()[0];
    EXPECT_EQ(btc.account,
              (Account{"btc-0", Chain::bitcoin, 0, "bc1qcr8te4kr609gcawutmrza0j4xv80jy8z306fyu",
                       "m/84'/0'/0'/0/0"}));
    // BIP-84's published vector: the key, the second receive address, the first private key.
    EXPECT_EQ(hex(btc.compressedPublicKey),
              "0330d54fd0dd420a6e5f8d3624f5f3482cae350f79d5f0753bf5beef9c2d91af3c");
    ASSERT_EQ(btc.addresses.size(), 5u);
    EXPECT_EQ(btc.addresses[1].address, "bc1qnjg0jd8228aq7egyzacy8cys3knf9xvrerkf9g");
    const SecureBytes btcKey = state.privateKey(Chain::bitcoin, 0, password);
    EXPECT_EQ(hex(Bytes(btcKey.begin(), btcKey.end())),
              "4604b4b710fe91f584fff084e1a9159fe4f8408fff380596a604948474ce4fa3");

    // The EVM chains share one address and its key.
    for (const auto* list :
         {&state.ethereumAccounts(), &state.arbitrumAccounts(), &state.polygonAccounts()}) {
        ASSERT_EQ(list->size(), 1u);
        EXPECT_EQ(list->front().account.address, "0x9858EfFD232B4033E47d90003D41EC34EcaEda94");
    }
    const SecureBytes eth = state.privateKey(Chain::ethereum, 0, password);
    EXPECT_TRUE(eth == state.privateKey(Chain::arbitrum, 0, password));
    EXPECT_TRUE(eth == state.privateKey(Chain::polygon, 0, password));

    ASSERT_EQ(state.solanaAccounts().size(), 1u);
    EXPECT_EQ(state.solanaAccounts()[0].account,
              (Account{"sol-0", Chain::solana, 0, "HAgk14JpMQLgt6rVgv7cBQFJWFto5Dqxi472uT3DKpqk",
                       "m/44'/501'/0'/0'"}));
    // Solana has one key whatever the index.
    EXPECT_TRUE(state.privateKey(Chain::solana, 0, password) ==
                state.privateKey(Chain::solana, 3, password));

    // A wrong password throws and leaves the wallet unlocked as it was.
    try {
        state.privateKey(Chain::ethereum, 0, "nope");
        FAIL() << "a key for a wrong password";
    } catch (const KeychainError& error) {
        EXPECT_EQ(error.code(), KeychainError::Code::wrongPassword);
    }
    EXPECT_FALSE(state.isLocked());
    EXPECT_EQ(state.bitcoinAccounts().size(), 1u);

    // Indices that would name a hardened child are refused, not folded into one.
    EXPECT_THROW(state.privateKey(Chain::bitcoin, -1, password), BIP32Error);
    EXPECT_THROW(state.privateKey(Chain::ethereum, 0x80000000LL, password), BIP32Error);
}

TEST(AppStateAccounts, DeletedIndicesAreNeverHandedOutAgainAndTheRecordKeepsThem) {
    CreatedWallet env;
    AppState& state = env.state();

    state.generateBTCAddress();
    EXPECT_EQ(state.wallet()->btcAddressCount, 6);
    EXPECT_EQ(state.bitcoinAccounts()[0].addresses.back().id, 5);
    markFetched(state);
    state.deleteBTCAddress(2);
    EXPECT_EQ(state.wallet()->btcAddressCount, 5);
    state.generateBTCAddress();
    EXPECT_EQ(env.lastPath(), "m/84'/0'/0'/0/6");
    // Deleting the last one does not hand its index out again either.
    markFetched(state);
    state.deleteBTCAddress(5);
    state.generateBTCAddress();
    EXPECT_EQ(env.lastPath(), "m/84'/0'/0'/0/7");

    // The record carries what the next unlock needs; readers of the record alone ignore it.
    const Bytes stored = *env.keychainManager().loadItem(KeychainManager::walletMetadataItem);
    EXPECT_EQ(decodeWalletMetadata(stored), *state.wallet());
    const nlohmann::json json = nlohmann::json::parse(stored.begin(), stored.end());
    EXPECT_EQ(json.at("btcAddressIndices"),
              nlohmann::json::parse(R"({"indices":[0,1,3,4,5,7],"next":8})"));

    const std::vector<std::string> expected = paths(state);
    state.lock();
    EXPECT_TRUE(state.bitcoinAccounts().empty());
    state.generateBTCAddress(); // locked: nothing to add to
    EXPECT_EQ(state.wallet()->btcAddressCount, 6);
    state.unlock(password);
    EXPECT_EQ(paths(state), expected);
}

TEST(AppStateAccounts, DeletionIsRefusedUnlessTheAddressIsKnownEmpty) {
    CreatedWallet env;
    AppState& state = env.state();
    const std::vector<BTCAccountState> before = state.bitcoinAccounts();
    QSignalSpy recordSpy(&state, &AppState::walletChanged);

    // Never fetched: its zero balance is not known to be zero.
    state.deleteBTCAddress(2);
    EXPECT_EQ(state.bitcoinAccounts(), before);

    markFetched(state, 3);
    state.deleteBTCAddress(0);  // the first address stays for good
    state.deleteBTCAddress(5);  // past the end
    state.deleteBTCAddress(-1); // before the start
    state.deleteBTCAddress(3);  // holds coins
    std::vector<BTCAccountState> withHistory = state.bitcoinAccounts();
    withHistory[0].addresses[4].txCount = 2;
    state.setBitcoinAccounts(withHistory);
    state.deleteBTCAddress(4); // has a history
    EXPECT_EQ(state.bitcoinAccounts(), withHistory);
    EXPECT_EQ(state.wallet()->btcAddressCount, 5);
    EXPECT_EQ(recordSpy.count(), 0);
}

TEST(AppStateAccounts, AFailedRecordWriteLeavesTheAddressListAsItWas) {
    CreatedWallet env;
    AppState& state = env.state();
    markFetched(state);
    const std::vector<BTCAccountState> before = state.bitcoinAccounts();
    const Wallet record = *state.wallet();

    // Neither medium takes the record: the keychain refuses and the folder is gone.
    env.keychain().failSaves(-25293);
    const std::filesystem::path folder = env.dataLocation() / "Quillmark";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder.parent_path());
    std::ofstream(folder) << "x";

    state.generateBTCAddress();
    EXPECT_EQ(state.bitcoinAccounts(), before);
    EXPECT_EQ(state.wallet(), record);
    state.deleteBTCAddress(2);
    EXPECT_EQ(state.bitcoinAccounts(), before);
    EXPECT_EQ(state.wallet(), record);

    // Once storage works again, the next address takes the index the failed one would have.
    std::filesystem::remove(folder);
    state.generateBTCAddress();
    EXPECT_EQ(env.lastPath(), "m/84'/0'/0'/0/5");
}

TEST(AppStateAccounts, ANewAddressIsSubscribedOnALiveElectrumConnection) {
    CreatedWallet env;
    AppState& state = env.state();

    // Not connected: nothing is sent.
    state.generateBTCAddress();
    AppStateFixture::settle();
    EXPECT_EQ(env.electrum().requestCount("blockchain.scripthash.subscribe"), 0);

    env.electrum().answer("server.ping", nullptr);
    env.electrum().answer("blockchain.scripthash.subscribe", nullptr);
    ASSERT_TRUE(test::runTask(state.networkManager().connectElectrum()));
    state.generateBTCAddress();
    ASSERT_TRUE(env.electrum().waitForRequests(env.electrum().requestCount() + 1));
    const nlohmann::json& request = env.electrum().requests().back();
    EXPECT_EQ(request.at("method"), "blockchain.scripthash.subscribe");
    EXPECT_EQ(request.at("params"),
              nlohmann::json::array({state.bitcoinAccounts()[0].addresses.back().scriptHash}));
}

TEST(AppStateAccounts, TotalsAndSelection) {
    CreatedWallet env;
    AppState& state = env.state();

    // An Arbitrum coin at 2,000 USD is 2,000; a token without a price adds nothing.
    std::vector<EVMAccountState> arbitrum = state.arbitrumAccounts();
    arbitrum[0].balanceNative = 1;
    arbitrum[0].tokens.push_back(TokenBalance{});
    arbitrum[0].tokens[0].balanceFormatted = 50;
    state.setArbitrumAccounts(arbitrum);
    state.setEthPriceUSD(2000);
    EXPECT_EQ(state.totalUSD(Chain::arbitrum), 2000);

    // Polygon without a price entry: natives count 0, priced tokens still count.
    std::vector<EVMAccountState> polygon = state.polygonAccounts();
    polygon[0].balanceNative = 10;
    polygon[0].tokens.push_back(TokenBalance{});
    polygon[0].tokens[0].balanceFormatted = 3;
    polygon[0].tokens[0].priceUSD = 1.5;
    state.setPolygonAccounts(polygon);
    EXPECT_EQ(state.totalUSD(Chain::polygon), 4.5);
    state.setChainPrices({{Chain::polygon, ChainPrice{0.5, -1}}});
    EXPECT_EQ(state.totalUSD(Chain::polygon), 9.5);

    std::vector<SolanaAccountState> solana = state.solanaAccounts();
    solana[0].balanceLamports = 2'000'000'000;
    solana[0].tokens.push_back(SPLTokenBalance{});
    solana[0].tokens[0].decimals = 6;
    solana[0].tokens[0].amount = 2'500'000;
    solana[0].tokens[0].priceUSD = 1;
    state.setSolanaAccounts(solana);
    state.setSolPriceUSD(100);
    EXPECT_EQ(state.totalUSD(Chain::solana), 202.5);

    // Selection follows chain and index; the count itself is past the end.
    state.setSelectedChain(Chain::polygon);
    state.setSelectedAccountIndex(0);
    ASSERT_TRUE(state.selectedAccount());
    EXPECT_EQ(state.selectedAccount()->id, "poly-0");
    state.setSelectedAccountIndex(1);
    EXPECT_FALSE(state.selectedAccount());
}

} // namespace
} // namespace qm
