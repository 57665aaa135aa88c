// Typed data from a dApp, JSON text to digest: parsing, checking, showing and encoding must
// never crash, whatever the text, the declared types or the values; what the check accepts is
// shown and hashed.
#include "services/evm/EIP712.h"
#include "services/evm/EIP712Check.h"
#include "services/evm/TypedDataJSON.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

using nlohmann::json;
using namespace qm;

// Every kind of field, so that any object the fuzzer writes with one-letter keys reaches
// the value encoders, including recursion through structs and arrays.
EIP712Types everyKind() {
    return {
        {"EIP712Domain",
         {{"name", "string"},
          {"chainId", "uint256"},
          {"verifyingContract", "address"},
          {"salt", "bytes32"}}},
        {"M",
         {{"a", "uint256"},
          {"b", "int8"},
          {"c", "bool"},
          {"d", "address"},
          {"e", "string"},
          {"f", "bytes"},
          {"g", "bytes4"},
          {"h", "N"},
          {"i", "N[]"},
          {"j", "uint256[][]"},
          {"k", "M[]"},
          {"l", "string[]"},
          {"m", "fixed"},
          {"n", "int256[]"},
          {"o", "uint8[3]"},
          {"p", "N[2][]"}}},
        {"N", {{"x", "string"}, {"y", "M"}}},
    };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto document = parseJSONKeepingBigIntegers(text);
    if (!document) {
        return 0;
    }
    // As a whole request: checked against two chains, shown when accepted, hashed either way.
    if (const auto typed = typedDataFromJSON(*document)) {
        for (const std::optional<std::uint64_t> chain :
             {std::optional<std::uint64_t>(1), std::optional<std::uint64_t>()}) {
            if (!typedDataRefusal(*typed, chain)) {
                const std::string text = typedDataText(*typed);
                if (text.empty() || text.front() != '{') {
                    __builtin_trap();
                }
            }
        }
        (void)typedDataDigest(*typed);
    }
    if (!document->is_object()) {
        return 0;
    }
    // As the message and the domain under a fixed table.
    EIP712TypedData fixed{everyKind(), "M", document->get<json::object_t>(),
                          document->get<json::object_t>()};
    if (!typedDataRefusal(fixed, 1)) {
        (void)typedDataText(fixed);
    }
    (void)typedDataDigest(fixed);
    // As a types table, with each declared name as the primary type and the same object
    // as the message.
    json request = {{"types", *document}, {"domain", json::object()}, {"message", *document}};
    for (const auto& [name, fields] : document->items()) {
        request["primaryType"] = name;
        if (const auto typed = typedDataFromJSON(request)) {
            if (!typedDataRefusal(*typed, std::nullopt)) {
                (void)typedDataText(*typed);
            }
            (void)typedDataDigest(*typed);
            (void)encodeType(name, typed->types);
        }
    }
    return 0;
}
