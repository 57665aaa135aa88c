// decodeABIString over arbitrary contract return data: no out-of-bounds read (offsets and
// lengths are attacker-chosen), and any text it returns is valid, non-empty UTF-8 read from
// inside the input.
#include "services/evm/ERC20.h"
#include "services/network/UTF8.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qm::ByteView input(data, size);
    const auto text = qm::decodeABIString(input);
    if (!text) {
        return 0;
    }
    if (text->empty() || text->size() > 255 || !qm::isValidUTF8(qm::utf8View(*text))) {
        std::abort();
    }
    const std::string_view whole(reinterpret_cast<const char*>(data), size);
    if (whole.find(*text) == std::string_view::npos) {
        std::abort();
    }
    return 0;
}
