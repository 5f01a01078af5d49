#include "corvel/screen/Color.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace corvel;

namespace {

Color rgb8(int r, int g, int b) { return Color(uint16_t(r * 257), uint16_t(g * 257), uint16_t(b * 257)); }

// Whether two colours agree within one step per 8-bit channel.
::testing::AssertionResult near8(const Color& actual, const Color& expected)
{
    auto diff = [](uint16_t a, uint16_t b) { return std::abs(int(a / 257) - int(b / 257)); };
    if (diff(actual.red, expected.red) <= 1 && diff(actual.green, expected.green) <= 1 &&
        diff(actual.blue, expected.blue) <= 1)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.formatAsXcolor() << " vs " << expected.formatAsXcolor();
}

}  // namespace

TEST(Color, ParsesHashAndRgbForms)
{
    EXPECT_EQ(Color::parseColor("#fff"), Color(0xF0F0, 0xF0F0, 0xF0F0));
    EXPECT_EQ(Color::parseColor("#ffffff"), Color(0xFFFF, 0xFFFF, 0xFFFF));
    EXPECT_EQ(Color::parseColor("#FfFfFf"), Color(0xFFFF, 0xFFFF, 0xFFFF));
    EXPECT_EQ(Color::parseColor("#800000"), Color(0x8080, 0, 0));
    EXPECT_EQ(Color::parseColor("#fff000800"), Color(0xFFFF, 0x0000, 0x8080));
    EXPECT_EQ(Color::parseColor("#123456789abc"), Color(0x1234, 0x5678, 0x9ABC));

    EXPECT_EQ(Color::parseColor("rgb:ffff/0/8000"), Color(65535, 0, 32768));
    EXPECT_EQ(Color::parseColor("rgb:f/ff/fff"), Color(0x00F0, 0x0FFF, 0xFFFF));
    EXPECT_EQ(Color::parseColor("rgb:c2/36/21"), rgb8(0xC2, 0x36, 0x21));
    EXPECT_EQ(Color::parseColor("rgb:f/0/8"), Color(0xF0F0, 0, 0x8080));

    for (const char* bad : {"", "#", "#12345", "#1234567", "#12g", "red", "rgb:", "rgb://", "RGB:ff/ff/ff",
                            "rgbi:1/1/1"})
        EXPECT_FALSE(Color::parseColor(bad).has_value()) << bad;
}

TEST(Color, FormatsAsXcolorAndParsesBack)
{
    EXPECT_EQ(Color(65535, 32896, 0).formatAsXcolor(), "rgb:ffff/8080/0000");
    EXPECT_EQ(Color::terminalAppColors[1].formatAsXcolor(), "rgb:c2c2/3636/2121");
    for (const Color& c : {Color(0, 0, 0), Color(1, 0x1234, 0xFFFF), Color::defaultForeground,
                           Color::terminalAppColors[12]})
        EXPECT_EQ(Color::parseColor(c.formatAsXcolor()), c);
}

TEST(Color, XtermPaletteHasCubeAndGreys)
{
    const auto palette = Color::generateXtermPalette(Color::terminalAppColors);
    ASSERT_EQ(palette.size(), 256u);
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(palette[i], Color::terminalAppColors[i]);
    EXPECT_EQ(palette[16], Color(0, 0, 0));
    EXPECT_EQ(palette[67], rgb8(95, 135, 175));  // 16 + 36*1 + 6*2 + 3
    EXPECT_EQ(palette[196], rgb8(255, 0, 0));
    EXPECT_EQ(palette[231], Color(0xFFFF, 0xFFFF, 0xFFFF));
    EXPECT_EQ(palette[232], Color(2056, 2056, 2056));
    EXPECT_EQ(palette[255], Color(61166, 61166, 61166));
}

TEST(Color, LabRoundTripKeepsEightBitColours)
{
    for (const Color& c : Color::terminalAppColors)
        EXPECT_TRUE(near8(Color::LabColor::from(c).to(), c));
    const auto white = Color::LabColor::from(Color(0xFFFF, 0xFFFF, 0xFFFF));
    EXPECT_NEAR(white.l, 100.0, 0.01);
    EXPECT_NEAR(white.a, 0.0, 0.01);
    EXPECT_NEAR(white.b, 0.0, 0.01);
    // Out-of-gamut values clamp per channel instead of wrapping.
    EXPECT_EQ((Color::LabColor{150, 0, 0}.to()), Color(0xFFFF, 0xFFFF, 0xFFFF));
    EXPECT_EQ((Color::LabColor{-20, 0, 0}.to()), Color(0, 0, 0));
    EXPECT_EQ((Color::LabColor{50, 300, 0}.to().green), 0);
}

TEST(Color, Base16LabPaletteInterpolatesBetweenBaseColours)
{
    const auto& base = Color::terminalAppColors;
    const std::span<const Color> seven(base.data(), 7);
    EXPECT_EQ(Color::generateBase16LabPalette(seven), Color::generateXtermPalette(seven));

    const auto palette =
        Color::generateBase16LabPalette(base, Color::defaultBackground, Color::defaultForeground);
    ASSERT_EQ(palette.size(), 256u);
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(palette[i], base[i]);
    // Cube corners: background, base colours 1 to 6, foreground (35389 is 138 in 8 bits).
    EXPECT_TRUE(near8(palette[16], Color(0, 0, 0)));
    EXPECT_TRUE(near8(palette[16 + 36 * 5], base[1]));
    EXPECT_TRUE(near8(palette[16 + 6 * 5], base[2]));
    EXPECT_TRUE(near8(palette[16 + 36 * 5 + 6 * 5], base[3]));
    EXPECT_TRUE(near8(palette[16 + 5], base[4]));
    EXPECT_TRUE(near8(palette[16 + 36 * 5 + 5], base[5]));
    EXPECT_TRUE(near8(palette[16 + 6 * 5 + 5], base[6]));
    EXPECT_TRUE(near8(palette[231], rgb8(138, 138, 138)));
    // Greys step in lightness from the background toward the foreground (L* 57.48), ends excluded.
    EXPECT_TRUE(near8(palette[232], rgb8(8, 8, 8)));
    EXPECT_TRUE(near8(palette[243], rgb8(65, 65, 65)));
    EXPECT_TRUE(near8(palette[255], rgb8(132, 132, 132)));

    // Without a background and foreground, base colours 0 and 7 stand in.
    const auto fallback = Color::generateBase16LabPalette(base);
    EXPECT_TRUE(near8(fallback[16], base[0]));
    EXPECT_TRUE(near8(fallback[231], base[7]));
}
