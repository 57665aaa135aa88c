#pragma once
// The pairing a dApp offers as "wc:" topic "@2?" query, the query carrying the pairing key
// ("symKey", 64 hex digits), the relay protocol ("relay-protocol") and the time after which
// the dApp no longer listens on the pairing ("expiryTimestamp", seconds since 1970).

#include "platform/Bytes.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

struct WCPairingURI {
    std::string topic;         // the 64 characters between "wc:" and "@2?"
    Bytes symKey;              // 32 bytes
    std::string relayProtocol; // "irn" when the query names none
    // Absent when the query gives none.
    std::optional<std::int64_t> expiryTimestamp;
};

// The pairing of a URI, after trimming white space and line breaks at both ends; absent for
// anything else: another prefix (case matters) or version, a topic that is not 64 characters,
// a query without parameters, a "symKey" that is not exactly 64 hex digits, or an
// "expiryTimestamp" that is not a plain decimal integer within 64 bits (empty, signed, a
// fraction, an exponent, hex).
std::optional<WCPairingURI> parsePairingURI(std::string_view uri);

// The "name=value" pieces of a query, split at "&" and then at the first "=" with empty parts
// dropped; a piece that does not give two parts is skipped, a later name replaces an earlier
// one, nothing is percent-decoded.
std::map<std::string, std::string, std::less<>> parseQueryParameters(std::string_view query);

} // namespace qm
