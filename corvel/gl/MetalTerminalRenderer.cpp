// Renderer construction, teardown, the frame loop (gate, encoding in layer
// order, completion) and the cursor blink timer.
#include "corvel/gl/MetalTerminalRenderer.h"

#include <QElapsedTimer>
#include <QWidget>

#include <algorithm>

#include <cstdlib>
#include <cstring>

#include "corvel/gl/GlDevice.h"
#include "corvel/gl/MetalError.h"
#include "corvel/gl/MetalSurface.h"
#include "corvel/gl/MetalViewHost.h"
#include "corvel/platform/Trace.h"
#include "corvel/qt/CaretView.h"
#include "corvel/qt/TerminalView.h"

namespace corvel::gl {

std::shared_ptr<GpuDevice> RendererSetup::defaultDevice()
{
    // A device is of no use where its surface cannot be shown.
    if (!MetalSurface::platformCanShow()) return nullptr;
    return GlDevice::create();
}

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
    blinkTimer_.reset();
    completionPoll_.reset();
    release();
}

void MetalTerminalRenderer::release()
{
    if (!device_) return;
    rowCache_.clear();
    for (auto& [id, entry] : kittyTextureCache_) device_->deleteTexture(entry.texture);
    kittyTextureCache_.clear();
    for (auto& [key, entry] : imageTextureCache_) device_->deleteTexture(entry.texture);
    imageTextureCache_.clear();
    if (frameFence_) device_->deleteFence(frameFence_);
    frameFence_ = 0;
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
    FrameTarget target;
    target.drawableSize = view.drawableSize();
    const qreal ratio = view.devicePixelRatioF();
    target.scale = ratio > 0 ? ratio : 1.0;
    target.available = view.context() && view.isValid() && !target.drawableSize.isEmpty();
    drawFrame(target);
}

void MetalTerminalRenderer::scheduleRedraw()
{
    ++redrawsScheduled_;
    if (view_) view_->update();
}

void MetalTerminalRenderer::completeFrame()
{
    device_->deleteFence(frameFence_);
    frameFence_ = 0;
    if (completionPoll_) completionPoll_->stop();
    bool redraw = false;
    {
        std::lock_guard guard(redrawLock_);
        redraw = pendingRedraw_;
        pendingRedraw_ = false;
    }
    // Makes up for every frame skipped while this one was in flight.
    if (redraw) scheduleRedraw();
}

void MetalTerminalRenderer::pollFrameCompletion()
{
    if (frameFence_ && device_->fenceSignalled(frameFence_)) completeFrame();
}

void MetalTerminalRenderer::updateCursorBlinkTimer(bool shouldBlink)
{
    if (!shouldBlink) {
        if (blinkTimer_) {
            blinkTimer_.reset();
            cursorBlinkOn_ = true;
        }
        return;
    }
    if (blinkTimer_) return;
    cursorBlinkOn_ = true;
    blinkTimer_ = std::make_unique<QTimer>();
    blinkTimer_->setInterval(700);
    QObject::connect(blinkTimer_.get(), &QTimer::timeout, [this] { blinkTick(); });
    blinkTimer_->start();
}

void MetalTerminalRenderer::blinkTick()
{
    cursorBlinkOn_ = !cursorBlinkOn_;
    scheduleRedraw();
}

void MetalTerminalRenderer::drawFrame(const FrameTarget& target)
{
    const bool profiling = profileEnabled();
    if (profiling) trace::begin("Metal.Draw");
    QElapsedTimer clock;
    clock.start();
    const auto finish = [&] {
        longestFrameNanos_ = std::max<std::int64_t>(longestFrameNanos_, clock.nsecsElapsed());
        if (profiling) trace::end("Metal.Draw");
    };
    bufferPool_->pollCompletions();

    // One frame in flight: a frame asked for meanwhile is remembered and
    // made up when that one completes. A resized surface has lost its
    // picture, so it waits (bounded) and draws.
    if (frameFence_) {
        if (mustDraw_ && !device_->fenceSignalled(frameFence_)) device_->waitFence(frameFence_, 100'000'000);
        if (mustDraw_ || device_->fenceSignalled(frameFence_)) {
            completeFrame();
        } else {
            std::lock_guard guard(redrawLock_);
            pendingRedraw_ = true;
            finish();
            return;
        }
    }
    mustDraw_ = false;

    MetalViewHost* host = terminalView();
    auto* terminalView = host ? qobject_cast<TerminalView*>(host->terminalWidget()) : nullptr;
    if (terminalView && terminalView->cellDimension()) {
        const Terminal& terminal = terminalView->getTerminal();
        updateCursorBlinkTimer(CaretView::isBlinking(terminal.options().cursorStyle) && !terminal.cursorHidden);
    }

    if (!target.available) {
        // Abandoned with nothing in flight: no completion will come to make
        // it up, so it asks for its redraw itself.
        scheduleRedraw();
        finish();
        return;
    }

    DrawData data;
    if (terminalView) {
        if (profiling) trace::begin("Metal.BuildDrawData");
        data = buildDrawData(target.scale);
        if (profiling) trace::end("Metal.BuildDrawData");
    }

    if (profiling) trace::begin("Metal.Encode");
    const QColor background = host ? host->metalBackgroundColor() : QColor(Qt::black);
    const Float4 clear = quads::toFloat4(background);
    device_->clear(clear.r, clear.g, clear.b, 1.0f);
    bufferPool_->beginFrame();
    const float width = static_cast<float>(target.drawableSize.width());
    const float height = static_cast<float>(target.drawableSize.height());
    if (data.frame) {
        encodeFrameData(*data.frame, width, height);
    } else {
        encodePerRow(data, width, height);
    }
    encodeCursor(data, width, height);
    if (profiling) trace::end("Metal.Encode");

    if (profiling) trace::begin("Metal.Commit");
    bufferPool_->commit();
    frameFence_ = device_->insertFence();
    ++framesEncoded_;
    if (frameFence_) {
        if (!completionPoll_) {
            completionPoll_ = std::make_unique<QTimer>();
            completionPoll_->setInterval(1);
            QObject::connect(completionPoll_.get(), &QTimer::timeout, [this] { pollFrameCompletion(); });
        }
        completionPoll_->start();
    }
    if (profiling) trace::end("Metal.Commit");
    finish();
}

