#pragma once
// Whether a transaction spends one of the wallet's coins (a native SegWit P2WPKH output) with
// a witness that consensus would take: the only evidence that a transaction other than ours
// spent a coin of ours. A server can list any transaction it likes; only a signature by the
// coin's key, over that transaction and the coin's amount, says the key's owner made it.
// Pure; any thread.

#include "services/bitcoin/BTCTransactionParser.h"
#include "services/bitcoin/UTXO.h"

namespace qm {

struct BTCWitnessVerifier {
    // True when exactly one input of `transaction` spends `coin` (its txHash in any letter
    // case) and that input has an empty signature script and a witness of exactly [a strict
    // DER signature followed by a sighash type BIP-143 defines (ALL, NONE, SINGLE, each also
    // with ANYONECANPAY), a 33-byte compressed public key], the key's hash160 is the coin's
    // P2WPKH program, and the signature is valid (low or high S) over the BIP-143 digest with
    // the coin's amount. False otherwise, and for a coin of any other script: nothing proven.
    static bool spends(const BTCTransactionParser::Transaction& transaction, const UTXO& coin);
};

} // namespace qm
