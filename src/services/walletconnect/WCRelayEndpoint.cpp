#include "services/walletconnect/WCRelayEndpoint.h"

#include "services/network/LoopbackHost.h"

#include <QtGlobal>

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

std::string fromEnvironment(const char* name, std::string fallback) {
    const QByteArray value = qgetenv(name);
    return value.isEmpty() ? std::move(fallback) : value.toStdString();
}

} // namespace

WCRelayEndpoint WCRelayEndpoint::configured(std::string projectId) {
    return {fromEnvironment(kOriginVariable, std::string(kDefaultOrigin)),
            fromEnvironment(kProjectIdVariable, std::move(projectId))};
}

std::string WCRelayEndpoint::audience() const {
    std::string text = origin;
    if (!text.empty() && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

std::optional<QUrl> WCRelayEndpoint::connectionURL(std::string_view token) const {
    const QUrl base(QString::fromStdString(origin), QUrl::StrictMode);
    if (!base.isValid() || base.host().isEmpty() || !base.userInfo().isEmpty() ||
        !(base.path().isEmpty() || base.path() == QLatin1String("/")) || base.hasQuery() ||
        base.hasFragment()) {
        return std::nullopt;
    }
    const QString scheme = base.scheme();
    const bool secure = scheme == QLatin1String("wss");
    // Plain text only where nothing leaves the machine.
    if (!secure && !(scheme == QLatin1String("ws") && isLoopbackHost(base.host()))) {
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
