// Relay frames from arbitrary text: a frame is an answer, a delivery or nothing; no frame that
// names a method is an answer, and a delivery's acknowledgement echoes its id exactly.

#include "core/json/JSONReader.h"
#include "services/walletconnect/WCRelayMessage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const qm::RelayMessage message = qm::parseRelayMessage(text);
    if (std::holds_alternative<std::monostate>(message)) {
        return 0;
    }
    const auto frame = qm::JSONReader::tryRead(text, qm::JSONReader::network);
    if (!frame || !frame->is_object()) {
        std::abort();
    }
    if (const auto* response = std::get_if<qm::RelayResponse>(&message)) {
        if (frame->contains("method") || !frame->contains("id") || (*frame)["id"] != response->id) {
            std::abort();
        }
        return 0;
    }
    const auto& delivery = std::get<qm::RelayDelivery>(message);
    if ((*frame)["method"] != "irn_subscription" ||
        (*frame)["params"]["data"]["topic"] != delivery.topic) {
        std::abort();
    }
    if (delivery.ackId) {
        const auto ack = qm::JSONReader::tryRead(qm::relayAcknowledgement(*delivery.ackId),
                                                 qm::JSONReader::network);
        if (!ack || (*ack)["id"] != (*frame)["id"] || (*ack)["result"] != true) {
            std::abort();
        }
    }
    return 0;
}
