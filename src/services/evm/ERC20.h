#pragma once
// The small Ethereum-ABI toolkit of the wallet's EVM side: ERC-20 function selectors, the call
// data of transfer, approve and allowance, and the decoding of string results.

#include "core/crypto/UInt256.h"
#include "platform/Bytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm {

// The first 4 bytes of Keccak-256 of the signature text, e.g. "transfer(address,uint256)".
Bytes functionSelector(std::string_view signature);

// The ERC-20 selectors, computed once on first use.
const Bytes& balanceOfSelector(); // "balanceOf(address)"          70a08231
const Bytes& transferSelector();  // "transfer(address,uint256)"   a9059cbb
const Bytes& approveSelector();   // "approve(address,uint256)"    095ea7b3
const Bytes& allowanceSelector(); // "allowance(address,address)"  dd62ed3e
const Bytes& nameSelector();      // "name()"                      06fdde03
const Bytes& symbolSelector();    // "symbol()"                    95d89b41
const Bytes& decimalsSelector();  // "decimals()"                  313ce567

// 68 bytes: the selector, then each argument as one 32-byte big-endian word. Addresses must be
// 20 bytes; any other length stops the process (callers pass checked addresses only).
Bytes erc20TransferCalldata(ByteView to, const UInt256& amount);
Bytes erc20ApproveCalldata(ByteView spender, const UInt256& amount);
Bytes erc20AllowanceCalldata(ByteView owner, ByteView spender);

// A transfer or approve call as a review names it: the recipient or spender and the amount.
struct ERC20Call {
    enum class Kind { transfer, approve };
    Kind kind = Kind::transfer;
    Bytes party; // 20 bytes
    UInt256 amount;
};
// The call of `data` when it is exactly transfer(address,uint256) or approve(address,uint256):
// the selector and two words, the first a clean address (its 12 leading bytes zero). Absent
// for anything else, which a review then shows as raw call data.
std::optional<ERC20Call> decodeERC20Call(ByteView data);
// An allowance of 2^255 or more: beyond any balance, what dApps ask for as "unlimited"
// (2^256 - 1 most often).
bool isUnlimitedAllowance(const UInt256& amount);

// The text of a contract's string result (name(), symbol()). The ABI dynamic form (offset word,
// length word of 1 to 255, UTF-8 bytes) is tried first when there are 64 bytes or more; the
// older fixed form (UTF-8 in the first 32 bytes, up to the first zero byte, first byte not zero)
// is the fallback. Absent when neither gives text. Offsets and lengths come from any contract
// and are checked without overflow.
std::optional<std::string> decodeABIString(ByteView data);

} // namespace qm
