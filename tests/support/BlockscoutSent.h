#pragma once
// Blockscout v2's list of what an address sent ("/api/v2/addresses/<address>/transactions?
// filter=from", newest first), as an HttpFixture serves it: page n of `pages` (n from the
// "index" paging parameter the page before gave), read when asked; anything else is 404.

#include "HttpFixture.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qm::test {

// `pages` must outlive the handler.
HttpFixture::Handler blockscoutSentPages(std::string address,
                                         const std::vector<nlohmann::json>* pages);

// An item of the list: a transaction of `from` with its nonce.
nlohmann::json blockscoutSentItem(const std::string& hash, std::uint64_t nonce,
                                  const std::string& from);

} // namespace qm::test
