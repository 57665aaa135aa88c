#pragma once
// Where the relay client connects: the relay's websocket origin and the project identifier
// carried in the connection URL. Both have built-in defaults; a deployment (or a test pointing
// at a loopback relay) replaces them through two environment variables.

#include <QUrl>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

struct WCRelayEndpoint {
    static constexpr std::string_view kDefaultOrigin = "wss://relay.walletconnect.org";
    // The placeholder the wallet ships with; a deployment sets its own identifier.
    static constexpr std::string_view kDefaultProjectId = "YOUR_PROJECT_ID";
    static constexpr const char* kOriginVariable = "QUILLMARK_WC_RELAY";
    static constexpr const char* kProjectIdVariable = "QUILLMARK_WC_PROJECT_ID";

    std::string origin;    // "wss://" and the host (and port), no path; the token's audience
    std::string projectId; // placed in the connection URL as it is

    // QUILLMARK_WC_RELAY and QUILLMARK_WC_PROJECT_ID where set and not empty; else the default
    // origin and `projectId`.
    static WCRelayEndpoint configured(std::string projectId = std::string(kDefaultProjectId));

    // The origin without a trailing "/": the relay token's audience.
    std::string audience() const;

    // origin + "/?projectId=" + projectId + "&auth=" + token. Absent when the origin is not
    // "wss://" with a host and at most a port ("ws://" only for a loopback host), or when the
    // project identifier or the token holds a character that a URL query cannot carry as it is.
    std::optional<QUrl> connectionURL(std::string_view token) const;
};

} // namespace qm
