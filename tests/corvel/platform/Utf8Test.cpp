#include "corvel/platform/Utf8.h"

#include <gtest/gtest.h>

using namespace corvel;

TEST(Utf8, DecodesWellFormedTextToScalarsAndUtf16)
{
    const std::string text = "A\u00E9\u20AC\U0001F600";
    EXPECT_TRUE(utf8::isValid(text));
    EXPECT_EQ(utf8::decode(text), U"A\u00E9\u20AC\U0001F600");
    EXPECT_EQ(utf8::toUtf16(text), u"A\u00E9\u20AC\U0001F600");
    EXPECT_EQ(utf8::toUtf16(text).size(), 5u);  // the emoji takes a surrogate pair
    EXPECT_EQ(utf8::sanitize(text), text);
    EXPECT_EQ(utf8::decode(std::string_view()), U"");
}

TEST(Utf8, ReplacesEachIllFormedSubpartWithOneReplacementCharacter)
{
    struct Case {
        std::string bytes;
        std::u32string scalars;
    };
    const Case cases[] = {
        {"\xC0\x80", U"\uFFFD\uFFFD"},              // overlong two-byte form
        {"\xE0\x80\x80", U"\uFFFD\uFFFD\uFFFD"},    // overlong three-byte form
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},    // surrogate
        {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\xF5\x80", U"\uFFFD\uFFFD"},
        {"\xE2\x82", U"\uFFFD"},                    // truncated at the end
        {"\xE2\x82" "A", U"\uFFFDA"},               // interrupted by ASCII
        {"\xF0\x9F\x98" "\xE2\x82\xAC", U"\uFFFD\u20AC"},
        {"a\x80" "b", U"a\uFFFDb"},                 // stray continuation byte
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(utf8::isValid(c.bytes));
        EXPECT_EQ(utf8::decode(c.bytes), c.scalars);
        EXPECT_EQ(utf8::sanitize(c.bytes), utf8::encode(c.scalars));
        EXPECT_TRUE(utf8::isValid(utf8::sanitize(c.bytes)));
    }
    EXPECT_TRUE(utf8::isValid(std::string("\xF4\x8F\xBF\xBF")));  // U+10FFFF itself
}

TEST(Utf8, EncodesScalars)
{
    EXPECT_EQ(utf8::encode(U'$'), "$");
    EXPECT_EQ(utf8::encode(char32_t(0xA2)), "\xC2\xA2");
    EXPECT_EQ(utf8::encode(char32_t(0x20AC)), "\xE2\x82\xAC");
    EXPECT_EQ(utf8::encode(char32_t(0x10348)), "\xF0\x90\x8D\x88");
    EXPECT_EQ(utf8::encode(char32_t(0xD800)), "\xEF\xBF\xBD");
    EXPECT_EQ(utf8::encode(char32_t(0x110000)), "\xEF\xBF\xBD");
    // Every scalar survives a round trip.
    for (char32_t c : {char32_t(0x7F), char32_t(0x80), char32_t(0x7FF), char32_t(0x800), char32_t(0xFFFF),
                       char32_t(0x10000), char32_t(0x10FFFF)})
        EXPECT_EQ(utf8::decode(utf8::encode(c)), std::u32string(1, c));
}

TEST(Utf8, ConvertsBetweenUtf16AndUtf8)
{
    std::u16string units;
    for (char32_t c : {U'a', char32_t(0x20AC), char32_t(0x1F600), char32_t(0xDC00)}) utf8::appendUtf16(units, c);
    EXPECT_EQ(units, std::u16string(u"a\u20AC\U0001F600\uFFFD"));
    EXPECT_EQ(utf8::fromUtf16(units), "a\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD");
    // An unpaired surrogate, leading or trailing, becomes one U+FFFD.
    EXPECT_EQ(utf8::fromUtf16(std::u16string(1, char16_t(0xD83D)) + u"x"), "\xEF\xBF\xBDx");
    std::vector<uint8_t> bytes;
    utf8::append(bytes, char32_t(0x20AC));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0xE2, 0x82, 0xAC}));
    EXPECT_FALSE(utf8::isScalar(0xD800));
    EXPECT_FALSE(utf8::isScalar(-1));
    EXPECT_TRUE(utf8::isScalar(0x10FFFF));
}
