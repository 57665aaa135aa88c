#pragma once
// The results of the Solana JSON-RPC requests the wallet makes, and how each is read from
// the reply's "result". Required keys must be there with the right kind of value; keys the
// wallet does not read are ignored.

#include "platform/Bytes.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace qm {

// "getBalance" result: {"value": lamports}.
struct BalanceResult {
    std::uint64_t value = 0;
};

struct LatestBlockhashValue {
    std::string blockhash; // Base58
    std::uint64_t lastValidBlockHeight = 0;
};

// "getLatestBlockhash" result: {"value": {...}}.
struct LatestBlockhashResult {
    LatestBlockhashValue value;
};

// One token account of an owner, flattened from value[i].account.data.parsed.info.
struct SPLTokenAccountInfo {
    std::string pubkey;
    std::string mint;
    std::string amount; // raw base units, decimal digits as the node sent them
    std::uint8_t decimals = 0;
    std::optional<double> uiAmount;
};

// "getTokenAccountsByOwner" result with "jsonParsed" encoding, flattened.
struct TokenAccountsResult {
    std::vector<SPLTokenAccountInfo> value;
};

// One element of "getSignaturesForAddress".
struct SolanaTransactionInfo {
    std::string signature;
    std::uint64_t slot = 0;
    std::optional<std::int64_t> blockTime;
    // The transaction's error as the node sent it; absent when missing or null (success).
    std::optional<nlohmann::json> err;
    std::optional<std::string> memo;
};

// One entry of "getSignatureStatuses": what the cluster knows of a signature it has seen.
struct SignatureStatus {
    std::uint64_t slot = 0;
    // "processed", "confirmed" or "finalized"; absent when the node sent none.
    std::optional<std::string> confirmationStatus;
    // The transaction's error as the node sent it; absent when null (it succeeded).
    std::optional<nlohmann::json> err;
};

// "getSignatureStatuses" result: {"context": {"slot": n}, "value": [status or null per
// signature]}.
struct SignatureStatusesResult {
    // The slot the answer speaks for; absent when the node sent no context. A status absent at
    // this slot says nothing of later ones.
    std::optional<std::uint64_t> contextSlot;
    std::vector<std::optional<SignatureStatus>> value;
};

// "getEpochInfo" result, the two members the wallet reads: a slot and the block height at that
// slot, from one answer. The height is never above the slot (each block has a slot of its own).
struct EpochInfo {
    std::uint64_t absoluteSlot = 0;
    std::uint64_t blockHeight = 0;
};

// "isBlockhashValid" result: {"context": {"slot": n}, "value": bool}.
struct BlockhashValidity {
    // The slot the answer speaks for.
    std::uint64_t contextSlot = 0;
    bool valid = false;
};

// One account in "base64" encoding, as "getMultipleAccounts" and "simulateTransaction" send it.
struct SolanaAccount {
    std::uint64_t lamports = 0;
    std::string owner; // the program that owns it, Base58
    Bytes data;
};

// "getMultipleAccounts" result: {"value": [account or null per address]}.
struct MultipleAccountsResult {
    std::vector<std::optional<SolanaAccount>> value;
};

// What a simulation of a transaction gave.
struct SimulationValue {
    // The transaction's error as the node sent it; absent when null (it ran through).
    std::optional<nlohmann::json> err;
    // The accounts asked for as they are after it (null: none); empty when the node sent none.
    std::vector<std::optional<SolanaAccount>> accounts;
};

// "simulateTransaction" result: {"value": {...}}.
struct SimulationResult {
    SimulationValue value;
};

// Readers of a non-null "result"; each throws std::invalid_argument with the reason when the
// JSON has another shape.
void fromSolanaResult(const nlohmann::json& json, BalanceResult& out);
void fromSolanaResult(const nlohmann::json& json, LatestBlockhashResult& out);
void fromSolanaResult(const nlohmann::json& json, TokenAccountsResult& out);
void fromSolanaResult(const nlohmann::json& json, std::vector<SolanaTransactionInfo>& out);
void fromSolanaResult(const nlohmann::json& json, std::string& out);
void fromSolanaResult(const nlohmann::json& json, SignatureStatusesResult& out);
void fromSolanaResult(const nlohmann::json& json, MultipleAccountsResult& out);
void fromSolanaResult(const nlohmann::json& json, SimulationResult& out);
void fromSolanaResult(const nlohmann::json& json, EpochInfo& out);
void fromSolanaResult(const nlohmann::json& json, BlockhashValidity& out);

} // namespace qm
