// A GPU device that keeps everything in memory and records what it is asked
// to do, for tests and benchmarks of everything above the device layer:
// texture contents are kept so uploads can be read back, buffers hold their
// bytes, fences pass when told to, and each kind of creation can be made to
// fail. Single thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "corvel/gl/GpuDevice.h"

namespace corvel::gl {

class RecordingGpuDevice : public GpuDevice {
public:
    struct Texture {
        int width = 0;
        int height = 0;
        TextureFormat format = TextureFormat::r8;
        std::vector<std::uint8_t> pixels;  // rows of width * bytesPerPixel, row 0 first
    };
    struct Upload {
        GpuHandle texture = 0;
        int x = 0, y = 0, width = 0, height = 0;
    };
    struct Pipeline {
        GpuHandle vertexShader = 0;
        GpuHandle fragmentShader = 0;
        BlendState blend;
        std::string vertexSource;  // the linked stages' sources
        std::string fragmentSource;
    };

    // Failure switches.
    int maxTextureEdge = 16384;
    bool failCommandQueue = false;
    bool failSampler = false;
    bool failFences = false;
    // Texture creations that succeed before every further one fails; < 0
    // for no limit.
    int texturesBeforeFailure = -1;
    // Pipeline number (1-based, counted per device) that fails to link; 0
    // for none.
    int failingPipeline = 0;
    // Sources for which compiling fails, with the returned log.
    std::function<bool(const std::string& source)> compileFails;

    int maxTextureSize() const override { return maxTextureEdge; }
    bool openCommandQueue() override { return !failCommandQueue; }

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
    void deleteFence(GpuHandle fence) override;

    std::size_t liveObjectCount() const override;

    // Every fence made so far passes.
    void signalAllFences();

    std::map<GpuHandle, Texture> textures;
    std::map<GpuHandle, std::vector<std::uint8_t>> buffers;
    std::map<GpuHandle, std::string> shaders;  // source by handle
    std::map<GpuHandle, Pipeline> pipelines;
    std::map<GpuHandle, bool> samplers;
    std::map<GpuHandle, bool> fences;  // signalled
    std::vector<Upload> uploads;
    std::vector<DrawCall> draws;
    std::vector<std::string> log;  // one line per call that creates or deletes
    int buffersCreated = 0;
    int texturesCreated = 0;
    int pipelinesCreated = 0;
    int clears = 0;

private:
    GpuHandle next_ = 1;
};

}  // namespace corvel::gl
