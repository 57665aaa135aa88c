#include "FakeKeychain.h"
#include "TestHex.h"
#include "core/storage/KeychainManager.h"
#include "core/storage/TokenStore.h"
#include "core/storage/WalletBackup.h"
#include "platform/AtomicFile.h"
#include "platform/Crypto.h"
#include "platform/Settings.h"
#include "state/WalletRecord.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

using Code = BackupError::Code;

const std::vector<std::string> words = {"legal", "winner", "thank", "year",   "wave",  "sausage",
                                        "worth", "useful", "legal", "winner", "thank", "yellow"};

// One machine: its keychain, storage folder, token file and user defaults.
struct Machine {
    explicit Machine(
        std::shared_ptr<Keychain> keychainBackend = std::make_shared<test::MemoryKeychain>())
        : root(dir.path().toStdString()), backend(std::move(keychainBackend)),
          faulty(backend ? std::make_shared<test::FaultyKeychain>(backend) : nullptr),
          keychain(KeychainManager::Config{faulty, root, std::chrono::seconds(5), {}}),
          tokens(root / "Quillmark" / "tokens.json"), settings(root / "settings.ini") {}

    WalletBackup::Stores stores() { return {keychain, tokens, settings}; }
    // Everything the machine stores, to prove a refused restore wrote nothing.
    std::vector<std::string> contents() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
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

Token token(const char* address, const char* symbol, Chain chain) {
    return Token{address, symbol, std::string(symbol) + " Token", 18, chain};
}

Wallet makeWallet(Machine& machine, const Bytes& seed, const std::string& password) {
    Wallet wallet{newWalletID(), "Quillmark", Date::fromUnixTime(1738315800.75), 1, 1, 6};
    machine.keychain.storeSeed(seed, wallet.id, password);
    machine.keychain.storeMnemonic(words, wallet.id, password);
    machine.keychain.storeItem("wallet-metadata", encodeWalletMetadata(wallet));
    return wallet;
}

// A file sealed the way the format says, around any payload text.
Bytes sealFile(std::string_view payload, std::string_view password) {
    const Bytes salt = crypto::randomBytes(16);
    const SecureBytes key = crypto::pbkdf2HmacSha512(utf8View(password), salt, 100'000, 32);
    Bytes file = concat(test::ascii("QMBK\x01"), salt);
    const Bytes box = crypto::chachaPolySeal(key, utf8View(payload));
    file.insert(file.end(), box.begin(), box.end());
    return file;
}

nlohmann::json openFile(const Bytes& file, std::string_view password) {
    const ByteView salt = ByteView(file).subspan(5, 16);
    const SecureBytes key = crypto::pbkdf2HmacSha512(utf8View(password), salt, 100'000, 32);
    const auto opened = crypto::chachaPolyOpen(key, ByteView(file).subspan(21));
    EXPECT_TRUE(opened);
    return nlohmann::json::parse(opened ? opened->toText() : "null");
}

template <typename F> std::optional<Code> backupFailure(F&& call) {
    try {
        call();
    } catch (const BackupError& error) {
        return error.code();
    }
    return std::nullopt;
}

nlohmann::json storedRecord(Machine& machine) {
    const auto bytes = machine.keychain.loadItem("wallet-metadata");
    EXPECT_TRUE(bytes);
    return nlohmann::json::parse(bytes ? *bytes : test::ascii("null"));
}

// `depth` nested arrays (or objects {"a": ...}) around a zero, as text: too deep to build as
// a value and write.
std::string nestedArrays(std::size_t depth, bool objects = false) {
    std::string open;
    for (std::size_t i = 0; i < depth; ++i) {
        open += objects ? "{\"a\":" : "[";
    }
    return open + "0" + std::string(depth, objects ? '}' : ']');
}

// The payload text with `members` (",key":value... without the leading comma) added first in
// its wallet object.
std::string withWalletMembers(const nlohmann::json& payload, const std::string& members) {
    std::string text = payload.dump();
    const std::string marker = "\"wallet\":{";
    const std::size_t at = text.find(marker);
    EXPECT_NE(at, std::string::npos);
    text.insert(at + marker.size(), members + ",");
    return text;
}

class WalletBackupTest : public ::testing::Test {
protected:
    Machine home;
    const Bytes seed = crypto::randomBytes(64);
};

// The file's bytes and fields are checked both ways by tests/peers/qmbackup.py; here the
// trip through the machine's stores.
TEST_F(WalletBackupTest, ExportCarriesTheWalletAndRestoreBringsItBackElsewhere) {
    const Wallet wallet = makeWallet(home, seed, "pw");
    ASSERT_EQ(home.tokens.add(
                  token("0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "USDC", Chain::ethereum)),
              TokenStore::AddResult::added);
    home.settings.setString("app_theme", "Dollar Green");
    const Bytes file = WalletBackup::exportBackup("pw", home.stores());
    // Fresh salt and nonce each time.
    EXPECT_NE(WalletBackup::exportBackup("pw", home.stores()), file);

    Machine away;
    away.settings.setString("app_theme", "Apple Blue");
    const Wallet restored = WalletBackup::restore(file, "pw", away.stores());
    EXPECT_EQ(restored.id, wallet.id);
    EXPECT_EQ(restored.createdAt, Date::fromUnixTime(1738315800)); // whole seconds in ISO form
    EXPECT_EQ(away.keychain.loadItem("wallet-metadata"), encodeWalletMetadata(restored));
    EXPECT_EQ(away.keychain.loadSeed(wallet.id, "pw"), SecureBytes(seed));
    EXPECT_EQ(away.keychain.loadMnemonic(wallet.id, "pw"), words);
    EXPECT_EQ(away.settings.string("app_theme"), "Dollar Green");
    TokenStore reread(away.tokens.fileURL());
    EXPECT_EQ(reread.load(), TokenStore::LoadResult::loaded);
    EXPECT_EQ(reread.tokens(Chain::ethereum), home.tokens.tokens(Chain::ethereum));
}

TEST_F(WalletBackupTest, ExportRefusesWithoutAWalletOrTheRightPassword) {
    EXPECT_EQ(backupFailure([&] { WalletBackup::exportBackup("pw", home.stores()); }),
              Code::noWalletFound);
    const Wallet wallet = makeWallet(home, seed, "pw");
    try {
        WalletBackup::exportBackup("wrong", home.stores());
        ADD_FAILURE() << "exported with a wrong password";
    } catch (const KeychainError& error) {
        EXPECT_EQ(error.code(), KeychainError::Code::wrongPassword);
    }
    // An unreadable record (a locked keyring) is no wallet to export, never an empty one.
    home.faulty->failLoads(-128);
    EXPECT_EQ(backupFailure([&] { WalletBackup::exportBackup("pw", home.stores()); }),
              Code::noWalletFound);
    home.faulty->failLoads(0);

    // Without a phrase item, and with tokens only on chains that do not travel.
    home.keychain.deleteItem("mnemonic-" + wallet.id);
    (void)home.tokens.add(token("bc1-not-a-token", "X", Chain::bitcoin));
    const nlohmann::json payload = openFile(WalletBackup::exportBackup("pw", home.stores()), "pw");
    EXPECT_FALSE(payload.contains("mnemonic"));
    EXPECT_FALSE(payload.contains("theme"));
    EXPECT_EQ(payload["tokens"], nlohmann::json::object());
}

TEST_F(WalletBackupTest, APhraseThatCannotBeReadStopsTheExport) {
    Machine files(nullptr);
    const Wallet wallet = makeWallet(files, seed, "pw");
    const auto phrase = files.keychain.storageDir() / ("mnemonic-" + wallet.id);
    std::filesystem::remove(phrase);
    std::filesystem::create_directories(phrase / "unreadable");
    EXPECT_THROW(WalletBackup::exportBackup("pw", files.stores()), FileError);
}

// tests/peers/qmbackup.py refuses a short file, version 2, a wrong password and a path as id
// the same way; these are the other ways in.
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
    Bytes version2(good.begin(), good.begin() + 22);
    version2[4] = 2;
    Bytes badTag = good;
    badTag.back() ^= 0x80;

    const std::vector<std::pair<Bytes, Code>> cases = {
        {test::ascii("PK\x03\x04 this is a zip file, not a backup"), Code::invalidFile},
        {version2, Code::unsupportedVersion},
        {Bytes(good.begin(), good.begin() + 21 + 27), Code::wrongPassword},
        {badTag, Code::wrongPassword},
        {sealFile("{\"version\":1,", "pw"), Code::corruptedPayload},
        {withPayload([](nlohmann::json& p) { p.erase("tokens"); }), Code::corruptedPayload},
        {withPayload([](nlohmann::json& p) { p["wallet"]["id"] = "wallet-metadata"; }),
         Code::corruptedPayload},
        {withPayload([](nlohmann::json& p) { p["verifier"] = "AAAA"; }), Code::wrongPassword},
    };
    Machine target;
    target.settings.setString("unrelated", "kept");
    const auto before = target.contents();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(
            backupFailure([&] { WalletBackup::restore(cases[i].first, "pw", target.stores()); }),
            cases[i].second);
    }
    EXPECT_EQ(target.contents(), before);
    EXPECT_FALSE(target.backend->load("com.quillmark.wallet", "wallet-metadata"));
    EXPECT_FALSE(target.backend->load("com.quillmark.wallet", "seed-" + wallet.id));
    EXPECT_EQ(target.settings.string("app_theme"), std::nullopt);
}

TEST_F(WalletBackupTest, OptionalFieldsAndANewerPayloadVersionRestore) {
    Machine source;
    const Wallet wallet = makeWallet(source, seed, "");
    nlohmann::json payload = openFile(WalletBackup::exportBackup("", source.stores()), "");
    payload.erase("mnemonic");
    payload.erase("theme");
    payload["version"] = 2;
    payload["unknown"] = {1, 2, 3};
    // Canonical ids in lower case are ids too.
    std::string lower = wallet.id;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    payload["wallet"]["id"] = lower;

    home.settings.setString("app_theme", "Apple Blue");
    const Wallet restored = WalletBackup::restore(sealFile(payload.dump(), ""), "", home.stores());
    EXPECT_EQ(restored.id, lower);
    EXPECT_EQ(home.keychain.loadSeed(lower, ""), SecureBytes(seed));
    EXPECT_FALSE(home.keychain.loadItem("mnemonic-" + lower));
    EXPECT_EQ(home.settings.string("app_theme"), "Apple Blue");
}

TEST_F(WalletBackupTest, RestoreFollowsTheWriteRuleAndLeavesOtherWalletsInPlace) {
    const Wallet current = makeWallet(home, seed, "pw");
    Machine source;
    const Bytes otherSeed = crypto::randomBytes(64);
    const Wallet other = makeWallet(source, otherSeed, "pw2");
    const Bytes file = WalletBackup::exportBackup("pw2", source.stores());

    home.faulty->failSaves(-25293, {"salt-" + other.id});
    EXPECT_EQ(WalletBackup::restore(file, "pw2", home.stores()).id, other.id);
    EXPECT_TRUE(home.keychain.useFileFallback());
    // The seed went to the keychain before the failure; the rest are files now.
    EXPECT_TRUE(home.backend->load("com.quillmark.wallet", "seed-" + other.id));
    EXPECT_TRUE(readFileIfExists(home.keychain.storageDir() / ("salt-" + other.id)));
    EXPECT_TRUE(readFileIfExists(home.keychain.storageDir() / "wallet-metadata"));
    EXPECT_EQ(home.keychain.loadSeed(other.id, "pw2"), SecureBytes(otherSeed));
    EXPECT_EQ(home.keychain.loadWalletMetadata()->id, other.id);
    EXPECT_EQ(home.keychain.loadSeed(current.id, "pw"), SecureBytes(seed));
}

// That extra keys travel both ways is checked by tests/peers/qmbackup.py as JSON; here the
// restored item is byte for byte what the state itself writes.
TEST_F(WalletBackupTest, TheRestoredRecordIsWhatTheStateWrites) {
    Wallet wallet = makeWallet(home, seed, "pw");
    wallet.btcAddressCount = 3;
    // Index 2 was deleted and 5 as well: only the stored indices say which addresses remain.
    const BTCAddressIndices indices{{0, 1, 4}, 6};
    home.keychain.storeItem("wallet-metadata", encodeWalletRecord(wallet, indices));
    Machine away;
    WalletBackup::restore(WalletBackup::exportBackup("pw", home.stores()), "pw", away.stores());
    wallet.createdAt = Date::fromUnixTime(1738315800); // whole seconds in the payload
    EXPECT_EQ(away.keychain.loadItem("wallet-metadata"), encodeWalletRecord(wallet, indices));
}

TEST_F(WalletBackupTest, HostileExtraKeysNeitherChangeTheRecordNorBlockItsReading) {
    Machine source;
    const Wallet wallet = makeWallet(source, seed, "pw");
    const nlohmann::json payload =
        openFile(WalletBackup::exportBackup("pw", source.stores()), "pw");
    const std::size_t limit = WalletBackup::maxCarriedDepth;
    Wallet expected = wallet;
    expected.createdAt = Date::fromUnixTime(1738315800); // whole seconds in the payload

    // Deep values: the limit itself travels, one more level or a hundred thousand do not.
    const std::string deep =
        withWalletMembers(payload, "\"atLimit\":" + nestedArrays(limit) +
                                       ",\"overLimit\":" + nestedArrays(limit + 1) +
                                       ",\"huge\":" + nestedArrays(100'000) +
                                       ",\"hugeObject\":" + nestedArrays(100'000, true));
    Machine target;
    EXPECT_EQ(WalletBackup::restore(sealFile(deep, "pw"), "pw", target.stores()), expected);
    nlohmann::json record = storedRecord(target);
    EXPECT_EQ(record["atLimit"], nlohmann::json::parse(nestedArrays(limit)));
    EXPECT_FALSE(record.contains("overLimit"));
    EXPECT_FALSE(record.contains("huge"));
    EXPECT_FALSE(record.contains("hugeObject"));

    // Wrong shapes are stored as they came; the state's reader falls back to the addresses
    // 0 to count - 1 and still reads the wallet, so unlocking is never blocked. Which shapes
    // the reader refuses is WalletRecord's own test.
    const std::vector<std::string> malformed = {
        R"("garbage")",
        R"({"indices": [0, 1, 2, 3, 4, 4294967295], "next": 4294967296})",
        "{\"indices\":" + nestedArrays(limit - 1) + ",\"next\":1}",
    };
    for (const std::string& value : malformed) {
        SCOPED_TRACE(value);
        Machine machine;
        const std::string text =
            withWalletMembers(payload, "\"btcAddressIndices\":" + value + ",\"\":\"ü\"");
        EXPECT_EQ(WalletBackup::restore(sealFile(text, "pw"), "pw", machine.stores()), expected);
        record = storedRecord(machine);
        EXPECT_EQ(record["btcAddressIndices"], nlohmann::json::parse(value));
        EXPECT_EQ(record[""], "ü");
        const auto read = decodeWalletRecord(*machine.keychain.loadItem("wallet-metadata"));
        ASSERT_TRUE(read);
        EXPECT_EQ(read->wallet, expected);
        EXPECT_EQ(read->btcAddressIndices, std::nullopt);
    }

    // Known keys come only from the record's own reader: a carried entry cannot replace them,
    // and a text that is not JSON is left out.
    const Bytes forced = WalletBackup::storedWalletRecord(
        wallet, {{"id", R"("../../.bashrc")"}, {"btcAddressCount", "99"}, {"bad", "{"}});
    EXPECT_EQ(forced, encodeWalletMetadata(wallet));

    // A tampered stored record exports without its over-deep key and with the rest.
    nlohmann::json tampered =
        nlohmann::json::parse(encodeWalletRecord(wallet, BTCAddressIndices::sequential(6)));
    tampered["overLimit"] = nlohmann::json::parse(nestedArrays(limit + 1));
    source.keychain.storeItem("wallet-metadata", test::ascii(tampered.dump()));
    const nlohmann::json exported =
        openFile(WalletBackup::exportBackup("pw", source.stores()), "pw");
    EXPECT_FALSE(exported["wallet"].contains("overLimit"));
    EXPECT_EQ(exported["wallet"]["btcAddressIndices"]["next"], 6);
}

TEST(WalletBackupFileName, UsesTheLocalDate) {
    const char* saved = std::getenv("TZ");
    const std::string old = saved ? saved : "";
    // 2025-01-31 23:30 UTC is already 1 February nine hours east.
    ::setenv("TZ", "JST-9", 1);
    ::tzset();
    EXPECT_EQ(WalletBackup::defaultFileName(std::chrono::system_clock::from_time_t(1738366200)),
              "Quillmark-2025-02-01.qmbackup");
    saved ? ::setenv("TZ", old.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

// The field encoding is checked by tests/peers/qmbackup.py; here the base64 the reader refuses.
TEST(WalletBackupPayload, DecodesOnlyWhatItCanWriteBack) {
    WalletBackup::Payload payload;
    payload.createdAt = Date::fromUnixTime(1738315800);
    payload.wallet = Wallet{newWalletID(), "Quillmark", Date::fromUnixTime(1700000000), 1, 1, 5};
    payload.seed = Bytes{0x00, 0xff, 0x10};
    payload.salt = Bytes(16, 0xab);
    payload.verifier = Bytes(32, 0x00);
    payload.mnemonic = Bytes{};
    payload.theme = "";
    payload.walletExtras = {{"btcAddressIndices", R"({"indices":[0,2],"next":3})"}, {"z", "-0.0"}};
    const Bytes encoded = WalletBackup::encodePayload(payload);
    EXPECT_EQ(WalletBackup::decodePayload(encoded), payload);

    nlohmann::json copy = nlohmann::json::parse(encoded);
    for (const char* bad : {"AP8", "A=P8", "AP8Q\n", "AP-_"}) {
        copy["seed"] = bad;
        EXPECT_THROW(WalletBackup::decodePayload(test::ascii(copy.dump())), BackupError) << bad;
    }
    copy["seed"] = "AP9=";
    EXPECT_EQ(WalletBackup::decodePayload(test::ascii(copy.dump())).seed, (Bytes{0x00, 0xff}));
}

} // namespace
} // namespace qm
