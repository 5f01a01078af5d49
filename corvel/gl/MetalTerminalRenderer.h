// The GPU renderer of a terminal view. Set-up makes the device (the
// surface's if it has one, else a new OpenGL 3.3 core device in the
// application's share group), the two glyph atlases, the shader library, the
// six pipelines, the sampler and the buffer pool; construction either yields
// a complete renderer or throws MetalError and leaves nothing behind.
//
// Frames (MetalTerminalRenderer.cpp): one frame in flight at a time, gated by
// the last frame's fence, which is tested without waiting; a frame asked for
// while one is in flight draws nothing (the surface keeps its last picture)
// and is made up exactly once when the fence passes (polled on the GUI
// thread). The frame build (RendererDrawData.cpp) keeps a row cache keyed by
// absolute buffer row and rebuilds only rows the view marked dirty, rows not
// cached, or every row when the cache signature changed; row content
// (RendererRowContent.cpp), the cursor (RendererCursor.cpp) and image layers
// (RendererImages.cpp) are built from the view's own line building, so
// glyphs, backgrounds and decorations sit on the same cell grid as the
// view's CPU drawing. Layers, bottom to top: backgrounds, Kitty images with
// z < 0, grayscale glyphs, colour glyphs, decorations, placeholder images,
// Kitty images with z >= 0, other images, then the cursor.
//
// Geometry: device pixels, y up from the drawable's lower-left corner.
// The renderer never owns the view or the surface; it owns every GPU object
// it made and deletes them, with a context current, when it dies. GUI thread;
// the buffer pool is the only part with a lock.
#pragma once

#include <QPointer>
#include <QSize>

#include <QRawFont>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "corvel/qt/MetalViewHost.h"
#include "corvel/gl/BufferPool.h"
#include "corvel/gl/DrawData.h"
#include "corvel/gl/GlyphAtlas.h"
#include "corvel/gl/GpuDevice.h"
#include "corvel/gl/GpuRecords.h"
#include "corvel/gl/MetalSurface.h"
#include "corvel/gl/RowQuads.h"
#include "corvel/gl/ShaderLibrary.h"
#include "corvel/qt/GpuPath.h"
#include "corvel/qt/GlyphRunCache.h"
#include "corvel/qt/LineBuilder.h"
#include "corvel/qt/RowPainter.h"
#include "corvel/qt/ViewLineInfo.h"

class QWidget;

namespace corvel {
class TerminalView;
class TerminalImage;
class Buffer;
struct KittyPlacementRecord;
}

namespace corvel::gl {

using MetalViewHost = qt::MetalViewHost;

// What construction takes from outside, replaceable for tests.
struct RendererSetup {
    // The device used when the surface has none; null (or a null result)
    // means no device. By default an OpenGL device, on platforms that can
    // show its surface.
    std::function<std::shared_ptr<GpuDevice>()> makeDevice = defaultDevice;
    ShaderSearch shaderSearch;

    static std::shared_ptr<GpuDevice> defaultDevice();
};

// Where a frame goes: the drawable's size in device pixels, the scale
// (device pixels per logical pixel) and whether there is a framebuffer to
// draw into at all.
struct FrameTarget {
    QSize drawableSize;
    double scale = 1.0;
    bool available = true;
};

// What the last frame build did.
struct BuildStats {
    int rowsRebuilt = 0;
    int rowBuffersMade = 0;  // GPU buffers made for rows
    bool signatureChanged = false;
    int builds = 0;          // 2 when an atlas reset made it build again
};

class MetalTerminalRenderer final : public qt::MetalRendererBase {
public:
    // Throws MetalError. `view` may be null (no surface yet); `terminalView`
    // may be null when no view is attached.
    MetalTerminalRenderer(MetalSurface* view, MetalViewHost* terminalView, RendererSetup setup = {});
    ~MetalTerminalRenderer();
    MetalTerminalRenderer(const MetalTerminalRenderer&) = delete;
    MetalTerminalRenderer& operator=(MetalTerminalRenderer&&) = delete;
    MetalTerminalRenderer& operator=(const MetalTerminalRenderer&) = delete;

