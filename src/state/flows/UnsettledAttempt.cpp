#include "state/flows/UnsettledAttempt.h"

#include "core/crypto/Base58.h"
#include "core/crypto/Keccak.h"
#include "core/encoding/AsciiCase.h"
#include "core/encoding/Base64.h"
#include "core/encoding/Hex.h"
#include "core/model/JSONFields.h"
#include "platform/Crypto.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "services/evm/ETHSignedTransaction.h"
#include "services/solana/SolanaMessage.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace qm {
namespace {

using json_fields::optionalString;
using json_fields::optionalUInt64;
using json_fields::requireBool;
using json_fields::requireString;
using Kind = JSONDecodingError::Kind;

Bytes requireHexBytes(const nlohmann::json& object, std::string_view key) {
    const std::optional<Bytes> bytes = hexToBytes(requireString(object, key));
    if (!bytes) {
        throw JSONDecodingError(Kind::wrongType, key);
    }
    return *bytes;
}

// The address a Bitcoin send is from, as the fetched history names it: the first, in text
// order, of the addresses whose coins it spends (the account's id stands for none of them).
std::string sendingAddress(const std::vector<BTCSpend>& coins) {
    std::optional<std::string> first;
    for (const BTCSpend& coin : coins) {
        std::optional<std::string> address = BTCTransactionParser::address(coin.utxo.scriptPubKey);
        if (address && (!first || *address < *first)) {
            first = std::move(address);
        }
    }
    return first.value_or(std::string());
}

nlohmann::json coinToJSON(const BTCSpend& coin) {
    nlohmann::json out = nlohmann::json::object();
    out["utxo"] = coin.utxo.toJson();
    out["derivationIndex"] = coin.derivationIndex;
    return out;
}

BTCSpend coinFromJSON(const nlohmann::json& json) {
    const nlohmann::json& object = json_fields::requireObject(json);
    const auto utxo = object.find("utxo");
    if (utxo == object.end()) {
        throw JSONDecodingError(Kind::missingKey, "utxo");
    }
    BTCSpend coin;
    coin.utxo = UTXO::fromJson(*utxo);
    // Outpoints are compared as text with the servers' lists and other records: one spelling.
    coin.utxo.txHash = lowercaseASCII(coin.utxo.txHash);
    const std::uint64_t index = json_fields::requireUInt64(object, "derivationIndex");
    if (index > std::numeric_limits<std::uint32_t>::max()) {
        throw JSONDecodingError(Kind::outOfRange, "derivationIndex");
    }
    coin.derivationIndex = static_cast<std::uint32_t>(index);
    return coin;
}

// A transaction hash as the EVM chains write it, "0x" and 64 lower-case hex digits, from any
// prefix ("0x", "0X", none) and letter case; anything else names no transaction and stays as it
// is.
std::string evmIDForm(const std::string& id) {
    const std::optional<Bytes> hash = hexToBytes(id);
    return hash && hash->size() == 32 ? bytesToHex(*hash) : id;
}

// The chain, signer and nonce of `a`'s named bytes in place of its fields. Bytes signed for no
// chain of the wallet, or whose signature recovers no key, leave the fields standing: no node
// would take them.
void readEVMBytes(UnsettledAttempt& a) {
    const std::optional<Bytes> bytes = namedEVMBytes(a);
    const std::optional<ETHSignedTransaction> read =
        bytes ? ETHSignedTransaction::decode(*bytes) : std::nullopt;
    const std::optional<Bytes> signer = read ? read->signer() : std::nullopt;
    const std::optional<Chain> chain = read ? evmChainWithID(read->fields.chainID) : std::nullopt;
    if (!signer || !chain) {
        return;
    }
    a.chain = *chain;
    a.account = bytesToHex(*signer);
    a.nonce = read->fields.nonce;
}

// Only the kept coins that `a`'s named bytes spend: a coin they do not spend binds nothing, and
// one they spend that was not kept cannot be spent again without its amount and key (any one
// coin both spend is enough for at most one of them to land).
void readBitcoinBytes(UnsettledAttempt& a) {
    const std::optional<BTCTransactionParser::Spending> spending =
        BTCTransactionParser::spending(a.wire);
    if (!spending || spending->id != a.id) {
        return;
    }
    const std::unordered_set<std::string> spent(spending->outpoints.begin(),
                                                spending->outpoints.end());
    std::erase_if(a.coins, [&](const BTCSpend& coin) { return !spent.contains(coin.utxo.id()); });
}

void readSolanaBytes(UnsettledAttempt& a) {
    std::optional<NamedSolanaTransaction> named = namedSolanaTransaction(a);
    if (!named) {
        return;
    }
    a.account = std::move(named->payer);
    a.message = std::move(named->message);
    a.blockhash = std::move(named->blockhash);
}

} // namespace

