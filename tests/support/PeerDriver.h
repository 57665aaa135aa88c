#pragma once
// The loop of a peer driver: one JSON request per line on stdin, one JSON reply per line on
// stdout ({"error": text} when answering throws). Header-only: drivers link only the wallet.

#include "core/encoding/Hex.h"

#include <exception>
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace qm::test {

template <typename Answer> int runPeerDriver(Answer&& answer) {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty()) {
            continue;
        }
        nlohmann::json reply;
        try {
            reply = answer(nlohmann::json::parse(line));
        } catch (const std::exception& error) {
            reply = {{"error", error.what()}};
        }
        // Flushed at once: a node peer may wait for each reply before it sends the next request.
        std::cout << reply.dump() << std::endl;
    }
    return 0;
}

// The bytes of the hex text member `name` ("0x" optional); throws when it is missing or no hex.
inline Bytes hexField(const nlohmann::json& request, const char* name) {
    const auto bytes = hexToBytes(request.at(name).get<std::string>());
    if (!bytes) {
        throw std::invalid_argument(std::string("bad hex in ") + name);
    }
    return *bytes;
}

} // namespace qm::test
