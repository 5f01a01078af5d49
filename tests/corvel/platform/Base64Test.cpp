#include "corvel/platform/Base64.h"

#include <gtest/gtest.h>

using namespace corvel;

namespace {

std::optional<std::string> decodeText(std::string_view text, base64::DecodeOptions options = {})
{
    auto bytes = base64::decode(text, options);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

}  // namespace

TEST(Base64, EncodesAndDecodesTheStandardVectors)
{
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},         {"f", "Zg=="},        {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(base64::encode(std::string_view(plain)), encoded);
        EXPECT_EQ(decodeText(encoded), plain);
    }

    std::vector<uint8_t> all(256);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = uint8_t(i);
    const std::string encoded = base64::encode(all);
    EXPECT_NE(encoded.find('+'), std::string::npos);
    EXPECT_NE(encoded.find('/'), std::string::npos);
    EXPECT_EQ(base64::decode(encoded), all);
}

TEST(Base64, RejectsMalformedText)
{
    for (const char* bad : {"Zg", "Zg=", "Zm9vY", "Zm9v!A==", "Zm9v\nYmFy", "Zg==Zg==", "=Zg=", "Z===", "Zm=v",
                            "Zm9v-_==", "===="})
        EXPECT_FALSE(base64::decode(std::string_view(bad)).has_value()) << bad;
}

TEST(Base64, CanSkipBytesOutsideTheAlphabet)
{
    const base64::DecodeOptions skip{.ignoreUnknownCharacters = true};
    EXPECT_EQ(decodeText("Zm9v\r\nYmFy\n", skip), "foobar");
    EXPECT_EQ(decodeText(" Z g = = ", skip), "f");
    EXPECT_EQ(decodeText("Zm8*=", skip), "fo");
    // Skipping does not relax the structure.
    EXPECT_FALSE(decodeText("Zm9\nvY", skip).has_value());
    EXPECT_FALSE(decodeText("Zg==\nZg==", skip).has_value());
}

TEST(Base64, CanDecodeTextJoinedFromSeparatelyPaddedPieces)
{
    const base64::DecodeOptions lenient{.ignoreUnknownCharacters = true, .lenientPadding = true};
    EXPECT_EQ(decodeText("Zg", lenient), "f");
    EXPECT_EQ(decodeText("Zm8", lenient), "fo");
    EXPECT_EQ(decodeText("Zg=", lenient), "f");
    EXPECT_EQ(decodeText("Zm9vYmE\n", lenient), "fooba");
    EXPECT_EQ(decodeText("Zg==Zm8=Zm9v", lenient), "ffofoo");
    EXPECT_EQ(decodeText("Zm9v=YmFy", lenient), "foobar");
    // A lone character in a group holds no byte.
    EXPECT_FALSE(decodeText("Zm9vY", lenient).has_value());
    EXPECT_FALSE(decodeText("Z=Zm9v", lenient).has_value());
}
