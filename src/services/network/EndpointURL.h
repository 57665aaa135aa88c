#pragma once
// Where a client of a remote service talks: a built-in address that a deployment (or a test
// pointing at a loopback server) replaces through an environment variable, and the check that
// an address so given is safe to use.

#include <QLatin1String>
#include <QUrl>
#include <optional>
#include <string>

namespace qm {

// The environment variable `name` where set and not empty; else `fallback`.
std::string environmentOverride(const char* name, std::string fallback);

// `text` as a URL with a host and no user information, query or fragment, whose scheme is
// `secureScheme`, or `plainScheme` only for a loopback host: plain text never leaves the
// machine. Absent otherwise.
std::optional<QUrl> checkedEndpointURL(const std::string& text, QLatin1String secureScheme,
                                       QLatin1String plainScheme);

} // namespace qm
