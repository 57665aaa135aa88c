#include "services/network/EndpointURL.h"

#include "services/network/LoopbackHost.h"

#include <QtGlobal>

namespace qm {

std::string environmentOverride(const char* name, std::string fallback) {
    const QByteArray value = qgetenv(name);
    return value.isEmpty() ? std::move(fallback) : value.toStdString();
}

std::optional<QUrl> checkedEndpointURL(const std::string& text, QLatin1String secureScheme,
                                       QLatin1String plainScheme) {
    QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() ||
        url.hasFragment()) {
        return std::nullopt;
    }
    const QString scheme = url.scheme();
    if (scheme != secureScheme && !(scheme == plainScheme && isLoopbackHost(url.host()))) {
        return std::nullopt;
    }
    return url;
}

} // namespace qm
