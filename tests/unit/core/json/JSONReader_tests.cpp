#include "core/json/JSONReader.h"

#include <gtest/gtest.h>
#include <string>

namespace qm {
namespace {

using Code = JSONReadError::Code;

std::string nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

std::optional<Code> refusal(std::string_view text, JSONReader::Limits limits,
                            bool keepingBigIntegers = false) {
    try {
        if (keepingBigIntegers) {
            (void)JSONReader::readKeepingBigIntegers(text, limits);
        } else {
            (void)JSONReader::read(text, limits);
        }
    } catch (const JSONReadError& error) {
        return error.code();
    }
    return std::nullopt;
}

TEST(JSONReader, ReadsTheWholeInputWithinItsLimitsOrRefuses) {
    const JSONReader::Limits small{64, 4};
    using namespace std::string_literals;
    const std::pair<std::string, std::optional<Code>> cases[] = {
        {R"( {"a":[1,{"b":null}],"c":"\u00e9"} )", std::nullopt},
        {nested(4), std::nullopt},
        {R"({"a":{"k":1},"b":{"k":2}})", std::nullopt}, // one key per object, not per document
        {"{\"a\":1}\0garbage"s, Code::nulByte},
        {"{\"a\":\"\0\"}"s, Code::nulByte},
        {"\xEF\xBB\xBF{\"a\":1}", Code::byteOrderMark},
        {R"({"a":1,"a":2})", Code::duplicateKey},
        {R"([{"x":{"a":1,"b":2,"a":3}}])", Code::duplicateKey},
        {nested(5), Code::tooDeep},
        {R"({"a":{"b":{"c":{"d":{}}}}})", Code::tooDeep},
        {std::string(65, ' '), Code::tooLarge},
        {R"({"a":1} {"b":2})", Code::invalidJSON},
        {R"({"a":1}x)", Code::invalidJSON},
        {"", Code::invalidJSON},
        {"{\"a\":\"\xC3\"}", Code::invalidJSON},
        {R"({"a":1,})", Code::invalidJSON},
        {"// note\n{}", Code::invalidJSON},
        {"1e400", Code::invalidJSON},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(refusal(text, small), expected) << text;
        EXPECT_EQ(JSONReader::tryRead(text, small).has_value(), !expected) << text;
        // The reader that keeps big integers refuses exactly the same.
        EXPECT_EQ(refusal(text, small, true), expected) << text;
        EXPECT_EQ(JSONReader::tryReadKeepingBigIntegers(text, small).has_value(), !expected)
            << text;
    }
    EXPECT_EQ(refusal(nested(1'000'000), JSONReader::network, true), Code::tooDeep);
    EXPECT_EQ(JSONReader::readKeepingBigIntegers(nested(256), JSONReader::network).size(), 1u);
    // A hostile depth is refused without a deep walk.
    EXPECT_EQ(refusal(nested(1'000'000), JSONReader::network), Code::tooDeep);
    EXPECT_EQ(JSONReader::read(nested(256), JSONReader::network).size(), 1u);
    // Each value costs the same however many came before it in its container: 300,000
    // objects in one array (900 KB) and as many members of one object read at once (once
    // half a minute, the parent scanned at every object's end).
    std::string objects = "[{}";
    std::string members = "{\"k0\":{}";
    for (int i = 1; i < 300'000; ++i) {
        objects += ",{}";
        members += ",\"k" + std::to_string(i) + "\":{}";
    }
    EXPECT_EQ(JSONReader::read(objects + "]", JSONReader::network).size(), 300'000u);
    EXPECT_EQ(JSONReader::read(members + "}", JSONReader::network).size(), 300'000u);
    EXPECT_EQ(refusal(members + ",\"k7\":1}", JSONReader::network), Code::duplicateKey);
    // Brackets inside strings are no nesting.
    EXPECT_TRUE(JSONReader::tryRead("[\"" + std::string(1000, '[') + "\\\"\"]", {4096, 1}));
}

TEST(JSONReader, KeepsIntegersBeyond64BitsExactly) {
    const std::string max256 =
        "115792089237316195423570985008687907853269984665640564039457584007913129639935";
    const auto value = JSONReader::readKeepingBigIntegers(
        R"({"big":)" + max256 +
            R"(,"negative":-9223372036854775809,"small":18446744073709551615,)"
            R"("float":1.5,"exp":1e3,"text":"12"})",
        JSONReader::network);
    EXPECT_EQ(bigIntegerLiteral(value["big"]), max256);
    EXPECT_EQ(bigIntegerLiteral(value["negative"]), "-9223372036854775809");
    EXPECT_EQ(value["small"].get<std::uint64_t>(), 18446744073709551615u);
    EXPECT_FALSE(bigIntegerLiteral(value["small"]));
    EXPECT_EQ(value["float"].get<double>(), 1.5);
    EXPECT_EQ(value["exp"].get<double>(), 1000.0); // not an integer literal
    EXPECT_FALSE(bigIntegerLiteral(value["text"]));
    // A binary value of another subtype is no literal.
    EXPECT_FALSE(bigIntegerLiteral(nlohmann::json::binary({'1'}, 7)));
}

} // namespace
} // namespace qm
