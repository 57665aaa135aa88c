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
Bytes sealFile(std::string_view payload, std::string_view password, std::uint8_t version = 1) {
    const Bytes salt = crypto::randomBytes(16);
    const SecureBytes key = crypto::pbkdf2HmacSha512(utf8View(password), salt, 100'000, 32);
    Bytes file = test::ascii("QMBK");
    file.push_back(version);
    file.insert(file.end(), salt.begin(), salt.end());
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

// The stored record as the application state writes it, plus any further keys.
Bytes recordWithExtras(const Wallet& wallet, const BTCAddressIndices& indices,
                       const nlohmann::json& more = nlohmann::json::object()) {
    const Bytes encoded = encodeWalletRecord(wallet, indices);
    nlohmann::json record = nlohmann::json::parse(encoded);
    record.update(more);
    const std::string text = record.dump();
    return Bytes(text.begin(), text.end());
}

nlohmann::json storedRecord(Machine& machine) {
    const auto bytes = machine.keychain.loadItem("wallet-metadata");
    EXPECT_TRUE(bytes);
    return nlohmann::json::parse(bytes ? *bytes : test::ascii("null"));
}

// `depth` nested arrays around a zero, as text: too deep to build as a value and write.
std::string nestedArrays(std::size_t depth) {
    return std::string(depth, '[') + "0" + std::string(depth, ']');
}

// `depth` nested objects {"a": ... {"a": 0} ...}, as text.
std::string nestedObjects(std::size_t depth) {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) {
        text += "{\"a\":";
    }
    return text + "0" + std::string(depth, '}');
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

TEST_F(WalletBackupTest, ExportCarriesTheWalletAndRestoreBringsItBackElsewhere) {
    const Wallet wallet = makeWallet(home, seed, "pw");
    ASSERT_EQ(home.tokens.add(
                  token("0xA0b86991c6218b36c1d19D4a2e9Eb0cE3606eB48", "USDC", Chain::ethereum)),
              TokenStore::AddResult::added);
    ASSERT_EQ(home.tokens.add(
                  token("0xc2132D05D31c914a87C6611C10748AEb04B58e8F", "USDT", Chain::polygon)),
              TokenStore::AddResult::added);
    ASSERT_EQ(home.tokens.add(
                  token("EPjFWdd5AufqSSqeM2qN1xzybapC8G4wEGGkZwyTDt1v", "SOLUSDC", Chain::solana)),
              TokenStore::AddResult::added);
    home.settings.setString("app_theme", "Dollar Green");

    const Bytes file = WalletBackup::exportBackup("pw", home.stores());
    // Opened independently of the reader under test.
    const nlohmann::json payload = openFile(file, "pw");
    EXPECT_EQ(payload["wallet"], walletToJSON(wallet, DateCoding::iso8601));
    // Only the EVM chains' tokens travel.
    EXPECT_EQ(payload["tokens"].size(), 2u);
    // Fresh salt and nonce each time.
    EXPECT_NE(WalletBackup::exportBackup("pw", home.stores()), file);

    Machine away;
    away.settings.setString("app_theme", "Apple Blue");
    const Wallet restored = WalletBackup::restore(file, "pw", away.stores());
    EXPECT_EQ(restored.id, wallet.id);
    EXPECT_EQ(restored.btcAddressCount, 6);
    EXPECT_EQ(restored.createdAt, Date::fromUnixTime(1738315800)); // whole seconds in ISO form
    EXPECT_EQ(away.keychain.loadItem("wallet-metadata"), encodeWalletMetadata(restored));
    EXPECT_EQ(decodeWalletRecord(*away.keychain.loadItem("wallet-metadata"))->btcAddressIndices,
              std::nullopt); // the state reads it as the addresses 0 to count - 1
    EXPECT_EQ(away.keychain.loadSeed(wallet.id, "pw"), SecureBytes(seed));
    EXPECT_EQ(away.keychain.loadMnemonic(wallet.id, "pw"), words);
    EXPECT_EQ(away.tokens.tokens(Chain::ethereum), home.tokens.tokens(Chain::ethereum));
    EXPECT_TRUE(away.tokens.tokens(Chain::solana).empty());
    EXPECT_EQ(away.settings.string("app_theme"), "Dollar Green");
    TokenStore reread(away.tokens.fileURL());
    EXPECT_EQ(reread.load(), TokenStore::LoadResult::loaded);
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

TEST_F(WalletBackupTest, HostileFilesAreRefusedBeforeAnythingIsWritten) {
    Machine source;
    const Wallet wallet = makeWallet(source, seed, "pw");
    source.settings.setString("app_theme", "Dollar Green");
    const Bytes good = WalletBackup::exportBackup("pw", source.stores());
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
        {Bytes(good.begin(), good.begin() + 21), Code::invalidFile},
        {test::ascii("PK\x03\x04 this is a zip file, not a backup"), Code::invalidFile},
        {version2, Code::unsupportedVersion},
        {Bytes(good.begin(), good.begin() + 21 + 27), Code::wrongPassword},
        {badTag, Code::wrongPassword},
        {sealFile("{\"version\":1,", "pw"), Code::corruptedPayload},
        {withPayload([](nlohmann::json& p) { p.erase("tokens"); }), Code::corruptedPayload},
        {withPayload([](nlohmann::json& p) { p["wallet"]["id"] = "../../.bashrc"; }),
         Code::corruptedPayload},
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
    EXPECT_EQ(backupFailure([&] { WalletBackup::restore(good, "other", target.stores()); }),
              Code::wrongPassword);
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

// A file made by the independent Python writer (tests/peers/qmbackup.py --golden), kept so that
// a change of the format fails here.
TEST_F(WalletBackupTest, TheKeptGoldenFileStillRestores) {
    const auto golden = readFileIfExists(std::filesystem::path(QM_SOURCE_DIR) / "tests" / "peers" /
                                         "golden" / "wallet-v1.qmbackup");
    ASSERT_TRUE(golden);
    const Wallet wallet =
        WalletBackup::restore(*golden, "correct horse battery staple", home.stores());
    EXPECT_EQ(wallet.id, "5B0F4E5A-3C2D-4E1F-9A8B-7C6D5E4F3A2B");
    EXPECT_EQ(wallet.btcAddressCount, 7);
    EXPECT_EQ(wallet.createdAt, Date::fromUnixTime(1738315800));
    EXPECT_EQ(home.keychain.loadItem("wallet-metadata"), encodeWalletMetadata(wallet));
    EXPECT_EQ(home.keychain.loadSeed(wallet.id, "correct horse battery staple"),
              SecureBytes(crypto::sha512(test::ascii("quillmark golden seed"))));
    EXPECT_EQ(home.keychain.loadMnemonic(wallet.id, "correct horse battery staple"), words);
    EXPECT_EQ(home.tokens.tokens(Chain::polygon).at(0).decimals, 6);
    EXPECT_EQ(home.settings.string("app_theme"), "Dollar Green");
    EXPECT_EQ(backupFailure([&] {
                  WalletBackup::restore(*golden, "Correct horse battery staple", home.stores());
              }),
              Code::wrongPassword);
}

TEST_F(WalletBackupTest, KeysTheRecordReaderDoesNotKnowComeBackWithTheRestore) {
    Wallet wallet = makeWallet(home, seed, "pw");
    wallet.btcAddressCount = 3;
    // Index 2 was deleted and 5 as well: only the stored indices say which addresses remain.
    const BTCAddressIndices indices{{0, 1, 4}, 6};
    const nlohmann::json future = {{"list", {1, 2.5, "x", nullptr, true, -7}},
                                   {"deep", nlohmann::json::parse(nestedArrays(40))}};
    home.keychain.storeItem("wallet-metadata",
                            recordWithExtras(wallet, indices, {{"futureKey", future}}));

    const Bytes file = WalletBackup::exportBackup("pw", home.stores());
    const nlohmann::json payload = openFile(file, "pw");
    EXPECT_EQ(payload["wallet"]["btcAddressIndices"],
              nlohmann::json::parse(R"({"indices":[0,1,4],"next":6})"));
    EXPECT_EQ(payload["wallet"]["futureKey"], future);
    // The known keys are written as before, and a reader that knows only them still reads it.
    nlohmann::json known = payload["wallet"];
    known.erase("btcAddressIndices");
    known.erase("futureKey");
    EXPECT_EQ(known, walletToJSON(wallet, DateCoding::iso8601));
    EXPECT_EQ(walletFromJSON(payload["wallet"], DateCoding::iso8601).btcAddressCount, 3);

    Machine away;
    const Wallet restored = WalletBackup::restore(file, "pw", away.stores());
    EXPECT_EQ(restored.btcAddressCount, 3);
    const nlohmann::json record = storedRecord(away);
    EXPECT_EQ(record["btcAddressIndices"], payload["wallet"]["btcAddressIndices"]);
    EXPECT_EQ(record["futureKey"], future);
    EXPECT_EQ(record["createdAt"], 760008600); // seconds since 2001, as the record keeps them
    EXPECT_EQ(away.keychain.loadWalletMetadata(), restored);
    const auto read = decodeWalletRecord(*away.keychain.loadItem("wallet-metadata"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->wallet, restored);
    EXPECT_EQ(read->btcAddressIndices, indices);

    // With only the state's key, the restored item is byte for byte what the state writes,
    // and it travels again unchanged.
    home.keychain.storeItem("wallet-metadata", encodeWalletRecord(wallet, indices));
    Machine third;
    const Bytes second = WalletBackup::exportBackup("pw", home.stores());
    const Wallet again = WalletBackup::restore(second, "pw", third.stores());
    EXPECT_EQ(third.keychain.loadItem("wallet-metadata"), encodeWalletRecord(again, indices));
    EXPECT_EQ(openFile(WalletBackup::exportBackup("pw", third.stores()), "pw")["wallet"],
              openFile(second, "pw")["wallet"]);
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
    const std::string deep = withWalletMembers(
        payload,
        "\"atLimit\":" + nestedArrays(limit) + ",\"overLimit\":" + nestedArrays(limit + 1) +
            ",\"huge\":" + nestedArrays(100'000) + ",\"hugeObject\":" + nestedObjects(100'000));
    Machine target;
    EXPECT_EQ(WalletBackup::restore(sealFile(deep, "pw"), "pw", target.stores()), expected);
    nlohmann::json record = storedRecord(target);
    EXPECT_EQ(record["atLimit"], nlohmann::json::parse(nestedArrays(limit)));
    EXPECT_FALSE(record.contains("overLimit"));
    EXPECT_FALSE(record.contains("huge"));
    EXPECT_FALSE(record.contains("hugeObject"));

    // Wrong shapes are stored as they came; the state's reader falls back to the addresses
    // 0 to count - 1 and still reads the wallet, so unlocking is never blocked.
    const std::vector<std::string> malformed = {
        R"("garbage")",
        R"({"indices": [0, 1, 2, 3, 4, 1e300], "next": 7})",
        R"({"indices": [0, 1, 2, 3, 4, 4294967295], "next": 4294967296})",
        R"({"indices": [5, 4, 3, 2, 1, 0], "next": 6})",
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
    EXPECT_EQ(WalletBackup::storedWalletRecord(wallet, {}), encodeWalletMetadata(wallet));

    // A tampered stored record exports without its over-deep key and with the rest.
    source.keychain.storeItem(
        "wallet-metadata",
        recordWithExtras(wallet, BTCAddressIndices::sequential(6),
                         {{"overLimit", nlohmann::json::parse(nestedArrays(limit + 1))}}));
    const nlohmann::json exported =
        openFile(WalletBackup::exportBackup("pw", source.stores()), "pw");
    EXPECT_FALSE(exported["wallet"].contains("overLimit"));
    EXPECT_EQ(exported["wallet"]["btcAddressIndices"]["next"], 6);
}

TEST(WalletBackupFileName, UsesTheLocalDate) {
    const char* saved = std::getenv("TZ");
    const std::string old = saved ? saved : "";
    // 2025-01-31 23:30 UTC is still the 31st in UTC and already 1 February nine hours east.
    const auto moment = std::chrono::system_clock::from_time_t(1738366200);
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    EXPECT_EQ(WalletBackup::defaultFileName(moment), "Quillmark-2025-01-31.qmbackup");
    ::setenv("TZ", "JST-9", 1);
    ::tzset();
    EXPECT_EQ(WalletBackup::defaultFileName(moment), "Quillmark-2025-02-01.qmbackup");
    if (saved) {
        ::setenv("TZ", old.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

TEST(WalletBackupPayload, DecodesOnlyWhatItCanWriteBack) {
    WalletBackup::Payload payload;
    payload.createdAt = Date::fromUnixTime(1738315800);
    payload.wallet = Wallet{newWalletID(), "Quillmark", Date::fromUnixTime(1700000000), 1, 1, 5};
    payload.seed = Bytes{0x00, 0xff, 0x10};
    payload.salt = Bytes(16, 0xab);
    payload.verifier = Bytes(32, 0x00);
    payload.mnemonic = Bytes{};
    payload.tokens["arbitrum"] = {
        token("0x912CE59144191C1204E64559FE8253a0e49E6548", "ARB", Chain::arbitrum)};
    payload.theme = "";
    const Bytes encoded = WalletBackup::encodePayload(payload);
    EXPECT_EQ(WalletBackup::decodePayload(encoded), payload);
    payload.walletExtras = {{"btcAddressIndices", R"({"indices":[0,2],"next":3})"}, {"z", "-0.0"}};
    EXPECT_EQ(WalletBackup::decodePayload(WalletBackup::encodePayload(payload)), payload);
    payload.walletExtras = {};
    const nlohmann::json json = nlohmann::json::parse(encoded);
    EXPECT_EQ(json["seed"], "AP8Q");
    EXPECT_EQ(json["mnemonic"], "");
    EXPECT_EQ(json["salt"], "q6urq6urq6urq6urq6urqw==");

    for (const char* bad : {"AP8", "A=P8", "AP8Q\n", "AP-_"}) {
        nlohmann::json copy = json;
        copy["seed"] = bad;
        EXPECT_THROW(WalletBackup::decodePayload(test::ascii(copy.dump())), BackupError) << bad;
    }
    nlohmann::json copy = json;
    copy["seed"] = "AP9=";
    EXPECT_EQ(WalletBackup::decodePayload(test::ascii(copy.dump())).seed, (Bytes{0x00, 0xff}));
}

} // namespace
} // namespace qm
