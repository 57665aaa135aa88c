#include "services/evm/BlockscoutPage.h"

#include "core/json/JSONReader.h"
#include "services/evm/InternetDateTime.h"
#include "services/network/DecodingTexts.h"

#include <limits>
#include <nlohmann/json.hpp>

namespace qm {
namespace {

using json = nlohmann::json;

[[noreturn]] void malformed() {
    throw BlockscoutPageError(decodingMalformedText);
}

// The member when present and not null; a parent that is not an object is malformed.
const json* member(const json& parent, const char* key) {
    if (!parent.is_object()) {
        malformed();
    }
    const auto it = parent.find(key);
    return it == parent.end() || it->is_null() ? nullptr : &*it;
}

std::optional<std::string> text(const json& parent, const char* key) {
    const json* value = member(parent, key);
    if (!value) {
        return std::nullopt;
    }
    if (!value->is_string()) {
        malformed();
    }
    return value->get<std::string>();
}

std::optional<std::int64_t> integer(const json& parent, const char* key) {
    const json* value = member(parent, key);
    if (!value) {
        return std::nullopt;
    }
    if (value->is_number_unsigned() &&
        value->get<std::uint64_t>() <=
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return static_cast<std::int64_t>(value->get<std::uint64_t>());
    }
    if (value->is_number_integer() && !value->is_number_unsigned()) {
        return value->get<std::int64_t>();
    }
    malformed();
}

// The sender's nonce, read only to find a transaction by it: a number, or a decimal text, as
// instances differ; anything else leaves it unknown rather than the page unreadable.
std::optional<std::string> nonceText(const json& item) {
    const json* value = member(item, "nonce");
    if (value && value->is_number_unsigned()) {
        return std::to_string(value->get<std::uint64_t>());
    }
    if (value && value->is_string()) {
        const std::string digits = value->get<std::string>();
        if (!digits.empty() && digits.size() <= 20 &&
            digits.find_first_not_of("0123456789") == std::string::npos) {
            return digits;
        }
    }
    return std::nullopt;
}

// "from"."hash" and the like: a nested object's text member.
std::optional<std::string> nestedText(const json& parent, const char* object, const char* key) {
    const json* nested = member(parent, object);
    return nested ? text(*nested, key) : std::nullopt;
}

std::optional<std::string> decimal(std::optional<std::int64_t> value) {
    return value ? std::optional(std::to_string(*value)) : std::nullopt;
}

std::optional<std::string> timestamp(const json& item) {
    const auto value = text(item, "timestamp");
    if (!value) {
        return std::nullopt;
    }
    return decimal(unixSecondsFromInternetDateTime(*value));
}

template <typename MapItem> BlockscoutPage decodePage(std::string_view body, MapItem mapItem) {
    const std::optional<json> parsed = JSONReader::tryRead(body, JSONReader::network);
    if (!parsed || !parsed->is_object()) {
        malformed();
    }
    const json& page = *parsed;
    const json* items = member(page, "items");
    if (!items) {
        throw BlockscoutPageError(decodingMissingText);
    }
    if (!items->is_array()) {
        malformed();
    }
    BlockscoutPage out;
    out.items.reserve(items->size());
    for (const auto& item : *items) {
        out.items.push_back(mapItem(item));
    }
    if (const json* next = member(page, "next_page_params")) {
        BlockscoutNextPage params;
        params.index = integer(*next, "index");
        params.blockNumber = integer(*next, "block_number");
        params.itemsCount = integer(*next, "items_count");
        out.nextPage = params;
    }
    return out;
}

ExplorerTx transaction(const json& item) {
    ExplorerTx tx;
    tx.hash = text(item, "hash");
    tx.from = nestedText(item, "from", "hash");
    tx.to = nestedText(item, "to", "hash");
    tx.value = text(item, "value");
    tx.timeStamp = timestamp(item);
    tx.blockNumber = decimal(integer(item, "block_number"));
    tx.confirmations = decimal(integer(item, "confirmations")).value_or("1");
    tx.isError = text(item, "status") == "error" ? "1" : "0";
    tx.gasUsed = text(item, "gas_used");
    tx.gasPrice = text(item, "gas_price");
    tx.nonce = nonceText(item);
    nestedText(item, "fee", "value"); // read for its kind only
    return tx;
}

ExplorerTx tokenTransfer(const json& item) {
    ExplorerTx tx;
    tx.hash = text(item, "transaction_hash");
    tx.from = nestedText(item, "from", "hash");
    tx.to = nestedText(item, "to", "hash");
    tx.value = nestedText(item, "total", "value");
    tx.timeStamp = timestamp(item);
    tx.blockNumber = decimal(integer(item, "block_number"));
    tx.confirmations = "1";
    tx.isError = "0";
    tx.tokenName = nestedText(item, "token", "name");
    tx.tokenSymbol = nestedText(item, "token", "symbol");
    tx.tokenDecimal = nestedText(item, "total", "decimals");
    const auto tokenDecimals = nestedText(item, "token", "decimals");
    if (!tx.tokenDecimal) {
        tx.tokenDecimal = tokenDecimals;
    }
    tx.contractAddress = nestedText(item, "token", "address_hash");
    // Read for their kind only.
    text(item, "type");
    text(item, "method");
    nestedText(item, "token", "type");
    return tx;
}

} // namespace

BlockscoutPage decodeTransactionPage(std::string_view body) {
    return decodePage(body, transaction);
}

BlockscoutPage decodeTokenTransferPage(std::string_view body) {
    return decodePage(body, tokenTransfer);
}

} // namespace qm