    // The surface's drawable size changed: the next frame waits (bounded)
    // for the one in flight instead of being skipped, since the resized
    // surface has no picture to keep.
    void drawableSizeWillChange(QSize) { mustDraw_ = true; }
    // One frame into the surface's framebuffer (current).
    void draw(MetalSurface& view);
    // The frame itself, into the current framebuffer.
    void drawFrame(const FrameTarget& target);
    // Looks at the fence of the frame in flight; when it has passed, the
    // frame completes (and a skipped frame is asked for once). Called by the
    // poll timer while a frame is in flight; tests call it by hand.
    void pollFrameCompletion();
    bool frameInFlight() const { return frameFence_ != 0; }

    // Everything the frame at `scale` shows (the view's rows, images and
    // cursor), rebuilding only stale rows.
    DrawData buildDrawData(double scale);
    const BuildStats& lastBuild() const { return lastBuild_; }
    std::size_t cachedRows() const { return rowCache_.size(); }

    // Starts or stops the 0.7 s cursor blink.
    void updateCursorBlinkTimer(bool shouldBlink);
    bool cursorBlinkTimerActive() const { return blinkTimer_ != nullptr; }
    // One tick of the blink timer: flips the phase, asks for a frame.
    void blinkTick();

    // Redraws the renderer asked of the surface (completions, blink ticks,
    // abandoned frames).
    int redrawsScheduled() const { return redrawsScheduled_; }
    // Frames encoded so far.
    int framesEncoded() const { return framesEncoded_; }

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

    // The longest frame (build and encode) so far, in nanoseconds.
    std::int64_t longestFrameNanos() const { return longestFrameNanos_; }

    // Kitty textures cached, by image id, and inline image textures.
    std::size_t kittyTextureCount() const { return kittyTextureCache_.size(); }
    std::size_t imageTextureCount() const { return imageTextureCache_.size(); }

private:
    struct GlyphKey {
        int faceId = 0;  // index of the face's key in faceIds_
        double size = 0;
        quint32 glyph = 0;
        int stretch = 1;
        bool operator==(const GlyphKey&) const = default;
    };
    struct GlyphKeyHash {
        std::size_t operator()(const GlyphKey& k) const;
    };
    // A raw font of the glyph runs at the frame's scale, and its face.
    struct ScaledFont {
        QRawFont source;
        double scale = 1;
        QRawFont scaled;
        int faceId = 0;
    };
    enum class GlyphAtlasKind : std::uint8_t { grayscale, color };
    struct GlyphEntry {
        AtlasRegion region;
        int width = 0, height = 0;
        int bearingX = 0, bearingY = 0;
        bool isColor = false;
        GlyphAtlasKind atlasKind = GlyphAtlasKind::grayscale;
    };
    struct CustomGlyphKey {
        char32_t codePoint = 0;
        int cellWidthPx = 0, cellHeightPx = 0, baseThicknessPx = 0;
        int scale = 1;
        bool antiAlias = false;
        bool operator==(const CustomGlyphKey&) const = default;
    };
    struct CustomGlyphKeyHash {
        std::size_t operator()(const CustomGlyphKey& k) const;
    };
    struct CustomGlyphEntry {
        AtlasRegion region;
        int width = 0, height = 0;
    };
    struct RowCacheEntry {
        std::optional<RowDrawData> data;
        std::shared_ptr<const RowDrawBuffers> buffers;
    };
    struct KittyTexture {
        KittyImageSignature signature;
        GpuHandle texture = 0;
        int width = 0, height = 0;
    };
    struct ImageTexture {
        std::weak_ptr<const TerminalImage> image;
        GpuHandle texture = 0;
    };
    // What a row build needs beyond the row.
    struct RowInputs {
        TerminalView* view = nullptr;
        Buffer* buffer = nullptr;
        std::int64_t yDisp = 0;
        double cellWidth = 1, cellHeight = 1;
        double viewHeight = 0;
        double viewWidthPx = 0;
        double scale = 1;
        const std::unordered_map<std::uint32_t, std::vector<KittyPlacementRecord>>* virtualPlacements = nullptr;
        qt::LineBuilder* builder = nullptr;
    };

    void release();
    void scheduleRedraw();
    void completeFrame();
    void encodePerRow(const DrawData& data, float viewportWidth, float viewportHeight);
    void encodeFrameData(const FrameDrawData& frame, float viewportWidth, float viewportHeight);
    void encodeCursor(const DrawData& data, float viewportWidth, float viewportHeight);
    template <class Record>
    void drawPooled(const std::vector<Record>& records, GpuHandle pipeline, RecordKind kind, GpuHandle texture,
                    float viewportWidth, float viewportHeight, bool opaque = false);

