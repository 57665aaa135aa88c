#pragma once
// A Solana message as it is signed, legacy or version 0, read whole: its header, the account
// keys it names itself, its recent blockhash, its instructions and (version 0) the lookup
// tables that add further accounts. Used to see what another party's transaction would do
// before the wallet signs it.

#include "platform/Bytes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace qm {

using SolanaKey = std::array<std::uint8_t, 32>;

struct SolanaMessage {
    struct Instruction {
        std::uint8_t programIndex = 0; // into the keys the message names itself
        Bytes accountIndices;
        Bytes data;
    };
    // Accounts a version 0 message takes from an address lookup table, by index.
    struct TableLookup {
        SolanaKey table{};
        Bytes writableIndices;
        Bytes readonlyIndices;
    };

    bool versioned = false;
    std::uint8_t requiredSignatures = 0;
    std::uint8_t readonlySigned = 0;
    std::uint8_t readonlyUnsigned = 0;
    std::vector<SolanaKey> staticKeys;
    SolanaKey recentBlockhash{};
    std::vector<Instruction> instructions;
    std::vector<TableLookup> lookups;

    // Reads `bytes` (the message alone, after the signatures). Absent for anything but one
    // whole message: a version other than 0, a list running past the end, bytes left over, an
    // instruction whose program is not among the message's own keys (the runtime refuses it).
    static std::optional<SolanaMessage> parse(ByteView bytes);
};

// Upper bounds of what a message costs its fee payer, in lamports.
struct SolanaFeeBound {
    std::uint64_t signatureFee = 0; // per signature the message requires
    // The most the compute-budget instructions can charge: the unit price times the unit
    // limit, rounded up; without a limit, the runtime's default for the instructions (never
    // more than its maximum). None when it does not fit 64 bits.
    std::optional<std::uint64_t> priorityFee;

    static constexpr std::uint64_t lamportsPerSignature = 5000;
    static constexpr std::uint64_t maxComputeUnits = 1'400'000;
    static constexpr std::uint64_t defaultUnitsPerInstruction = 200'000;

    static SolanaFeeBound of(const SolanaMessage& message);
};

} // namespace qm
