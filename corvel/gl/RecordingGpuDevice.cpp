// The in-memory recording device.
#include "corvel/gl/RecordingGpuDevice.h"

#include <cstring>

namespace corvel::gl {

GpuHandle RecordingGpuDevice::createTexture(int width, int height, TextureFormat format)
{
    if (width < 1 || height < 1 || width > maxTextureEdge || height > maxTextureEdge) return 0;
    if (texturesBeforeFailure == 0) return 0;
    if (texturesBeforeFailure > 0) --texturesBeforeFailure;
    const GpuHandle id = next_++;
    textures[id] = Texture{width, height, format,
                           std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * bytesPerPixel(format))};
    ++texturesCreated;
    log.push_back("createTexture " + std::to_string(width) + "x" + std::to_string(height));
    return id;
}

void RecordingGpuDevice::uploadTexture(GpuHandle texture, int x, int y, int width, int height,
                                       const std::uint8_t* pixels, int rowLength)
{
    auto it = textures.find(texture);
    if (it == textures.end()) return;
    Texture& t = it->second;
    const int bpp = bytesPerPixel(t.format);
    for (int r = 0; r < height; ++r)
        std::memcpy(&t.pixels[(static_cast<std::size_t>(y + r) * t.width + x) * bpp],
                    pixels + static_cast<std::size_t>(r) * rowLength * bpp, static_cast<std::size_t>(width) * bpp);
    uploads.push_back(Upload{texture, x, y, width, height});
}

void RecordingGpuDevice::deleteTexture(GpuHandle texture)
{
    if (textures.erase(texture)) log.push_back("deleteTexture");
}

GpuHandle RecordingGpuDevice::createBuffer(std::size_t length)
{
    const GpuHandle id = next_++;
    buffers[id] = std::vector<std::uint8_t>(length, 0xCD);
    ++buffersCreated;
    return id;
}

void RecordingGpuDevice::writeBuffer(GpuHandle buffer, std::size_t offset, const void* data, std::size_t size)
{
    auto it = buffers.find(buffer);
    if (it == buffers.end() || offset + size > it->second.size()) return;
    std::memcpy(it->second.data() + offset, data, size);
}

void RecordingGpuDevice::deleteBuffer(GpuHandle buffer) { buffers.erase(buffer); }

ShaderResult RecordingGpuDevice::compileShader(ShaderStage, const std::string& source)
{
    if (compileFails && compileFails(source)) return {0, "0:1(1): error: syntax error"};
    const GpuHandle id = next_++;
    shaders[id] = source;
    return {id, {}};
}

void RecordingGpuDevice::deleteShader(GpuHandle shader) { shaders.erase(shader); }

GpuHandle RecordingGpuDevice::createPipeline(GpuHandle vertexShader, GpuHandle fragmentShader,
                                             const BlendState& blend)
{
    ++pipelinesCreated;
    if (pipelinesCreated == failingPipeline) return 0;
    if (!shaders.contains(vertexShader) || !shaders.contains(fragmentShader)) return 0;
    const GpuHandle id = next_++;
    pipelines[id] = Pipeline{vertexShader, fragmentShader, blend, shaders[vertexShader], shaders[fragmentShader]};
    return id;
}

void RecordingGpuDevice::deletePipeline(GpuHandle pipeline) { pipelines.erase(pipeline); }

GpuHandle RecordingGpuDevice::createSampler()
{
    if (failSampler) return 0;
    const GpuHandle id = next_++;
    samplers[id] = true;
    return id;
}

void RecordingGpuDevice::deleteSampler(GpuHandle sampler) { samplers.erase(sampler); }

void RecordingGpuDevice::clear(float, float, float, float) { ++clears; }

void RecordingGpuDevice::draw(const DrawCall& call) { draws.push_back(call); }

GpuHandle RecordingGpuDevice::insertFence()
{
    if (failFences) return 0;
    const GpuHandle id = next_++;
    fences[id] = false;
    return id;
}

bool RecordingGpuDevice::fenceSignalled(GpuHandle fence)
{
    auto it = fences.find(fence);
    return it != fences.end() && it->second;
}

void RecordingGpuDevice::deleteFence(GpuHandle fence) { fences.erase(fence); }

void RecordingGpuDevice::signalAllFences()
{
    for (auto& [id, signalled] : fences) signalled = true;
}

std::size_t RecordingGpuDevice::liveObjectCount() const
{
    return textures.size() + buffers.size() + shaders.size() + pipelines.size() + samplers.size() + fences.size();
}

}  // namespace corvel::gl
