#pragma once
// The txid of a raw Bitcoin transaction, worked out from its bytes alone, as a server would:
// what a scripted Electrum server answers a broadcast with.

#include <string>

namespace qm::test {

// The double SHA-256 of the form without marker, flag and witnesses, byte-reversed, in
// lowercase hex. Throws std::runtime_error for a truncated transaction or one that is not hex.
std::string rawTransactionID(const std::string& rawHex);

} // namespace qm::test
