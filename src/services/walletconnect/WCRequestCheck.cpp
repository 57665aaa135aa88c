#include "services/walletconnect/WCRequestCheck.h"

#include "core/encoding/AsciiCase.h"
#include "core/encoding/Hex.h"
#include "core/model/Amount.h"
#include "services/evm/EIP712Check.h"
#include "services/evm/TypedDataJSON.h"
#include "services/network/UTF8.h"

#include <algorithm>

namespace qm {
namespace {

using json = nlohmann::json;
using Kind = WCPreparedRequest::Kind;

std::optional<std::string> textAt(const std::vector<json>& params, std::size_t index) {
    if (index >= params.size() || !params[index].is_string()) {
        return std::nullopt;
    }
    return params[index].get<std::string>();
}

bool hasHexPrefix(std::string_view text) {
    return text.starts_with("0x") || text.starts_with("0X");
}

// A "0x" hex quantity of at most 256 bits.
std::optional<UInt256> quantity(const json& value) {
    if (!value.is_string()) {
        return std::nullopt;
    }
    const std::string& text = value.get_ref<const std::string&>();
    if (!hasHexPrefix(text) || text.size() == 2) {
        return std::nullopt;
    }
    return UInt256::fromHex(text);
}

std::variant<WCTransactionRequest, WCProtocolError>
readTransaction(const WCSessionRequest& request, Chain chain, std::string_view account) {
    if (request.params.empty() || !request.params[0].is_object()) {
        return WCProtocolError::invalidParams("Invalid transaction params");
    }
    const json& object = request.params[0];
    WCTransactionRequest out;
    if (const auto from = object.find("from"); from != object.end()) {
        if (!from->is_string() ||
            !equalIgnoringASCIICase(from->get_ref<const std::string&>(), account)) {
            return WCProtocolError::unsupportedAccounts();
        }
    }
    const auto to = object.find("to");
    const auto toBytes =
        to != object.end() && to->is_string() && hasHexPrefix(to->get_ref<const std::string&>())
            ? hexToBytes(to->get_ref<const std::string&>())
            : std::nullopt;
    if (!toBytes || toBytes->size() != 20) {
        return WCProtocolError::invalidParams("Invalid 'to' address");
    }
    out.to = *toBytes;
    out.toText = to->get<std::string>();
    if (const auto value = object.find("value"); value != object.end()) {
        const auto parsed = quantity(*value);
        if (!parsed) {
            return WCProtocolError::invalidParams("Invalid value");
        }
        out.value = *parsed;
    }
    const auto data = object.contains("data") ? object.find("data") : object.find("input");
    if (data != object.end()) {
        const auto bytes = data->is_string() && hasHexPrefix(data->get_ref<const std::string&>())
                               ? hexToBytes(data->get_ref<const std::string&>())
                               : std::nullopt;
        if (!bytes) {
            return WCProtocolError::invalidParams("Invalid data");
        }
        out.data = *bytes;
    }
    if (const auto chainId = object.find("chainId"); chainId != object.end()) {
        const bool whole = chainId->is_number_integer() && chainId->get<std::int64_t>() >= 0;
        const auto parsed =
            whole ? std::optional<UInt256>(UInt256(0, 0, 0, chainId->get<std::uint64_t>()))
                  : quantity(*chainId);
        if (!parsed || *parsed != UInt256(0, 0, 0, evmChainID(chain))) {
            return WCProtocolError::invalidParams(
                "The transaction's chainId is not the request's chain");
        }
    }
    const auto hexNumber = [&](const char* key) -> std::optional<std::uint64_t> {
        const auto found = object.find(key);
        if (found == object.end() || !found->is_string()) {
            return std::nullopt;
        }
        return hexToUInt64(found->get<std::string>());
    };
    out.nonce = hexNumber("nonce");
    // "gas" when given, else "gasLimit"; a "gas" that does not parse means an estimate.
    out.gasLimit = object.contains("gas") ? hexNumber("gas") : hexNumber("gasLimit");
    const auto feePerGas = [&](const char* key) -> std::optional<UInt256> {
        const auto found = object.find(key);
        return found == object.end() ? std::nullopt : quantity(*found);
    };
    out.gasPrice = feePerGas("gasPrice");
    out.maxFeePerGas = feePerGas("maxFeePerGas");
    out.maxPriorityFeePerGas = feePerGas("maxPriorityFeePerGas");
    return out;
}

std::string shortened(const std::string& recipient) {
    if (recipient.size() <= 16) {
        return recipient;
    }
    return recipient.substr(0, 8) + "..." + recipient.substr(recipient.size() - 6);
}

} // namespace

std::variant<WCPreparedRequest, WCProtocolError> prepareRequest(const WCSessionRequest& request,
                                                                std::string_view account) {
    const auto chain = chainForCAIP2(request.chainId);
    if (!chain) {
        return WCProtocolError::unsupportedChains();
    }
    WCPreparedRequest out;
    out.request = request;
    out.chain = *chain;
    const std::string& method = request.method;
    if (method == "personal_sign") {
        const auto message = textAt(request.params, 0);
        if (!message) {
            return WCProtocolError::invalidParams("personal_sign needs the message text");
        }
        if (request.params.size() > 1) {
            const auto address = textAt(request.params, 1);
            if (!address || !equalIgnoringASCIICase(*address, account)) {
                return WCProtocolError::unsupportedAccounts();
            }
        }
        // Bytes only when written as "0x" hex; any other text is signed as its UTF-8.
        const auto bytes = hasHexPrefix(*message) ? hexToBytes(*message) : std::nullopt;
        out.message = bytes ? *bytes : Bytes(message->begin(), message->end());
        out.kind = Kind::personalSign;
        return out;
    }
    if (method == "eth_signTypedData_v4" || method == "eth_signTypedData") {
        const auto address = textAt(request.params, 0);
        if (!address || !equalIgnoringASCIICase(*address, account)) {
            return WCProtocolError::unsupportedAccounts();
        }
        const auto text = textAt(request.params, 1);
        if (!text) {
            return WCProtocolError::invalidParams("The typed data must be a JSON text");
        }
        auto typed = parseTypedData(*text);
        if (!typed) {
            return WCProtocolError::invalidParams("Invalid typed data");
        }
        if (const auto refusal = typedDataRefusal(*typed, evmChainID(*chain))) {
            return WCProtocolError::invalidParams(*refusal);
        }
        out.typedData = std::move(*typed);
        out.kind = Kind::typedData;
        return out;
    }
    if (method == "eth_sendTransaction" || method == "eth_signTransaction") {
        auto transaction = readTransaction(request, *chain, account);
        if (auto* refusal = std::get_if<WCProtocolError>(&transaction)) {
            return *refusal;
        }
        out.transaction = std::move(std::get<WCTransactionRequest>(transaction));
        out.kind = method == "eth_sendTransaction" ? Kind::sendTransaction : Kind::signTransaction;
        return out;
    }
    out.kind = Kind::unsupported;
    return out;
}

std::string requestSummary(const WCPreparedRequest& prepared) {
    switch (prepared.kind) {
    case Kind::personalSign:
        if (auto text = utf8Text(prepared.message)) {
            return *text;
        }
        return textAt(prepared.request.params, 0).value_or("");
    case Kind::typedData:
        return typedDataText(*prepared.typedData);
    case Kind::sendTransaction:
    case Kind::signTransaction: {
        const WCTransactionRequest& transaction = prepared.transaction;
        const std::string recipient = shortened(transaction.toText);
        if (transaction.value == UInt256()) {
            return "Contract call to " + recipient;
        }
        const Amount amount{transaction.value,
                            static_cast<unsigned>(nativeDecimals(prepared.chain))};
        return "Send " + amount.exactText() + " " + nativeSymbol(prepared.chain) + " to " +
               recipient;
    }
    case Kind::unsupported:
        break;
    }
    return "Unknown method: " + prepared.request.method;
}

std::optional<std::string> sessionAccount(const WCSession& session, Chain chain) {
    const std::string prefix = "eip155:" + std::to_string(evmChainID(chain)) + ":";
    for (const std::string& account : session.approvedAccounts) {
        if (account.starts_with(prefix)) {
            return account.substr(prefix.size());
        }
    }
    return std::nullopt;
}

} // namespace qm
