#pragma once
// One page of a Blockscout v2 address history (transactions or ERC-20 token transfers), read
// into the wallet's flat explorer records.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// One history entry; every field is optional text.
struct ExplorerTx {
    std::optional<std::string> hash;
    std::optional<std::string> from;
    std::optional<std::string> to;
    std::optional<std::string> value;
    std::optional<std::string> timeStamp; // Unix seconds in decimal
    std::optional<std::string> blockNumber;
    std::optional<std::string> confirmations;
    std::optional<std::string> isError; // "1" or "0"
    std::optional<std::string> gasUsed;
    std::optional<std::string> gasPrice;
    std::optional<std::string> tokenName;
    std::optional<std::string> tokenSymbol;
    std::optional<std::string> tokenDecimal;
    std::optional<std::string> contractAddress;
    std::optional<std::string> nonce; // the sender's, in decimal; transactions only

    bool operator==(const ExplorerTx&) const = default;
};

// "next_page_params": the keys the wallet pages with.
struct BlockscoutNextPage {
    std::optional<std::int64_t> index;
    std::optional<std::int64_t> blockNumber;
    std::optional<std::int64_t> itemsCount;
};

struct BlockscoutPage {
    std::vector<ExplorerTx> items;
    std::optional<BlockscoutNextPage> nextPage; // absent for a missing or null member
};

class BlockscoutPageError : public std::exception {
public:
    explicit BlockscoutPageError(const char* description) : m_description(description) {}
    const char* what() const noexcept override { return m_description; }

private:
    const char* m_description;
};

// Reads a page of "/addresses/{a}/transactions" or "/addresses/{a}/token-transfers". A body
// that is not JSON, lacks "items" or holds a value of the wrong kind throws
// BlockscoutPageError with the description the log line shows.
BlockscoutPage decodeTransactionPage(std::string_view body);
BlockscoutPage decodeTokenTransferPage(std::string_view body);

} // namespace qm
