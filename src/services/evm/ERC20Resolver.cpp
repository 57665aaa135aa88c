#include "services/evm/ERC20Resolver.h"

#include "core/encoding/Hex.h"
#include "services/evm/ERC20.h"
#include "services/evm/JSONRPCClient.h"

#include <cstdio>
#include <exception>

namespace qm {
namespace {

const char* resolverText(ERC20ResolverError::Kind kind) {
    switch (kind) {
    case ERC20ResolverError::Kind::invalidContract:
        return "Not a valid ERC-20 contract";
    case ERC20ResolverError::Kind::cannotReadName:
        return "Cannot read token name";
    case ERC20ResolverError::Kind::cannotReadSymbol:
        return "Cannot read token symbol";
    case ERC20ResolverError::Kind::cannotReadDecimals:
        return "Cannot read token decimals";
    }
    return "";
}

struct Read {
    std::string result;
    std::exception_ptr failure;
};

QCoro::Task<Read> settle(QCoro::Task<std::string> call) {
    Read read;
    try {
        read.result = co_await std::move(call);
    } catch (...) {
        read.failure = std::current_exception();
    }
    co_return read;
}

std::string describe(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown error";
    }
}

std::optional<std::string> decodeText(const std::string& result) {
    const auto bytes = hexToBytes(result);
    if (!bytes) {
        return std::nullopt;
    }
    return decodeABIString(*bytes);
}

std::optional<std::int64_t> decodeDecimals(const std::string& result) {
    const auto bytes = hexToBytes(result);
    if (!bytes || bytes->size() < 32) {
        return std::nullopt;
    }
    // Only the low 8 bytes of the first word count.
    std::uint64_t value = 0;
    for (std::size_t i = 24; i < 32; ++i) {
        value = value << 8 | (*bytes)[i];
    }
    if (value >= 78) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(value);
}

} // namespace

ERC20ResolverError::ERC20ResolverError(Kind kind) : Error(resolverText(kind)), m_kind(kind) {}

QCoro::Task<Token> ERC20Resolver::resolve(std::string contractAddress, Chain chain,
                                          std::shared_ptr<JSONRPCClient> client,
                                          CancellationToken cancel) {
    // All three requests are on the wire before the first is awaited.
    std::string nameData = bytesToHex(nameSelector());
    std::string symbolData = bytesToHex(symbolSelector());
    std::string decimalsData = bytesToHex(decimalsSelector());
    QCoro::Task<Read> reads[3] = {
        settle(client->ethCall(contractAddress, std::move(nameData), cancel)),
        settle(client->ethCall(contractAddress, std::move(symbolData), cancel)),
        settle(client->ethCall(contractAddress, std::move(decimalsData), cancel)),
    };
    Read results[3];
    std::exception_ptr failure;
    for (std::size_t i = 0; i < 3; ++i) {
        results[i] = co_await std::move(reads[i]);
        if (!failure && results[i].failure) {
            failure = results[i].failure; // the first in name, symbol, decimals order
        }
    }
    if (failure) {
        std::printf("[ERC20Resolver] RPC error for %s: %s\n", contractAddress.c_str(),
                    describe(failure).c_str());
        std::fflush(stdout);
        std::rethrow_exception(failure);
    }

    auto name = decodeText(results[0].result);
    if (!name) {
        throw ERC20ResolverError(ERC20ResolverError::Kind::cannotReadName);
    }
    auto symbol = decodeText(results[1].result);
    if (!symbol) {
        throw ERC20ResolverError(ERC20ResolverError::Kind::cannotReadSymbol);
    }
    const auto decimals = decodeDecimals(results[2].result);
    if (!decimals) {
        throw ERC20ResolverError(ERC20ResolverError::Kind::cannotReadDecimals);
    }
    co_return Token{std::move(contractAddress), std::move(*symbol), std::move(*name), *decimals,
                    chain};
}

} // namespace qm
