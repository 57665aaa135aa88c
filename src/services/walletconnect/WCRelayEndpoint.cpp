#include "services/walletconnect/WCRelayEndpoint.h"

#include "services/network/EndpointURL.h"

namespace qm {
namespace {

// RFC 3986 unreserved characters, plus "." already among them: what a JWT and an identifier use.
bool isPlainQueryText(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~';
        if (!plain) {
            return false;
        }
    }
    return true;
}

} // namespace

WCRelayEndpoint WCRelayEndpoint::configured(std::string projectId) {
    return {environmentOverride(kOriginVariable, std::string(kDefaultOrigin)),
            environmentOverride(kProjectIdVariable, std::move(projectId))};
}

std::string WCRelayEndpoint::audience() const {
    std::string text = origin;
    if (!text.empty() && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

std::optional<QUrl> WCRelayEndpoint::connectionURL(std::string_view token) const {
    const std::optional<QUrl> base =
        checkedEndpointURL(origin, QLatin1String("wss"), QLatin1String("ws"));
    if (!base || !(base->path().isEmpty() || base->path() == QLatin1String("/"))) {
        return std::nullopt;
    }
    if (!isPlainQueryText(projectId) || !isPlainQueryText(token)) {
        return std::nullopt;
    }
    std::string text = audience();
    text += "/?projectId=" + projectId + "&auth=" + std::string(token);
    QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    return url;
}

} // namespace qm
