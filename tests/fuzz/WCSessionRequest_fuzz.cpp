// What a dApp sends inside its envelopes, JSON text to what the wallet would show and sign:
// reading proposals and requests and preparing requests must never crash, and a prepared
// request always has a text to show.
#include "core/json/JSONReader.h"
#include "services/walletconnect/WCRequestCheck.h"
#include "services/walletconnect/WCSessionMessages.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto body = qm::JSONReader::tryRead(text, {1u << 20, 64});
    if (!body) {
        return 0;
    }
    if (const auto proposal = qm::readProposal(*body, "pairing")) {
        (void)qm::requiredNamespacesRefusal(proposal->requiredNamespaces);
    }
    // As a whole request, and as the parameters of each method the wallet serves.
    std::vector<qm::WCSessionRequest> requests;
    if (auto request = qm::readRequest(*body, "session")) {
        requests.push_back(std::move(*request));
    }
    for (const char* method :
         {"personal_sign", "eth_signTypedData_v4", "eth_sendTransaction", "eth_signTransaction"}) {
        qm::WCSessionRequest request;
        request.chainId = "eip155:137";
        request.method = method;
        if (body->is_array()) {
            request.params.assign(body->begin(), body->end());
        } else {
            request.params.push_back(*body);
        }
        requests.push_back(std::move(request));
    }
    for (const qm::WCSessionRequest& request : requests) {
        const auto prepared =
            qm::prepareRequest(request, "0x9858EfFD232B4033E47d90003D41EC34EcaEda94");
        if (const auto* ready = std::get_if<qm::WCPreparedRequest>(&prepared)) {
            (void)qm::requestSummary(*ready);
        }
    }
    return 0;
}