std::string ledgerAccountKey(const Account& account) {
    return account.chain == Chain::bitcoin ? account.id : account.address;
}

nlohmann::json attemptToJSON(const UnsettledAttempt& a) {
    nlohmann::json out = nlohmann::json::object();
    out["chain"] = a.chain;
    out["account"] = a.account;
    out["id"] = a.id;
    out["wire"] = a.wire;
    out["origin"] = a.origin;
    out["kind"] = a.kind;
    out["summary"] = a.summary;
    out["detail"] = a.detail;
    out["counterparty"] = a.counterparty;
    json_fields::setIfPresent(out, "tokenSymbol", a.tokenSymbol);
    json_fields::setIfPresent(out, "contractAddress", a.contractAddress);
    out["createdAt"] = a.createdAt.secondsSinceReferenceDate;
    out["told"] = a.told;
    out["toldElsewhere"] = a.toldElsewhere;
    json_fields::setIfPresent(out, "nonce", a.nonce);
    json_fields::setIfPresent(out, "signedAtBlock", a.signedAtBlock);
    nlohmann::json coins = nlohmann::json::array();
    for (const BTCSpend& coin : a.coins) {
        coins.push_back(coinToJSON(coin));
    }
    out["coins"] = std::move(coins);
    out["message"] = bytesToPlainHex(a.message);
    out["blockhash"] = a.blockhash;
    json_fields::setIfPresent(out, "lastValidBlockHeight", a.lastValidBlockHeight);
    return out;
}

UnsettledAttempt attemptFromJSON(const nlohmann::json& json) {
    const nlohmann::json& object = json_fields::requireObject(json);
    UnsettledAttempt a;
    const auto chain = object.find("chain");
    if (chain == object.end()) {
        throw JSONDecodingError(Kind::missingKey, "chain");
    }
    a.chain = chain->get<Chain>();
    a.account = requireString(object, "account");
    a.id = requireString(object, "id");
    a.wire = requireString(object, "wire");
    if (a.account.empty() || a.id.empty() || a.wire.empty()) {
        throw JSONDecodingError(Kind::unknownValue, a.id.empty() ? "id" : "wire");
    }
    a.origin = requireString(object, "origin");
    a.kind = requireString(object, "kind");
    a.summary = requireString(object, "summary");
    a.detail = requireString(object, "detail");
    a.counterparty = requireString(object, "counterparty");
    a.tokenSymbol = optionalString(object, "tokenSymbol");
    a.contractAddress = optionalString(object, "contractAddress");
    a.createdAt.secondsSinceReferenceDate = json_fields::requireDouble(object, "createdAt");
    a.told = requireBool(object, "told");
    a.toldElsewhere = requireBool(object, "toldElsewhere");
    a.nonce = optionalUInt64(object, "nonce");
    a.signedAtBlock = optionalUInt64(object, "signedAtBlock");
    const auto coins = object.find("coins");
    if (coins == object.end() || !coins->is_array()) {
        throw JSONDecodingError(coins == object.end() ? Kind::missingKey : Kind::wrongType,
                                "coins");
    }
    for (const nlohmann::json& coin : *coins) {
        a.coins.push_back(coinFromJSON(coin));
    }
    a.message = requireHexBytes(object, "message");
    a.blockhash = requireString(object, "blockhash");
    a.lastValidBlockHeight = optionalUInt64(object, "lastValidBlockHeight");
    if (isEVMChain(a.chain)) {
        a.id = evmIDForm(a.id);
        a.account = lowercaseASCII(a.account);
        readEVMBytes(a);
    } else if (a.chain == Chain::bitcoin) {
        a.id = lowercaseASCII(a.id);
        readBitcoinBytes(a);
    } else {
        readSolanaBytes(a);
    }
    // What binds a later signing must be there for its chain, or the attempt binds nothing.
    const bool bound = isEVMChain(a.chain)         ? a.nonce.has_value()
                       : a.chain == Chain::bitcoin ? !a.coins.empty()
                                                   : !a.message.empty();
    if (!bound) {
        throw JSONDecodingError(Kind::missingKey, isEVMChain(a.chain)         ? "nonce"
                                                  : a.chain == Chain::bitcoin ? "coins"
                                                                              : "message");
    }
    return a;
}

