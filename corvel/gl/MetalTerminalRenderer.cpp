// Renderer construction, teardown and the frame entry.
#include "corvel/gl/MetalTerminalRenderer.h"

#include <QWidget>

#include <cstdlib>
#include <cstring>

#include "corvel/gl/GlDevice.h"
#include "corvel/gl/MetalError.h"
#include "corvel/gl/MetalSurface.h"
#include "corvel/gl/MetalViewHost.h"
#include "corvel/platform/Trace.h"

namespace corvel::gl {

std::shared_ptr<GpuDevice> RendererSetup::defaultDevice() { return GlDevice::create(); }

BlendState MetalTerminalRenderer::textBlend()
{
    return {BlendFactor::one, BlendFactor::oneMinusSourceAlpha, BlendFactor::one, BlendFactor::oneMinusSourceAlpha};
}

BlendState MetalTerminalRenderer::colorBlend()
{
    return {BlendFactor::sourceAlpha, BlendFactor::oneMinusSourceAlpha, BlendFactor::one,
            BlendFactor::oneMinusSourceAlpha};
}

bool MetalTerminalRenderer::profileFlag(const char* value) { return value && std::strcmp(value, "1") == 0; }

bool MetalTerminalRenderer::profileEnabled()
{
    static const bool enabled = profileFlag(std::getenv("CORVEL_PROFILE"));
    return enabled;
}

MetalTerminalRenderer::MetalTerminalRenderer(MetalSurface* view, MetalViewHost* terminalView, RendererSetup setup)
{
    std::shared_ptr<GpuDevice> previousViewDevice = view ? view->device() : nullptr;
    try {
        device_ = previousViewDevice;
        if (!device_ && setup.makeDevice) device_ = setup.makeDevice();
        if (!device_) throw MetalError(MetalError::Kind::deviceUnavailable);
        view_ = view;
        if (view) view->setDevice(device_);

        bufferPool_ = std::make_unique<BufferPool>(*device_, 256, 4);
        commandQueue_ = device_->openCommandQueue();
        if (!commandQueue_) throw MetalError(MetalError::Kind::commandQueueUnavailable);

        grayscaleAtlas_ = GlyphAtlas::create(*device_, 1024, 2048, GlyphAtlasFormat::grayscale);
        if (grayscaleAtlas_) colorAtlas_ = GlyphAtlas::create(*device_, 1024, 2048, GlyphAtlasFormat::bgra);
        if (!grayscaleAtlas_ || !colorAtlas_) throw MetalError(MetalError::Kind::atlasUnavailable);

        ShaderLibrary library = makeLibrary(*device_, setup.shaderSearch);
        const auto pipeline = [&](const char* vertex, const char* fragment, const BlendState& blend) {
            const GpuHandle v = library.function(vertex);
            const GpuHandle f = library.function(fragment);
            const GpuHandle p = (v && f) ? device_->createPipeline(v, f, blend) : 0;
            if (p == 0) throw MetalError(MetalError::Kind::pipelineCreationFailed, "text/color/cell");
            return p;
        };
        textPipeline_ = pipeline("terminal_text_vertex", "terminal_text_fragment", textBlend());
        textGrayPipeline_ = pipeline("terminal_text_vertex", "terminal_text_fragment_gray", textBlend());
        cellTextPipeline_ = pipeline("terminal_cell_text_vertex", "terminal_text_fragment", textBlend());
        cellTextGrayPipeline_ = pipeline("terminal_cell_text_vertex", "terminal_text_fragment_gray", textBlend());
        colorPipeline_ = pipeline("terminal_color_vertex", "terminal_color_fragment", colorBlend());
        cellColorPipeline_ = pipeline("terminal_cell_color_vertex", "terminal_color_fragment", colorBlend());

        sampler_ = device_->createSampler();
        if (sampler_ == 0) throw MetalError(MetalError::Kind::samplerUnavailable);

        terminalView_ = terminalView;
        terminalWidget_ = terminalView ? terminalView->terminalWidget() : nullptr;
    } catch (...) {
        release();
        if (view && view->device() != previousViewDevice) view->setDevice(previousViewDevice);
        device_.reset();
        throw;
    }
}

MetalTerminalRenderer::~MetalTerminalRenderer()
{
    if (view_ && view_->renderer() == this) view_->setRenderer(nullptr);
    release();
}

void MetalTerminalRenderer::release()
{
    if (!device_) return;
    bufferPool_.reset();
    colorAtlas_.reset();
    grayscaleAtlas_.reset();
    for (GpuHandle* p : {&textPipeline_, &textGrayPipeline_, &cellTextPipeline_, &cellTextGrayPipeline_,
                         &colorPipeline_, &cellColorPipeline_}) {
        if (*p) device_->deletePipeline(*p);
        *p = 0;
    }
    if (sampler_) device_->deleteSampler(sampler_);
    sampler_ = 0;
}

MetalSurface* MetalTerminalRenderer::view() const { return view_.data(); }

MetalViewHost* MetalTerminalRenderer::terminalView() const
{
    return terminalWidget_ ? terminalView_ : nullptr;
}

bool MetalTerminalRenderer::pendingRedraw() const
{
    std::lock_guard guard(redrawLock_);
    return pendingRedraw_;
}

void MetalTerminalRenderer::draw(MetalSurface& view)
{
    const bool profiling = profileEnabled();
    if (profiling) trace::begin("Metal.Draw");
    bufferPool_->pollCompletions();
    bufferPool_->beginFrame();
    QColor background = Qt::black;
    if (MetalViewHost* host = terminalView()) background = host->metalBackgroundColor();
    (void)view;
    device_->clear(background.redF(), background.greenF(), background.blueF(), 1.0f);
    bufferPool_->commit();
    if (profiling) trace::end("Metal.Draw");
}

}  // namespace corvel::gl
