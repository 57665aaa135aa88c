// Driver of btc_peer.mjs: "sign" -> {"hex"}, "parse" -> {"outputs"}; amounts as decimal text.

#include "PeerDriver.h"
#include "core/encoding/Hex.h"
#include "platform/SecureBytes.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/BTCTransactionParser.h"

#include <stdexcept>
#include <string>

namespace {

using nlohmann::json;

std::uint64_t amount(const json& text) {
    return std::stoull(text.get<std::string>());
}

json sign(const json& request) {
    qm::BTCUnsignedTransaction tx;
    tx.version = request["version"].get<std::uint32_t>();
    tx.lockTime = request["lockTime"].get<std::uint32_t>();
    for (const auto& input : request["inputs"]) {
        tx.inputs.push_back({qm::test::hexField(input, "txHash"),
                             input["outputIndex"].get<std::uint32_t>(),
                             input["sequence"].get<std::uint32_t>(),
                             {}});
    }
    for (const auto& output : request["outputs"]) {
        tx.outputs.push_back({amount(output["value"]), qm::test::hexField(output, "script")});
    }
    std::vector<qm::UTXO> utxos;
    for (const auto& value : request["amounts"]) {
        utxos.push_back({"", 0, amount(value), 0, {}});
    }
    std::vector<qm::SecureBytes> keys;
    for (const auto& key : request["keys"]) {
        qm::Bytes raw = qm::test::hexField(json{{"key", key}}, "key");
        keys.emplace_back(raw);
        qm::wipe(raw);
    }
    qm::BTCSigner::sign(tx, utxos, keys);
    return {{"hex", qm::bytesToPlainHex(qm::BTCSigner::serialize(true, tx.version, tx.inputs,
                                                                 tx.outputs, tx.lockTime))}};
}

json parse(const json& request) {
    auto outputs = json::array();
    for (const auto& output :
         qm::BTCTransactionParser::parseOutputs(request["hex"].get<std::string>())) {
        outputs.push_back({{"value", std::to_string(output.value)},
                           {"address", output.address ? json(*output.address) : json(nullptr)}});
    }
    return {{"outputs", outputs}};
}

} // namespace

int main() {
    return qm::test::runPeerDriver([](const json& request) -> json {
        const auto op = request["op"].get<std::string>();
        if (op == "sign") {
            return sign(request);
        }
        if (op == "parse") {
            return parse(request);
        }
        throw std::invalid_argument("unknown op " + op);
    });
}
