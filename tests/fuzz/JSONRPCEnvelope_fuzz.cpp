// JSON-RPC replies from arbitrary bytes: decoding never crashes and either gives an envelope
// or std::invalid_argument; what decodes was valid JSON to the bounded reader too.

#include "core/json/JSONReader.h"
#include "services/network/JSONRPCEnvelope.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const qm::JSONRPCEnvelope envelope = qm::decodeJSONRPCEnvelope(body);
        if (!qm::JSONReader::tryRead(std::string_view(body.constData(), size),
                                     qm::JSONReader::network)) {
            std::abort();
        }
        (void)envelope.result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (const std::invalid_argument&) {
    }
    (void)qm::decodingFailureText("fuzz", body);
    return 0;
}
