#include "state/swap/SolanaSwapCheck.h"

#include "core/crypto/Base58.h"
#include "core/model/Amount.h"
#include "core/model/CheckedArithmetic.h"
#include "services/network/HttpSession.h"
#include "services/solana/SPLToken.h"
#include "services/solana/SolanaMessage.h"
#include "services/solana/SolanaRPCClient.h"
#include "services/swap/EVMSwapTokens.h"
#include "services/swap/SwapError.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>

namespace qm {
namespace {

constexpr const char* tokenProgram = "TokenkegQfeZyiNwAJbNbGKPFXCWuBvf9Ss623VQ5DA";
constexpr const char* systemProgram = "11111111111111111111111111111111";
constexpr const char* lookupTableProgram = "AddressLookupTab1e1111111111111111111111111";
constexpr const char* associatedTokenProgram = "ATokenGPvbdGVxr1b2hvZbsiqW5xWH25efTNsLJA8knL";
constexpr std::size_t tokenAccountSize = 165;
constexpr std::size_t amountOffset = 64;
constexpr std::size_t lookupTableHeader = 56;
constexpr std::size_t longestErrorText = 200;

[[noreturn]] void refuse(const std::string& why) {
    throw SwapError::transactionFailed(why + "; nothing was signed");
}

// The node's own text is cut short: it only says why.
std::string shortened(std::string text) {
    if (text.size() > longestErrorText) {
        text = text.substr(0, longestErrorText) + "...";
    }
    return text;
}

[[noreturn]] void unchecked(const std::string& why) {
    refuse("The swap could not be checked on the wallet's Solana node (" + shortened(why) + ")");
}

std::string keyText(const SolanaKey& key) {
    return base58Encode(key);
}

std::string solText(std::uint64_t lamports) {
    return Amount{UInt256(0, 0, 0, lamports), 9}.exactText() + " SOL";
}

std::string tokenText(std::uint64_t amount, std::uint8_t decimals, const std::string& mint) {
    const std::optional<SPLTokenList::TokenInfo> known = SPLTokenList::token(mint);
    return Amount{UInt256(0, 0, 0, amount), decimals}.exactText() + " " +
           (known ? known->symbol : mint.substr(0, 8) + "...");
}

std::uint64_t tokenAmount(const SolanaAccount& account) {
    std::uint64_t value = 0;
    for (std::size_t i = 8; i-- > 0;) {
        value = (value << 8) | account.data[amountOffset + i];
    }
    return value;
}

// Every account the message uses, in its index order: its own keys, then from the lookup
// tables all writable entries, then all read-only ones.
QCoro::Task<std::vector<SolanaKey>> accountKeys(std::shared_ptr<SolanaRPCClient> node,
                                                SolanaMessage message, CancellationToken cancel) {
    std::vector<SolanaKey> keys = message.staticKeys;
    if (message.lookups.empty()) {
        co_return keys;
    }
    std::vector<std::string> addresses;
    for (const SolanaMessage::TableLookup& lookup : message.lookups) {
        addresses.push_back(keyText(lookup.table));
    }
    auto reading = node->getMultipleAccounts(std::move(addresses), std::move(cancel));
    const std::vector<std::optional<SolanaAccount>> tables = co_await std::move(reading);
    if (tables.size() != message.lookups.size()) {
        unchecked("a lookup table could not be read");
    }
    for (const bool writable : {true, false}) {
        for (std::size_t t = 0; t < tables.size(); ++t) {
            const std::optional<SolanaAccount>& table = tables[t];
            if (!table || table->owner != lookupTableProgram ||
                table->data.size() < lookupTableHeader ||
                (table->data.size() - lookupTableHeader) % 32 != 0) {
                unchecked("a lookup table could not be read");
            }
            const std::size_t entries = (table->data.size() - lookupTableHeader) / 32;
            const SolanaMessage::TableLookup& lookup = message.lookups[t];
            for (const std::uint8_t index :
                 writable ? lookup.writableIndices : lookup.readonlyIndices) {
                if (index >= entries) {
                    unchecked("a lookup table could not be read");
                }
                SolanaKey key;
                std::copy_n(table->data.begin() +
                                static_cast<std::ptrdiff_t>(lookupTableHeader + 32 * index),
                            32, key.begin());
                keys.push_back(key);
            }
        }
    }
    co_return keys;
}

// A token account of the wallet, as the node listed it.
struct Holding {
    std::string address;
    std::string mint;
    std::uint8_t decimals = 0;
};

// The rent the wallet may pay for the output's associated token account: when the message
// creates it, paid by and for the wallet, and it is not an account the wallet holds already.
std::uint64_t rentAllowed(const SolanaMessage& message, const std::vector<SolanaKey>& keys,
                          const SolanaSwapTerms& terms, const std::vector<Holding>& holdings) {
    if (terms.outputMint == wrappedSOLMint) {
        return 0; // unwrapped and closed within the transaction
    }
    for (const SolanaMessage::Instruction& instruction : message.instructions) {
        const Bytes& data = instruction.data;
        const Bytes& at = instruction.accountIndices;
        // Create (no data or 0) and CreateIdempotent (1): payer, account, owner, mint, ...
        if (keyText(message.staticKeys[instruction.programIndex]) != associatedTokenProgram ||
            data.size() > 1 || (data.size() == 1 && data[0] > 1) || at.size() < 4 ||
            std::any_of(at.begin(), at.begin() + 4,
                        [&](std::uint8_t index) { return index >= keys.size(); })) {
            continue;
        }
        const std::string account = keyText(keys[at[1]]);
        const bool held = std::any_of(holdings.begin(), holdings.end(),
                                      [&](const Holding& h) { return h.address == account; });
        if (keyText(keys[at[0]]) == terms.wallet && keyText(keys[at[2]]) == terms.wallet &&
            keyText(keys[at[3]]) == terms.outputMint && !held) {
            return tokenAccountRent;
        }
    }
    return 0;
}

std::uint64_t sum(std::uint64_t a, std::uint64_t b) {
    const std::optional<std::uint64_t> total = checkedAdd(a, b);
    if (!total) {
        unchecked("a balance out of range");
    }
    return *total;
}

// What the checked accounts hold before and after the transaction: SOL (the wallet's account
// and the lamports of its token accounts), and each token but wrapped SOL by mint.
struct Tally {
    std::uint64_t solBefore = 0;
    std::uint64_t solAfter = 0;
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> tokens;
};

// `before` and `after` list the wallet's account, then the token accounts `checked`. Refuses a
// transaction that gives any of them away: the wallet's account assigned to a program or given
// data; a token account with another owner, delegate, close authority or state (closing one is
// allowed: its lamports are counted wherever they go).
Tally tally(const SolanaSwapTerms& terms, const std::vector<Holding>& checked,
            const std::vector<std::optional<SolanaAccount>>& before,
            const std::vector<std::optional<SolanaAccount>>& after) {
    if (before.size() != checked.size() + 1 || after.size() != checked.size() + 1) {
        unchecked("it answered for other accounts");
    }
    Tally out;
    out.solBefore = before[0] ? before[0]->lamports : 0;
    if (const std::optional<SolanaAccount>& wallet = after[0]) {
        if (wallet->owner != systemProgram || !wallet->data.empty()) {
            refuse("The swap's transaction would hand the wallet's account to a program");
        }
        out.solAfter = wallet->lamports;
    }
    const std::optional<Bytes> walletKey = base58Decode(terms.wallet);
    for (std::size_t i = 0; i < checked.size(); ++i) {
        const std::optional<SolanaAccount>& was = before[i + 1];
        const std::optional<SolanaAccount>& is = after[i + 1];
        const std::optional<Bytes> mint = base58Decode(checked[i].mint);
        if (!was || was->owner != tokenProgram || was->data.size() != tokenAccountSize || !mint ||
            mint->size() != 32 || !std::equal(mint->begin(), mint->end(), was->data.begin()) ||
            !walletKey || walletKey->size() != 32 ||
            !std::equal(walletKey->begin(), walletKey->end(), was->data.begin() + 32)) {
            unchecked("a token account changed while it was read");
        }
        if (is &&
            (is->owner != tokenProgram || is->data.size() != tokenAccountSize ||
             !std::equal(is->data.begin(), is->data.begin() + amountOffset, was->data.begin()) ||
             !std::equal(is->data.begin() + amountOffset + 8, is->data.end(),
                         was->data.begin() + amountOffset + 8))) {
            refuse("The swap's transaction would give control of a token account of the wallet "
                   "to someone else");
        }
        out.solBefore = sum(out.solBefore, was->lamports);
        out.solAfter = sum(out.solAfter, is ? is->lamports : 0);
        // Wrapped SOL is counted by its lamports, above.
        if (checked[i].mint != wrappedSOLMint) {
            auto& [held, left] = out.tokens[checked[i].mint];
            held = sum(held, tokenAmount(*was));
            left = sum(left, is ? tokenAmount(*is) : 0);
        }
    }
    return out;
}

// Refuses a transaction that takes more of a token, or of SOL, than the order allows.
void judge(const SolanaSwapTerms& terms, const std::vector<Holding>& checked, const Tally& counted,
           std::uint64_t solAllowed) {
    for (const auto& entry : counted.tokens) {
        const std::string& mint = entry.first;
        const auto [held, left] = entry.second;
        const std::uint64_t allowed = mint == terms.inputMint ? terms.inAmount : 0;
        if (held <= left || held - left <= allowed) {
            continue;
        }
        const auto holding = std::find_if(checked.begin(), checked.end(),
                                          [&](const Holding& h) { return h.mint == mint; });
        const std::string taken = tokenText(held - left, holding->decimals, mint);
        if (allowed == 0) {
            refuse("The swap's transaction would take " + taken +
                   " from the wallet, a token the order does not spend");
        }
        refuse("The swap's transaction would take " + taken +
               " from the wallet, more than the order's " +
               tokenText(allowed, holding->decimals, mint));
    }
    const auto [before, after] = std::pair(counted.solBefore, counted.solAfter);
    if (before > after && before - after > solAllowed) {
        refuse("The swap's transaction would take " + solText(before - after) +
               " from the wallet, more than the " + solText(solAllowed) +
               " the order and its fees allow");
    }
}

} // namespace

QCoro::Task<void> checkSolanaSwap(std::shared_ptr<SolanaRPCClient> node, SolanaSwapTerms terms,
                                  CancellationToken cancel) {
    const std::optional<SolanaMessage> message = SolanaMessage::parse(terms.message);
    if (!message) {
        throw SwapError::transactionFailed("Invalid TX format");
    }
    const SolanaFeeBound fees = SolanaFeeBound::of(*message);
    const std::uint64_t priorityFee =
        fees.priorityFee.value_or(std::numeric_limits<std::uint64_t>::max());
    if (priorityFee > maxSwapPriorityFee) {
        refuse("The swap's transaction sets a priority fee of " + solText(priorityFee) +
               ", more than the " + solText(maxSwapPriorityFee) + " the wallet allows");
    }
    if (!node) {
        unchecked("no node");
    }
    try {
        auto resolving = accountKeys(node, *message, cancel);
        const std::vector<SolanaKey> keys = co_await std::move(resolving);
        auto listing = node->getTokenAccountsByOwner(terms.wallet, cancel);
        const std::vector<SPLTokenAccountInfo> accounts = co_await std::move(listing);

        std::vector<Holding> holdings;
        std::vector<Holding> checked;
        std::vector<std::string> addresses{terms.wallet};
        for (const SPLTokenAccountInfo& account : accounts) {
            holdings.push_back({account.pubkey, account.mint, account.decimals});
            const bool named = std::any_of(keys.begin(), keys.end(), [&](const SolanaKey& key) {
                return keyText(key) == account.pubkey;
            });
            const bool listed =
                std::find(addresses.begin(), addresses.end(), account.pubkey) != addresses.end();
            if ((named || account.mint == terms.inputMint) && !listed) {
                checked.push_back(holdings.back());
                addresses.push_back(account.pubkey);
            }
        }
        auto reading = node->getMultipleAccounts(addresses, cancel);
        const std::vector<std::optional<SolanaAccount>> before = co_await std::move(reading);
        auto simulating = node->simulateTransaction(terms.transaction, addresses, cancel);
        const SimulationValue simulated = co_await std::move(simulating);
        if (simulated.err) {
            refuse("The swap's transaction fails on the wallet's Solana node: " +
                   shortened(simulated.err->dump(-1, ' ', true)));
        }
        std::uint64_t allowed = sum(fees.signatureFee, priorityFee);
        allowed = sum(allowed, rentAllowed(*message, keys, terms, holdings));
        if (terms.inputMint == wrappedSOLMint) {
            allowed = sum(allowed, terms.inAmount);
        }
        judge(terms, checked, tally(terms, checked, before, simulated.accounts), allowed);
    } catch (const SolanaRPCError& error) {
        unchecked(error.what());
    } catch (const HttpTransportError& error) {
        if (error.kind() == HttpTransportError::Kind::aborted) {
            throw;
        }
        unchecked(error.what());
    }
}

} // namespace qm
