// Driver of codec_peer.mjs: ops b58enc, b58dec, segenc, segdec, mnemonic, valid, seed, u256
// (checked arithmetic on decimal operands) and amount (exact amount texts).
#include "PeerDriver.h"
#include "core/crypto/BIP39.h"
#include "core/crypto/Base58.h"
#include "core/crypto/Bech32.h"
#include "core/crypto/UInt256.h"
#include "core/encoding/Hex.h"
#include "core/model/Amount.h"

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
    if (op == "u256") {
        // Decimal operands of at most 78 digits; each result is its decimal text, or null.
        const auto read = [&request](const char* name) {
            return UInt256::fromDecimalString(request.at(name).get<std::string>());
        };
        const auto text = [](const std::optional<UInt256>& value) {
            return value ? json(value->decimalString()) : json(nullptr);
        };
        const UInt256 a = read("a");
        const UInt256 b = read("b");
        const UInt256 c = read("c");
        const auto division = a.dividedWithRemainder(b);
        return {{"add", text(a.checkedAdd(b))},
                {"sub", text(a.checkedSubtract(b))},
                {"mul", text(a.checkedMultiply(b))},
                {"muldiv", text(a.checkedMultiplyDivide(b, c))},
                {"div", division ? json(division->first.decimalString()) : json(nullptr)},
                {"rem", division ? json(division->second.decimalString()) : json(nullptr)}};
    }
    if (op == "amount") {
        const Amount amount{UInt256::fromDecimalString(request.at("value").get<std::string>()),
                            request.at("decimals").get<unsigned>()};
        return {{"exact", amount.exactText()},
                {"fixed", amount.fixedText(request.at("digits").get<unsigned>())}};
    }
    throw std::invalid_argument("unknown op " + op);
}

} // namespace

int main() {
    return qm::test::runPeerDriver(answer);
}
