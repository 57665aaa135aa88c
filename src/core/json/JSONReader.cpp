#include "core/json/JSONReader.h"

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

// Builds the value from the parser's events with our own checks: the depth as each container
// opens, and a key named twice as it is read (one look-up in the object being built). Each
// event costs the same whatever came before it, so reading is linear in the input; nlohmann's
// callback parser instead scans the parent container at the end of every object.
class BoundedBuilder final : public nlohmann::json_sax<nlohmann::json> {
public:
    BoundedBuilder(nlohmann::json& root, std::size_t maxDepth) : root_(root), maxDepth_(maxDepth) {}

    bool null() override { return place(nullptr); }
    bool boolean(bool value) override { return place(value); }
    bool number_integer(number_integer_t value) override { return place(value); }
    bool number_unsigned(number_unsigned_t value) override { return place(value); }
    bool number_float(number_float_t value, const string_t&) override { return place(value); }
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
    std::vector<nlohmann::json*> open_; // the containers being filled, outermost first
    nlohmann::json* member_ = nullptr;
};

} // namespace

nlohmann::json JSONReader::read(std::string_view text, Limits limits) {
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
    BoundedBuilder builder(value, limits.maxDepth);
    // Strict: the whole input is one value, nothing after it.
    if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder,
                                   nlohmann::json::input_format_t::json, /*strict=*/true)) {
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