std::optional<Bytes> namedEVMBytes(const UnsettledAttempt& attempt) {
    std::optional<Bytes> bytes = hexToBytes(attempt.wire);
    if (!bytes || bytesToHex(keccak256(*bytes)) != attempt.id) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<NamedSolanaTransaction> namedSolanaTransaction(const UnsettledAttempt& attempt) {
    constexpr std::size_t signatureLength = 64;
    const std::optional<Bytes> bytes = base64Decode(attempt.wire);
    const std::optional<Bytes> id = base58Decode(attempt.id);
    // One byte of count: the wallet's transactions carry fewer than 128 signatures.
    if (!bytes || !id || id->size() != signatureLength || bytes->empty() || (*bytes)[0] == 0 ||
        (*bytes)[0] >= 0x80 || bytes->size() <= 1 + (*bytes)[0] * signatureLength) {
        return std::nullopt;
    }
    const ByteView first = ByteView(*bytes).subspan(1, signatureLength);
    const ByteView message = ByteView(*bytes).subspan(1 + (*bytes)[0] * signatureLength);
    const std::optional<SolanaMessage> read = SolanaMessage::parse(message);
    if (!read || read->staticKeys.empty() || !std::equal(first.begin(), first.end(), id->begin()) ||
        !crypto::ed25519Verify(first, message, read->staticKeys.front())) {
        return std::nullopt;
    }
    return NamedSolanaTransaction{Bytes(message.begin(), message.end()),
                                  base58Encode(read->staticKeys.front()),
                                  base58Encode(read->recentBlockhash)};
}

bool shareConflict(const UnsettledAttempt& a, const UnsettledAttempt& b) {
    if (a.chain != b.chain || a.account != b.account) {
        return false;
    }
    if (a.nonce && a.nonce == b.nonce) {
        return true;
    }
    if (!a.message.empty() && a.message == b.message) {
        return true;
    }
    // By outpoint, once: each may spend thousands of coins.
    std::unordered_set<std::string> spentByB;
    for (const BTCSpend& coin : b.coins) {
        spentByB.insert(coin.utxo.id());
    }
    return std::any_of(a.coins.begin(), a.coins.end(),
                       [&](const BTCSpend& coin) { return spentByB.contains(coin.utxo.id()); });
}

std::string attemptDescription(const UnsettledAttempt& a) {
    const std::string pays = a.detail.empty() ? a.summary : a.summary + " " + a.detail;
    if (a.kind == "request") {
        return "dApp transaction (" + pays + ")";
    }
    if (a.kind == "approval") {
        return "approval for the " + pays;
    }
    return a.kind + " of " + pays;
}

Transaction pendingEntry(const UnsettledAttempt& a) {
    Transaction entry;
    entry.id = "unsettled:" + a.id;
    entry.txHash = a.id;
    entry.chain = a.chain;
    entry.direction = TransactionDirection::sent;
    entry.status = TransactionStatus::pending;
    entry.amount = a.summary;
    entry.from = a.chain == Chain::bitcoin ? sendingAddress(a.coins) : a.account;
    entry.to = a.counterparty;
    entry.timestamp = a.createdAt;
    entry.tokenSymbol = a.tokenSymbol;
    entry.contractAddress = a.contractAddress;
    return entry;
}

} // namespace qm