template <class Record>
void MetalTerminalRenderer::drawPooled(const std::vector<Record>& records, GpuHandle pipeline, RecordKind kind,
                                       GpuHandle texture, float viewportWidth, float viewportHeight, bool opaque)
{
    if (records.empty()) return;
    const auto buffer = bufferPool_->makeBuffer(std::span<const Record>(records));
    if (!buffer) return;
    device_->draw(DrawCall{pipeline, buffer->id, kind, 0, static_cast<int>(records.size()), texture,
                           texture ? sampler_ : 0, viewportWidth, viewportHeight, opaque});
}

void MetalTerminalRenderer::encodePerRow(const DrawData& data, float w, float h)
{
    const auto cells = [&](GpuHandle RowDrawBuffers::*buffer, int RowDrawBuffers::*count, GpuHandle pipeline,
                           RecordKind kind, GpuHandle texture, bool RowDrawBuffers::*opaque) {
        for (const auto& row : data.rows) {
            if (!row || !((*row).*buffer) || (*row).*count == 0) continue;
            device_->draw(DrawCall{pipeline, (*row).*buffer, kind, 0, (*row).*count, texture,
                                   texture ? sampler_ : 0, w, h, opaque && (*row).*opaque});
        }
    };
    // Opaque backgrounds are written without blending (the same pixels,
    // less work for a software driver).
    cells(&RowDrawBuffers::backgroundBuffer, &RowDrawBuffers::backgroundCount, cellColorPipeline_,
          RecordKind::colorCell, 0, &RowDrawBuffers::backgroundOpaque);
    encodeImageRows(data, &RowDrawBuffers::underImageBuffers, w, h);
    cells(&RowDrawBuffers::glyphGrayBuffer, &RowDrawBuffers::glyphGrayCount, cellTextGrayPipeline_,
          RecordKind::textCell, grayscaleAtlas_->texture(), nullptr);
    cells(&RowDrawBuffers::glyphColorBuffer, &RowDrawBuffers::glyphColorCount, cellTextPipeline_,
          RecordKind::textCell, colorAtlas_->texture(), nullptr);
    cells(&RowDrawBuffers::decorationBuffer, &RowDrawBuffers::decorationCount, cellColorPipeline_,
          RecordKind::colorCell, 0, nullptr);
    encodeImageRows(data, &RowDrawBuffers::placeholderImageBuffers, w, h);
    encodeImageRows(data, &RowDrawBuffers::overImageBuffers, w, h);
    encodeImageRows(data, &RowDrawBuffers::otherImageBuffers, w, h);
}

void MetalTerminalRenderer::encodeFrameData(const FrameDrawData& frame, float w, float h)
{
    drawPooled(frame.backgroundCells, cellColorPipeline_, RecordKind::colorCell, 0, w, h,
               allOpaque(frame.backgroundCells));
    encodeImageBatches(frame.underImageDraws, w, h);
    drawPooled(frame.glyphCellsGray, cellTextGrayPipeline_, RecordKind::textCell, grayscaleAtlas_->texture(), w, h);
    drawPooled(frame.glyphCellsColor, cellTextPipeline_, RecordKind::textCell, colorAtlas_->texture(), w, h);
    drawPooled(frame.decorationCells, cellColorPipeline_, RecordKind::colorCell, 0, w, h);
    encodeImageBatches(frame.placeholderImageDraws, w, h);
    encodeImageBatches(frame.overImageDraws, w, h);
    encodeImageBatches(frame.otherImageDraws, w, h);
}

void MetalTerminalRenderer::encodeCursor(const DrawData& data, float w, float h)
{
    drawPooled(data.cursorColorVertices, colorPipeline_, RecordKind::colorVertex, 0, w, h);
    drawPooled(data.cursorGlyphVerticesGray, textGrayPipeline_, RecordKind::glyphVertex, grayscaleAtlas_->texture(),
               w, h);
    drawPooled(data.cursorGlyphVerticesColor, textPipeline_, RecordKind::glyphVertex, colorAtlas_->texture(), w, h);
}

}  // namespace corvel::gl
