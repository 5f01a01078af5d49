// The GPU path with a real OpenGL context (llvmpipe under Xvfb): set-up and
// teardown leave no GL objects, glyphs packed edge to edge do not bleed, the
// view's switch on and off, a view moved to another window, and, run with the
// driver limited to OpenGL 2.1 or on a platform that cannot show an OpenGL
// widget, the refusal. (Whole frames against the CPU
// drawing are in OpenGlFramesTest.cpp.)
// Waits are for conditions, bounded only against hangs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QOffscreenSurface>

#include "corvel/gl/GlDevice.h"
#include "corvel/gl/GlyphRasterizer.h"
#include "corvel/gl/MetalError.h"
#include "corvel/gl/MetalSwitch.h"
#include "GpuFrameSupport.h"

namespace corvel::gl {
namespace {

using testing::channelDistance;
using testing::pumpUntil;
using testing::StandInView;

// A context of the application's share group, to ask whether names still
// exist after their device is gone.
struct Probe {
    QOffscreenSurface surface;
    QOpenGLContext context;
    QOpenGLFunctions_3_3_Core* f = nullptr;
    Probe()
    {
        QSurfaceFormat format;
        format.setVersion(3, 3);
        format.setProfile(QSurfaceFormat::CoreProfile);
        context.setFormat(format);
        context.setShareContext(QOpenGLContext::globalShareContext());
        surface.setFormat(format);
        surface.create();
        if (context.create() && context.makeCurrent(&surface))
            f = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context);
    }
};

TEST(OpenGlRenderer, HundredRenderersMadeAndDestroyedLeaveNoObjectsAlive)
{
    std::vector<GlDevice::ObjectNames> made;
    for (int i = 0; i < 100; ++i) {
        std::shared_ptr<GlDevice> device(GlDevice::create());
        ASSERT_TRUE(device) << "no OpenGL 3.3 core context";
        RendererSetup setup;
        setup.makeDevice = [device] { return device; };
        auto renderer = std::make_unique<MetalTerminalRenderer>(nullptr, nullptr, setup);
        const auto names = device->liveObjects();
        ASSERT_EQ(names.programs.size(), 6u);
        ASSERT_EQ(names.textures.size(), 2u);
        made.push_back(names);
        renderer.reset();
        EXPECT_EQ(device->liveObjectCount(), 0u);
    }
    Probe probe;
    ASSERT_TRUE(probe.f);
    int alive = 0;
    for (const auto& names : made) {
        for (unsigned n : names.textures) alive += probe.f->glIsTexture(n);
        for (unsigned n : names.buffers) alive += probe.f->glIsBuffer(n);
        for (unsigned n : names.programs) alive += probe.f->glIsProgram(n);
        for (unsigned n : names.shaders) alive += probe.f->glIsShader(n);
        for (unsigned n : names.samplers) alive += probe.f->glIsSampler(n);
    }
    EXPECT_EQ(alive, 0);
}

// Draws into an offscreen framebuffer with the renderer's pipelines and
// gives the result, top row first.
struct FrameTarget {
    std::shared_ptr<GlDevice> device{GlDevice::create()};
    std::unique_ptr<MetalTerminalRenderer> renderer;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
    int width, height;

