#include "FakeKeychain.h"
#include "KillAtRandom.h"
#include "TestHex.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "core/storage/WalletBackup.h"
#include "platform/AtomicFile.h"
#include "platform/Crypto.h"
#include "platform/Settings.h"
#include "state/WalletRecord.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <unistd.h>

namespace qm {
namespace {

using Code = BackupError::Code;

const std::vector<std::string> words = {"legal", "winner", "thank", "year",   "wave",  "sausage",
                                        "worth", "useful", "legal", "winner", "thank", "yellow"};

struct Machine {
    explicit Machine(
        std::shared_ptr<Keychain> keychainBackend = std::make_shared<test::MemoryKeychain>(),
        KeychainManager::KeyDerivation derive = {})
        : root(dir.path().toStdString()), backend(std::move(keychainBackend)),
          faulty(backend ? std::make_shared<test::FaultyKeychain>(backend) : nullptr),
          keychain(
              KeychainManager::Config{faulty, root, std::chrono::seconds(5), std::move(derive)}),
          tokens(root / "Quillmark" / "tokens.json"), settings(root / "settings.ini") {}

    WalletBackup::Stores stores() { return {keychain, tokens, settings}; }
    std::set<std::string> contents() { // to prove that a refused restore wrote nothing
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    QTemporaryDir dir;
    std::filesystem::path root;
    std::shared_ptr<Keychain> backend;
    std::shared_ptr<test::FaultyKeychain> faulty;
    KeychainManager keychain;
    TokenStore tokens;
    Settings settings;
};

Wallet makeWallet(Machine& machine, const Bytes& seed, const std::string& password) {
    Wallet wallet{newWalletID(), "Quillmark", Date::fromUnixTime(1738315800.75), 1, 1, 6};
    machine.keychain.storeSeedAndPhrase(seed, words, wallet.id, password);
    machine.keychain.storeItem("wallet-metadata", encodeWalletMetadata(wallet));
    return wallet;
}

SecureBytes fileKey(std::string_view password, ByteView salt) {
    return crypto::pbkdf2HmacSha512(utf8View(password), salt, 100'000, 32);
}
Bytes sealFile(std::string_view payload, std::string_view password) {
    const Bytes salt = crypto::randomBytes(16);
    return concat(concat(test::ascii("QMBK\x01"), salt),
                  crypto::chachaPolySeal(fileKey(password, salt), utf8View(payload)));
}
nlohmann::json openFile(const Bytes& file, std::string_view password) {
    const auto key = fileKey(password, ByteView(file).subspan(5, 16));
    return nlohmann::json::parse(
        crypto::chachaPolyOpen(key, ByteView(file).subspan(21)).value().toText());
}

template <typename F> std::optional<KeychainError::Code> keychainCode(F&& call) {
    try {
        call();
    } catch (const KeychainError& error) {
        return error.code();
    }
    return std::nullopt;
}

template <typename F> std::optional<Code> backupFailure(F&& call) {
    try {
        call();
    } catch (const BackupError& error) {
        return error.code();
    }
    return std::nullopt;
}

std::string toBase64(ByteView bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()))
        .toBase64()
        .toStdString();
}

// `count` distinct tokens on Ethereum, as the payload's token map.
nlohmann::json manyTokens(std::size_t count) {
    nlohmann::json list = nlohmann::json::array();
    for (std::size_t i = 0; i < count; ++i) {
        char address[43];
        std::snprintf(address, sizeof address, "0x%040zx", i + 1);
        list.push_back({{"contractAddress", address},
                        {"symbol", "T"},
                        {"name", "Token"},
                        {"decimals", 18},
                        {"chain", "ethereum"}});
    }
    return {{"ethereum", list}};
}

// `depth` nested arrays (or objects) around a zero, as text: too deep to build as a value.
std::string nested(std::size_t depth, bool objects = false) {
    std::string open;
    for (std::size_t i = 0; i < depth; ++i) {
        open += objects ? "{\"a\":" : "[";
    }
    return open + "0" + std::string(depth, objects ? '}' : ']');
}

class WalletBackupTest : public ::testing::Test {
protected:
    Machine home;
    const Bytes seed = crypto::randomBytes(64);
};

// The file's bytes and fields are checked both ways by tests/peers/qmbackup.py.
TEST_F(WalletBackupTest, ExportCarriesTheWalletAndRestoreBringsItBackElsewhere) {
    Wallet wallet = makeWallet(home, seed, "pw");
    (void)home.tokens.add(
        Token{"0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "USDC", "USD", 6, Chain::ethereum});
    home.settings.setString("app_theme", "Dollar Green");
    const Bytes file = WalletBackup::exportBackup("pw", home.stores());
    EXPECT_NE(WalletBackup::exportBackup("pw", home.stores()), file); // fresh salt and nonce

    Machine away; // another wallet stays in place
    const Wallet existing = makeWallet(away, seed, "old");
    away.settings.setString("app_theme", "Apple Blue");
    const Wallet restored = WalletBackup::restore(file, "pw", away.stores());
    EXPECT_EQ(restored, wallet); // the date keeps its fraction
    EXPECT_EQ(away.keychain.loadWalletMetadata(), wallet);
    // At rest only the derived check value; the file keeps the format's SHA-256 one.
    const Bytes salt = away.keychain.loadItem("salt-" + wallet.id).value();
    EXPECT_TRUE(
        KeychainManager::isStoredCheckValue(away.keychain.loadItem("verify-" + wallet.id).value()));
    EXPECT_EQ(openFile(file, "pw")["verifier"],
              toBase64(KeychainManager::passwordCheckValue("pw", salt)));
    EXPECT_EQ(away.keychain.loadSeed(wallet.id, "pw"), SecureBytes(seed));
    EXPECT_EQ(away.keychain.loadMnemonic(wallet.id, "pw"), words);
    EXPECT_EQ(away.keychain.loadSeed(existing.id, "old"), SecureBytes(seed));
    EXPECT_EQ(away.settings.string("app_theme"), "Dollar Green");
    EXPECT_EQ(TokenStore::decodeFile(*readFileIfExists(away.tokens.fileURL())),
              home.tokens.tokensByChain);
}

TEST_F(WalletBackupTest, ExportDerivesOncePerSalt) {
    int derivations = 0;
    Machine counted(
        std::make_shared<test::MemoryKeychain>(), [&derivations](ByteView password, ByteView salt) {
            ++derivations;
            return fileKey(
                std::string_view(reinterpret_cast<const char*>(password.data()), password.size()),
                salt);
        });
    makeWallet(counted, seed, "pw");
    EXPECT_EQ(derivations, 1);
    // The wallet's password is proved under the stored salt; the file seals under its own.
    derivations = 0;
    const Bytes file = WalletBackup::exportBackup("pw", counted.stores());
    EXPECT_EQ(derivations, 2);
    EXPECT_TRUE(openFile(file, "pw")["mnemonic"].is_string());
    derivations = 0;
    EXPECT_THROW(WalletBackup::exportBackup("pW", counted.stores()), KeychainError);
    EXPECT_EQ(derivations, 1);
}

TEST_F(WalletBackupTest, ExportRefusesWithoutAReadableWalletOrPhrase) {
    makeWallet(home, seed, "pw");
    // An unreadable record (a locked keyring) is no wallet to export, never an empty one.
    home.faulty->failLoads(-128);
    EXPECT_EQ(backupFailure([&] { WalletBackup::exportBackup("pw", home.stores()); }),
              Code::noWalletFound);

    Machine files(nullptr);
    const Wallet wallet = makeWallet(files, seed, "pw");
    const auto phrase = files.keychain.storageDir() / ("mnemonic-" + wallet.id);
    std::filesystem::remove(phrase);
    std::filesystem::create_directories(phrase / "unreadable");
    EXPECT_THROW(WalletBackup::exportBackup("pw", files.stores()), FileError);
}

// tests/peers/qmbackup.py refuses four more the same way; these are the other ways in. Each
// leaves the wallet in place as it was, and it still unlocks.
TEST_F(WalletBackupTest, HostileFilesAreRefusedBeforeAnythingIsWritten) {
    const Wallet wallet = makeWallet(home, seed, "pw");
    home.settings.setString("app_theme", "Dollar Green");
    const Bytes good = WalletBackup::exportBackup("pw", home.stores());
    const nlohmann::json payload = openFile(good, "pw");
    const auto withPayload = [&](auto change) {
        nlohmann::json copy = payload;
        change(copy);
        return sealFile(copy.dump(), "pw");
    };
    const auto withText = [&](auto change) {
        std::string text = payload.dump();
        change(text);
        return sealFile(text, "pw");
    };
    const auto changed = [&](std::size_t at, std::uint8_t to) {
        Bytes copy = good;
        copy[at] = to;
        return copy;
    };
    const std::string garbage = toBase64(crypto::randomBytes(80));
    const std::string emptySaltCheck = toBase64(KeychainManager::passwordCheckValue("pw", {}));

    std::vector<std::pair<Bytes, Code>> cases = {
        {test::ascii("PK\x03\x04 this is a zip file, not a backup"), Code::invalidFile},
        {changed(4, 2), Code::unsupportedVersion},
        {Bytes(good.begin(), good.begin() + 21 + 27), Code::wrongPassword},
        {changed(good.size() - 1, good.back() ^ 0x80), Code::wrongPassword},
        {sealFile("{\"version\":1,", "pw"), Code::corruptedPayload},
        {withPayload([](nlohmann::json& p) { p.erase("tokens"); }), Code::corruptedPayload},
        {withPayload([](nlohmann::json& p) { p["wallet"]["id"] = "wallet-metadata"; }),
         Code::corruptedPayload},
        {withPayload([](nlohmann::json& p) { p["verifier"] = "AAAA"; }), Code::wrongPassword},
        // Read strictly: trailing bytes, a byte-order mark, a key twice, a hostile depth.
        {withText([](std::string& t) { t += std::string("\0garbage", 8); }),
         Code::corruptedPayload},
        {withText([](std::string& t) { t.insert(0, "\xEF\xBB\xBF"); }), Code::corruptedPayload},
        {withText([&](std::string& t) { t.insert(1, "\"seed\":\"" + garbage + "\","); }),
         Code::corruptedPayload},
        {withText([&](std::string& t) {
             t.insert(t.find("\"wallet\":{") + 10, "\"huge\":" + nested(100'000) + ",");
         }),
         Code::corruptedPayload},
        // A seed or phrase that does not open under the password would never unlock.
        {withPayload([&](nlohmann::json& p) { p["seed"] = garbage; }), Code::corruptedPayload},
        {withPayload([&](nlohmann::json& p) { p["mnemonic"] = garbage; }), Code::corruptedPayload},
        {withPayload([&](nlohmann::json& p) {
             p["salt"] = "";
             p["verifier"] = emptySaltCheck;
         }),
         Code::corruptedPayload},
        {withPayload([](nlohmann::json& p) { p["tokens"] = manyTokens(10'001); }),
         Code::tooManyTokens},
    };
    for (const char* base64 : {"AP8", "A=P8", "AP8Q\n", "AP-_"}) { // not written back the same
        cases.emplace_back(withPayload([&](auto& p) { p["seed"] = base64; }),
                           Code::corruptedPayload);
    }
    Machine target;
    const Bytes oldSeed = crypto::randomBytes(64);
    const Wallet existing = makeWallet(target, oldSeed, "old");
    target.settings.setString("unrelated", "kept");
    const auto before = target.contents();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(
            backupFailure([&] { WalletBackup::restore(cases[i].first, "pw", target.stores()); }),
            cases[i].second)
            << "case " << i;
    }
    EXPECT_EQ(target.contents(), before);
    EXPECT_EQ(target.keychain.loadWalletMetadata(), existing);
    EXPECT_EQ(target.keychain.loadSeed(existing.id, "old"), SecureBytes(oldSeed));
    EXPECT_FALSE(target.backend->load("com.quillmark.wallet", "seed-" + wallet.id));
    EXPECT_EQ(target.settings.string("app_theme"), std::nullopt);
    EXPECT_TRUE(target.tokens.tokensByChain.empty());
}

// A write that fails midway puts back every item the restore had replaced.
TEST_F(WalletBackupTest, ARestoreThatFailsMidwayLeavesTheOldWalletAsItWas) {
    makeWallet(home, seed, "pw");
    const nlohmann::json payload = openFile(WalletBackup::exportBackup("pw", home.stores()), "pw");
    Machine files(nullptr);
    const Bytes oldSeed = crypto::randomBytes(64);
    const Wallet existing = makeWallet(files, oldSeed, "old");
    const std::string otherID = newWalletID();
    for (const std::string& id : {otherID, existing.id}) { // another wallet's, then its own id
        nlohmann::json copy = payload;
        copy["wallet"]["id"] = id;
        // The phrase item cannot be replaced: a folder stands where its file belongs.
        const auto phrase = files.keychain.storageDir() / ("mnemonic-" + id);
        std::filesystem::remove(phrase);
        std::filesystem::create_directories(phrase / "blocker");
        EXPECT_THROW(WalletBackup::restore(sealFile(copy.dump(), "pw"), "pw", files.stores()),
                     FileError)
            << id;
        EXPECT_EQ(files.keychain.loadWalletMetadata(), existing);
        EXPECT_EQ(files.keychain.loadSeed(existing.id, "old"), SecureBytes(oldSeed));
        EXPECT_EQ(keychainCode([&] { files.keychain.loadSeed(existing.id, "pw"); }),
                  KeychainError::Code::wrongPassword);
        EXPECT_TRUE(files.tokens.tokensByChain.empty());
    }
    EXPECT_FALSE(files.keychain.loadItem("seed-" + otherID));
    EXPECT_FALSE(files.keychain.loadItem("salt-" + otherID));
}

// Restoring a backup of the stored wallet's own id under another password, killed at any
// point: the next start opens the wallet with the old password or the new one, never
// neither (the items are replaced in place, so a half-done write would mix two seals).
TEST(WalletBackupKill, ARestoreKilledAtAnyPointOpensWithTheOldOrTheNewPassword) {
    // A cheap derivation, so that the writes fill most of the run and the kills land there.
    const KeychainManager::KeyDerivation quick = [](ByteView password, ByteView salt) {
        return crypto::hmacSha256(salt, password);
    };
    const Bytes oldSeed = crypto::randomBytes(64), newSeed = crypto::randomBytes(64);
    Machine source(std::make_shared<test::MemoryKeychain>(), quick);
    const Wallet wallet = makeWallet(source, newSeed, "new");
    const Bytes file = WalletBackup::exportBackup("new", source.stores());
    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    const auto manager = [&] {
        return std::make_unique<KeychainManager>(
            KeychainManager::Config{nullptr, root, std::chrono::seconds(5), quick});
    };
    test::KillAtRandom killer;
    int oldOnes = 0, newOnes = 0;
    for (int round = 0; round <= 40; ++round) {
        SCOPED_TRACE(round);
        {
            auto home = manager();
            home->storeSeedAndPhrase(oldSeed, words, wallet.id, "old");
            home->storeItem("wallet-metadata", encodeWalletMetadata(wallet));
        }
        ASSERT_TRUE(killer.run(round, [&] {
            auto keychain = manager();
            TokenStore tokens(root / "Quillmark" / "tokens.json");
            Settings settings(root / "settings.ini");
            WalletBackup::restore(file, "new", {*keychain, tokens, settings});
        }));
        auto next = manager();
        ASSERT_EQ(next->loadWalletMetadata(), wallet);
        std::optional<SecureBytes> opened;
        for (const auto& [password, seed, count] :
             {std::tuple{"old", &oldSeed, &oldOnes}, std::tuple{"new", &newSeed, &newOnes}}) {
            try {
                opened = next->loadSeed(wallet.id, password);
                EXPECT_EQ(*opened, SecureBytes(*seed));
                EXPECT_EQ(next->loadMnemonic(wallet.id, password), words);
                ++*count;
            } catch (const KeychainError&) {
            }
        }
        ASSERT_TRUE(opened) << "neither password opens the wallet";
        EXPECT_FALSE(next->loadItem("pending-items"));
    }
    std::cout << "old " << oldOnes << ", new " << newOnes << std::endl;
}

// Python-written files (tests/peers/qmbackup.py) carry every field; these leave some out.
TEST_F(WalletBackupTest, OptionalFieldsAndANewerPayloadVersionRestore) {
    const Wallet wallet = makeWallet(home, seed, "");
    nlohmann::json payload = openFile(WalletBackup::exportBackup("", home.stores()), "");
    payload.erase("mnemonic");
    payload["version"] = 2;
    const std::string lower = QString::fromStdString(wallet.id).toLower().toStdString();
    payload["wallet"]["id"] = lower; // canonical ids in lower case are ids too
    home.settings.setString("app_theme", "Apple Blue");
    EXPECT_EQ(WalletBackup::restore(sealFile(payload.dump(), ""), "", home.stores()).id, lower);
    EXPECT_EQ(home.keychain.loadSeed(lower, ""), SecureBytes(seed));
    EXPECT_FALSE(home.keychain.loadItem("mnemonic-" + lower));
    EXPECT_EQ(home.settings.string("app_theme"), "Apple Blue");
}

// That extra keys travel both ways is checked by tests/peers/qmbackup.py; here the deep ones.
TEST_F(WalletBackupTest, OverDeepExtraKeysStayBehindAndKnownKeysCannotBeReplaced) {
    const Wallet wallet = makeWallet(home, seed, "pw");
    const std::size_t limit = WalletBackup::maxCarriedDepth;
    std::string text = openFile(WalletBackup::exportBackup("pw", home.stores()), "pw").dump();
    text.insert(text.find("\"wallet\":{") + 10,
                "\"atLimit\":" + nested(limit) + ",\"overLimit\":" + nested(limit + 1) +
                    ",\"overObject\":" + nested(limit + 1, true) + ",");
    EXPECT_EQ(WalletBackup::restore(sealFile(text, "pw"), "pw", home.stores()), wallet);
    const auto record = nlohmann::json::parse(home.keychain.loadItem("wallet-metadata").value());
    EXPECT_EQ(record["atLimit"], nlohmann::json::parse(nested(limit)));
    EXPECT_FALSE(record.contains("overLimit") || record.contains("overObject"));
    EXPECT_EQ(WalletBackup::storedWalletRecord(
                  wallet, {{"id", R"("../../.bashrc")"}, {"btcAddressCount", "99"}, {"bad", "{"}}),
              encodeWalletMetadata(wallet));
}

// The token limit counts the tokens of every chain together: exactly the most a backup may
// carry restores, each of them stored; one more, on another chain, is refused unwritten.
TEST_F(WalletBackupTest, ABackupOfExactlyTheMostTokensRestoresAndOneMoreIsRefused) {
    makeWallet(home, seed, "pw");
    nlohmann::json payload = openFile(WalletBackup::exportBackup("pw", home.stores()), "pw");
    const std::size_t most = WalletBackup::maxTokens;
    ASSERT_EQ(most, 10'000u);
    nlohmann::json tokens = manyTokens(most - 1);
    tokens["polygon"] = manyTokens(2)["ethereum"];
    tokens["polygon"][0]["chain"] = "polygon";
    tokens["polygon"][1]["chain"] = "polygon";

    Machine over;
    payload["tokens"] = tokens;
    EXPECT_EQ(backupFailure([&] {
                  WalletBackup::restore(sealFile(payload.dump(), "pw"), "pw", over.stores());
              }),
              Code::tooManyTokens);
    EXPECT_FALSE(over.keychain.loadWalletMetadata());
    EXPECT_FALSE(std::filesystem::exists(over.tokens.fileURL()));

    Machine at;
    tokens["polygon"].erase(1);
    payload["tokens"] = tokens;
    WalletBackup::restore(sealFile(payload.dump(), "pw"), "pw", at.stores());
    const TokenMap stored = TokenStore::decodeFile(*readFileIfExists(at.tokens.fileURL()));
    std::size_t count = 0;
    for (const auto& [chain, list] : stored) {
        count += list.size();
    }
    EXPECT_EQ(count, most);
    EXPECT_EQ(at.tokens.tokens(Chain::ethereum).size(), most - 1);
    EXPECT_EQ(at.tokens.tokens(Chain::polygon).size(), 1u);
}

} // namespace
} // namespace qm
