// OpenGL 3.3 core implementation of the device layer.
#include "corvel/gl/GlDevice.h"

#include <algorithm>

#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>

#include <cstddef>

#include "corvel/gl/GpuRecords.h"

namespace corvel::gl {

namespace {

GLenum blendFactor(BlendFactor factor)
{
    switch (factor) {
    case BlendFactor::one: return GL_ONE;
    case BlendFactor::sourceAlpha: return GL_SRC_ALPHA;
    case BlendFactor::oneMinusSourceAlpha: return GL_ONE_MINUS_SRC_ALPHA;
    }
    return GL_ONE;
}

bool isCore33(const QSurfaceFormat& format)
{
    // Contexts of 3.2 and later asked for the core profile are core ones.
    return format.version() >= qMakePair(3, 3);
}

}  // namespace

std::unique_ptr<GlDevice> GlDevice::create()
{
    QOpenGLContext* share = QOpenGLContext::globalShareContext();
    if (!share) return nullptr;
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(format);
    context->setShareContext(share);
    if (!context->create() || context->shareContext() != share || context->isOpenGLES()) return nullptr;
    if (!isCore33(context->format())) return nullptr;
    auto surface = std::make_unique<QOffscreenSurface>();
    surface->setFormat(context->format());
    surface->create();
    if (!surface->isValid() || !context->makeCurrent(surface.get())) return nullptr;
    if (!QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(context.get())) return nullptr;
    return std::unique_ptr<GlDevice>(new GlDevice(std::move(context), std::move(surface)));
}

GlDevice::GlDevice(std::unique_ptr<QOpenGLContext> context, std::unique_ptr<QOffscreenSurface> surface)
    : surface_(std::move(surface)), context_(std::move(context))
{
    if (auto* f = functions()) {
        GLint size = 0;
        f->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
        maxTextureSize_ = size;
        GLint texels = 0;
        f->glGetIntegerv(GL_MAX_TEXTURE_BUFFER_SIZE, &texels);
        recordFetchLimit_ = texels;
    }
}

GlDevice::~GlDevice()
{
    // Deleted with a context of the share group current, so nothing stays
    // behind in the group.
    if (auto* f = functions()) {
        for (auto& [name, info] : textures_) f->glDeleteTextures(1, &name);
        for (auto& [name, length] : buffers_) f->glDeleteBuffers(1, &name);
        for (auto& [name, pipeline] : pipelines_) f->glDeleteProgram(name);
        for (unsigned name : shaders_) f->glDeleteShader(name);
        for (unsigned name : samplers_) f->glDeleteSamplers(1, &name);
        for (auto& [handle, sync] : fences_) f->glDeleteSync(static_cast<GLsync>(sync));
        if (recordTexture_) f->glDeleteTextures(1, &recordTexture_);
        QOpenGLContext* current = QOpenGLContext::currentContext();
        if (auto it = vertexArrays_.find(current); it != vertexArrays_.end())
            f->glDeleteVertexArrays(1, &it->second.name);
    }
    for (auto& [context, vao] : vertexArrays_) QObject::disconnect(vao.gone);
    context_->doneCurrent();
}

bool GlDevice::makeCurrent() { return context_->makeCurrent(surface_.get()); }

QOpenGLFunctions_3_3_Core* GlDevice::functions()
{
    QOpenGLContext* current = QOpenGLContext::currentContext();
    if (!current || (current != context_.get() && !QOpenGLContext::areSharing(current, context_.get()))) {
        if (!makeCurrent()) return nullptr;
        current = context_.get();
    }
    return QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(current);
}

GlDevice::ObjectNames GlDevice::liveObjects() const
{
    ObjectNames names;
    for (auto& [name, info] : textures_) names.textures.push_back(name);
    for (auto& [name, length] : buffers_) names.buffers.push_back(name);
    for (auto& [name, pipeline] : pipelines_) names.programs.push_back(name);
    names.shaders.assign(shaders_.begin(), shaders_.end());
    names.samplers.assign(samplers_.begin(), samplers_.end());
    return names;
}

bool GlDevice::openCommandQueue() { return functions() != nullptr; }

GpuHandle GlDevice::createTexture(int width, int height, TextureFormat format)
{
    auto* f = functions();
    if (!f || width < 1 || height < 1 || width > maxTextureSize_ || height > maxTextureSize_) return 0;
    while (f->glGetError() != GL_NO_ERROR) {
    }
    GLuint name = 0;
    f->glGenTextures(1, &name);
    f->glBindTexture(GL_TEXTURE_2D, name);
    const bool bgra = format == TextureFormat::bgra8;
    f->glTexImage2D(GL_TEXTURE_2D, 0, bgra ? GL_RGBA8 : GL_R8, width, height, 0, bgra ? GL_BGRA : GL_RED,
                    GL_UNSIGNED_BYTE, nullptr);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    f->glBindTexture(GL_TEXTURE_2D, 0);
    if (f->glGetError() != GL_NO_ERROR) {
        f->glDeleteTextures(1, &name);
        return 0;
    }
    textures_[name] = TextureInfo{format, width, height};
    return name;
}

void GlDevice::uploadTexture(GpuHandle texture, int x, int y, int width, int height, const std::uint8_t* pixels,
                             int rowLength)
{
    auto it = textures_.find(texture);
    auto* f = functions();
    if (!f || it == textures_.end() || width < 1 || height < 1) return;
    const bool bgra = it->second.format == TextureFormat::bgra8;
    ++counters_.textureUploads;
    f->glBindTexture(GL_TEXTURE_2D, texture);
    f->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    f->glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    f->glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, width, height, bgra ? GL_BGRA : GL_RED, GL_UNSIGNED_BYTE, pixels);
    f->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    f->glBindTexture(GL_TEXTURE_2D, 0);
}

