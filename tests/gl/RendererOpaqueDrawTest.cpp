// Background draws on the recording device are marked opaque (written
// without blending) only when every fill of the draw is opaque, in both
// buffering modes; glyphs and decorations always blend.
#include <gtest/gtest.h>

#include "GpuFrameSupport.h"
#include "corvel/gl/MetalTerminalRenderer.h"
#include "corvel/gl/RecordingGpuDevice.h"
#include "corvel/terminal/Terminal.h"

namespace corvel::gl {
namespace {

struct OpaqueFixture {
    std::shared_ptr<RecordingGpuDevice> device = std::make_shared<RecordingGpuDevice>();
    TerminalView view{QRect(0, 0, 400, 200), testing::dejaVu()};
    std::unique_ptr<MetalTerminalRenderer> renderer;
    FrameTarget target;

    OpaqueFixture()
    {
        RendererSetup setup;
        setup.makeDevice = [d = device] { return d; };
        renderer = std::make_unique<MetalTerminalRenderer>(nullptr, &view, setup);
        target.drawableSize = view.size();
        view.setCaretViewTracksFocus(false);
    }
    // The draws of a fresh frame with the cell colour pipeline: whether each
    // was marked opaque, in drawing order.
    std::vector<bool> cellColorDraws()
    {
        device->signalAllFences();
        renderer->pollFrameCompletion();
        view.metalDirtyRange = std::pair<int64_t, int64_t>(0, 1'000'000);
        device->draws.clear();
        renderer->drawFrame(target);
        std::vector<bool> opaque;
        for (const DrawCall& call : device->draws)
            if (call.pipeline == renderer->cellColorPipeline()) opaque.push_back(call.opaque);
        return opaque;
    }
};

TEST(RendererOpaqueDraws, OnlyAllOpaqueBackgroundsSkipBlending)
{
    for (const auto mode : {MetalBufferingMode::perRowPersistent, MetalBufferingMode::perFrameAggregated}) {
        OpaqueFixture f;
        f.view.metalBufferingMode = mode;
        f.view.getTerminal().feed("\x1b[41mred\x1b[0m \x1b[4munder\x1b[0m\r\n\x1b[44mblue\x1b[0m");
        // Backgrounds (both opaque) then the underline.
        auto draws = f.cellColorDraws();
        if (mode == MetalBufferingMode::perRowPersistent) {
            EXPECT_EQ(draws, (std::vector<bool>{true, true, false}));
        } else {
            EXPECT_EQ(draws, (std::vector<bool>{true, false}));
        }

        // A translucent selection on the first row: that row's fills (or the
        // frame's) blend again.
        f.view.setSelectedTextBackgroundColor(DeviceColor{0.2, 0.4, 0.9, 0.5});
        f.view.selection().setSelection(Position{0, 0}, Position{2, 0});
        f.view.selection().setActive(true);
        draws = f.cellColorDraws();
        if (mode == MetalBufferingMode::perRowPersistent) {
            EXPECT_EQ(draws, (std::vector<bool>{false, true, false}));
        } else {
            EXPECT_EQ(draws, (std::vector<bool>{false, false}));
        }
    }
}

}  // namespace
}  // namespace corvel::gl
