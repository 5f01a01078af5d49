// The GPU renderer of a terminal view, as far as it exists before the first
// frame: the device (the surface's if it has one, else a new OpenGL 3.3 core
// device in the application's share group), the two glyph atlases, the
// shader library, the six pipelines, the sampler and the buffer pool.
// Construction either yields a complete renderer or throws MetalError and
// leaves nothing behind. The renderer never owns the view or the surface; it
// owns every GPU object it made and deletes them, with a context current,
// when it dies. GUI thread; the buffer pool is the only part with a lock.
#pragma once

#include <QPointer>
#include <QSize>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "corvel/gl/BufferPool.h"
#include "corvel/gl/GlyphAtlas.h"
#include "corvel/gl/GpuDevice.h"
#include "corvel/gl/GpuRecords.h"
#include "corvel/gl/MetalSurface.h"
#include "corvel/gl/ShaderLibrary.h"

class QWidget;

namespace corvel::gl {

class MetalViewHost;

// What construction takes from outside, replaceable for tests.
struct RendererSetup {
    // The device used when the surface has none; null (or a null result)
    // means no device. By default an OpenGL device.
    std::function<std::shared_ptr<GpuDevice>()> makeDevice = defaultDevice;
    ShaderSearch shaderSearch;

    static std::shared_ptr<GpuDevice> defaultDevice();
};

class MetalTerminalRenderer {
public:
    // Throws MetalError. `view` may be null (no surface yet); `terminalView`
    // may be null when no view is attached.
    MetalTerminalRenderer(MetalSurface* view, MetalViewHost* terminalView, RendererSetup setup = {});
    ~MetalTerminalRenderer();
    MetalTerminalRenderer(const MetalTerminalRenderer&) = delete;
    MetalTerminalRenderer& operator=(const MetalTerminalRenderer&) = delete;

    // The surface's drawable size changed; the frame reads the size itself.
    void drawableSizeWillChange(QSize) {}
    // One frame into the surface's framebuffer (current): reclaims pooled
    // buffers the GPU is done with and clears to the view's background.
    void draw(MetalSurface& view);

    GpuDevice& device() const { return *device_; }
    const std::shared_ptr<GpuDevice>& sharedDevice() const { return device_; }
    GpuHandle textPipeline() const { return textPipeline_; }
    GpuHandle textGrayPipeline() const { return textGrayPipeline_; }
    GpuHandle colorPipeline() const { return colorPipeline_; }
    GpuHandle cellTextPipeline() const { return cellTextPipeline_; }
    GpuHandle cellTextGrayPipeline() const { return cellTextGrayPipeline_; }
    GpuHandle cellColorPipeline() const { return cellColorPipeline_; }
    GpuHandle sampler() const { return sampler_; }
    BufferPool& bufferPool() { return *bufferPool_; }
    GlyphAtlas& grayscaleAtlas() { return *grayscaleAtlas_; }
    GlyphAtlas& colorAtlas() { return *colorAtlas_; }
    MetalSurface* view() const;
    MetalViewHost* terminalView() const;

    std::optional<MetalBufferingMode> cacheBufferingMode() const { return cacheBufferingMode_; }
    bool atlasResetDuringBuild() const { return atlasResetDuringBuild_; }
    bool atlasResetHandled() const { return atlasResetHandled_; }
    bool cursorBlinkOn() const { return cursorBlinkOn_; }
    bool pendingRedraw() const;

    // Whether frame profiling is on: CORVEL_PROFILE is exactly "1", read
    // once per process.
    static bool profileEnabled();
    // The rule applied to the variable's value (null when unset).
    static bool profileFlag(const char* value);

    // The blend states of the text and the colour pipelines.
    static BlendState textBlend();
    static BlendState colorBlend();

private:
    void release();

    std::shared_ptr<GpuDevice> device_;
    QPointer<MetalSurface> view_;
    QPointer<QWidget> terminalWidget_;
    MetalViewHost* terminalView_ = nullptr;
    bool commandQueue_ = false;
    GpuHandle textPipeline_ = 0;
    GpuHandle textGrayPipeline_ = 0;
    GpuHandle colorPipeline_ = 0;
    GpuHandle cellTextPipeline_ = 0;
    GpuHandle cellTextGrayPipeline_ = 0;
    GpuHandle cellColorPipeline_ = 0;
    GpuHandle sampler_ = 0;
    std::unique_ptr<BufferPool> bufferPool_;
    std::unique_ptr<GlyphAtlas> grayscaleAtlas_;
    std::unique_ptr<GlyphAtlas> colorAtlas_;
    std::optional<MetalBufferingMode> cacheBufferingMode_;
    bool atlasResetDuringBuild_ = false;
    bool atlasResetHandled_ = false;
    bool cursorBlinkOn_ = true;
    mutable std::mutex redrawLock_;  // guards pendingRedraw_
    bool pendingRedraw_ = false;
};

}  // namespace corvel::gl
