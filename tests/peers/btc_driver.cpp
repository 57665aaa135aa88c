// Driver of btc_peer.mjs: "sign" -> {"hex"}, "parse" -> {"outputs"}, "read" (a whole
// transaction and the coins its inputs spend) -> {"transaction", "spends"}; amounts as decimal
// text.

#include "PeerDriver.h"
#include "core/encoding/Hex.h"
#include "platform/SecureBytes.h"
#include "services/bitcoin/BTCSigner.h"
#include "services/bitcoin/BTCTransactionParser.h"
#include "services/bitcoin/BTCWitnessVerifier.h"

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

// The transaction as read (null when it does not read), and for each input whether its witness
// spends the coin given for it, and the same coin one satoshi larger.
json read(const json& request) {
    const auto tx = qm::BTCTransactionParser::transaction(request["hex"].get<std::string>());
    if (!tx) {
        return {{"transaction", nullptr}};
    }
    json inputs = json::array();
    const std::vector<std::string> outpoints = tx->outpoints();
    for (std::size_t i = 0; i < outpoints.size(); ++i) {
        json witness = json::array();
        for (const qm::Bytes& item : tx->body.inputs[i].witness) {
            witness.push_back(qm::bytesToPlainHex(item));
        }
        inputs.push_back({{"outpoint", outpoints[i]},
                          {"sequence", tx->body.inputs[i].sequence},
                          {"script", qm::bytesToPlainHex(tx->signatureScripts[i])},
                          {"witness", witness}});
    }
    json outputs = json::array();
    for (const qm::BTCTxOutput& output : tx->body.outputs) {
        outputs.push_back({{"value", std::to_string(output.value)},
                           {"script", qm::bytesToPlainHex(output.scriptPubKey)}});
    }
    json spends = json::array();
    for (const json& given : request["coins"]) {
        const std::string outpoint = given["outpoint"].get<std::string>();
        qm::UTXO coin{outpoint.substr(0, outpoint.find(':')),
                      std::stoll(outpoint.substr(outpoint.find(':') + 1)), amount(given["value"]),
                      0, qm::test::hexField(given, "script")};
        const bool exact = qm::BTCWitnessVerifier::spends(*tx, coin);
        ++coin.value;
        spends.push_back({exact, qm::BTCWitnessVerifier::spends(*tx, coin)});
    }
    return {{"transaction",
             {{"id", tx->id},
              {"version", tx->body.version},
              {"lockTime", tx->body.lockTime},
              {"inputs", inputs},
              {"outputs", outputs}}},
            {"spends", spends}};
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
        if (op == "read") {
            return read(request);
        }
        throw std::invalid_argument("unknown op " + op);
    });
}