void GlDevice::deleteTexture(GpuHandle texture)
{
    if (!textures_.erase(texture)) return;
    if (auto* f = functions()) f->glDeleteTextures(1, &texture);
}

GpuHandle GlDevice::createBuffer(std::size_t length)
{
    auto* f = functions();
    if (!f || length == 0) return 0;
    while (f->glGetError() != GL_NO_ERROR) {
    }
    GLuint name = 0;
    f->glGenBuffers(1, &name);
    f->glBindBuffer(GL_ARRAY_BUFFER, name);
    f->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(length), nullptr, GL_DYNAMIC_DRAW);
    f->glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (f->glGetError() != GL_NO_ERROR) {
        f->glDeleteBuffers(1, &name);
        return 0;
    }
    buffers_[name] = length;
    ++counters_.buffersCreated;
    return name;
}

void GlDevice::writeBuffer(GpuHandle buffer, std::size_t offset, const void* data, std::size_t size)
{
    auto it = buffers_.find(buffer);
    auto* f = functions();
    if (!f || it == buffers_.end() || size == 0 || offset + size > it->second) return;
    ++counters_.bufferWrites;
    counters_.bytesWritten += size;
    f->glBindBuffer(GL_ARRAY_BUFFER, buffer);
    f->glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(size), data);
    f->glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void GlDevice::deleteBuffer(GpuHandle buffer)
{
    if (!buffers_.erase(buffer)) return;
    if (auto* f = functions()) f->glDeleteBuffers(1, &buffer);
}

