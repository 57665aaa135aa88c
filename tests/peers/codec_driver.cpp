// Driver for the codec peer checks: reads one JSON request per line on stdin and answers
// each with one JSON line on stdout, using the wallet's own Base58, segwit and BIP-39 code.
//   {"op":"b58enc", "hex"} -> {"text"}          {"op":"b58dec", "text"} -> {"hex"} | {"absent"}
//   {"op":"segenc", "hrp", "version", "hex"} -> {"address"}
//   {"op":"segdec", "text"} -> {"hrp", "version", "hex"} | {"absent"}
//   {"op":"mnemonic", "hex"} -> {"words"}       {"op":"valid", "words"} -> {"valid"}
//   {"op":"seed", "words", "passphrase"} -> {"hex"}
// A request the wallet refuses answers {"error": text}.

#include "core/crypto/BIP39.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Bech32.h"
#include "services/evm/Hex.h"

#include <exception>
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using nlohmann::json;
using namespace qm;

Bytes bytesField(const json& request, const char* name) {
    const auto bytes = hexToBytes(request.at(name).get<std::string>());
    if (!bytes) {
        throw std::invalid_argument(std::string("bad hex in ") + name);
    }
    return *bytes;
}

json answer(const json& request) {
    const std::string op = request.at("op").get<std::string>();
    if (op == "b58enc") {
        return {{"text", base58Encode(bytesField(request, "hex"))}};
    }
    if (op == "b58dec") {
        const auto bytes = base58Decode(request.at("text").get<std::string>());
        return bytes ? json{{"hex", bytesToPlainHex(*bytes)}} : json{{"absent", true}};
    }
    if (op == "segenc") {
        return {{"address", segwitAddressEncode(request.at("hrp").get<std::string>(),
                                                request.at("version").get<int>(),
                                                bytesField(request, "hex"))}};
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
        return {{"words", BIP39::mnemonic(bytesField(request, "hex"))}};
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
    for (std::string line; std::getline(std::cin, line);) {
        if (line.empty()) {
            continue;
        }
        json reply;
        try {
            reply = answer(json::parse(line));
        } catch (const std::exception& error) {
            reply = {{"error", error.what()}};
        }
        std::cout << reply.dump() << '\n';
    }
    return 0;
}
