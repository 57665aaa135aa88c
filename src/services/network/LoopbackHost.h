#pragma once
// Whether a URL's host names this machine: the only place a client may talk without TLS (the
// tests' loopback servers).

#include <QString>

namespace qm {

// "localhost" in any letter case, or a loopback address (127.0.0.0/8, ::1).
bool isLoopbackHost(const QString& host);

} // namespace qm
