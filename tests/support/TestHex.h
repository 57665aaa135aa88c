#pragma once
// Hex text for test vectors; the wallet's own hex helpers are tested separately.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::test {

std::vector<std::uint8_t> unhex(std::string_view hex);
std::string hex(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ascii(std::string_view text);

} // namespace qm::test
