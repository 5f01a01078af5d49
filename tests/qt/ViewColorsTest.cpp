// Mapping cell attributes to faces and colours, the caches behind it, and the
// colour helpers.
#include "QtTestSupport.h"

#include "corvel/qt/ColorHelpers.h"
#include "corvel/qt/TerminalView.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

using testing::testFont;

Attribute cellAttribute(TerminalView& view, int col)
{
    return view.getTerminal().getCharData(col, 0)->attribute;
}

DeviceColor paletteColor(TerminalView& view, int index)
{
    return colors::deviceColor(view.getTerminal().ansiColors[index]);
}

TEST(ViewColors, SgrBoldRedPicksTheBoldFaceAndTheBrightPaletteEntry)
{
    TerminalView view(QRect(0, 0, 400, 200), testFont());
    testing::feed(view, "\x1b[1;31mA\x1b[0;3;4:3;58;5;2mB\x1b[0;9;2;38;2;255;0;0mC");

    const TextAttributes& bold = view.getAttributes(cellAttribute(view, 0), false);
    EXPECT_TRUE(bold.font.bold());
    EXPECT_FALSE(bold.font.italic());
    EXPECT_EQ(bold.foreground, paletteColor(view, 9));
    EXPECT_EQ(bold.background, *view.nativeBackgroundColor());
    EXPECT_FALSE(bold.underline.has_value());

    // Italic, curly underline in palette colour 2: drawn single, curled from the style value.
    const TextAttributes& curly = view.getAttributes(cellAttribute(view, 1), false);
    EXPECT_TRUE(curly.font.italic());
    EXPECT_EQ(curly.underline, DecorationLine::single);
    EXPECT_EQ(curly.underlineStyle, rawValue(UnderlineStyle::curly));
    EXPECT_EQ(curly.underlineColor, paletteColor(view, 2));
    // A link overrides the cell's own underline with a dashed one.
    const TextAttributes& link = view.getAttributes(cellAttribute(view, 1), true);
    EXPECT_EQ(link.underlineStyle, rawValue(UnderlineStyle::dashed));
    EXPECT_EQ(link.underlineColor, link.foreground);

    // Crossed out and faint: a true colour dimmed halfway to the background.
    const TextAttributes& faint = view.getAttributes(cellAttribute(view, 2), false);
    EXPECT_EQ(faint.strikethrough, DecorationLine::single);
    EXPECT_EQ(faint.foreground, colors::dimmedColor(DeviceColor{1, 0, 0, 1}, faint.background));

    // Bold keeps 7 and the bright half as they are.
    EXPECT_EQ(view.mapColor(Attribute::Color::ansi256(7), true, true, true), paletteColor(view, 7));
    EXPECT_EQ(view.mapColor(Attribute::Color::ansi256(12), true, true, true), paletteColor(view, 12));
}

TEST(ViewColors, BrightColorsOffFoldsOnlyTheBrightBaseColours)
{
    TerminalView view(QRect(0, 0, 400, 200), testFont());
    testing::feed(view, "\x1b[94mA\x1b[38;5;200mB");
    const Attribute bright = cellAttribute(view, 0);
    const Attribute cube = cellAttribute(view, 1);
    EXPECT_FALSE(view.getAttributes(bright, false).font.bold());
    EXPECT_EQ(view.getAttributes(bright, false).foreground, paletteColor(view, 12));

    // Changing the flag drops the cached styles: the same attribute now maps
    // to the normal colour in the bold face.
    view.setUseBrightColors(false);
    EXPECT_EQ(view.getAttributes(bright, false).foreground, paletteColor(view, 4));
    EXPECT_TRUE(view.getAttributes(bright, false).font.bold());
    // The cube and the greys are not part of the base palette and stay.
    EXPECT_EQ(view.getAttributes(cube, false).foreground, paletteColor(view, 200));
    EXPECT_FALSE(view.getAttributes(cube, false).font.bold());
    EXPECT_EQ(view.mapColor(Attribute::Color::ansi256(200), true, false, false), paletteColor(view, 200));
}

TEST(ViewColors, PaletteChangesAndNativeColoursReachTheCaches)
{
    TerminalView view(QRect(0, 0, 400, 200), testFont());
    testing::feed(view, "\x1b[31mA");
    const Attribute red = cellAttribute(view, 0);
    const DeviceColor before = view.getAttributes(red, false).foreground;

    // OSC 4 replaces palette entry 1: the cached colour and style go.
    testing::feed(view, "\x1b]4;1;rgb:12/34/56\x07");
    const DeviceColor after = view.getAttributes(red, false).foreground;
    EXPECT_NE(after, before);
    EXPECT_EQ(colors::getTerminalColor(after), Color(0x1212, 0x3434, 0x5656));

    // A 16-colour palette is installed; any other count is ignored, but the
    // cache is dropped either way.
    std::vector<Color> eight(8, Color(1, 2, 3));
    view.installColors(eight);
    EXPECT_EQ(view.getTerminal().ansiColors[1], Color(0x1212, 0x3434, 0x5656));
    std::vector<Color> sixteen(16, Color(0xffff, 0, 0));
    view.installColors(sixteen);
    EXPECT_EQ(view.getTerminal().ansiColors[3], Color(0xffff, 0, 0));

    // Reverse video on default colours inverts the native colours.
    view.setNativeForegroundColor(DeviceColor{1, 1, 1, 1});
    view.setNativeBackgroundColor(DeviceColor{0, 0, 0.25, 1});
    EXPECT_EQ(view.getTerminal().backgroundColor(), Color(0, 0, 16383));
    testing::feed(view, "\r\x1b[0;7mR");
    const TextAttributes& inverse = view.getAttributes(cellAttribute(view, 0), false);
    EXPECT_EQ(inverse.foreground, (DeviceColor{0, 0, 0, 1}));
    EXPECT_EQ(inverse.background, (DeviceColor{1, 1, 0.75, 1}));

    // A program's OSC 10 foreground becomes the view's native foreground.
    testing::feed(view, "\x1b]10;rgb:ff/00/00\x07");
    EXPECT_EQ(*view.nativeForegroundColor(), (DeviceColor{1, 0, 0, 1}));
}

TEST(ViewColors, ConversionsAreExactInDoubles)
{
    EXPECT_EQ(colors::getTerminalColor(DeviceColor{1.0, 0.5, 0.0, 1}), Color(65535, 32767, 0));
    for (int c = 0; c < 256; ++c) {
        const Color color(uint16_t(c * 257), uint16_t(c * 257), uint16_t(c * 257));
        ASSERT_EQ(colors::getTerminalColor(colors::deviceColor(color)), color) << c;
    }
    EXPECT_EQ(colors::inverseColor(DeviceColor{1, 1, 1, 0.5}), (DeviceColor{0, 0, 0, 0.5}));
    EXPECT_EQ(colors::dimmedColor(DeviceColor{1, 1, 1, 1}, DeviceColor{0, 0, 0, 0.2}),
              (DeviceColor{0.5, 0.5, 0.5, 1}));
}

}  // namespace
}  // namespace corvel
