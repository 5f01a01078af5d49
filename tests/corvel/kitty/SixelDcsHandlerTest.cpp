// The sixel decoder: reading rules, colours, bounds, a bitmap without room,
// and the path from the parser through the terminal to the host's image
// callback, whole and split at every offset.
#include "corvel/terminal/Terminal.h"
#include "corvel/kitty/SixelDcsHandler.h"

#include "tests/corvel/support/AddressSpaceLimit.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace corvel;

namespace {

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    std::array<uint8_t, 4> at(int x, int y) const
    {
        const size_t i = (static_cast<size_t>(y) * width + x) * 4;
        return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
    }
    bool operator==(const Bitmap&) const = default;
};

using Rgba = std::array<uint8_t, 4>;
constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kGreen{0, 255, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};
constexpr Rgba kClear{0, 0, 0, 0};

std::vector<Color> palette()
{
    return Color::generateXtermPalette(Color::terminalAppColors);
}

Rgba defaultColor(int index)
{
    const Color c = palette()[index];
    return {uint8_t(c.red >> 8), uint8_t(c.green >> 8), uint8_t(c.blue >> 8), 255};
}

// Decodes the payload of one DCS q string; every call of the sink is kept.
std::vector<Bitmap> decodeAll(const std::string& payload)
{
    std::vector<Bitmap> out;
    const auto colors = palette();
    SixelDcsHandler handler(colors, [&](std::vector<uint8_t>& pixels, int width, int height) {
        out.push_back({width, height, pixels});
    });
    handler.hook({}, {}, 'q');
    handler.put({reinterpret_cast<const uint8_t*>(payload.data()), payload.size()});
    handler.unhook();
    return out;
}

Bitmap decode(const std::string& payload)
{
    auto all = decodeAll(payload);
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? Bitmap{} : all.front();
}

void expectAll(const Bitmap& bitmap, Rgba color)
{
    for (int y = 0; y < bitmap.height; ++y)
        for (int x = 0; x < bitmap.width; ++x) ASSERT_EQ(bitmap.at(x, y), color) << x << "," << y;
}

Rgba hls(int hue, int lum, int sat)
{
    const auto bitmap = decode("#1;1;" + std::to_string(hue) + ";" + std::to_string(lum) + ";" +
                               std::to_string(sat) + "#1~");
    return bitmap.at(0, 0);
}

class ImageHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
    void createImageFromBitmap(Terminal&, std::vector<uint8_t>& bytes, int width, int height) override
    {
        images.push_back({width, height, bytes});
    }
    std::vector<Bitmap> images;
};

}  // namespace

