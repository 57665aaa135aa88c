#include "core/json/JSONReader.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace qm {
namespace {

const char* readText(JSONReadError::Code code) {
    using Code = JSONReadError::Code;
    switch (code) {
    case Code::tooLarge:
        return "JSON text too large";
    case Code::tooDeep:
        return "JSON nested too deep";
    case Code::byteOrderMark:
        return "JSON text starts with a byte-order mark";
    case Code::nulByte:
        return "JSON text holds a NUL byte";
    case Code::duplicateKey:
        return "JSON object names a key twice";
    case Code::invalidJSON:
        return "Invalid JSON";
    }
    return "Invalid JSON";
}

} // namespace

JSONReadError::JSONReadError(Code code) : Error(readText(code)), code_(code) {}

nlohmann::json JSONReader::read(std::string_view text, Limits limits) {
    using Code = JSONReadError::Code;
    using Event = nlohmann::json::parse_event_t;
    if (text.size() > limits.maxBytes) {
        throw JSONReadError(Code::tooLarge);
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        throw JSONReadError(Code::byteOrderMark);
    }
    // A raw NUL is never valid JSON (not even inside a string), but the parser takes it for
    // the end of the input.
    if (text.find('\0') != std::string_view::npos) {
        throw JSONReadError(Code::nulByte);
    }
    // The keys seen so far in each open object; the depth limit bounds this stack.
    std::vector<std::unordered_set<std::string>> keys;
    const std::size_t maxDepth = limits.maxDepth;
    const auto check = [&keys, maxDepth](int depth, Event event, nlohmann::json& parsed) {
        switch (event) {
        case Event::object_start:
        case Event::array_start:
            // `depth` counts the containers around this one.
            if (static_cast<std::size_t>(depth) + 1 > maxDepth) {
                throw JSONReadError(Code::tooDeep);
            }
            if (event == Event::object_start) {
                keys.emplace_back();
            }
            break;
        case Event::key:
            if (!keys.back().insert(parsed.get_ref<const std::string&>()).second) {
                throw JSONReadError(Code::duplicateKey);
            }
            break;
        case Event::object_end:
            keys.pop_back();
            break;
        default:
            break;
        }
        return true;
    };
    nlohmann::json value =
        nlohmann::json::parse(text.begin(), text.end(), check, /*allow_exceptions=*/false);
    if (value.is_discarded()) {
        throw JSONReadError(Code::invalidJSON);
    }
    return value;
}

std::optional<nlohmann::json> JSONReader::tryRead(std::string_view text, Limits limits) {
    try {
        return read(text, limits);
    } catch (const JSONReadError&) {
        return std::nullopt;
    }
}

} // namespace qm
