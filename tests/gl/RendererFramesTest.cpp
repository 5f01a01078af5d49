// The renderer's frames on the recording device, with a real terminal view
// (never shown) as the host: the one-frame gate and its make-up redraw, the
// abandoned frame, the layer order of the draw log, the row cache (what a
// blink, a typed character, a scroll and a buffering-mode switch rebuild),
// a Kitty image re-sent under its id, and the geometry of cursors, cells,
// decorations and Kitty pixel offsets. Fences pass only when the test says.
#include <gtest/gtest.h>

#include <QApplication>

#include <algorithm>

#include "corvel/kitty/KittyGraphicsState.h"
#include "GpuFrameSupport.h"
#include "corvel/gl/MetalTerminalRenderer.h"
#include "corvel/gl/RecordingGpuDevice.h"
#include "corvel/kitty/KittyGraphicsStore.h"
#include "tests/corvel/kitty/KittyGraphicsTestSupport.h"
#include "corvel/qt/QtTerminalImage.h"
#include "corvel/terminal/Terminal.h"

namespace corvel::gl {
namespace {

std::shared_ptr<qt::QtTerminalImage> solid(int w, int h, QColor color, int64_t col)
{
    QImage pixels(w, h, QImage::Format_RGBA8888_Premultiplied);
    pixels.fill(color);
    return std::make_shared<qt::QtTerminalImage>(pixels, w, h, col);
}

struct Fixture {
    std::shared_ptr<RecordingGpuDevice> device = std::make_shared<RecordingGpuDevice>();
    TerminalView view{QRect(0, 0, 400, 200), testing::dejaVu()};
    std::unique_ptr<MetalTerminalRenderer> renderer;
    FrameTarget target;

