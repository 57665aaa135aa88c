#pragma once
// A transaction the wallet signed and sent (or may have sent) whose fate the chain has not
// settled: what it is, what it pays as its sheet showed it, and what any later signing from the
// same account on the same chain must share with it so that at most one of them can land (an
// EVM nonce, the Bitcoin coins it spends, a Solana message and its blockhash). The ledger keeps
// these in the wallet's folder (AttemptLedger), so that neither another sheet nor a restart
// between a refused send and the next press can add a second payment beside it.

#include "core/model/Account.h"
#include "core/model/Chain.h"
#include "core/model/Date.h"
#include "core/model/Transaction.h"
#include "platform/Bytes.h"
#include "state/signing/Signer.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct UnsettledAttempt {
    Chain chain = Chain::ethereum;
    // The sending account's address as the chain writes it (EVM addresses in lower case); for
    // Bitcoin the account's id ("btc-0"), whose coins may sit at several addresses.
    std::string account;
    // The id the chain knows it by (hash, txid, signature).
    std::string id;
    // The signed bytes as they are sent: "0x" hex (EVM), plain hex (Bitcoin), base64 (Solana).
    std::string wire;
    // The flow and the slot in it that sent it ("send:ethereum", "swap:ethereum#approval",
    // "walletconnect#walletconnect:<topic>:<id>"): only a press there follows it.
    std::string origin;
    // "send", "swap", "approval", "order", "request": the word of its texts.
    std::string kind;
    // What it pays, as its sheet showed it: "1 ETH", "to 0x3535...3535".
    std::string summary;
    std::string detail;
    // Whom it pays (or the contract it calls), in full, and the token it moves: the history's
    // pending entry.
    std::string counterparty;
    std::optional<std::string> tokenSymbol;
    std::optional<std::string> contractAddress;
    Date createdAt;
    // The user saw it leave (its run showed it as sent): known on the chain, it no longer holds
    // back a new signing. One the user was told failed holds the next press until it is told.
    bool told = false;
    // Told only by another sheet's press ("Your earlier … went through"): pressed again where it
    // was sent (a dApp's request approved again), it is still followed, never signed anew.
    bool toldElsewhere = false;

    // EVM: the nonce it takes, and a block read before it was signed (where a search for the
    // block that took the nonce may start).
    std::optional<std::uint64_t> nonce;
    std::optional<std::uint64_t> signedAtBlock;
    // Bitcoin: the coins it spends.
    std::vector<BTCSpend> coins;
    // Solana: its message, and the blockhash in it with the height up to which it can land.
    Bytes message;
    std::string blockhash;
    std::optional<std::uint64_t> lastValidBlockHeight;

    bool operator==(const UnsettledAttempt&) const = default;
};

// How the ledger names `account`: its address as its chain writes it; the account's id on
// Bitcoin, whose coins may sit at several addresses.
std::string ledgerAccountKey(const Account& account);

// The JSON of one stored attempt (keys as the member names; bytes as hex; dates as seconds
// since 2001-01-01 UTC).
nlohmann::json attemptToJSON(const UnsettledAttempt& attempt);
// Reads one stored attempt whole or not at all: throws JSONDecodingError (or the coin's
// UTXODecodingError) for anything missing, of the wrong kind or out of range.
// Its id is read in the one form its chain writes (a hash as "0x" and lower-case hex on the EVM
// chains, lower-case hex on Bitcoin, as are the ids of the coins a Bitcoin attempt spends, Solana's
// as it stands), so that one transaction is one record whatever spelling was stored. Where its
// signed bytes are the transaction that id names, what they carry is read from them, not from the
// fields that say it (a file edited or damaged on disk: the chain acts on the bytes): on the EVM
// chains the chain, the sending account and the nonce; on Bitcoin the coins, as those kept that the
// bytes spend; on Solana the sending account (the fee payer), the message and its blockhash.
UnsettledAttempt attemptFromJSON(const nlohmann::json& json);

// A stored EVM attempt's signed bytes when they are the transaction its id names (their
// keccak-256 is the id); none for bytes damaged or edited on disk, which are never sent and say
// nothing of what the attempt pays. The id alone names it on the chain.
std::optional<Bytes> namedEVMBytes(const UnsettledAttempt& attempt);

// A stored Solana attempt's transaction when its bytes are the one its id names: their first
// signature is the id and verifies over their message with the key of the message's first
// account, the fee payer that signed it. The payer and the blockhash in Base58.
struct NamedSolanaTransaction {
    Bytes message;
    std::string payer;
    std::string blockhash;
};
std::optional<NamedSolanaTransaction> namedSolanaTransaction(const UnsettledAttempt& attempt);

// Whether at most one of `a` and `b` can land: the same account on the same chain, and the same
// EVM nonce, a Bitcoin coin both spend, or the same Solana message.
bool shareConflict(const UnsettledAttempt& a, const UnsettledAttempt& b);

// How its texts name it: "send of 1 ETH to 0x3535...3535", "swap of 1 ETH → 2 USDC on
// Ethereum", "dApp transaction (Send 2 POL to 0x12...)".
std::string attemptDescription(const UnsettledAttempt& attempt);

// The account history's entry while it is unsettled: sent, pending, dated when it was sent,
// from the account's address (on Bitcoin the first of the addresses whose coins it spends).
Transaction pendingEntry(const UnsettledAttempt& attempt);

} // namespace qm
