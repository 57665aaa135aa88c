#include "services/solana/SolanaRPCError.h"

namespace qm {

SolanaRPCError SolanaRPCError::httpError(int status) {
    return {Kind::httpError, "SolanaRPCClient: HTTP error " + std::to_string(status), status, {}};
}

SolanaRPCError SolanaRPCError::decodingError(const std::string& detail) {
    return {Kind::decodingError, "SolanaRPCClient: decoding error \u2014 " + detail, 0, detail};
}

SolanaRPCError SolanaRPCError::rpcError(std::int64_t code, const std::string& message) {
    return {Kind::rpcError, "SolanaRPCClient: RPC error " + std::to_string(code) + ": " + message,
            code, message};
}

SolanaRPCError SolanaRPCError::invalidURL() {
    return {Kind::invalidURL, "SolanaRPCClient: invalid URL", 0, {}};
}

SolanaRPCError SolanaRPCError::noResult() {
    return {Kind::noResult, "SolanaRPCClient: response contained no result", 0, {}};
}

} // namespace qm
