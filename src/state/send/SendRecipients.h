#pragma once
// Whether a recipient typed into the send form can be paid on a chain, and what is wrong with
// it when it cannot: checked in the form, before the review and the password, and again when a
// send is prepared. Every check is exact (checksums included): an address that only looks
// right could belong to nobody.

#include "core/model/Chain.h"
#include "platform/Bytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// The output script paying a Bitcoin main-network segwit address: P2WPKH and P2WSH (Bech32,
// version 0, 20 or 32 bytes) or P2TR (Bech32m, version 1, 32 bytes), written in one letter
// case. None for any other network, kind, checksum or text: coins sent there would be lost.
std::optional<Bytes> bitcoinPaymentScript(std::string_view address);

// The 20 bytes of an EVM address: "0x" (or "0X") and 40 hexadecimal digits, all lower or all
// upper case, or mixed case with a valid EIP-55 checksum. None otherwise.
std::optional<Bytes> evmRecipientBytes(std::string_view address);

// The 32 bytes of a Solana address (Base58); none for any other length or text.
std::optional<Bytes> solanaRecipientBytes(std::string_view address);

// Empty when `address` can be paid on `chain`; else one sentence saying what is wrong, for the
// form to show under the field.
std::string recipientProblem(Chain chain, std::string_view address);

} // namespace qm