ShaderResult GlDevice::compileShader(ShaderStage stage, const std::string& source)
{
    auto* f = functions();
    if (!f) return {0, "no OpenGL context"};
    const GLuint name = f->glCreateShader(stage == ShaderStage::vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
    if (name == 0) return {0, "cannot create a shader"};
    const char* text = source.c_str();
    const GLint length = static_cast<GLint>(source.size());
    f->glShaderSource(name, 1, &text, &length);
    f->glCompileShader(name);
    GLint ok = GL_FALSE;
    f->glGetShaderiv(name, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        GLint logLength = 0;
        f->glGetShaderiv(name, GL_INFO_LOG_LENGTH, &logLength);
        std::string log(static_cast<std::size_t>(std::max(logLength, 1)), '\0');
        f->glGetShaderInfoLog(name, logLength, nullptr, log.data());
        while (!log.empty() && (log.back() == '\0' || log.back() == '\n')) log.pop_back();
        f->glDeleteShader(name);
        return {0, log};
    }
    shaders_.insert(name);
    return {name, {}};
}

void GlDevice::deleteShader(GpuHandle shader)
{
    if (!shaders_.erase(shader)) return;
    if (auto* f = functions()) f->glDeleteShader(shader);
}

GpuHandle GlDevice::createPipeline(GpuHandle vertexShader, GpuHandle fragmentShader, const BlendState& blend)
{
    auto* f = functions();
    if (!f || !shaders_.contains(vertexShader) || !shaders_.contains(fragmentShader)) return 0;
    const GLuint program = f->glCreateProgram();
    if (program == 0) return 0;
    f->glAttachShader(program, vertexShader);
    f->glAttachShader(program, fragmentShader);
    f->glLinkProgram(program);
    f->glDetachShader(program, vertexShader);
    f->glDetachShader(program, fragmentShader);
    GLint ok = GL_FALSE;
    f->glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        f->glDeleteProgram(program);
        return 0;
    }
    Pipeline pipeline{blend, f->glGetUniformLocation(program, "viewport"),
                      f->glGetUniformLocation(program, "fetchRecords"), f->glGetUniformLocation(program, "firstRecord")};
    const GLint atlas = f->glGetUniformLocation(program, "atlas");
    const GLint records = f->glGetUniformLocation(program, "records");
    f->glUseProgram(program);
    if (atlas >= 0) f->glUniform1i(atlas, 0);
    if (records >= 0) f->glUniform1i(records, 1);
    f->glUseProgram(0);
    pipelines_[program] = pipeline;
    return program;
}

void GlDevice::deletePipeline(GpuHandle pipeline)
{
    if (!pipelines_.erase(pipeline)) return;
    if (auto* f = functions()) f->glDeleteProgram(pipeline);
}