    explicit Fixture(int maxTextureEdge = 16384)
    {
        device->maxTextureEdge = maxTextureEdge;
        RendererSetup setup;
        setup.makeDevice = [d = device] { return d; };
        renderer = std::make_unique<MetalTerminalRenderer>(nullptr, &view, setup);
        target.drawableSize = view.size();
        view.setCaretViewTracksFocus(false);
    }
    Terminal& terminal() { return view.getTerminal(); }
    // The frame in flight completes, then a new frame is drawn.
    void frame()
    {
        device->signalAllFences();
        renderer->pollFrameCompletion();
        device->draws.clear();
        renderer->drawFrame(target);
    }
    // Marks the rows the terminal updated, as the view's redraw task does.
    void viewUpdates()
    {
        view.queuePendingDisplay();
        testing::pumpUntil([&] { return !view.pendingDisplay(); });
    }
    const RowDrawData& frameData(DrawData& data)
    {
        view.metalBufferingMode = MetalBufferingMode::perFrameAggregated;
        data = renderer->buildDrawData(1.0);
        return *data.frame;
    }
};

TEST(RendererFrames, OneFrameInFlightAndSkippedFramesMadeUpOnce)
{
    Fixture f;
    f.terminal().feed("hello");
    f.renderer->drawFrame(f.target);
    EXPECT_EQ(f.renderer->framesEncoded(), 1);
    EXPECT_TRUE(f.renderer->frameInFlight());
    const auto drawsBefore = f.device->draws.size();
    for (int i = 0; i < 5; ++i) f.renderer->drawFrame(f.target);
    EXPECT_EQ(f.renderer->framesEncoded(), 1) << "nothing encoded while a frame is in flight";
    EXPECT_EQ(f.device->draws.size(), drawsBefore);
    EXPECT_TRUE(f.renderer->pendingRedraw());
    f.renderer->pollFrameCompletion();
    EXPECT_EQ(f.renderer->redrawsScheduled(), 0) << "the fence has not passed";
    f.device->signalAllFences();
    f.renderer->pollFrameCompletion();
    EXPECT_FALSE(f.renderer->frameInFlight());
    EXPECT_FALSE(f.renderer->pendingRedraw());
    EXPECT_EQ(f.renderer->redrawsScheduled(), 1) << "one redraw for the five skipped frames";
    f.renderer->pollFrameCompletion();
    EXPECT_EQ(f.renderer->redrawsScheduled(), 1);

    // A completion with nothing skipped asks for nothing.
    f.renderer->drawFrame(f.target);
    f.device->signalAllFences();
    f.renderer->pollFrameCompletion();
    EXPECT_EQ(f.renderer->redrawsScheduled(), 1);

    // A resized surface does not keep its picture: it draws even with a
    // frame in flight.
    f.renderer->drawFrame(f.target);
    f.renderer->drawableSizeWillChange(QSize(10, 10));
    f.renderer->drawFrame(f.target);
    EXPECT_EQ(f.renderer->framesEncoded(), 4);
}

TEST(RendererFrames, AnAbandonedFrameWithNothingInFlightRedrawsOnce)
{
    Fixture f;
    FrameTarget gone = f.target;
    gone.available = false;
    f.renderer->drawFrame(gone);
    EXPECT_EQ(f.renderer->framesEncoded(), 0);
    EXPECT_FALSE(f.renderer->frameInFlight());
    EXPECT_EQ(f.renderer->redrawsScheduled(), 1);
    f.renderer->drawFrame(f.target);
    EXPECT_EQ(f.renderer->framesEncoded(), 1);
}

TEST(RendererFrames, LayersInFixedOrderInBothBufferingModes)
{
    for (MetalBufferingMode mode : {MetalBufferingMode::perRowPersistent, MetalBufferingMode::perFrameAggregated}) {
        Fixture f;
        f.view.metalBufferingMode = mode;
        f.terminal().feed("\x1b[41;4mXY\x1b[0m");
        Buffer& buffer = f.terminal().buffer();
        const auto kitty = [&](int w, int64_t z, uint32_t id) {
            auto image = solid(w, 4, Qt::green, 0);
            image->setKittyIsKitty(true);
            image->setKittyZIndex(z);
            image->setKittyImageId(id);
            buffer.attachImage(image, buffer.yBase());
        };
        kitty(9, 5, 9);   // drawn after id 3 of the same layer
        kitty(3, 5, 3);
        kitty(1, -1, 1);  // below the text
        buffer.attachImage(solid(7, 4, Qt::blue, 2), buffer.yBase());  // not Kitty: on top
        f.frame();

        // Each draw as a letter: B backgrounds, G grey glyphs, D decorations,
        // C cursor, X anything of the colour atlas, images by their width:
        // U (z -1), 3 and 9 (z 5, ids 3 and 9), O (not Kitty).
        std::string order;
        MetalTerminalRenderer& r = *f.renderer;
        for (const DrawCall& call : f.device->draws) {
            char c = '?';
            if (call.pipeline == r.cellColorPipeline()) c = order.find('G') == std::string::npos ? 'B' : 'D';
            if (call.pipeline == r.cellTextGrayPipeline()) c = 'G';
            if (call.pipeline == r.colorPipeline()) c = 'C';
            if (call.pipeline == r.textPipeline()) {
                switch (f.device->textures.at(call.texture).width) {
                case 1: c = 'U'; break;
                case 3: c = '3'; break;
                case 9: c = '9'; break;
                case 7: c = 'O'; break;
                }
            }
            if (call.pipeline == r.cellTextPipeline() || call.texture == r.colorAtlas().texture()) c = 'X';
            if (order.empty() || order.back() != c) order += c;  // one letter per layer
        }
        EXPECT_EQ(order, "BUGD39OC") << "mode " << int(mode) << " (no colour-atlas state: no X)";
    }
}

TEST(RendererFrames, OnlyStaleRowsAreRebuilt)
{
    Fixture f;
    f.terminal().feed("\x1b[1;5 q");  // blinking block
    for (int row = 0; row < 8; ++row) f.terminal().feed("line " + std::to_string(row) + "\r\n");
    f.frame();
    const int rows = f.terminal().rows();
    EXPECT_EQ(f.renderer->lastBuild().rowsRebuilt, rows);
    EXPECT_TRUE(f.renderer->cursorBlinkTimerActive());

    // A blink: the cursor goes, no row is rebuilt and no buffer made.
    f.renderer->blinkTick();
    EXPECT_FALSE(f.renderer->cursorBlinkOn());
    f.frame();
    EXPECT_EQ(f.renderer->lastBuild().rowsRebuilt, 0);
    EXPECT_EQ(f.renderer->lastBuild().rowBuffersMade, 0);

    // A typed character (an editor echoing it at the cursor): its row.
    f.terminal().feed("\x1b[4;9H");
    f.viewUpdates();
    f.frame();
    f.terminal().feed("x");
    f.viewUpdates();
    f.frame();
    EXPECT_EQ(f.renderer->lastBuild().rowsRebuilt, 1);

    // Rows marked by two updates before one frame all come back.
    f.view.markMetalRowsDirty(1, 1);
    f.view.markMetalRowsDirty(4, 5);
    f.frame();
    EXPECT_EQ(f.renderer->lastBuild().rowsRebuilt, 5);

    // A pager scrolling its screen by a line: every row.
    f.terminal().feed("\x1b[?1049h\x1b[H");
    for (int row = 0; row < rows; ++row) f.terminal().feed("page " + std::to_string(row) + "\r\n");
    f.viewUpdates();
    f.frame();
    f.terminal().feed("\x1b[" + std::to_string(rows) + ";1H\npage next");
    f.viewUpdates();
    f.frame();
    EXPECT_EQ(f.renderer->lastBuild().rowsRebuilt, rows);

    // Buffering mode switches rebuild nothing; back to per-row buffers, each
    // row gets its buffers again without being rebuilt.
    f.view.metalBufferingMode = MetalBufferingMode::perFrameAggregated;
    f.frame();
    EXPECT_EQ(f.renderer->lastBuild().rowsRebuilt, 0);
    f.view.metalBufferingMode = MetalBufferingMode::perRowPersistent;
    f.frame();
    EXPECT_EQ(f.renderer->lastBuild().rowsRebuilt, 0);
    EXPECT_GT(f.renderer->lastBuild().rowBuffersMade, 0);
    f.frame();
    EXPECT_EQ(f.renderer->lastBuild().rowBuffersMade, 0);

    // A steady style stops the blink with the cursor shown.
    f.terminal().feed("\x1b[2 q");
    f.frame();
    EXPECT_FALSE(f.renderer->cursorBlinkTimerActive());
    EXPECT_TRUE(f.renderer->cursorBlinkOn());
}

TEST(RendererFrames, AKittyImageResentUnderItsIdUpdatesItsPlaceholders)
{
    Fixture f;
    KittyGraphicsState& kitty = f.terminal().kittyGraphicsState;
    // 8 x 8 pixels: only the last rows differ between the two versions, far
    // past the first 64 bytes.
    const auto store = [&](QColor bottom) {
        std::vector<uint8_t> pixels;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const QColor c = y < 4 ? QColor(Qt::red) : bottom;
                pixels.insert(pixels.end(), {uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()), 255});
            }
        storeKittyImage(kitty, KittyGraphicsPayload::rgba(std::move(pixels), 8, 8), 1, std::nullopt);
    };
    store(Qt::blue);
    // Placed virtually and shown through placeholder cells, decoded by the
    // view's own decoder.
    f.terminal().feed(corvel::testing::kittyCommand("a=p,i=1,U=1,c=2,r=1,q=2") +
                      corvel::testing::kittyPlaceholderRow(1, 0, 2));
    const auto kittyTexture = [&]() -> const RecordingGpuDevice::Texture* {
        for (const auto& [handle, texture] : f.device->textures)
            if (texture.width == 8 && texture.height == 8) return &texture;
        return nullptr;
    };
    // Texture rows run bottom first: row 0 is the image's bottom row (BGRA).
    const auto bottomBlue = [&] { return kittyTexture() ? int(kittyTexture()->pixels[0]) : -1; };
    const auto topRed = [&] { return kittyTexture() ? int(kittyTexture()->pixels[7 * 8 * 4 + 2]) : -1; };
    f.frame();
    EXPECT_EQ(f.renderer->kittyTextureCount(), 1u);
    EXPECT_EQ(bottomBlue(), 255);
    EXPECT_EQ(topRed(), 255);

