// The inputs and outputs of a raw transaction from a server: no read outside the text, no
// allocation from an attacker's count, every out-point a 64-digit hash, and an accepted
// transaction never claims more than 21 million bitcoin in one output.
#include "state/refresh/BitcoinHistory.h"
#include "state/refresh/BitcoinTransactionInputs.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    // Half the runs as hex of the bytes (well-formed text), half as the raw text.
    std::string hex;
    if (size > 0 && data[0] % 2 == 0) {
        for (std::size_t i = 1; i < size; ++i) {
            hex.push_back(digits[data[i] >> 4]);
            hex.push_back(digits[data[i] & 0x0f]);
        }
    } else {
        hex.assign(reinterpret_cast<const char*>(data), size);
    }
    if (const auto spent = qm::parseSpentOutputs(hex)) {
        for (const auto& point : *spent) {
            if (point.txHash.size() != 64) {
                std::abort();
            }
        }
    }
    if (const auto raw = qm::BitcoinRawTransaction::fromHex(hex)) {
        for (const auto& output : raw->outputs) {
            if (output.value > qm::maxMoneySats) {
                std::abort();
            }
        }
    }
    return 0;
}
