#pragma once
// Opens a web page in the user's browser: the desktop's URL handler, or (in tests) an opener
// that records what would have opened. Only https pages are opened.

#include <QUrl>
#include <functional>

namespace qm {

using UrlOpener = std::function<bool(const QUrl&)>;

// Replaces the opener; an empty one restores the desktop's (QDesktopServices::openUrl).
void setUrlOpener(UrlOpener opener);
// Hands an https `url` to the opener; false for any other URL or when the opener fails.
bool openExternalUrl(const QUrl& url);

} // namespace qm
