// Stored and wire records read from arbitrary bytes: a failure must be a
// JSONDecodingError, never a crash or another exception.
#include "core/model/JSONFields.h"
#include "core/model/Transaction.h"
#include "core/model/Wallet.h"
#include "core/storage/TokenStore.h"

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qm;
    const ByteView bytes(data, size);
    try {
        const Wallet wallet = decodeWalletMetadata(bytes);
        if (decodeWalletMetadata(encodeWalletMetadata(wallet)) != wallet) {
            __builtin_trap();
        }
        (void)iso8601String(wallet.createdAt);
    } catch (const JSONDecodingError&) {
    }
    try {
        const TokenMap tokens = TokenStore::decodeFile(bytes);
        if (TokenStore::decodeFile(TokenStore::encodeFile(tokens)) != tokens) {
            __builtin_trap();
        }
    } catch (const JSONDecodingError&) {
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)dateFromISO8601(text);
    (void)TokenBalance::balanceFormattedFromHex(text, 18);
    try {
        const nlohmann::json json = json_fields::parse(text);
        try {
            (void)walletFromJSON(json, DateCoding::iso8601);
        } catch (const JSONDecodingError&) {
        }
        try {
            (void)json.get<Transaction>();
        } catch (const JSONDecodingError&) {
        }
    } catch (const JSONDecodingError&) {
    }
    return 0;
}
