// The bounded reader from arbitrary bytes: it gives a value within its limits or refuses with
// JSONReadError, never crashes; what it reads prints back to text it reads to the same value.

#include "core/json/JSONReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

std::size_t depthOf(const nlohmann::json& value) {
    std::size_t deepest = 0;
    if (value.is_structured()) {
        for (const auto& child : value) {
            deepest = std::max(deepest, depthOf(child));
        }
        return deepest + 1;
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using qm::JSONReader;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const JSONReader::Limits limits{4096, 16};
    try {
        const nlohmann::json value = JSONReader::read(text, limits);
        if (depthOf(value) > limits.maxDepth || text.find('\0') != std::string_view::npos) {
            std::abort();
        }
        const std::string printed = value.dump();
        if (JSONReader::read(printed, JSONReader::stored) != value) {
            std::abort();
        }
    } catch (const qm::JSONReadError&) {
    }
    return 0;
}