GpuHandle GlDevice::createSampler()
{
    auto* f = functions();
    if (!f) return 0;
    GLuint name = 0;
    f->glGenSamplers(1, &name);
    if (name == 0) return 0;
    f->glSamplerParameteri(name, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    f->glSamplerParameteri(name, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    f->glSamplerParameteri(name, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    f->glSamplerParameteri(name, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    samplers_.insert(name);
    return name;
}

void GlDevice::deleteSampler(GpuHandle sampler)
{
    if (!samplers_.erase(sampler)) return;
    if (auto* f = functions()) f->glDeleteSamplers(1, &sampler);
}

void GlDevice::clear(float red, float green, float blue, float alpha)
{
    auto* f = functions();
    if (!f) return;
    f->glClearColor(red, green, blue, alpha);
    f->glClear(GL_COLOR_BUFFER_BIT);
}

unsigned GlDevice::vertexArray(QOpenGLFunctions_3_3_Core* f)
{
    QOpenGLContext* current = QOpenGLContext::currentContext();
    auto it = vertexArrays_.find(current);
    if (it != vertexArrays_.end()) return it->second.name;
    GLuint name = 0;
    f->glGenVertexArrays(1, &name);
    // A context that goes away takes its vertex array with it.
    auto gone = QObject::connect(current, &QOpenGLContext::aboutToBeDestroyed, current,
                                 [this, current] { vertexArrays_.erase(current); });
    vertexArrays_[current] = ContextVertexArray{name, gone};
    return name;
}

unsigned GlDevice::recordTexture(QOpenGLFunctions_3_3_Core* f)
{
    if (!recordTexture_) f->glGenTextures(1, &recordTexture_);
    return recordTexture_;
}

void GlDevice::releaseContextObjects()
{
    QOpenGLContext* current = QOpenGLContext::currentContext();
    auto it = vertexArrays_.find(current);
    if (it == vertexArrays_.end()) return;
    if (auto* f = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(current))
        f->glDeleteVertexArrays(1, &it->second.name);
    QObject::disconnect(it->second.gone);
    vertexArrays_.erase(it);
}

void GlDevice::draw(const DrawCall& call)
{
    auto pipeline = pipelines_.find(call.pipeline);
    const auto buffer = buffers_.find(call.buffer);
    if (pipeline == pipelines_.end() || buffer == buffers_.end() || call.count <= 0 || call.first < 0) return;
    // Records past the buffer's end would be read from outside it.
    const std::size_t recordSize = call.kind == RecordKind::textCell    ? sizeof(TextCell)
                                   : call.kind == RecordKind::colorCell ? sizeof(ColorCell)
                                                                        : sizeof(GlyphVertex);
    if ((static_cast<std::size_t>(call.first) + static_cast<std::size_t>(call.count)) * recordSize > buffer->second)
        return;
    auto* f = functions();
    if (!f) return;
    ++counters_.draws;
    f->glBindVertexArray(vertexArray(f));
    f->glUseProgram(call.pipeline);
    f->glUniform2f(pipeline->second.viewportLocation, call.viewportWidth, call.viewportHeight);
    const BlendState& blend = pipeline->second.blend;
    if (call.opaque) {
        f->glDisable(GL_BLEND);
    } else {
        f->glEnable(GL_BLEND);
        f->glBlendEquation(GL_FUNC_ADD);
        f->glBlendFuncSeparate(blendFactor(blend.colorSource), blendFactor(blend.colorDestination),
                               blendFactor(blend.alphaSource), blendFactor(blend.alphaDestination));
    }
    if (call.texture != 0) {
        f->glActiveTexture(GL_TEXTURE0);
        f->glBindTexture(GL_TEXTURE_2D, call.texture);
        f->glBindSampler(0, call.sampler);
    }

    const bool instanced = call.kind == RecordKind::textCell || call.kind == RecordKind::colorCell;
    const int texelsPerRecord = call.kind == RecordKind::textCell ? 3 : 2;
    const bool fetch = instanced && pipeline->second.fetchLocation >= 0 &&
                       (static_cast<std::int64_t>(call.first) + call.count) * texelsPerRecord <= recordFetchLimit_ &&
                       recordTexture(f) != 0;
    for (GLuint location = 0; location < 5; ++location) f->glDisableVertexAttribArray(location);
    if (pipeline->second.fetchLocation >= 0) f->glUniform1i(pipeline->second.fetchLocation, fetch ? 1 : 0);
    if (fetch) {
        // Six vertices a record, the record found from the vertex index.
        f->glUniform1i(pipeline->second.firstLocation, call.first);
        f->glActiveTexture(GL_TEXTURE1);
        f->glBindTexture(GL_TEXTURE_BUFFER, recordTexture_);
        f->glTexBuffer(GL_TEXTURE_BUFFER, GL_RGBA32F, call.buffer);
        f->glDrawArrays(GL_TRIANGLES, 0, 6 * call.count);
        // Detached, so a buffer deleted later is not kept alive by it.
        f->glTexBuffer(GL_TEXTURE_BUFFER, GL_RGBA32F, 0);
        f->glBindTexture(GL_TEXTURE_BUFFER, 0);
        f->glActiveTexture(GL_TEXTURE0);
    } else {
        f->glBindBuffer(GL_ARRAY_BUFFER, call.buffer);
        struct Attribute {
            GLuint location;
            GLint components;
            std::size_t offset;
        };
        std::size_t stride = 32;
        std::vector<Attribute> attributes;
        switch (call.kind) {
        case RecordKind::textCell:
            stride = sizeof(TextCell);
            attributes = {{0, 2, offsetof(TextCell, position)}, {1, 2, offsetof(TextCell, size)},
                          {2, 2, offsetof(TextCell, texOrigin)}, {3, 2, offsetof(TextCell, texSize)},
                          {4, 4, offsetof(TextCell, color)}};
            break;
        case RecordKind::colorCell:
            stride = sizeof(ColorCell);
            attributes = {{0, 2, offsetof(ColorCell, position)}, {1, 2, offsetof(ColorCell, size)},
                          {4, 4, offsetof(ColorCell, color)}};
            break;
        case RecordKind::glyphVertex:
            stride = sizeof(GlyphVertex);
            attributes = {{0, 2, offsetof(GlyphVertex, position)}, {2, 2, offsetof(GlyphVertex, texCoord)},
                          {4, 4, offsetof(GlyphVertex, color)}};
            break;
        case RecordKind::colorVertex:
            stride = sizeof(ColorVertex);
            attributes = {{0, 2, offsetof(ColorVertex, position)}, {4, 4, offsetof(ColorVertex, color)}};
            break;
        }
        // Without base instances in 3.3, the first instance is reached
        // through the attribute offsets.
        const std::size_t base = instanced ? static_cast<std::size_t>(call.first) * stride : 0;
        for (const Attribute& a : attributes) {
            f->glEnableVertexAttribArray(a.location);
            f->glVertexAttribPointer(a.location, a.components, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(stride),
                                     reinterpret_cast<const void*>(base + a.offset));
            f->glVertexAttribDivisor(a.location, instanced ? 1 : 0);
        }
        if (instanced) {
            f->glDrawArraysInstanced(GL_TRIANGLES, 0, 6, call.count);
        } else {
            f->glDrawArrays(GL_TRIANGLES, call.first, call.count);
        }
        f->glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    f->glBindVertexArray(0);
    f->glUseProgram(0);
    if (call.texture != 0) {
        f->glBindSampler(0, 0);
        f->glBindTexture(GL_TEXTURE_2D, 0);
    }
}

GpuHandle GlDevice::insertFence()
{
    auto* f = functions();
    if (!f) return 0;
    GLsync sync = f->glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    if (!sync) return 0;
    // Submit, so polling the fence later cannot wait on unsent commands.
    f->glFlush();
    const GpuHandle handle = nextFence_++;
    fences_[handle] = sync;
    return handle;
}

bool GlDevice::fenceSignalled(GpuHandle fence)
{
    auto it = fences_.find(fence);
    auto* f = functions();
    if (!f || it == fences_.end()) return false;
    const GLenum state = f->glClientWaitSync(static_cast<GLsync>(it->second), 0, 0);
    return state == GL_ALREADY_SIGNALED || state == GL_CONDITION_SATISFIED;
}

bool GlDevice::waitFence(GpuHandle fence, std::int64_t timeoutNanos)
{
    auto it = fences_.find(fence);
    auto* f = functions();
    if (!f || it == fences_.end()) return false;
    const GLenum state = f->glClientWaitSync(static_cast<GLsync>(it->second), GL_SYNC_FLUSH_COMMANDS_BIT,
                                             static_cast<GLuint64>(std::max<std::int64_t>(0, timeoutNanos)));
    return state == GL_ALREADY_SIGNALED || state == GL_CONDITION_SATISFIED;
}

void GlDevice::deleteFence(GpuHandle fence)
{
    auto it = fences_.find(fence);
    if (it == fences_.end()) return;
    if (auto* f = functions()) f->glDeleteSync(static_cast<GLsync>(it->second));
    fences_.erase(it);
}

std::size_t GlDevice::liveObjectCount() const
{
    return textures_.size() + buffers_.size() + shaders_.size() + pipelines_.size() + samplers_.size() +
           fences_.size() + vertexArrays_.size();
}

}  // namespace corvel::gl
