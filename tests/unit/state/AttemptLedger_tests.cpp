// The wallet's unsettled transactions in its folder: every field of every chain's record comes
// back after a restart, a write that fails holds nothing new (the caller must not send), an
// attempt that does not parse is set aside without losing the rest, telling one tells those
// that can only land instead of it, and a new or deleted wallet leaves nothing behind. What
// cannot be read is set aside byte for byte, and never lost.
#include "RunTask.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Keccak.h"
#include "core/encoding/Hex.h"
#include "platform/AtomicFile.h"
#include "platform/Crypto.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "services/evm/ETHSigner.h"
#include "services/solana/SolanaTransaction.h"
#include "state/flows/AttemptLedger.h"
#include "state/flows/FileWriteQueue.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <thread>

namespace qm {
namespace {

namespace fs = std::filesystem;

UnsettledAttempt evmAttempt(std::string id, std::uint64_t nonce,
                            std::string account = "0xabcdef0000000000000000000000000000000001") {
    UnsettledAttempt a;
    a.chain = Chain::polygon;
    a.account = std::move(account);
    a.id = std::move(id);
    a.wire = "0x02f86c";
    a.origin = "send:polygon";
    a.kind = "send";
    a.summary = "2 POL";
    a.detail = "to 0x353535...353535";
    a.counterparty = "0x3535353535353535353535353535353535353535";
    a.tokenSymbol = "USDC";
    a.contractAddress = "0x00000000000000000000000000000000000005dc";
    a.createdAt = Date::fromUnixTime(1'765'000'000.5);
    a.nonce = nonce;
    a.signedAtBlock = 18'446'744'073'709'551'615ULL; // the largest: no rounding through double
    return a;
}

UnsettledAttempt bitcoinAttempt() {
    UnsettledAttempt a;
    a.chain = Chain::bitcoin;
    a.account = "btc-0";
    a.id = "5e3f";
    a.wire = "0200000000010";
    a.origin = "send:bitcoin";
    a.kind = "send";
    a.summary = "0.001 BTC";
    a.counterparty = "bc1qxyz";
    a.told = true;
    for (std::uint32_t i = 0; i < 2; ++i) {
        BTCSpend coin;
        coin.utxo = UTXO{"ab" + std::to_string(i), i, 90'000 + i, 840'000, Bytes{0x00, 0x14, 0x7f}};
        coin.derivationIndex = 4'294'967'295U - i;
        a.coins.push_back(coin);
    }
    return a;
}

UnsettledAttempt solanaAttempt() {
    UnsettledAttempt a;
    a.chain = Chain::solana;
    a.account = "7xKXtg2CW87d97TXJSDpbD5jBkheTqA83TZRuJosgAsU";
    a.id =
        "5VERv8NMvzbJMEkV8xnrLkEaWRtSz9CosKDYjCJjBRnbJLgp8uirBgmQpjKhoR4tjF3ZpRzrFmBV6UjKdiSZkQUW";
    a.wire = "AQID";
    a.origin = "swap:solana";
    a.kind = "swap";
    a.message = Bytes{1, 2, 3, 0, 255};
    a.blockhash = "EkSnNWid2cvwEVnVx9aBqawnmiCNiDgp3gUdkDPTKN1N";
    a.lastValidBlockHeight = 123'456;
    return a;
}

std::string upperCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    return text;
}
std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), ::tolower);
    return text;
}

