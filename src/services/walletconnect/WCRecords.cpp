#include "services/walletconnect/WCRecords.h"

#include <cmath>

namespace qm {
namespace {

using nlohmann::json;

// 2001-01-01 00:00:00 UTC, the origin of stored dates.
constexpr std::chrono::seconds kReferenceDate{978'307'200};
// Stored dates further than this from the origin are refused (about 126 years each way).
constexpr double kMaxDateOffsetSeconds = 4e9;

std::optional<std::string> stringAt(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

std::optional<std::vector<std::string>> stringsIn(const json& value) {
    if (!value.is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    out.reserve(value.size());
    for (const json& element : value) {
        if (!element.is_string()) {
            return std::nullopt;
        }
        out.push_back(element.get<std::string>());
    }
    return out;
}

std::optional<std::vector<std::string>> stringsAt(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return std::nullopt;
    }
    return stringsIn(*it);
}

std::optional<Bytes> bytesAt(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_array()) {
        return std::nullopt;
    }
    Bytes out;
    out.reserve(it->size());
    for (const json& element : *it) {
        if (element.is_number_unsigned() && element.get<std::uint64_t>() <= 255) {
            out.push_back(static_cast<std::uint8_t>(element.get<std::uint64_t>()));
        } else if (element.is_number_integer() && element.get<std::int64_t>() >= 0 &&
                   element.get<std::int64_t>() <= 255) {
            out.push_back(static_cast<std::uint8_t>(element.get<std::int64_t>()));
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<WCDate> dateAt(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) {
        return std::nullopt;
    }
    const double seconds = it->get<double>();
    if (!std::isfinite(seconds) || std::fabs(seconds) > kMaxDateOffsetSeconds) {
        return std::nullopt;
    }
    const auto offset = std::chrono::milliseconds(std::llround(seconds * 1000.0));
    return WCDate(kReferenceDate + offset);
}

double storedDate(WCDate date) {
    const auto offset = date.time_since_epoch() - kReferenceDate;
    return static_cast<double>(offset.count()) / 1000.0;
}

} // namespace

WCDate wcNow() {
    return std::chrono::time_point_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now());
}

json WCSession::toJSON() const {
    json out = {{"topic", topic},
                {"symmetricKey", symmetricKey},
                {"peerName", peerName},
                {"peerURL", peerURL},
                {"approvedChains", approvedChains},
                {"approvedAccounts", approvedAccounts},
                {"expiryDate", storedDate(expiryDate)}};
    if (peerIcon) {
        out["peerIcon"] = *peerIcon;
    }
    return out;
}

std::optional<WCSession> WCSession::fromJSON(const json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    WCSession session;
    auto topic = stringAt(value, "topic");
    auto key = bytesAt(value, "symmetricKey");
    auto name = stringAt(value, "peerName");
    auto url = stringAt(value, "peerURL");
    auto chains = stringsAt(value, "approvedChains");
    auto accounts = stringsAt(value, "approvedAccounts");
    const auto expiry = dateAt(value, "expiryDate");
    if (!topic || !key || !name || !url || !chains || !accounts || !expiry) {
        return std::nullopt;
    }
    if (const auto icon = value.find("peerIcon"); icon != value.end() && !icon->is_null()) {
        if (!icon->is_string()) {
            return std::nullopt;
        }
        session.peerIcon = icon->get<std::string>();
    }
    session.topic = std::move(*topic);
    session.symmetricKey = std::move(*key);
    session.peerName = std::move(*name);
    session.peerURL = std::move(*url);
    session.approvedChains = std::move(*chains);
    session.approvedAccounts = std::move(*accounts);
    session.expiryDate = *expiry;
    return session;
}

json sessionsToJSON(const std::vector<WCSession>& sessions, const std::vector<json>& unreadable) {
    json out = json::array();
    for (const WCSession& session : sessions) {
        out.push_back(session.toJSON());
    }
    for (const json& entry : unreadable) {
        out.push_back(entry);
    }
    return out;
}

std::optional<WCStoredSessions> sessionsFromJSON(const json& value) {
    if (!value.is_array()) {
        return std::nullopt;
    }
    WCStoredSessions out;
    for (const auto& element : value) {
        auto session = WCSession::fromJSON(element);
        if (session && session->symmetricKey.size() == 32) {
            out.sessions.push_back(std::move(*session));
        } else {
            out.unreadable.push_back(element);
        }
    }
    return out;
}

json WCAppMetadata::toJSON() const {
    return {{"name", name}, {"description", description}, {"url", url}, {"icons", icons}};
}

std::optional<WCAppMetadata> WCAppMetadata::fromJSON(const json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    auto name = stringAt(value, "name");
    auto description = stringAt(value, "description");
    auto url = stringAt(value, "url");
    auto icons = stringsAt(value, "icons");
    if (!name || !description || !url || !icons) {
        return std::nullopt;
    }
    return WCAppMetadata{std::move(*name), std::move(*description), std::move(*url),
                         std::move(*icons)};
}

json WCNamespace::toJSON() const {
    json out = {{"methods", methods}, {"events", events}};
    if (chains) {
        out["chains"] = *chains;
    }
    return out;
}

std::optional<WCNamespace> WCNamespace::fromJSON(const json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    WCNamespace out;
    auto methods = stringsAt(value, "methods");
    auto events = stringsAt(value, "events");
    if (!methods || !events) {
        return std::nullopt;
    }
    if (const auto chains = value.find("chains"); chains != value.end() && !chains->is_null()) {
        out.chains = stringsIn(*chains);
        if (!out.chains) {
            return std::nullopt;
        }
    }
    out.methods = std::move(*methods);
    out.events = std::move(*events);
    return out;
}

} // namespace qm
