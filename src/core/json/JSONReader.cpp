#include "core/json/JSONReader.h"

#include <algorithm>
#include <string>
#include <utility>
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

namespace {

using Code = JSONReadError::Code;

bool isIntegerLiteral(std::string_view text) {
    if (text.starts_with('-')) {
        text.remove_prefix(1);
    }
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Builds the value from the parser's events with our own checks: the depth as each container
// opens, and a key named twice as it is read (one look-up in the object being built). Each
// event costs the same whatever came before it, so reading is linear in the input; nlohmann's
// callback parser instead scans the parent container at the end of every object. Integer
// literals beyond 64 bits, which the parser hands over as doubles, keep their text when asked.
class BoundedBuilder final : public nlohmann::json_sax<nlohmann::json> {
public:
    BoundedBuilder(nlohmann::json& root, std::size_t maxDepth, bool keepBigIntegers = false)
        : root_(root), maxDepth_(maxDepth), keepBigIntegers_(keepBigIntegers) {}

    bool null() override { return place(nullptr); }
    bool boolean(bool value) override { return place(value); }
    bool number_integer(number_integer_t value) override { return place(value); }
    bool number_unsigned(number_unsigned_t value) override { return place(value); }
    bool number_float(number_float_t value, const string_t& literal) override {
        if (keepBigIntegers_ && isIntegerLiteral(literal)) {
            return place(
                nlohmann::json::binary(std::vector<std::uint8_t>(literal.begin(), literal.end()),
                                       kBigIntegerLiteralSubtype));
        }
        return place(value);
    }
    bool string(string_t& value) override { return place(std::move(value)); }
    bool binary(binary_t&) override { return false; } // JSON text has none

    bool start_object(std::size_t) override { return open(nlohmann::json::value_t::object); }
    bool key(string_t& name) override {
        auto& object = open_.back()->get_ref<nlohmann::json::object_t&>();
        const auto [slot, fresh] = object.emplace(std::move(name), nullptr);
        if (!fresh) {
            throw JSONReadError(Code::duplicateKey);
        }
        member_ = &slot->second;
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(nlohmann::json::value_t::array); }
    bool end_array() override { return close(); }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    // Puts a value where the parser is: the root, the next array element, or the member whose
    // key came last.
    template <typename Value> nlohmann::json* put(Value&& value) {
        if (open_.empty()) {
            root_ = std::forward<Value>(value);
            return &root_;
        }
        nlohmann::json& container = *open_.back();
        if (container.is_array()) {
            container.get_ref<nlohmann::json::array_t&>().emplace_back(std::forward<Value>(value));
            return &container.back();
        }
        *member_ = std::forward<Value>(value);
        return member_;
    }
    template <typename Value> bool place(Value&& value) {
        put(std::forward<Value>(value));
        return true;
    }
    bool open(nlohmann::json::value_t kind) {
        if (open_.size() + 1 > maxDepth_) {
            throw JSONReadError(Code::tooDeep);
        }
        open_.push_back(put(nlohmann::json(kind)));
        return true;
    }
    bool close() {
        open_.pop_back();
        return true;
    }

    nlohmann::json& root_;
    std::size_t maxDepth_;
    bool keepBigIntegers_;
    std::vector<nlohmann::json*> open_; // the containers being filled, outermost first
    nlohmann::json* member_ = nullptr;
};

// The whole input as one value within the limits, or the first refusal thrown.
nlohmann::json readBounded(std::string_view text, JSONReader::Limits limits, bool keepBigIntegers) {
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
    nlohmann::json value;
    BoundedBuilder builder(value, limits.maxDepth, keepBigIntegers);
    // Strict: the whole input is one value, nothing after it.
    if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder,
                                   nlohmann::json::input_format_t::json, /*strict=*/true)) {
        throw JSONReadError(Code::invalidJSON);
    }
    return value;
}

} // namespace

nlohmann::json JSONReader::read(std::string_view text, Limits limits) {
    return readBounded(text, limits, false);
}

std::optional<nlohmann::json> JSONReader::tryRead(std::string_view text, Limits limits) {
    try {
        return read(text, limits);
    } catch (const JSONReadError&) {
        return std::nullopt;
    }
}

nlohmann::json JSONReader::readKeepingBigIntegers(std::string_view text, Limits limits) {
    return readBounded(text, limits, true);
}

std::optional<nlohmann::json> JSONReader::tryReadKeepingBigIntegers(std::string_view text,
                                                                    Limits limits) {
    try {
        return readKeepingBigIntegers(text, limits);
    } catch (const JSONReadError&) {
        return std::nullopt;
    }
}

std::optional<std::string_view> bigIntegerLiteral(const nlohmann::json& value) {
    if (!value.is_binary()) {
        return std::nullopt;
    }
    const auto& bytes = value.get_binary();
    if (!bytes.has_subtype() || bytes.subtype() != kBigIntegerLiteralSubtype) {
        return std::nullopt;
    }
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

} // namespace qm
