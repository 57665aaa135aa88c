#pragma once
// The Solana client's errors; what() is the user-facing text.

#include "platform/Error.h"

#include <cstdint>
#include <string>

namespace qm {

class SolanaRPCError : public Error {
public:
    enum class Kind { httpError, decodingError, rpcError, invalidURL, noResult };

    // "SolanaRPCClient: HTTP error " + status.
    static SolanaRPCError httpError(int status);
    // "SolanaRPCClient: decoding error — " + detail.
    static SolanaRPCError decodingError(const std::string& detail);
    // "SolanaRPCClient: RPC error " + code + ": " + message.
    static SolanaRPCError rpcError(std::int64_t code, const std::string& message);
    static SolanaRPCError invalidURL();
    static SolanaRPCError noResult();

    Kind kind() const { return m_kind; }
    // The node read the request and did not take it (an error object, a 4xx status, no
    // result), or it never left; false when its answer may be lost (a gateway's 5xx, an
    // unreadable reply).
    bool isRefusal() const {
        return m_kind == Kind::rpcError || m_kind == Kind::noResult || m_kind == Kind::invalidURL ||
               (m_kind == Kind::httpError && m_code >= 400 && m_code < 500);
    }
    // The status of an httpError, the code of an rpcError; 0 otherwise.
    std::int64_t code() const { return m_code; }
    // The node's message of an rpcError, the detail of a decodingError; empty otherwise.
    const std::string& detail() const { return m_detail; }

private:
    SolanaRPCError(Kind kind, const std::string& text, std::int64_t code, std::string detail)
        : Error(text), m_kind(kind), m_code(code), m_detail(std::move(detail)) {}

    Kind m_kind;
    std::int64_t m_code;
    std::string m_detail;
};

} // namespace qm
