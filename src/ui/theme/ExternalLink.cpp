#include "ui/theme/ExternalLink.h"

#include <QDesktopServices>

namespace qm {
namespace {

UrlOpener& currentOpener() {
    static UrlOpener opener;
    return opener;
}

} // namespace

void setUrlOpener(UrlOpener opener) {
    currentOpener() = std::move(opener);
}

bool openExternalUrl(const QUrl& url) {
    if (!url.isValid() || url.scheme() != QStringLiteral("https")) {
        return false;
    }
    const UrlOpener& opener = currentOpener();
    return opener ? opener(url) : QDesktopServices::openUrl(url);
}

} // namespace qm
