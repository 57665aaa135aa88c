// Driver of codec_peer.mjs: ops b58enc, b58dec, segenc, segdec, mnemonic, valid, seed.
#include "PeerDriver.h"
#include "core/crypto/BIP39.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Bech32.h"
#include "core/encoding/Hex.h"

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using nlohmann::json;
using namespace qm;

json answer(const json& request) {
    const std::string op = request.at("op").get<std::string>();
    if (op == "b58enc") {
        return {{"text", base58Encode(test::hexField(request, "hex"))}};
    }
    if (op == "b58dec") {
        const auto bytes = base58Decode(request.at("text").get<std::string>());
        return bytes ? json{{"hex", bytesToPlainHex(*bytes)}} : json{{"absent", true}};
    }
    if (op == "segenc") {
        return {{"address", segwitAddressEncode(request.at("hrp").get<std::string>(),
                                                request.at("version").get<int>(),
                                                test::hexField(request, "hex"))}};
    }
    if (op == "segdec") {
        const auto address = segwitAddressDecode(request.at("text").get<std::string>());
        if (!address) {
            return {{"absent", true}};
        }
        return {{"hrp", address->hrp},
                {"version", address->version},
                {"hex", bytesToPlainHex(address->program)}};
    }
    if (op == "mnemonic") {
        return {{"words", BIP39::mnemonic(test::hexField(request, "hex"))}};
    }
    if (op == "valid") {
        return {
            {"valid", BIP39::isValidMnemonic(request.at("words").get<std::vector<std::string>>())}};
    }
    if (op == "seed") {
        const SecureBytes seed = BIP39::seed(request.at("words").get<std::vector<std::string>>(),
                                             request.at("passphrase").get<std::string>());
        return {{"hex", bytesToPlainHex(seed.view())}};
    }
    throw std::invalid_argument("unknown op " + op);
}

} // namespace

int main() {
    return qm::test::runPeerDriver(answer);
}
