#pragma once
// The bodies of the WalletConnect sign protocol as the session manager sends and reads them:
// settlement, the answers to a proposal, the answers to a request, deletion; the proposals and
// requests a dApp sends; the wallet's namespaces and metadata, and whether a proposal asks for
// more than they offer. Pure: JSON in, JSON or records out.

#include "core/model/Chain.h"
#include "services/walletconnect/WCRecords.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// An error answer of the protocol: {"code", "message"}.
struct WCProtocolError {
    int code = 0;
    std::string message;

    bool operator==(const WCProtocolError&) const = default;

    // The user said no (5000, "User rejected").
    static WCProtocolError userRejected();
    static WCProtocolError unsupportedChains();       // 5100
    static WCProtocolError unsupportedMethods();      // 5101
    static WCProtocolError unsupportedEvents();       // 5102
    static WCProtocolError unsupportedAccounts();     // 5103
    static WCProtocolError unsupportedNamespaceKey(); // 5104
    // The request or proposal arrived past the expiry its sender gave (8000).
    static WCProtocolError expired();
    // The request's parameters cannot be signed as they are (-32602): `why` says what is wrong.
    static WCProtocolError invalidParams(const std::string& why);
};

inline constexpr std::int64_t kWCTagProposalAnswer = 1101;
inline constexpr std::int64_t kWCTagSettlement = 1102;
inline constexpr std::int64_t kWCTagRequestAnswer = 1109;
inline constexpr std::int64_t kWCTagDeletion = 1112;
// Every message the wallet publishes lives this long in the relay's mailbox.
inline constexpr std::int64_t kWCMessageTTLSeconds = 300;
// A settled session lasts seven days.
inline constexpr std::int64_t kWCSessionSeconds = 604800;

// The methods the wallet offers and serves, in this order, and its events.
const std::vector<std::string>& walletMethods();
const std::vector<std::string>& walletEvents();

// {"eip155": {"chains", "accounts", "methods", "events"}}: for each of `chains` that is an EVM
// chain, in order, "eip155:<id>" and "eip155:<id>:<address>" (the address as given).
nlohmann::json walletNamespaces(const std::vector<Chain>& chains, const std::string& address);
// The CAIP-2 chains and CAIP-10 accounts of walletNamespaces, for the stored session.
std::vector<std::string> walletChainIds(const std::vector<Chain>& chains);
std::vector<std::string> walletAccounts(const std::vector<Chain>& chains,
                                        const std::string& address);
// {"name": "Quillmark", "description": "Multi-chain wallet", "url", "icons"}.
nlohmann::json walletMetadata();

// Namespaces by key from an object of objects: "chains" when a list of texts (else absent),
// "methods" and "events" when lists of texts (else empty); other members ignored. Empty when
// `value` is not an object whose members are all objects.
WCNamespaces parseNamespaces(const nlohmann::json& value);

// Why the wallet cannot meet `required` with its namespaces (Ethereum, Arbitrum and Polygon,
// walletMethods, walletEvents); none when it can. A key other than "eip155" or "eip155:<id>"
// is refused with unsupportedNamespaceKey, a chain outside the three with unsupportedChains, a
// method with unsupportedMethods, an event with unsupportedEvents.
std::optional<WCProtocolError> requiredNamespacesRefusal(const WCNamespaces& required);

// The chain of a CAIP-2 id the wallet serves: "eip155:1", "eip155:42161", "eip155:137".
// None for any other text (another chain, another namespace, a malformed id).
std::optional<Chain> chainForCAIP2(std::string_view chainId);

// A message's "id": a JSON number with an integral value within the signed 64-bit range, or
// the dApp client's text form of a large id (decimal digits followed by "n").
std::optional<std::int64_t> messageId(const nlohmann::json& body);

// A "wc_sessionPropose" body on `pairingTopic`; none when "id", "params", "params.proposer",
// its "publicKey" (text), its "metadata" or "metadata.name" (text) is missing or of another
// kind. "params.expiryTimestamp" (seconds since 1970) becomes the proposal's expiry.
std::optional<WCSessionProposal> readProposal(const nlohmann::json& body,
                                              const std::string& pairingTopic);
// A "wc_sessionRequest" body on `sessionTopic`; none when "id", "params", "params.request" or
// its "method" (text) is missing or of another kind. "params.chainId" defaults to "eip155:1";
// "request.params" to an empty list (also when it is no list); "request.expiryTimestamp"
// becomes the request's expiry.
std::optional<WCSessionRequest> readRequest(const nlohmann::json& body,
                                            const std::string& sessionTopic);

// The wallet's messages.
nlohmann::json settlementMessage(std::int64_t id, const nlohmann::json& namespaces,
                                 const std::string& publicKeyHex, std::int64_t expirySeconds);
nlohmann::json proposalAnswer(std::int64_t id, const std::string& publicKeyHex);
nlohmann::json resultMessage(std::int64_t id, const nlohmann::json& result);
nlohmann::json errorMessage(std::int64_t id, const WCProtocolError& error);
// "wc_sessionDelete" with code 6000, "User disconnected".
nlohmann::json deletionMessage(std::int64_t id);

} // namespace qm
