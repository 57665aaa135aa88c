#pragma once
// The Electrum client's errors; what() is the user-facing text.

#include "platform/Error.h"

#include <cstdint>
#include <string>

namespace qm {

class ElectrumError : public Error {
public:
    enum class Code {
        connectionFailed,
        serverError,
        decodingFailed,
        notConnected,
        timeout,
        invalidResponse
    };

    static ElectrumError connectionFailed(const std::string& text) {
        return {Code::connectionFailed, "Connection failed: " + text, text, 0};
    }
    static ElectrumError serverError(std::int64_t code, const std::string& message) {
        return {Code::serverError, "Server error " + std::to_string(code) + ": " + message, message,
                code};
    }
    static ElectrumError decodingFailed(const std::string& text) {
        return {Code::decodingFailed, "Decoding failed: " + text, text, 0};
    }
    static ElectrumError notConnected() {
        return {Code::notConnected, "Not connected to Electrum server.", {}, 0};
    }
    static ElectrumError timeout() { return {Code::timeout, "Request timed out.", {}, 0}; }
    static ElectrumError invalidResponse() {
        return {Code::invalidResponse, "Invalid server response.", {}, 0};
    }

    Code code() const { return code_; }
    // The server answered the request with an error: it read it and did not take it. Every
    // other failure may have lost an answer.
    bool isRefusal() const { return code_ == Code::serverError; }
    // The payload text: the connection or decoding text, or the server's message.
    const std::string& detail() const { return detail_; }
    // The server's error code (serverError only).
    std::int64_t serverCode() const { return serverCode_; }

private:
    ElectrumError(Code code, const std::string& what, std::string detail, std::int64_t serverCode)
        : Error(what), code_(code), detail_(std::move(detail)), serverCode_(serverCode) {}

    Code code_;
    std::string detail_;
    std::int64_t serverCode_;
};

} // namespace qm
