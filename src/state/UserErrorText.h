#pragma once
// What a user reads of a failure that reached a screen: a service that could not be reached is
// named in the words its owner gave it ("Cannot connect to Ethereum RPC", "Cannot reach the
// Jupiter swap service") rather than in the network library's ("Host rpc.ankr.com not found"),
// which go to the diagnostics on standard output only.

#include <QString>
#include <exception>

namespace qm {

// What a user reads when the WalletConnect relay cannot be reached.
inline constexpr const char* relayUnreachableText = "Cannot connect to the WalletConnect relay";

// A transport failure of a named service (no connection, TLS, a time-out, anything else below
// HTTP; the relay's lost or refused connection) gives that service's unreachable text and
// prints one "[Network] " line with the raw text; every other failure, a cancelled request and
// a reply too large included, gives its own text.
QString userErrorText(const std::exception& error);

} // namespace qm
