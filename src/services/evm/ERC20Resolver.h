#pragma once
// Turns a contract address into a Token by reading name(), symbol() and decimals().

#include "core/model/Token.h"
#include "platform/Error.h"
#include "platform/async/CancellationToken.h"

#include <memory>
#include <qcoro/qcorotask.h>
#include <string>

namespace qm {

class JSONRPCClient;

class ERC20ResolverError : public Error {
public:
    enum class Kind { invalidContract, cannotReadName, cannotReadSymbol, cannotReadDecimals };

    explicit ERC20ResolverError(Kind kind);
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

struct ERC20Resolver {
    // Reads the three values concurrently through `client` and returns the token with the
    // address exactly as given. A failed read is logged once ("[ERC20Resolver] RPC error for
    // <address>: <error>") and its error rethrown unchanged (JSONRPCClientError or
    // HttpTransportError), after the other reads have settled. Undecodable results throw
    // ERC20ResolverError: cannotReadName, then cannotReadSymbol, then cannotReadDecimals
    // (decimals above 77 included). The address itself is not checked.
    static QCoro::Task<Token> resolve(std::string contractAddress, Chain chain,
                                      std::shared_ptr<JSONRPCClient> client,
                                      CancellationToken cancel = {});
};

} // namespace qm