    store(Qt::green);
    f.frame();
    EXPECT_EQ(f.renderer->lastBuild().rowsRebuilt, f.terminal().rows()) << "the placeholders are drawn again";
    EXPECT_EQ(f.renderer->kittyTextureCount(), 1u);
    EXPECT_EQ(bottomBlue(), 0) << "the new payload is on the GPU";

    kitty.imagesById.erase(1);
    f.frame();
    EXPECT_EQ(f.renderer->kittyTextureCount(), 0u);
    EXPECT_EQ(kittyTexture(), nullptr);
}

TEST(RendererFrames, AtlasEmptiedDuringTheRebuildAsksForOneMoreFrame)
{
    Fixture f(1024);  // the atlases cannot grow past their first size
    // Hundreds of distinct ideographs drawn large: each build fills the
    // grayscale atlas more than once.
    std::string text;
    for (char32_t c = 0x4E00; c < 0x4E00 + 600; ++c) text += QString::fromUcs4(&c, 1).toStdString();
    f.terminal().feed(text);
    const DrawData data = f.renderer->buildDrawData(16.0);
    EXPECT_EQ(f.renderer->lastBuild().builds, 2) << "one rebuild after the reset, no third";
    EXPECT_FALSE(f.renderer->atlasResetHandled());
    EXPECT_EQ(f.renderer->redrawsScheduled(), 1) << "rows of the second reset are drawn again next frame";
    EXPECT_FALSE(data.rows.empty());
}

