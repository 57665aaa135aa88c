#pragma once
// The values the WalletConnect layers pass between them: an approved session (the one record
// that is stored), a pending proposal, a pending request, a dApp's metadata and a namespace.
// Plain values; only WCSession, WCAppMetadata and WCNamespace have a JSON form.

#include "platform/Bytes.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace qm {

// A point in time as the records keep it (milliseconds: a stored date reads back equal).
using WCDate = std::chrono::sys_time<std::chrono::milliseconds>;

// The current time as a WCDate.
WCDate wcNow();

struct WCSession {
    std::string topic; // the session's relay topic and its identity
    Bytes symmetricKey;
    std::string peerName;
    std::string peerURL;
    std::optional<std::string> peerIcon;
    std::vector<std::string> approvedChains;   // CAIP-2, e.g. "eip155:1"
    std::vector<std::string> approvedAccounts; // CAIP-10, chain ":" address
    WCDate expiryDate;

    bool operator==(const WCSession&) const = default;

    // {"topic", "symmetricKey" (one number per byte), "peerName", "peerURL", "peerIcon" (left
    // out when absent), "approvedChains", "approvedAccounts", "expiryDate" (seconds since
    // 2001-01-01 00:00:00 UTC)}.
    nlohmann::json toJSON() const;
    // Absent when a required key is missing or of another kind, a key byte is not an integer
    // from 0 to 255, or the date is not a number within about a century of 2001.
    static std::optional<WCSession> fromJSON(const nlohmann::json& value);
};

// The stored list, read entry by entry: one entry that does not decode (or whose key is not 32
// bytes) neither empties the list nor is lost, since it is written back as it was.
struct WCStoredSessions {
    std::vector<WCSession> sessions;
    std::vector<nlohmann::json> unreadable; // the entries as stored
};

// A JSON array of the sessions, then the unreadable entries unchanged.
nlohmann::json sessionsToJSON(const std::vector<WCSession>& sessions,
                              const std::vector<nlohmann::json>& unreadable = {});
// Absent unless `value` is an array.
std::optional<WCStoredSessions> sessionsFromJSON(const nlohmann::json& value);

struct WCAppMetadata {
    std::string name;
    std::string description;
    std::string url;
    std::vector<std::string> icons;

    bool operator==(const WCAppMetadata&) const = default;
    nlohmann::json toJSON() const;
    // All four members required.
    static std::optional<WCAppMetadata> fromJSON(const nlohmann::json& value);
};

struct WCNamespace {
    std::optional<std::vector<std::string>> chains; // CAIP-2
    std::vector<std::string> methods;
    std::vector<std::string> events;

    bool operator==(const WCNamespace&) const = default;
    // "chains" left out when absent.
    nlohmann::json toJSON() const;
    // "methods" and "events" required; "chains" optional (null counts as absent).
    static std::optional<WCNamespace> fromJSON(const nlohmann::json& value);
};

// Namespaces by name ("eip155").
using WCNamespaces = std::map<std::string, WCNamespace>;

struct WCSessionProposal {
    std::int64_t id = 0; // the proposal request's JSON-RPC id; the answer carries it
    std::string pairingTopic;
    std::string proposerPublicKey; // hex text as the proposal carried it
    WCAppMetadata metadata;
    WCNamespaces requiredNamespaces;
    WCNamespaces optionalNamespaces;
    // When the dApp stops waiting for the answer, if it said.
    std::optional<WCDate> expiry;

    bool operator==(const WCSessionProposal&) const = default;
};

struct WCSessionRequest {
    std::int64_t id = 0; // the request's JSON-RPC id; the response carries it
    std::string sessionTopic;
    std::string chainId; // CAIP-2
    std::string method;
    std::vector<nlohmann::json> params; // as received
    // When the dApp stops waiting for the answer, if it said.
    std::optional<WCDate> expiry;

    bool operator==(const WCSessionRequest&) const = default;
};

} // namespace qm
