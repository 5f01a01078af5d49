// The GPU device on OpenGL 3.3 core. It owns a context of its own on an
// offscreen surface, in the share group of the application's global share
// context (Qt::AA_ShareOpenGLContexts, set before the application object is
// made), so textures, buffers, programs, samplers and fences it makes are
// usable from every drawing widget's context and outlive the replacement of
// such a context (a widget moved to another window). Vertex arrays are not
// shared: one is made per drawing context on first use and forgotten through
// releaseContextObjects() before that context goes away.
// Cell records are drawn as one plain triangle list whose vertex stage reads
// them through a buffer texture (the device's own texture, attached to the
// draw's buffer for the draw), since software drivers run the vertex stage
// once per instance; records beyond the driver's buffer texture size are
// drawn one instance each. A draw marked opaque is written without blending.
// Every call runs in whatever context of the share group is current, or
// makes the device's own context current first, so objects are created and
// deleted with a context current also outside painting. GUI thread only.
#pragma once

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QMetaObject>

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "corvel/gl/GpuDevice.h"

class QOpenGLFunctions_3_3_Core;

namespace corvel::gl {

class GlDevice : public GpuDevice {
public:
    // Nothing when no OpenGL 3.3 core context sharing with the application's
    // global share context can be made.
    static std::unique_ptr<GlDevice> create();
    ~GlDevice() override;
    GlDevice(const GlDevice&) = delete;
    GlDevice& operator=(const GlDevice&) = delete;

    QOpenGLContext* context() const { return context_.get(); }
    // Makes the device's own context current; false when that fails.
    bool makeCurrent();

    // GL names of the shared objects alive, to check that none are left.
    struct ObjectNames {
        std::vector<unsigned> textures, buffers, programs, shaders, samplers;
    };
    ObjectNames liveObjects() const;

    int maxTextureSize() const override { return maxTextureSize_; }
    bool openCommandQueue() override;

    GpuHandle createTexture(int width, int height, TextureFormat format) override;
    void uploadTexture(GpuHandle texture, int x, int y, int width, int height, const std::uint8_t* pixels,
                       int rowLength) override;
    void deleteTexture(GpuHandle texture) override;

    GpuHandle createBuffer(std::size_t length) override;
    void writeBuffer(GpuHandle buffer, std::size_t offset, const void* data, std::size_t size) override;
    void deleteBuffer(GpuHandle buffer) override;

    ShaderResult compileShader(ShaderStage stage, const std::string& source) override;
    void deleteShader(GpuHandle shader) override;
    GpuHandle createPipeline(GpuHandle vertexShader, GpuHandle fragmentShader, const BlendState& blend) override;
    void deletePipeline(GpuHandle pipeline) override;

    GpuHandle createSampler() override;
    void deleteSampler(GpuHandle sampler) override;

    void clear(float red, float green, float blue, float alpha) override;
    void draw(const DrawCall& call) override;

    GpuHandle insertFence() override;
    bool fenceSignalled(GpuHandle fence) override;
    bool waitFence(GpuHandle fence, std::int64_t timeoutNanos) override;
    void deleteFence(GpuHandle fence) override;

    void releaseContextObjects() override;

    std::size_t liveObjectCount() const override;

    // What the device was asked to do since it was made; the benchmarks
    // read it to count GL work per frame.
    struct Counters {
        std::uint64_t draws = 0;
        std::uint64_t buffersCreated = 0;
        std::uint64_t bufferWrites = 0;
        std::uint64_t bytesWritten = 0;
        std::uint64_t textureUploads = 0;
    };
    const Counters& counters() const { return counters_; }

    // Cell records are read through a buffer texture in a plain triangle
    // list when they fit the driver's buffer texture size (in texels), and
    // drawn one instance each otherwise. Tests lower the limit to reach the
    // instanced form.
    int recordFetchLimit() const { return recordFetchLimit_; }
    void setRecordFetchLimit(int texels) { recordFetchLimit_ = texels; }

private:
    struct Pipeline {
        BlendState blend;
        int viewportLocation = -1;
        int fetchLocation = -1;   // -1: the pipeline reads attributes only
        int firstLocation = -1;
    };
    struct TextureInfo {
        TextureFormat format;
        int width, height;
    };

    GlDevice(std::unique_ptr<QOpenGLContext> context, std::unique_ptr<QOffscreenSurface> surface);
    // The functions of a current context of this share group, making the
    // device's own context current when none is; null when that fails.
    QOpenGLFunctions_3_3_Core* functions();
    unsigned vertexArray(QOpenGLFunctions_3_3_Core* f);
    // The buffer texture cell records are read through; 0 when none.
    unsigned recordTexture(QOpenGLFunctions_3_3_Core* f);

    Counters counters_;
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLContext> context_;
    int maxTextureSize_ = 0;
    int recordFetchLimit_ = 0;
    unsigned recordTexture_ = 0;  // the device's own, not counted as live

    std::map<unsigned, TextureInfo> textures_;
    std::map<unsigned, std::size_t> buffers_;  // length by name
    std::set<unsigned> shaders_;
    std::map<unsigned, Pipeline> pipelines_;  // by program name
    std::set<unsigned> samplers_;
    std::map<GpuHandle, void*> fences_;  // GLsync by handle
    GpuHandle nextFence_ = 1;
    struct ContextVertexArray {
        unsigned name = 0;
        QMetaObject::Connection gone;
    };
    std::map<QOpenGLContext*, ContextVertexArray> vertexArrays_;
};

}  // namespace corvel::gl