class AttemptLedgerTest : public ::testing::Test {
protected:
    fs::path file() const { return fs::path(folder.path().toStdString()) / "Q" / "attempts.json"; }
    // The `n`th file set aside beside the ledger's.
    fs::path aside(int n = 1) const {
        fs::path path = file();
        path += ".unreadable";
        if (n > 1) {
            path += "." + std::to_string(n);
        }
        return path;
    }
    static std::string readBytes(const fs::path& path) {
        const std::optional<Bytes> bytes = readFileIfExists(path);
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("(none)");
    }
    void writeRaw(const std::string& text) const { writeRawTo(file(), text); }
    static void writeRawTo(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    nlohmann::json readRaw(const fs::path& path) const {
        std::ifstream in(path);
        return nlohmann::json::parse(in);
    }

    QTemporaryDir folder;
};

TEST_F(AttemptLedgerTest, EveryChainsRecordComesBackWholeAfterARestart) {
    const std::vector<UnsettledAttempt> kept{evmAttempt("0xaa", 7), bitcoinAttempt(),
                                             solanaAttempt()};
    {
        AttemptLedger ledger(file());
        for (const UnsettledAttempt& attempt : kept) {
            test::runTask(ledger.keep(attempt));
        }
    }
    struct stat info {};
    ASSERT_EQ(::stat(file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    AttemptLedger restarted(file());
    EXPECT_TRUE(restarted.all().empty()); // read only when the wallet opens
    restarted.load();
    EXPECT_EQ(restarted.all(), kept);
    // By account, in any letter case of an address, oldest first.
    EXPECT_EQ(restarted.of(Chain::polygon, "0xABCDEF0000000000000000000000000000000001").size(),
              1u);
    EXPECT_TRUE(restarted.of(Chain::ethereum, kept[0].account).empty());
    EXPECT_EQ(restarted.of(Chain::bitcoin, "btc-0").front().coins, kept[1].coins);
}

TEST_F(AttemptLedgerTest, KeepingAgainKeepsWhenItWasFirstSentAndThatItWasTold) {
    AttemptLedger ledger(file());
    UnsettledAttempt first = evmAttempt("0xaa", 7);
    test::runTask(ledger.keep(first));
    ledger.markTold("0xaa");
    UnsettledAttempt again = first;
    again.createdAt = Date::fromUnixTime(1'800'000'000);
    again.told = false;
    again.summary = "3 POL";
    test::runTask(ledger.keep(again));
    AttemptLedger restarted(file());
    restarted.load();
    ASSERT_EQ(restarted.all().size(), 1u);
    EXPECT_EQ(restarted.all().front().createdAt, first.createdAt);
    EXPECT_TRUE(restarted.all().front().told);
    EXPECT_EQ(restarted.all().front().summary, "3 POL");
}

TEST_F(AttemptLedgerTest, AWriteThatFailsThrowsAndHoldsNothingNew) {
    // The folder cannot be made: a file stands where it would go.
    fs::create_directories(file().parent_path().parent_path());
    std::ofstream(file().parent_path()) << "in the way";
    AttemptLedger ledger(file());
    EXPECT_THROW(test::runTask(ledger.keep(evmAttempt("0xaa", 7))), FileError);
    EXPECT_TRUE(ledger.all().empty());
    // Settling what is held never throws, whatever the disk says.
    EXPECT_NO_THROW(ledger.forget("0xaa"));
    EXPECT_NO_THROW(ledger.markTold("0xaa"));
}

TEST_F(AttemptLedgerTest, AKeepAgainThatCannotBeWrittenLeavesTheAttemptAsItWas) {
    AttemptLedger ledger(file());
    test::runTask(ledger.keep(evmAttempt("0xaa", 7)));
    // The folder goes and a file stands in its place: nothing more can be written.
    fs::remove_all(file().parent_path());
    std::ofstream(file().parent_path()) << "in the way";
    UnsettledAttempt again = evmAttempt("0xaa", 7);
    again.summary = "3 POL";
    EXPECT_THROW(test::runTask(ledger.keep(again)), FileError);
    // Still held, as it was: it may be on the chain.
    ASSERT_TRUE(ledger.find("0xaa"));
    EXPECT_EQ(ledger.find("0xaa")->summary, "2 POL");
}

TEST_F(AttemptLedgerTest, AnAttemptThatDoesNotParseIsSetAsideAndTheRestKept) {
    nlohmann::json list = nlohmann::json::array();
    list.push_back(attemptToJSON(evmAttempt("0xaa", 7)));
    nlohmann::json noNonce = attemptToJSON(evmAttempt("0xbb", 8));
    noNonce.erase("nonce"); // binds nothing: not an attempt
    list.push_back(noNonce);
    nlohmann::json badCoin = attemptToJSON(bitcoinAttempt());
    badCoin["coins"][0]["derivationIndex"] = 4'294'967'296ULL; // past 32 bits
    list.push_back(badCoin);
    list.push_back(attemptToJSON(solanaAttempt()));
    writeRaw(list.dump());

    AttemptLedger ledger(file());
    ledger.load();
    ASSERT_EQ(ledger.all().size(), 2u);
    EXPECT_EQ(ledger.all()[0].id, "0xaa");
    EXPECT_EQ(ledger.all()[1].chain, Chain::solana);
    EXPECT_EQ(readRaw(aside()), (nlohmann::json{noNonce, badCoin}));
    EXPECT_EQ(readRaw(file()).size(), 2u);

    // A file that is no list at all goes aside whole, beside what was set aside before.
    writeRaw("{not json");
    ledger.load();
    EXPECT_TRUE(ledger.all().empty());
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_EQ(readRaw(aside()), (nlohmann::json{noNonce, badCoin}));
    EXPECT_EQ(readBytes(aside(2)), "{not json");
}

// Where a record's bytes are the transaction its id names, what they carry is read from them
// whatever its fields say; the id is read as its chain spells it, and one transaction stored
// under two spellings is one record, told only when both were. A Bitcoin record keeps only the
// coins its bytes spend, their outpoints in lower case, and is set aside when none of its coins
// is among them.
TEST_F(AttemptLedgerTest, WhatANamedRecordsBytesCarryIsReadFromThem) {
    ETHTransaction transfer;
    transfer.chainID = 137;
    transfer.nonce = 9;
    transfer.maxFeePerGas = UInt256(0, 0, 0, 30'000'000'000);
    transfer.gasLimit = 21'000;
    transfer.to = Bytes(20, 0x35);
    // Key 1's address, as every EVM tool derives it.
    const std::string signer = "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf";
    Bytes one(32, 0x00);
    one.back() = 0x01;
    const Bytes evmWire = ETHSigner::sign(transfer, one);
    const std::string hash = bytesToHex(keccak256(evmWire));
    UnsettledAttempt evm =
        evmAttempt(upperCased(hash), 1, "0xABCDEF0000000000000000000000000000000001");
    evm.chain = Chain::ethereum;
    evm.wire = bytesToHex(evmWire);
    evm.told = true;
    UnsettledAttempt evmAgain = evm;
    evmAgain.id = hash.substr(2);
    evmAgain.told = false;

    const std::string raw = bytesToPlainHex(BTCSigner::serialize(
        true, 2, {{Bytes(32, 0xAB), 1, 0xFFFFFFFD, {Bytes(71, 0x30), Bytes(33, 0x02)}}},
        {{20'000, Bytes(22, 0x00)}}, 0));
    UnsettledAttempt btc = bitcoinAttempt();
    btc.id = upperCased(BTCTransactionParser::transactionID(raw).value());
    btc.wire = raw;
    btc.coins[0].utxo.txHash = upperCased(bytesToPlainHex(Bytes(32, 0xAB)));
    btc.coins[0].utxo.outputIndex = 1;
    UnsettledAttempt btcElsewhere = btc;
    btcElsewhere.coins.erase(btcElsewhere.coins.begin());

    const Bytes key(32, 0x07);
    const Bytes payer = crypto::ed25519PublicKey(key);
    const std::string blockhash = base58Encode(Bytes(32, 0x42));
    const Bytes message = SolanaTransaction::transferMessage(payer, Bytes(32, 0x35), 5, blockhash);
    const Bytes signature = crypto::ed25519Sign(message, key);
    UnsettledAttempt sol = solanaAttempt();
    sol.id = base58Encode(signature);
    sol.wire = SolanaTransaction::signedTransactionBase64(signature, message);

    writeRaw(nlohmann::json{attemptToJSON(evm), attemptToJSON(evmAgain), attemptToJSON(btc),
                            attemptToJSON(btcElsewhere), attemptToJSON(sol)}
                 .dump());
    AttemptLedger ledger(file());
    ledger.load();
    ASSERT_EQ(ledger.all().size(), 3u);
    const UnsettledAttempt& readEVM = ledger.all()[0];
    EXPECT_EQ(readEVM.id, hash);
    EXPECT_EQ(readEVM.chain, Chain::polygon);
    EXPECT_EQ(readEVM.account, signer);
    EXPECT_EQ(readEVM.nonce, 9u);
    EXPECT_FALSE(readEVM.told);
    const UnsettledAttempt& readBTC = ledger.all()[1];
    EXPECT_EQ(readBTC.id, lowercased(btc.id));
    ASSERT_EQ(readBTC.coins.size(), 1u);
    EXPECT_EQ(readBTC.coins[0].utxo.id(), bytesToPlainHex(Bytes(32, 0xAB)) + ":1");
    const UnsettledAttempt& readSol = ledger.all()[2];
    EXPECT_EQ(readSol.account, base58Encode(payer));
    EXPECT_EQ(readSol.message, message);
    EXPECT_EQ(readSol.blockhash, blockhash);
    EXPECT_EQ(readRaw(aside()), nlohmann::json{attemptToJSON(btcElsewhere)});
    // The file holds each once, in the chain's spelling.
    EXPECT_EQ(readRaw(file()).size(), 3u);
    EXPECT_EQ(readRaw(file())[0].at("id"), hash);
}

// Whatever its bytes (not UTF-8, a NUL), an unreadable file goes aside as it stood, and so do
// the entries that do not parse, each as it stands in the list; no earlier aside is written
// over, and each load that finds one says where it went.
TEST_F(AttemptLedgerTest, AnUnreadableRecordIsSetAsideByteForByteNeverOverAnEarlierOne) {
    constexpr char raw[] = "[{\"id\":\"\xC3\x28\xFF\xFE\"}\0]\x80";
    const std::string binary(raw, sizeof raw - 1);
    writeRaw(binary);
    AttemptLedger ledger(file());
    QSignalSpy said(&ledger, &AttemptLedger::unreadableChanged);
    ledger.load();
    EXPECT_EQ(readBytes(aside()), binary);
    EXPECT_FALSE(fs::exists(file()));
    ASSERT_TRUE(ledger.unreadable());
    EXPECT_EQ(ledger.unreadable()->aside, aside());
    EXPECT_EQ(ledger.unreadable()->entries, 0u);
    EXPECT_EQ(said.count(), 1);
    test::runTask(ledger.keep(evmAttempt("0xaa", 7))); // the ledger writes again

    const std::string unparsed = "{ \"nonce\" : 7.50e0 ,\"id\":\"\\u00e9\\\"]\" }";
    writeRaw("[\n  " + attemptToJSON(evmAttempt("0xbb", 8)).dump() + " ,\t" + unparsed +
             ",\"x\"\n]");
    ledger.load();
    EXPECT_EQ(readBytes(aside()), binary);
    EXPECT_EQ(readBytes(aside(2)), "[" + unparsed + ",\"x\"]");
    ASSERT_EQ(ledger.all().size(), 1u);
    EXPECT_EQ(readRaw(file()).size(), 1u);
    EXPECT_EQ(ledger.unreadable()->aside, aside(2));
    EXPECT_EQ(ledger.unreadable()->entries, 2u);
    // A load with nothing to say leaves what was said to be dismissed.
    ledger.load();
    EXPECT_EQ(ledger.unreadable()->aside, aside(2));
    ledger.dismissUnreadable();
    EXPECT_FALSE(ledger.unreadable());

    ledger.clear();
    EXPECT_FALSE(fs::exists(aside()));
    EXPECT_FALSE(fs::exists(aside(2)));
}

// What cannot be set aside (no name beside the file can be written here) stays where it is:
// nothing writes over it, so nothing can be sent, until a load reads the file again.
TEST_F(AttemptLedgerTest, WhatCannotBeSetAsideStaysAsItIsAndNothingIsWritten) {
    // The longest name with room for a write's temporary beside it, but none for an aside.
    const fs::path longFile = file().parent_path() / std::string(245, 'a');
    const std::string broken = "[\xFF]";
    writeRawTo(longFile, broken);
    AttemptLedger ledger(longFile);
    ledger.load();
    ASSERT_TRUE(ledger.unreadable());
    EXPECT_TRUE(ledger.unreadable()->aside.empty());
    EXPECT_FALSE(ledger.unreadable()->failure.empty());
    EXPECT_THROW(test::runTask(ledger.keep(evmAttempt("0xaa", 7))), FileError);
    EXPECT_EQ(readBytes(longFile), broken);

    // Entries that do not parse: the others bind, the file stays whole.
    const std::string partly = "[" + attemptToJSON(evmAttempt("0xbb", 8)).dump() + ",1]";
    writeRawTo(longFile, partly);
    ledger.load();
    ASSERT_EQ(ledger.all().size(), 1u);
    ledger.markTold("0xbb");
    EXPECT_THROW(test::runTask(ledger.keep(evmAttempt("0xaa", 7))), FileError);
    EXPECT_EQ(readBytes(longFile), partly);

    // Read again whole: written as ever, and what was said of it no longer stands.
    writeRawTo(longFile, "[]");
    ledger.load();
    EXPECT_FALSE(ledger.unreadable());
    test::runTask(ledger.keep(evmAttempt("0xaa", 7)));
    EXPECT_EQ(readRaw(longFile).size(), 1u);
}

TEST_F(AttemptLedgerTest, TellingOneTellsThoseThatCanOnlyLandInsteadOfIt) {
    AttemptLedger ledger(file());
    test::runTask(ledger.keep(evmAttempt("0xaa", 7)));
    test::runTask(ledger.keep(evmAttempt("0xbb", 7))); // the same nonce
    test::runTask(ledger.keep(evmAttempt("0xcc", 8))); // another
    test::runTask(ledger.keep(
        evmAttempt("0xdd", 7, "0x00000000000000000000000000000000000000ff"))); // another account
    UnsettledAttempt coins = bitcoinAttempt();
    coins.told = false;
    test::runTask(ledger.keep(coins));
    UnsettledAttempt overlapping = bitcoinAttempt();
    overlapping.id = "77aa";
    overlapping.told = false;
    overlapping.coins.erase(overlapping.coins.begin());
    test::runTask(ledger.keep(overlapping));
    UnsettledAttempt sibling = bitcoinAttempt(); // another output of a funding transaction
    sibling.id = "99cc";
    sibling.told = false;
    sibling.coins.resize(1);
    sibling.coins.front().utxo.outputIndex = 1;
    test::runTask(ledger.keep(sibling));

    ledger.markTold("0xaa", true); // another sheet said it went through
    ledger.markTold("5e3f");
    EXPECT_TRUE(ledger.find("0xaa")->toldElsewhere);
    EXPECT_FALSE(ledger.find("0xbb")->toldElsewhere);
    ledger.markTold("5e3f", true); // seen where it was sent already: stays so
    EXPECT_FALSE(ledger.find("5e3f")->toldElsewhere);
    AttemptLedger restarted(file());
    restarted.load();
    std::map<std::string, bool> told;
    for (const UnsettledAttempt& a : restarted.all()) {
        told[a.id] = a.told;
    }
    EXPECT_TRUE(restarted.find("0xaa")->toldElsewhere);
    // Then seen where it was sent: told for good.
    restarted.markTold("0xaa");
    EXPECT_FALSE(restarted.find("0xaa")->toldElsewhere);
    EXPECT_EQ(told, (std::map<std::string, bool>{{"0xaa", true},
                                                 {"0xbb", true},
                                                 {"0xcc", false},
                                                 {"0xdd", false},
                                                 {"5e3f", true},
                                                 {"77aa", true},
                                                 {"99cc", false}}));
}

TEST_F(AttemptLedgerTest, ClearLeavesNothingBehind) {
    writeRaw("[1]");
    AttemptLedger ledger(file());
    ledger.load(); // sets the unreadable one aside
    test::runTask(ledger.keep(evmAttempt("0xaa", 7)));
    ASSERT_TRUE(fs::exists(aside()));
    ledger.clear();
    EXPECT_TRUE(ledger.all().empty());
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_FALSE(fs::exists(aside()));
    ledger.forget("0xaa");
    EXPECT_FALSE(fs::exists(file()));
}

TEST_F(AttemptLedgerTest, AWriteHandedOverBeforeAClearNeverBringsTheFileBack) {
    AttemptLedger ledger(file());
    test::runTask(ledger.keep(evmAttempt("0xaa", 7)));
    // The writing thread held up with a change handed over behind it, released only once this
    // thread is on its way into clear().
    std::promise<void> release;
    FileWriteQueue::append([held = release.get_future().share()] { held.wait(); });
    ledger.markTold("0xaa");
    std::thread releasing([&release] { release.set_value(); });
    ledger.clear();
    releasing.join();
    FileWriteQueue::waitForAll();
    EXPECT_FALSE(fs::exists(file()));
}

// A keep whose write failed is undone on disk as well as here: a write handed over while it
// waited (another attempt told) put it in the file, and the file read again holds no attempt
// that never left.
TEST_F(AttemptLedgerTest, AKeepThatCouldNotBeWrittenIsUndoneOnDiskToo) {
    AttemptLedger ledger(file());
    test::runTask(ledger.keep(evmAttempt("0xaa", 7)));
    // Held up, so that the keep waits for its write and the next change is handed over first.
    std::promise<void> release;
    FileWriteQueue::append([held = release.get_future().share()] { held.wait(); });
    // The keep's write finds a file where the folder goes; the next write finds the way clear.
    fs::remove_all(file().parent_path());
    std::ofstream(file().parent_path()) << "in the way";
    QCoro::Task<void> keeping = ledger.keep(evmAttempt("0xbb", 8));
    FileWriteQueue::append([in = file().parent_path()] { fs::remove(in); });
    ledger.markTold("0xaa");
    release.set_value();
    EXPECT_THROW(test::runTask(std::move(keeping)), FileError);
    EXPECT_FALSE(ledger.find("0xbb"));
    FileWriteQueue::waitForAll();
    AttemptLedger restarted(file());
    restarted.load();
    ASSERT_EQ(restarted.all().size(), 1u);
    EXPECT_EQ(restarted.all().front().id, "0xaa");
    EXPECT_TRUE(restarted.all().front().told);
}

// Many changes of one attempt handed over while a write is under way: each is written on the
// one writing thread, one at a time and in the order of the changes (a look at the file behind
// each reads that change), and the file holds the last.
TEST_F(AttemptLedgerTest, QueuedWritesRunOneAtATimeInOrderAndTheFileHoldsTheLast) {
    AttemptLedger ledger(file());
    test::runTask(ledger.keep(evmAttempt("0xaa", 7)));
    std::promise<void> release;
    std::thread::id writer;
    FileWriteQueue::append([&writer, held = release.get_future().share()] {
        writer = std::this_thread::get_id();
        held.wait();
    });
    constexpr int changes = 40;
    struct Look {
        std::thread::id thread;
        std::string summary;
    };
    std::vector<Look> looks(changes);
    std::vector<QCoro::Task<void>> keeps;
    for (int change = 0; change < changes; ++change) {
        UnsettledAttempt again = evmAttempt("0xaa", 7);
        again.summary = std::to_string(change) + " POL";
        keeps.push_back(ledger.keep(again));
        FileWriteQueue::append([this, &looks, change] {
            const nlohmann::json stored = readRaw(file());
            looks[static_cast<std::size_t>(change)] = {std::this_thread::get_id(),
                                                       stored.at(0).at("summary")};
        });
    }
    release.set_value();
    for (QCoro::Task<void>& keeping : keeps) {
        test::runTask(std::move(keeping));
    }
    FileWriteQueue::waitForAll();
    for (int change = 0; change < changes; ++change) {
        const Look& look = looks[static_cast<std::size_t>(change)];
        EXPECT_EQ(look.thread, writer) << change;
        EXPECT_EQ(look.summary, std::to_string(change) + " POL");
    }
    AttemptLedger restarted(file());
    restarted.load();
    ASSERT_EQ(restarted.all().size(), 1u);
    EXPECT_EQ(restarted.all().front().summary, std::to_string(changes - 1) + " POL");
}

} // namespace
} // namespace qm
