// The GPU device layer the renderer draws through: textures, buffers, shader
// stages and linked pipelines, draws of record lists, and completion fences.
// One implementation drives OpenGL 3.3 core (GlDevice); a recording one
// (RecordingGpuDevice) keeps everything in memory so packing, pooling and
// set-up can be tested without a GPU. A handle of 0 always means "none".
// Devices are used from the GUI thread only; every object a device made is
// deleted through it, and a device deletes what is still alive when it dies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvel::gl {

using GpuHandle = std::uint32_t;

// Pixel formats of textures. `bgra8` is four bytes per pixel in memory order
// blue, green, red, alpha; the shaders sample it as ordinary RGBA.
enum class TextureFormat : std::uint8_t { r8, bgra8 };

inline int bytesPerPixel(TextureFormat format) { return format == TextureFormat::bgra8 ? 4 : 1; }

enum class BlendFactor : std::uint8_t { one, sourceAlpha, oneMinusSourceAlpha };

// Additive blending with separate colour and alpha factors.
struct BlendState {
    BlendFactor colorSource = BlendFactor::one;
    BlendFactor colorDestination = BlendFactor::oneMinusSourceAlpha;
    BlendFactor alphaSource = BlendFactor::one;
    BlendFactor alphaDestination = BlendFactor::oneMinusSourceAlpha;

    bool operator==(const BlendState&) const = default;
};

enum class ShaderStage : std::uint8_t { vertex, fragment };

// The record layouts a draw can read (GpuRecords.h). Cell records are drawn
// one instance each (six vertices); vertex records one vertex each.
enum class RecordKind : std::uint8_t { textCell, colorCell, glyphVertex, colorVertex };

struct ShaderResult {
    GpuHandle shader = 0;  // 0 when compiling failed
    std::string error;     // the compiler's log when it failed
};

struct DrawCall {
    GpuHandle pipeline = 0;
    GpuHandle buffer = 0;   // the records, from byte 0
    RecordKind kind = RecordKind::colorCell;
    int first = 0;          // first record
    int count = 0;          // number of records
    GpuHandle texture = 0;  // sampled at unit 0 by the textured pipelines; 0 for none
    GpuHandle sampler = 0;
    float viewportWidth = 0;   // drawable size in pixels
    float viewportHeight = 0;
    // Every record is opaque, so blending would give the source colour: the
    // device may write it without reading the target.
    bool opaque = false;
};

class GpuDevice {
public:
    virtual ~GpuDevice() = default;

    // Largest texture edge the device accepts.
    virtual int maxTextureSize() const = 0;
    // Prepares command submission; false when the device cannot take commands.
    virtual bool openCommandQueue() = 0;

    // A texture of the given size, not initialised; 0 when it cannot be made.
    virtual GpuHandle createTexture(int width, int height, TextureFormat format) = 0;
    // Uploads a rectangle. `pixels` points at its first pixel; rows are
    // `rowLength` pixels apart.
    virtual void uploadTexture(GpuHandle texture, int x, int y, int width, int height,
                               const std::uint8_t* pixels, int rowLength) = 0;
    virtual void deleteTexture(GpuHandle texture) = 0;

    // A buffer of exactly `length` bytes; 0 when it cannot be made.
    virtual GpuHandle createBuffer(std::size_t length) = 0;
    virtual void writeBuffer(GpuHandle buffer, std::size_t offset, const void* data, std::size_t size) = 0;
    virtual void deleteBuffer(GpuHandle buffer) = 0;

    virtual ShaderResult compileShader(ShaderStage stage, const std::string& source) = 0;
    virtual void deleteShader(GpuHandle shader) = 0;
    // Links a vertex and a fragment shader into a pipeline with the given
    // blending; 0 when linking fails.
    virtual GpuHandle createPipeline(GpuHandle vertexShader, GpuHandle fragmentShader,
                                     const BlendState& blend) = 0;
    virtual void deletePipeline(GpuHandle pipeline) = 0;

    // Linear filtering, no mipmaps, clamped to the edge; 0 when it cannot be made.
    virtual GpuHandle createSampler() = 0;
    virtual void deleteSampler(GpuHandle sampler) = 0;

    // Into the current framebuffer.
    virtual void clear(float red, float green, float blue, float alpha) = 0;
    virtual void draw(const DrawCall& call) = 0;

    // A fence after the commands issued so far; 0 when it cannot be made.
    virtual GpuHandle insertFence() = 0;
    // Whether the GPU has passed the fence; never blocks.
    virtual bool fenceSignalled(GpuHandle fence) = 0;
    virtual void deleteFence(GpuHandle fence) = 0;
    // Waits at most `timeoutNanos` for the fence; whether it has passed.
    virtual bool waitFence(GpuHandle fence, std::int64_t /*timeoutNanos*/) { return fenceSignalled(fence); }

    // Forgets objects that belong to the current drawing context only (not
    // shared between contexts), with that context current. Called before a
    // drawing context goes away.
    virtual void releaseContextObjects() {}

    // Objects made and not yet deleted, of every kind.
    virtual std::size_t liveObjectCount() const = 0;
};

}  // namespace corvel::gl