    FrameTarget(int w, int h) : width(w), height(h)
    {
        if (!device) return;
        RendererSetup setup;
        setup.makeDevice = [d = device] { return d; };
        renderer = std::make_unique<MetalTerminalRenderer>(nullptr, nullptr, setup);
        device->makeCurrent();
        fbo = std::make_unique<QOpenGLFramebufferObject>(w, h);
        fbo->bind();
        QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(device->context())->glViewport(0, 0, w, h);
    }
    template <class Record>
    void draw(GpuHandle pipeline, RecordKind kind, const std::vector<Record>& records, GpuHandle texture = 0)
    {
        auto buffer = renderer->bufferPool().makeBuffer(std::span<const Record>(records));
        ASSERT_TRUE(buffer);
        device->draw(DrawCall{pipeline, buffer->id, kind, 0, int(records.size()), texture, renderer->sampler(),
                              float(width), float(height)});
    }
    QImage image() { return fbo->toImage(); }
};

// Puts a grey glyph into the grayscale atlas and gives the white cell that
// draws it with its baseline origin at (0, 0).
TextCell glyphCell(MetalTerminalRenderer& r, const GlyphBitmap& bitmap)
{
    GlyphAtlas& atlas = r.grayscaleAtlas();
    auto region = atlas.ensureRegion(bitmap.width, bitmap.height);
    atlas.write(*region, bitmap.pixels, bitmap.width, bitmap.height);
    const float s = float(atlas.size());
    TextCell cell;
    cell.position = {float(bitmap.bearingX), float(bitmap.bearingY)};
    cell.size = {float(bitmap.width), float(bitmap.height)};
    cell.texOrigin = {float(region->x) / s, float(region->y) / s};
    cell.texSize = {float(bitmap.width) / s, float(bitmap.height) / s};
    cell.color = {1, 1, 1, 1};
    return cell;
}

TEST(OpenGlPipelines, GlyphsPackedEdgeToEdgeDoNotBleedWhenScaled)
{
    FrameTarget target(64, 64);
    ASSERT_TRUE(target.renderer);
    MetalTerminalRenderer& r = *target.renderer;
    GlyphBitmap empty{4, 4, 0, 0, std::vector<std::uint8_t>(64, 0), false};
    GlyphBitmap solid{4, 4, 0, 0, std::vector<std::uint8_t>(64, 255), false};
    // Solid neighbours on both sides of the empty glyph in one shelf.
    glyphCell(r, solid);
    TextCell cell = glyphCell(r, empty);
    glyphCell(r, solid);
    cell.position = {8, 8};
    cell.size = {48, 48};  // twelve times larger: edge pixels sample near the neighbours
    target.device->clear(0, 0, 0, 1);
    target.draw(r.cellTextGrayPipeline(), RecordKind::textCell, std::vector{cell}, r.grayscaleAtlas().texture());
    const QImage image = target.image();
    int lit = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) lit += qRed(image.pixel(x, y)) > 0;
    EXPECT_EQ(lit, 0);
}

TEST(OpenGlSwitch, OnThenOffRestoresTheCpuPathAndTheCaret)
{
    StandInView view;
    view.show();
    ASSERT_TRUE(pumpUntil([&] { return view.isVisible() && view.windowHandle() && view.windowHandle()->isExposed(); }));
    MetalSwitch metal(view);
    try {
        metal.setUseMetal(true);
    } catch (const MetalError& error) {
        FAIL() << error.description();
    }
    ASSERT_TRUE(metal.useMetalRenderer());
    MetalSurface* surface = metal.metalView();
    ASSERT_TRUE(surface);
    ASSERT_TRUE(metal.metalRenderer());
    EXPECT_EQ(surface->parentWidget(), &view);
    EXPECT_EQ(surface->geometry(), view.rect());
    EXPECT_LT(view.children().indexOf(surface), view.children().indexOf(view.caret));  // below the caret
    EXPECT_FALSE(view.caret->isVisible());
    EXPECT_EQ(view.suspended, 1);
    ASSERT_TRUE(pumpUntil([&] { return surface->framesPainted() > 0; }));
    EXPECT_LE(channelDistance(surface->grabFramebuffer().pixel(100, 60), view.background.rgb()), 1);

    view.resize(300, 150);
    EXPECT_EQ(surface->geometry(), QRect(0, 0, 300, 150));

    metal.setUseMetal(false);
    EXPECT_FALSE(metal.useMetalRenderer());
    EXPECT_EQ(metal.metalView(), nullptr);
    EXPECT_EQ(metal.metalRenderer(), nullptr);
    EXPECT_TRUE(view.caret->isVisible());
    EXPECT_EQ(view.resumed, 1);
    EXPECT_EQ(view.grab().toImage().pixel(150, 100), view.background.rgb());
    metal.setUseMetal(false);
    EXPECT_EQ(view.resumed, 1);
}