TEST(RendererFrames, CursorShapesAtScaleOneAndTwo)
{
    Fixture f;
    f.terminal().feed("ab\x1b[1;5H");  // past the text, on a blank
    const double cw = f.view.cellDimension()->width();
    const double ch = f.view.cellDimension()->height();
    const auto quads = [&](double scale) {
        const DrawData data = f.renderer->buildDrawData(scale);
        std::vector<std::pair<float, float>> sizes;  // width, height per quad
        for (size_t i = 0; i + 6 <= data.cursorColorVertices.size(); i += 6) {
            const auto& v = data.cursorColorVertices;
            sizes.emplace_back(v[i + 1].position.x - v[i].position.x, v[i + 2].position.y - v[i].position.y);
        }
        return std::pair(sizes, data.cursorGlyphVerticesGray.size());
    };
    f.view.setCaretViewTracksFocus(true);
    f.view.setHasFocus(false);
    for (double scale : {1.0, 2.0}) {
        const auto [sizes, glyphs] = quads(scale);
        ASSERT_EQ(sizes.size(), 4u) << "a hollow box of four bars";
        EXPECT_FLOAT_EQ(sizes[0].second, 3 * scale);
        EXPECT_FLOAT_EQ(sizes[0].first, cw * scale) << "the bottom bar spans the cell";
        EXPECT_FLOAT_EQ(sizes[2].first, 3 * scale);
        EXPECT_FLOAT_EQ(sizes[2].second, ch * scale - 6 * scale) << "side bars only between them";
    }
    f.view.setCaretViewTracksFocus(false);
    f.terminal().feed("\x1b[4 q");
    EXPECT_FLOAT_EQ(quads(2.0).first.at(0).second, 4);
    EXPECT_FLOAT_EQ(quads(0.25).first.at(0).second, 1);
    f.terminal().feed("\x1b[6 q");
    EXPECT_FLOAT_EQ(quads(2.0).first.at(0).first, 4);
    f.terminal().feed("\x1b[2 q");
    EXPECT_EQ(quads(1.0).second, 0u) << "a block past the text draws no glyph";
    f.terminal().feed("\x1b[1;1H");
    EXPECT_EQ(quads(1.0).second, 6u) << "over a letter: the letter's quad";
    f.terminal().cursorHidden = true;
    EXPECT_TRUE(quads(1.0).first.empty());
}

