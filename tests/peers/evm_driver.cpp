// Driver of evm_peer.mjs: "tx" -> {"unsigned", "signed"}, "node" -> {"signer", "hash"},
// "personal" -> {"signature"}, "typed" -> {"digest", "signature"}; integers as decimal text,
// quantities as hex.
#include "PeerDriver.h"
#include "core/encoding/Hex.h"
#include "services/evm/EIP191.h"
#include "services/evm/EIP712.h"
#include "services/evm/EIP712Check.h"
#include "services/evm/ETHSigner.h"
#include "services/evm/JSONRPCClient.h"
#include "services/evm/TypedDataJSON.h"

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace {

using nlohmann::json;
using namespace qm;

std::uint64_t decimalField(const json& request, const char* name) {
    return std::stoull(request.at(name).get<std::string>());
}

UInt256 quantityField(const json& request, const char* name) {
    const auto value = UInt256::fromHex(request.at(name).get<std::string>());
    if (!value) {
        throw std::invalid_argument(std::string("bad quantity in ") + name);
    }
    return *value;
}

json transaction(const json& request) {
    ETHTransaction tx;
    tx.chainID = decimalField(request, "chainId");
    tx.nonce = decimalField(request, "nonce");
    tx.maxPriorityFeePerGas = quantityField(request, "maxPriorityFeePerGas");
    tx.maxFeePerGas = quantityField(request, "maxFeePerGas");
    tx.gasLimit = decimalField(request, "gasLimit");
    tx.to = test::hexField(request, "to");
    tx.value = quantityField(request, "value");
    tx.data = test::hexField(request, "data");
    for (const auto& entry : request.at("accessList")) {
        ETHAccessListEntry item{test::hexField(entry, "address"), {}};
        for (const auto& key : entry.at("storageKeys")) {
            item.storageKeys.push_back(test::hexField({{"key", key}}, "key"));
        }
        tx.accessList.push_back(std::move(item));
    }
    return {{"unsigned", bytesToHex(tx.encodeUnsigned())},
            {"signed", bytesToHex(ETHSigner::sign(tx, test::hexField(request, "key")))}};
}

// A transaction as a node reports it: the signer and hash read from its fields.
json nodeTransaction(const json& request) {
    ETHNodeTransaction read;
    fromRPCResult(request.at("transaction"), read);
    const std::optional<Bytes> signer = read.signedForm.value().signer();
    return {{"signer", signer ? json(bytesToHex(*signer)) : json()},
            {"hash", bytesToHex(read.signedForm->hash())}};
}

json answer(const json& request) {
    const auto op = request.at("op").get<std::string>();
    if (op == "tx") {
        return transaction(request);
    }
    if (op == "node") {
        return nodeTransaction(request);
    }
    if (op == "personal") {
        return {{"signature", bytesToHex(personalSign(test::hexField(request, "message"),
                                                      test::hexField(request, "key")))}};
    }
    if (op == "typed") {
        const auto typed = parseTypedData(request.at("json").get<std::string>());
        if (!typed) {
            return {{"error", "typed data refused"}};
        }
        const auto refusal = typedDataRefusal(*typed, std::nullopt);
        return {{"digest", bytesToHex(typedDataDigest(*typed))},
                {"signature", bytesToHex(signTypedData(*typed, test::hexField(request, "key")))},
                {"refusal", refusal ? json(*refusal) : json()}};
    }
    throw std::invalid_argument("unknown op " + op);
}

} // namespace

int main() {
    return qm::test::runPeerDriver(answer);
}