    // Frame build (RendererDrawData.cpp).
    DrawData buildDrawDataOnce(double scale);
    std::shared_ptr<const RowDrawBuffers> makeRowBuffers(const RowDrawData& data);
    void ensureFonts(TerminalView& view);

    // Row content (RendererRowContent.cpp).
    RowDrawData buildRowDrawData(std::int64_t row, const RowInputs& in);
    // `stretch` 1 plain, 2 twice as wide, 3 twice as wide and high.
    std::optional<GlyphEntry> glyphEntry(const ScaledFont& font, quint32 glyph, int stretch = 1);
    const ScaledFont& scaledFontFor(const QRawFont& font, double scale);
    std::optional<CustomGlyphEntry> customGlyphEntry(char32_t codePoint, int cellWidthPx, int cellHeightPx,
                                                     double scale, int baseThicknessPx, bool antiAlias,
                                                     std::span<const qt::BlockElementRect> rects);
    // An atlas grew or emptied itself: every region handed out may be stale.
    void noteAtlasChange(const GlyphAtlas& atlas, int sizeBefore);

    // Cursor (RendererCursor.cpp).
    void buildCursorDrawData(DrawData& out, double scale, double cellWidth, double cellHeight, std::int64_t yDisp,
                             std::int64_t firstRow, std::int64_t lastRow);

    // Images (RendererImages.cpp).
    void pruneTextureCaches();
    GpuHandle textureFor(const std::shared_ptr<TerminalImage>& image);
    const KittyTexture* kittyTexture(std::uint32_t imageId);
    GpuHandle uploadImage(const QImage& image);
    void appendLineImages(RowDrawData& out, const RowInputs& in, std::int64_t screenRow,
                          const std::optional<std::vector<std::shared_ptr<TerminalImage>>>& images,
                          const QuadTransform& transform);
    void appendPlaceholderImages(RowDrawData& out, const RowInputs& in, std::int64_t screenRow,
                                 const qt::ViewLineInfo& info, const QuadTransform& transform);
    void makeImageDrawBuffers(const std::vector<ImageDraw>& draws, std::vector<ImageDrawBuffer>& out);
    void encodeImageRows(const DrawData& data, std::vector<ImageDrawBuffer> RowDrawBuffers::*list,
                         float viewportWidth, float viewportHeight);
    void encodeImageBatches(const std::vector<ImageDraw>& draws, float viewportWidth, float viewportHeight);

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
    std::optional<CacheSignature> cacheSignature_;
    std::unordered_map<std::int64_t, RowCacheEntry> rowCache_;
    bool atlasResetDuringBuild_ = false;
    bool atlasResetHandled_ = false;
    BuildStats lastBuild_;
    BuildStats building_;

    std::unique_ptr<qt::GlyphRunCache> glyphRuns_;
    std::array<QFont, 4> glyphFonts_;
    qt::RowTextMetrics rowMetrics_;
    std::unordered_map<GlyphKey, GlyphEntry, GlyphKeyHash> glyphCache_;
    std::deque<ScaledFont> scaledFonts_;  // a reference is good until the next lookup
    std::size_t lastScaledFont_ = 0;
    std::unordered_map<QString, int> faceIds_;  // face key to face id
    std::unordered_map<CustomGlyphKey, CustomGlyphEntry, CustomGlyphKeyHash> customGlyphCache_;
    std::unordered_map<std::uint32_t, KittyTexture> kittyTextureCache_;
    std::unordered_map<const TerminalImage*, ImageTexture> imageTextureCache_;
    qt::ViewLineInfo lineInfo_;

    bool cursorBlinkOn_ = true;
    std::unique_ptr<QTimer> blinkTimer_;
    std::unique_ptr<QTimer> completionPoll_;
    GpuHandle frameFence_ = 0;  // the frame in flight; 0 for none
    bool mustDraw_ = false;
    mutable std::mutex redrawLock_;  // guards pendingRedraw_
    bool pendingRedraw_ = false;
    int redrawsScheduled_ = 0;
    int framesEncoded_ = 0;
    std::int64_t longestFrameNanos_ = 0;
};

}  // namespace corvel::gl
