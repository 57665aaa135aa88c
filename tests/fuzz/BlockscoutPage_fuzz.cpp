// Explorer pages and timestamps from arbitrary bytes: decoding never crashes and either gives
// records or the page error; a timestamp that parses prints back to the same moment.

#include "services/evm/BlockscoutPage.h"
#include "services/evm/InternetDateTime.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        qm::decodeTransactionPage(text);
    } catch (const qm::BlockscoutPageError&) {
    }
    try {
        qm::decodeTokenTransferPage(text);
    } catch (const qm::BlockscoutPageError&) {
    }

    // A parsed UTC stamp without offset must agree with the C library's calendar.
    const auto seconds = qm::unixSecondsFromInternetDateTime(text);
    if (seconds && text.size() > 20 && text.back() == 'Z' && *seconds >= 0) {
        const std::time_t moment = static_cast<std::time_t>(*seconds);
        std::tm utc{};
        gmtime_r(&moment, &utc);
        char printed[32];
        std::strftime(printed, sizeof printed, "%Y-%m-%dT%H:%M:%S", &utc);
        if (text.substr(0, 19) != std::string_view(printed)) {
            std::abort();
        }
    }
    return 0;
}
