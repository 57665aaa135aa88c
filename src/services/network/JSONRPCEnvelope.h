#pragma once
// The JSON-RPC 2.0 envelope shared by the wallet's HTTP JSON-RPC clients (EVM, Solana): the
// request body, and the reply's members decoded the way the clients report them. Each client
// maps a failure to its own error type ("<Client>: decoding error — " + the failure text).

#include <QByteArray>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace qm {

struct JSONRPCEnvelope {
    nlohmann::json result;                                     // null when absent or null
    std::optional<std::pair<std::int64_t, std::string>> error; // code, message
};

// {"jsonrpc":"2.0","method":method,"params":params,"id":id}, written compactly.
QByteArray jsonRPCRequestBody(std::int64_t id, std::string method, nlohmann::json params);

// The reply's "result" and "error". Throws std::invalid_argument with decodingMissingText
// (DecodingTexts.h) when "jsonrpc", "id" or an error's "code" or "message" is missing or null,
// and decodingMalformedText when the body is not a JSON object, "jsonrpc" is not a text, "id"
// or "code" is not a 64-bit integer, or "message" is not a text. "jsonrpc" need not be "2.0"
// and "id" is not compared with the request's.
JSONRPCEnvelope decodeJSONRPCEnvelope(const QByteArray& body);

// The reply's result decoded by `decodeResult(json, Result&)` (none when absent or null) beside
// its error object. The whole reply decodes before either is used, so a result of the wrong
// shape fails even beside an error object; the caller then lets the error object win. Throws
// std::invalid_argument as decodeJSONRPCEnvelope does, and whatever decodeResult throws.
template <typename Result> struct JSONRPCReply {
    std::optional<Result> result;
    std::optional<std::pair<std::int64_t, std::string>> error; // code, message
};

template <typename Result, typename Decode>
JSONRPCReply<Result> decodeJSONRPCReply(const QByteArray& body, Decode&& decodeResult) {
    JSONRPCEnvelope envelope = decodeJSONRPCEnvelope(body);
    JSONRPCReply<Result> reply;
    if (!envelope.result.is_null()) {
        Result value{};
        decodeResult(envelope.result, value);
        reply.result.emplace(std::move(value));
    }
    reply.error = std::move(envelope.error);
    return reply;
}

// `reason` and the body's length: never the body itself, which a hostile server fills (and
// which could be megabytes).
std::string decodingFailureText(const std::string& reason, const QByteArray& body);

// The result of a 200 reply, or the client's failure: `failures` has [[noreturn]] static
// decoding(text), rpc(code, message) and noResult(). The whole reply decodes first, then an
// error object wins over a result.
template <typename Result, typename Failures, typename Decode>
Result jsonRPCResult(const QByteArray& body, Decode&& decodeResult) {
    JSONRPCReply<Result> reply;
    try {
        reply = decodeJSONRPCReply<Result>(body, std::forward<Decode>(decodeResult));
    } catch (const std::invalid_argument& failure) {
        Failures::decoding(decodingFailureText(failure.what(), body));
    }
    if (reply.error) {
        Failures::rpc(reply.error->first, std::move(reply.error->second));
    }
    if (!reply.result) {
        Failures::noResult();
    }
    return std::move(*reply.result);
}

// A JSON integer (not a fraction) within the signed 64-bit range.
bool isJSONInt64(const nlohmann::json& value);

} // namespace qm