TEST(OpenGlSwitch, ViewMovedToAnotherWindowKeepsDrawing)
{
    QWidget first, second;
    first.resize(240, 160);
    second.resize(240, 160);
    auto* view = new StandInView(&first);
    first.show();
    ASSERT_TRUE(pumpUntil([&] { return first.windowHandle() && first.windowHandle()->isExposed(); }));
    MetalSwitch metal(*view);
    metal.setUseMetal(true);
    MetalSurface* surface = metal.metalView();
    ASSERT_TRUE(pumpUntil([&] { return surface->framesPainted() > 0; }));

    view->setParent(&second);
    view->show();
    second.show();
    ASSERT_TRUE(pumpUntil([&] { return second.windowHandle() && second.windowHandle()->isExposed(); }));
    const int before = surface->framesPainted();
    metal.requestFrame();
    ASSERT_TRUE(pumpUntil([&] { return surface->framesPainted() > before; }));
    EXPECT_LE(channelDistance(surface->grabFramebuffer().pixel(100, 60), view->background.rgb()), 1);

    // The renderer's objects work in the surface's current context: a red
    // cell drawn at (10, 10) from the lower-left corner.
    surface->makeCurrent();
    MetalTerminalRenderer& r = *metal.metalRenderer();
    auto* f = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(QOpenGLContext::currentContext());
    ASSERT_TRUE(f);
    f->glBindFramebuffer(GL_FRAMEBUFFER, surface->defaultFramebufferObject());
    const QSize size = surface->drawableSize();
    f->glViewport(0, 0, size.width(), size.height());
    r.device().clear(0, 0, 0, 1);
    ColorCell cell;
    cell.position = {10, 10};
    cell.size = {20, 20};
    cell.color = {1, 0, 0, 1};
    auto buffer = r.bufferPool().makeBuffer(std::span<const ColorCell>(&cell, 1));
    ASSERT_TRUE(buffer);
    r.device().draw(DrawCall{r.cellColorPipeline(), buffer->id, RecordKind::colorCell, 0, 1, 0, 0,
                             float(size.width()), float(size.height())});
    std::uint8_t inside[4] = {}, outside[4] = {};
    f->glReadPixels(20, 20, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, inside);
    f->glReadPixels(40, 20, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, outside);
    surface->doneCurrent();
    EXPECT_EQ(inside[0], 255);
    EXPECT_EQ(inside[1], 0);
    EXPECT_EQ(outside[0], 0);
}

// Run twice: with the driver limited to OpenGL 2.1, and on the offscreen
// platform beside an X display, which makes contexts but cannot show an
// OpenGL widget in a window.
TEST(OpenGlLegacy, WithoutACoreContextOrAWidgetHostTheSwitchReportsNoDeviceAndTheViewStillDraws)
{
    if (qgetenv("CORVEL_GL_LEGACY_EXPECTED") != "1")
        GTEST_SKIP() << "runs with the driver limited to OpenGL 2.1 or on the offscreen platform";
    StandInView view;
    view.show();
    ASSERT_TRUE(pumpUntil([&] { return view.windowHandle() && view.windowHandle()->isExposed(); }));
    MetalSwitch metal(view);
    try {
        metal.setUseMetal(true);
        FAIL() << "the GPU path switched on";
    } catch (const MetalError& error) {
        EXPECT_EQ(error.kind(), MetalError::Kind::deviceUnavailable);
        EXPECT_EQ(error.description(), "No Metal device is available.");
    }
    EXPECT_FALSE(metal.useMetalRenderer());
    EXPECT_EQ(metal.metalView(), nullptr);
    EXPECT_EQ(view.suspended, 0);
    EXPECT_TRUE(view.caret->isVisible());
    EXPECT_EQ(view.grab().toImage().pixel(150, 100), view.background.rgb());

    // A terminal view refused the same way goes on drawing its text.
    TerminalView terminal(QRect(0, 0, 300, 100), testing::dejaVu());
    terminal.show();
    ASSERT_TRUE(pumpUntil([&] { return terminal.windowHandle() && terminal.windowHandle()->isExposed(); }));
    terminal.getTerminal().feed("\x1b[7m    ");
    EXPECT_THROW(terminal.setUseMetal(true), MetalError);
    EXPECT_FALSE(terminal.isUsingMetalRenderer());
    EXPECT_EQ(terminal.metalView(), nullptr);
    terminal.repaint();
    const QImage drawn = terminal.grab().toImage();
    const QSizeF cell = *terminal.cellDimension() * drawn.devicePixelRatio();
    const int middle = int(cell.height() / 2);
    EXPECT_NE(drawn.pixel(int(cell.width()), middle), drawn.pixel(int(cell.width() * 6), middle))
        << "the inverse cells are drawn";
}

}  // namespace
}  // namespace corvel::gl