TEST(SixelDcsHandler, RunsColumnsBandsAndRepeats)
{
    Bitmap red = decode("#1;2;100;0;0#1~~~~-");
    EXPECT_EQ(red.width, 4);
    EXPECT_EQ(red.height, 6);
    expectAll(red, kRed);
    EXPECT_EQ(decode("#1;2;100;0;0#1~~~~"), red) << "the final '-' changes nothing";

    // Blue repeated three times, back to column 0, then green on the top pixel only.
    const Bitmap mixed = decode("#1;2;0;0;100#1!3~$#2;2;0;100;0#2@$");
    ASSERT_EQ(mixed.width, 3);
    ASSERT_EQ(mixed.height, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(mixed.at(x, y), x == 0 && y == 0 ? kGreen : kBlue) << x << "," << y;

    // A count of 0 paints nothing and does not move; a second band starts 6 rows down.
    const Bitmap zero = decode("#1;2;100;0;0#1!0~~-@");
    ASSERT_EQ(zero.width, 1);
    ASSERT_EQ(zero.height, 7);
    EXPECT_EQ(zero.at(0, 5), kRed);
    EXPECT_EQ(zero.at(0, 6), kRed);

    // Raster attributes do not size the image; the measured extent does.
    const Bitmap raster = decode("\"1;1;100;100#1;2;100;0;0#1~~");
    EXPECT_EQ(raster.width, 2);
    EXPECT_EQ(raster.height, 6);

    // A redefinition does not recolour what was painted.
    const Bitmap redefined = decode("#1;2;100;0;0#1~#1;2;0;100;0#1~");
    EXPECT_EQ(redefined.at(0, 0), kRed);
    EXPECT_EQ(redefined.at(1, 0), kGreen);

    // The top pixel alone gives a one-row image.
    const Bitmap top = decode("#1;2;100;0;0#1@@");
    EXPECT_EQ(top.width, 2);
    EXPECT_EQ(top.height, 1);
}

TEST(SixelDcsHandler, ColoursFromDefinitionsDefaultsAndRegisterBounds)
{
    EXPECT_EQ(hls(120, 50, 100), kRed);
    EXPECT_EQ(hls(0, 50, 100), kBlue);
    EXPECT_EQ(hls(240, 50, 100), kGreen);
    EXPECT_EQ(hls(0, 70, 0), (Rgba{178, 178, 178, 255}));
    EXPECT_EQ(hls(120, 70, 100), (Rgba{255, 102, 102, 255}));
    EXPECT_EQ(hls(999, 50, 100), kBlue) << "hue limited to 360, which is 0";
    EXPECT_EQ(decode("#1;2;50;1;200#1~").at(0, 0), (Rgba{127, 2, 255, 255}));

    // Undefined registers below the table paint the terminal's default colour;
    // register 300 clears what it covers.
    const Bitmap defaults = decode("#1;2;100;0;0#1~~$#5~#300~");
    EXPECT_EQ(defaults.at(0, 0), defaultColor(5));
    EXPECT_EQ(defaults.at(1, 0), kClear);
    // An unknown colour space defines nothing; two to four parameters only select.
    EXPECT_EQ(decode("#7;3;100;0;0#7~").at(0, 0), defaultColor(7));
    EXPECT_EQ(decode("#1;2;100;0;0#1;2;0~").at(0, 0), kRed);

    // Registers stop at 65535: a higher definition is ignored.
    EXPECT_EQ(decode("#65535;2;100;0;0#65535~").at(0, 0), kRed);
    EXPECT_EQ(decode("#65536;2;100;0;0#65536~").at(0, 0), kClear);
    EXPECT_EQ(decode("#65537;2;100;0;0#1~").at(0, 0), defaultColor(1));
}

TEST(SixelDcsHandler, IncompleteAndMalformedInput)
{
    // The last run counts even when it is a single byte.
    const Bitmap last = decode("#1;2;100;0;0#1~");
    ASSERT_EQ(last.width, 1);
    ASSERT_EQ(last.height, 6);
    expectAll(last, kRed);

    // Data before the first '#' is drawn with register 0.
    const Bitmap early = decode("~~#1;2;100;0;0#1~");
    ASSERT_EQ(early.width, 3);
    EXPECT_EQ(early.at(0, 0), defaultColor(0));
    EXPECT_EQ(early.at(2, 0), kRed);
    EXPECT_EQ(decode("\r\n~").width, 1);

    // A bare '#' ends the image where it stands.
    EXPECT_EQ(decode("#1;2;100;0;0#1~#~~").width, 1);
    EXPECT_EQ(decode("#1;2;100;0;0#1~~#").width, 2);
    // A number with nothing after it does not count.
    EXPECT_EQ(decode("#1;2;100;0;0#1~!3").width, 1);
    EXPECT_EQ(decode("#1;2;100;0;0#1~!~").width, 2) << "'!' without digits is skipped";
    EXPECT_EQ(decode("#1;2;100;0;0#1~#1;2;0;100;0").at(0, 0), kRed);

    // Empty images still reach the host, once each.
    for (const char* empty : {"", "#", "#1;2;100;0;0", "#1;2;100;0;0#1!0~", "?"}) {
        const auto all = decodeAll(empty);
        ASSERT_EQ(all.size(), 1u) << empty;
        EXPECT_TRUE(all[0].pixels.empty()) << empty;
    }
    EXPECT_EQ(decode("???").width, 3);
    EXPECT_EQ(decode("???").height, 0);
}

TEST(SixelDcsHandler, HostileSizesAreClippedAndCheap)
{
    // A huge repeat paints only the clipped width.
    const Bitmap wide = decode("#0!2000000000~");
    ASSERT_EQ(wide.width, SixelDcsHandler::maxSide);
    ASSERT_EQ(wide.height, 6);
    EXPECT_EQ(wide.at(SixelDcsHandler::maxSide - 1, 5), defaultColor(0));

    // Numbers saturate instead of overflowing; x keeps its clip afterwards.
    const Bitmap saturated = decode("#1;2;100;0;0#1!99999999999999999999999~~$~");
    EXPECT_EQ(saturated.width, SixelDcsHandler::maxSide);
    EXPECT_EQ(saturated.at(0, 0), kRed);

    // Bands past the limit are clipped in height.
    std::string tall = "#1;2;100;0;0#1";
    for (int i = 0; i < 2000; ++i) tall += "~-";
    const Bitmap clipped = decode(tall);
    EXPECT_EQ(clipped.width, 1);
    EXPECT_EQ(clipped.height, SixelDcsHandler::maxSide);
    EXPECT_EQ(clipped.at(0, SixelDcsHandler::maxSide - 1), kRed);

    // Repainting the same pixels with long repeats stops once the bitmap was
    // covered maxOverpaint times over; a second coat is nowhere near that.
    std::string flood = "#0";
    for (int i = 0; i < 100; ++i) flood += "!10000~$";
    flood += "#1;2;100;0;0#1~";
    const Bitmap flooded = decode(flood);
    ASSERT_EQ(flooded.width, SixelDcsHandler::maxSide);
    EXPECT_EQ(flooded.at(0, 0), defaultColor(0));
    EXPECT_EQ(decode("#1;2;100;0;0#1!50~$#2;2;0;100;0#2!50~").at(49, 5), kGreen);

    // A million register definitions keep the palette within its bound.
    std::string many;
    for (int i = 0; i < 1'000'000; ++i) many += "#" + std::to_string(i) + ";2;0;100;0";
    many += "#65535~";
    const Bitmap defined = decode(many);
    ASSERT_EQ(defined.width, 1);
    EXPECT_EQ(defined.at(0, 0), kGreen);
}

TEST(SixelDcsHandler, TerminalHandsEveryImageToItsHostWholeOrSplit)
{
    const std::vector<std::string> streams = {
        "\x1bPq#1;2;100;0;0#1~~~~-\x1b\\",
        "\x1bP0;1;0q\"1;1;4;6#1;2;0;0;100#1!3~$#2;2;0;100;0#2@$\x1b\\",
        "\x1bPq#1;1;120;70;100#1~~$#300~-#5!2N\x1b\\",
        "\x1bPq~~#1;2;100;0;0#1~\x1b\\",
        "\x1bPq\x1b\\",
        "\x1bPq#0;2;0;0;100\r\n#0!12~-\r\n~~\x1b\\",
    };
    for (const auto& stream : streams) {
        SCOPED_TRACE(stream);
        auto whole = std::make_shared<ImageHost>();
        Terminal reference(whole);
        reference.feed(stream);
        reference.feed("x");
        ASSERT_EQ(whole->images.size(), 1u);
        EXPECT_EQ(reference.getCharacter(0, 0).value_or(""), "x") << "the terminal reads on after the image";

        for (size_t cut = 1; cut < stream.size(); ++cut) {
            auto split = std::make_shared<ImageHost>();
            Terminal terminal(split);
            terminal.feed(std::string_view(stream).substr(0, cut));
            terminal.feed(std::string_view(stream).substr(cut));
            ASSERT_EQ(split->images.size(), 1u) << cut;
            ASSERT_EQ(split->images[0], whole->images[0]) << cut;
        }
    }
    // The parameters of the DCS string change nothing.
    auto plain = std::make_shared<ImageHost>();
    auto withParameters = std::make_shared<ImageHost>();
    Terminal(plain).feed("\x1bPq#1;2;100;0;0#1~A\x1b\\");
    Terminal(withParameters).feed("\x1bP9;1;5q#1;2;100;0;0#1~A\x1b\\");
    EXPECT_EQ(plain->images, withParameters->images);
}

TEST(SixelDcsHandler, StringPastTheParserBudgetGivesNoImage)
{
    auto host = std::make_shared<ImageHost>();
    Terminal terminal(host);
    terminal.feed("\x1bPq#0");
    const std::string chunk(1 << 20, '~');
    for (int i = 0; i < 70; ++i) terminal.feed(chunk);
    terminal.feed("\x1b\\ok");
    EXPECT_TRUE(host->images.empty());
    EXPECT_EQ(terminal.getCharacter(0, 0).value_or(""), "o");

    // The next image decodes as usual.
    terminal.feed("\x1bPq#1;2;100;0;0#1~\x1b\\");
    ASSERT_EQ(host->images.size(), 1u);
    EXPECT_EQ(host->images[0].width, 1);
}

// In a process without room for them, a string whose data outgrows the room
// and one whose few kilobytes measure a bitmap of 400 MB give no image, and
// the terminal reads on. Run in a child whose address space may grow by 32
// MiB only.
TEST(SixelDcsHandlerDeathTest, ImagesWithoutRoomAreDroppedAndTheTerminalGoesOn)
{
#ifdef CORVEL_SANITIZED
    GTEST_SKIP() << "a sanitizer's allocator ends the process when the room runs out";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto dropsTheImages = [] {
        const std::string block(size_t{1} << 20, '~');
        std::string huge = "\x1bPq#0!10000~";
        for (int band = 1; band < 1667; ++band) huge += "-~";
        huge += "\x1b\\x";
        if (!corvel::testing::limitAddressSpaceGrowth(size_t{32} << 20)) return 1;
        auto host = std::make_shared<ImageHost>();
        Terminal terminal(host);
        terminal.feed("\x1bPq#0");
        for (int i = 0; i < 48; ++i) terminal.feed(block);
        terminal.feed("\x1b\\");
        if (!host->images.empty()) return 2;
        terminal.feed(huge);
        if (!host->images.empty() || terminal.getCharacter(0, 0).value_or("") != "x") return 3;
        terminal.feed("\x1bPq#1;2;100;0;0#1~\x1b\\");
        return host->images.size() == 1 && host->images[0].width == 1 ? 0 : 4;
    };
    EXPECT_EXIT(std::_Exit(dropsTheImages()), ::testing::ExitedWithCode(0), "");
}
