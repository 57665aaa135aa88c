#pragma once
// The relay client's errors; what() is the user-facing text.

#include "platform/Error.h"

#include <string>

namespace qm {

class RelayError : public Error {
public:
    enum class Code { connectionFailed, serverError, notConnected, invalidResponse };

    static RelayError connectionFailed(const std::string& text) {
        return {Code::connectionFailed, "Relay connection failed: " + text, text};
    }
    static RelayError serverError(const std::string& message) {
        return {Code::serverError, "Relay error: " + message, message};
    }
    static RelayError notConnected() { return {Code::notConnected, "Not connected to relay", {}}; }
    static RelayError invalidResponse() {
        return {Code::invalidResponse, "Invalid relay response", {}};
    }

    Code code() const { return code_; }
    // The connection failure's cause or the relay's message; empty for the other cases.
    const std::string& detail() const { return detail_; }

private:
    RelayError(Code code, const std::string& what, std::string detail)
        : Error(what), code_(code), detail_(std::move(detail)) {}

    Code code_;
    std::string detail_;
};

} // namespace qm