TEST(RendererFrames, CellsSitOnTheGridAndDecorationsSpanWideCharacters)
{
    Fixture f;
    const double cw = f.view.cellDimension()->width();
    f.terminal().feed("\x1b[4m\xe6\xbc\xa2\x1b[0me\xcc\x81x\r\n");
    f.terminal().feed("\x1b[44m\x1b[K\x1b[0m\r\n\x1b[4:2mdd\x1b[0m");
    DrawData data;
    const RowDrawData& frame = f.frameData(data);
    const float top = float(f.view.height());
    const float ch = float(f.view.cellDimension()->height());
    // The wide character's underline covers both its columns.
    std::vector<const ColorCell*> row0, row2;
    for (const ColorCell& c : frame.decorationCells) (c.position.y > top - ch ? row0 : row2).push_back(&c);
    ASSERT_EQ(row0.size(), 1u);
    EXPECT_FLOAT_EQ(row0[0]->size.x, float(2 * cw));
    // Double underline: two bars, the second lower by thickness + 1.
    ASSERT_GE(row2.size(), 2u);
    EXPECT_NEAR(row2[0]->position.y - row2.back()->position.y, row2[0]->size.y + 1, 0.01);
    // A background reaching the last column runs to the view's right edge.
    const auto full = std::find_if(frame.backgroundCells.begin(), frame.backgroundCells.end(),
                                   [&](const ColorCell& c) { return c.position.x == 0 && c.size.x > 100; });
    ASSERT_NE(full, frame.backgroundCells.end());
    EXPECT_FLOAT_EQ(full->size.x, float(f.view.width()));
    // 'x' after e + combining acute sits in column 3, not shifted by the mark.
    const auto x = std::max_element(frame.glyphCellsGray.begin(), frame.glyphCellsGray.end(),
                                    [&](const TextCell& a, const TextCell& b) {
                                        return (a.position.y > top - ch) < (b.position.y > top - ch) ||
                                               ((a.position.y > top - ch) == (b.position.y > top - ch) &&
                                                a.position.x < b.position.x);
                                    });
    EXPECT_GE(x->position.x, float(3 * cw));
    EXPECT_LT(x->position.x, float(4 * cw));
}

TEST(RendererFrames, AKittyPixelOffsetMovesTheImageRightAndDown)
{
    Fixture f;
    Buffer& buffer = f.terminal().buffer();
    auto image = solid(10, 8, Qt::green, 2);
    image->setKittyIsKitty(true);
    image->setKittyPixelOffsetX(3);
    image->setKittyPixelOffsetY(4);
    buffer.attachImage(image, buffer.yBase() + 1);
    DrawData data;
    const RowDrawData& frame = f.frameData(data);
    ASSERT_EQ(frame.overImageDraws.size(), 1u);
    const auto& v = frame.overImageDraws[0].vertices;
    const double cw = f.view.cellDimension()->width();
    const double rowTop = f.view.height() - f.view.cellDimension()->height();  // top of screen row 1, y up
    EXPECT_NEAR(v[0].position.x, 2 * cw + 3, 1e-3);
    EXPECT_NEAR(v[2].position.y, rowTop - 4, 1e-3) << "the top edge hangs 4 pixels below the row's top";
    EXPECT_NEAR(v[0].position.y, rowTop - 4 - 8, 1e-3);
    EXPECT_FLOAT_EQ(v[0].texCoord.y, 0) << "texture row 0 is the image's bottom row";
}

TEST(RendererFrames, GeometryHelpers)
{
    // A curly underline from 0 to 10 with unit 3: four pieces, the last cut.
    std::vector<ColorCell> out;
    quads::appendUnderlineSegments(0, 10, 5, 1, {1, 1, 1, 1}, UnderlineStyle::curly, 3, {}, out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_FLOAT_EQ(out.back().size.x, 1);
    // A double-height row's quad is clipped to its row, texture cut alike.
    QuadTransform t;
    t.mode = BufferLine::RenderLineMode::doubledDown;
    t.pivotY = 100;
    t.clip = PxRect{0, 100, 500, 120};
    std::vector<TextCell> text;
    quads::appendTextCell(text, {10, 100, 20, 20 + 100}, {0, 0, 1, 1}, {1, 1, 1, 1}, t);
    ASSERT_EQ(text.size(), 1u);
    EXPECT_FLOAT_EQ(text[0].size.x, 20);
    EXPECT_FLOAT_EQ(text[0].size.y, 20);
    EXPECT_FLOAT_EQ(text[0].texSize.y, 0.5f);
}

}  // namespace
}  // namespace corvel::gl
