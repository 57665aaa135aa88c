// Arbitrary bytes into the Electrum receive path: the line splitter (cut into chunks of a
// size the input picks, with a small line limit so overflows happen), then every line
// through the JSON parser and the response and notification readers.
#include "core/json/JSONReader.h"
#include "services/bitcoin/ElectrumLineBuffer.h"
#include "services/bitcoin/ElectrumRPC.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t limit = 16 + data[0] * 16u;
    const std::size_t chunk = 1 + data[1];
    qm::ElectrumLineBuffer buffer(limit);
    for (std::size_t pos = 2; pos < size; pos += chunk) {
        const std::size_t take = std::min(chunk, size - pos);
        const bool fits = buffer.append(qm::ByteView(data + pos, take));
        if (fits == buffer.overflowed()) {
            std::abort();
        }
        // Held bytes never exceed the limit by more than the complete lines not yet taken.
        if (buffer.bufferedBytes() > size) {
            std::abort();
        }
        while (auto line = buffer.nextLine()) {
            if (line->empty() || line->size() > limit || line->find('\n') != std::string::npos) {
                std::abort();
            }
            if (const auto json = qm::JSONReader::tryRead(*line, qm::JSONReader::network)) {
                if (auto response = qm::ElectrumRPCResponse::decode(*json)) {
                    if (response->result) {
                        (void)response->result->dump();
                    }
                }
                (void)qm::ElectrumNotification::decode(*json);
            }
        }
        if (!fits) {
            break;
        }
    }
    return 0;
}
