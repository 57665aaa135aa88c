#include "services/bitcoin/UTXO.h"

#include "services/bitcoin/ElectrumResults.h"

namespace qm {

std::string UTXO::id() const {
    return txHash + ":" + std::to_string(outputIndex);
}

nlohmann::ordered_json UTXO::toJson() const {
    nlohmann::ordered_json out;
    out["txHash"] = txHash;
    out["outputIndex"] = outputIndex;
    out["value"] = value;
    out["height"] = height;
    auto script = nlohmann::ordered_json::array();
    for (const auto byte : scriptPubKey) {
        script.push_back(byte);
    }
    out["scriptPubKey"] = std::move(script);
    return out;
}

namespace {

const nlohmann::json& need(const nlohmann::json& json, const char* key) {
    const auto it = json.find(key);
    if (it == json.end()) {
        throw UTXODecodingError(std::string("UTXO: missing \"") + key + "\"");
    }
    return *it;
}

[[noreturn]] void wrong(const char* key) {
    throw UTXODecodingError(std::string("UTXO: wrong value for \"") + key + "\"");
}

} // namespace

UTXO UTXO::fromJson(const nlohmann::json& json) {
    if (!json.is_object()) {
        throw UTXODecodingError("UTXO: expected an object");
    }
    UTXO utxo;
    const auto& txHash = need(json, "txHash");
    if (!txHash.is_string()) {
        wrong("txHash");
    }
    utxo.txHash = txHash.get<std::string>();
    const auto index = jsonInt64(need(json, "outputIndex"));
    if (!index) {
        wrong("outputIndex");
    }
    utxo.outputIndex = *index;
    const auto value = jsonUInt64(need(json, "value"));
    if (!value) {
        wrong("value");
    }
    utxo.value = *value;
    const auto height = jsonInt64(need(json, "height"));
    if (!height) {
        wrong("height");
    }
    utxo.height = *height;
    const auto& script = need(json, "scriptPubKey");
    if (!script.is_array()) {
        wrong("scriptPubKey");
    }
    for (const auto& element : script) {
        const auto byte = jsonUInt64(element);
        if (!byte || *byte > 0xFF) {
            wrong("scriptPubKey");
        }
        utxo.scriptPubKey.push_back(static_cast<std::uint8_t>(*byte));
    }
    return utxo;
}

} // namespace qm
