#pragma once
// What the wallet would sign for a dApp's request, read exactly from it before the user sees
// it, or why it refuses it. A request is refused (an error answer, nothing signed) when the
// wallet would otherwise sign something else than asked: another chain than the wallet serves,
// an account that is not the session's, parameters that do not parse (a value, data or
// address), typed data that is incomplete or bound to another chain. A method the wallet does
// not serve is not refused here: the user sees it and rejects it.

#include "core/crypto/UInt256.h"
#include "core/model/Chain.h"
#include "platform/Bytes.h"
#include "services/evm/EIP712.h"
#include "services/walletconnect/WCRecords.h"
#include "services/walletconnect/WCSessionMessages.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace qm {

// The transaction object of "eth_sendTransaction" and "eth_signTransaction".
struct WCTransactionRequest {
    Bytes to;           // 20 bytes
    std::string toText; // "to" as the request wrote it
    UInt256 value;
    Bytes data;
    // Given by the request ("nonce", "gas" or else "gasLimit", as hex quantities); the node's
    // answer otherwise.
    std::optional<std::uint64_t> nonce;
    std::optional<std::uint64_t> gasLimit;
    // The fees per gas the request names ("gasPrice", "maxFeePerGas", "maxPriorityFeePerGas",
    // hex quantities; absent when not given or not one). The wallet's fees come from the node;
    // these are only held to the bounds no honest figure passes.
    std::optional<UInt256> gasPrice;
    std::optional<UInt256> maxFeePerGas;
    std::optional<UInt256> maxPriorityFeePerGas;

    bool operator==(const WCTransactionRequest&) const = default;
};

struct WCPreparedRequest {
    enum class Kind { personalSign, typedData, sendTransaction, signTransaction, unsupported };

    WCSessionRequest request;
    Kind kind = Kind::unsupported;
    Chain chain = Chain::ethereum;
    Bytes message;                            // personalSign: the bytes signed
    std::optional<EIP712TypedData> typedData; // typedData
    WCTransactionRequest transaction;         // the two transaction kinds
};

// The request as the wallet would sign it for `account` (the session's "0x" address on the
// request's chain), or the error to answer it with:
//   - a chain other than Ethereum, Arbitrum and Polygon: unsupportedChains;
//   - an address in the parameters (personal_sign's second, typed data's first, a
//     transaction's "from") that is not `account` (letter case aside): unsupportedAccounts;
//   - personal_sign without a message text; typed data that is not a JSON text (a JSON object
//     would have lost its large integers), does not parse, or that typedDataRefusal refuses
//     for the request's chain; a transaction whose first parameter is no object, whose "to" is
//     not 20 bytes of "0x" hex, whose "value" is not a "0x" hex quantity, whose "data" (or
//     "input") is not "0x" hex bytes, or whose "chainId" is another chain: invalidParams.
// personal_sign signs the bytes of a "0x" hex message, and the UTF-8 bytes of any other text.
std::variant<WCPreparedRequest, WCProtocolError> prepareRequest(const WCSessionRequest& request,
                                                                std::string_view account);

// The text the request sheet shows: the message (decoded when its bytes are UTF-8, else as the
// dApp wrote it), the typed data as signed (domain first, every member), "Send <exact amount>
// <coin of the chain> to <recipient>" or "Contract call to <recipient>" (a recipient longer
// than 16 characters shortened to its first 8, "..." and its last 6), "Unknown method: " and
// the method.
std::string requestSummary(const WCPreparedRequest& prepared);

// The account of a session on `chain`: the address of its CAIP-10 account for that chain.
std::optional<std::string> sessionAccount(const WCSession& session, Chain chain);

} // namespace qm
