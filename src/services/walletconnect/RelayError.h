#pragma once
// The relay client's errors; what() is the user-facing text.

#include "platform/Error.h"

#include <string>

namespace qm {

class RelayError : public Error {
public:
    enum class Code { connectionFailed, serverError, notConnected, invalidResponse };

    // The relay could not be reached or stopped answering (closed, refused, timed out).
    static RelayError connectionFailed(const std::string& text) {
        return {Code::connectionFailed, "Relay connection failed: " + text, text, true};
    }
    // The same text, for a failure that is not the network's: a relay address that does not
    // parse, or an attempt dropped for a newer one.
    static RelayError connectionNotMade(const std::string& text) {
        return {Code::connectionFailed, "Relay connection failed: " + text, text};
    }
    static RelayError serverError(const std::string& message) {
        return {Code::serverError, "Relay error: " + message, message};
    }
    static RelayError notConnected() {
        return {Code::notConnected, "Not connected to relay", {}, true};
    }
    static RelayError invalidResponse() {
        return {Code::invalidResponse, "Invalid relay response", {}};
    }

    Code code() const { return code_; }
    // The connection failure's cause or the relay's message; empty for the other cases.
    const std::string& detail() const { return detail_; }
    // The relay could not be reached or was lost (connectionFailed, notConnected): a user
    // reads the service's name.
    bool unreachable() const { return unreachable_; }

private:
    RelayError(Code code, const std::string& what, std::string detail, bool unreachable = false)
        : Error(what), code_(code), detail_(std::move(detail)), unreachable_(unreachable) {}

    Code code_;
    std::string detail_;
    bool unreachable_;
};

} // namespace qm
