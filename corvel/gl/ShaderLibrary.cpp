// Shader sections, compilation and the library search.
#include "corvel/gl/ShaderLibrary.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include "corvel/gl/MetalError.h"

// Registers the resource file of this static library; outside any namespace
// as Qt requires.
static void initialiseShaderResource() { Q_INIT_RESOURCE(gl); }

namespace corvel::gl {

ShaderLibrary::~ShaderLibrary() { release(); }

ShaderLibrary::ShaderLibrary(ShaderLibrary&& other) noexcept
    : device_(other.device_), functions_(std::move(other.functions_))
{
    other.functions_.clear();
}

ShaderLibrary& ShaderLibrary::operator=(ShaderLibrary&& other) noexcept
{
    if (this != &other) {
        release();
        device_ = other.device_;
        functions_ = std::move(other.functions_);
        other.functions_.clear();
    }
    return *this;
}

void ShaderLibrary::release()
{
    for (auto& [name, shader] : functions_) device_->deleteShader(shader);
    functions_.clear();
}

const std::array<const char*, 7>& ShaderLibrary::requiredFunctionNames()
{
    static const std::array<const char*, 7> names{
        "terminal_text_vertex",  "terminal_cell_text_vertex",  "terminal_text_fragment",
        "terminal_text_fragment_gray", "terminal_color_vertex", "terminal_cell_color_vertex",
        "terminal_color_fragment"};
    return names;
}

std::string ShaderLibrary::requiredFunctionList()
{
    std::string list;
    for (const char* name : requiredFunctionNames()) {
        if (!list.empty()) list += ", ";
        list += name;
    }
    return list;
}

std::vector<std::pair<std::string, std::string>> ShaderLibrary::sections(const std::string& source)
{
    std::vector<std::pair<std::string, std::string>> result;
    std::size_t pos = 0;
    while (pos < source.size()) {
        std::size_t end = source.find('\n', pos);
        if (end == std::string::npos) end = source.size();
        const std::string_view line(source.data() + pos, end - pos);
        if (line.starts_with("//!")) {
            std::string_view name = line.substr(3);
            while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
            while (!name.empty() && (name.back() == ' ' || name.back() == '\r' || name.back() == '\t'))
                name.remove_suffix(1);
            result.emplace_back(std::string(name), std::string());
        } else if (!result.empty()) {
            result.back().second.append(line).append("\n");
        }
        pos = end + 1;
    }
    return result;
}

std::optional<ShaderLibrary> ShaderLibrary::compile(GpuDevice& device, const std::string& source, std::string& error)
{
    ShaderLibrary library(device);
    for (auto& [name, body] : sections(source)) {
        ShaderStage stage;
        if (name.find("_vertex") != std::string::npos) {
            stage = ShaderStage::vertex;
        } else if (name.find("_fragment") != std::string::npos) {
            stage = ShaderStage::fragment;
        } else {
            continue;
        }
        ShaderResult result = device.compileShader(stage, "#version 330 core\n" + body);
        if (result.shader == 0) {
            error = name + ": " + result.error;
            return std::nullopt;
        }
        if (auto old = library.functions_.find(name); old != library.functions_.end()) {
            device.deleteShader(old->second);
            old->second = result.shader;
        } else {
            library.functions_.emplace(name, result.shader);
        }
    }
    return library;
}

GpuHandle ShaderLibrary::function(const std::string& name) const
{
    auto it = functions_.find(name);
    return it == functions_.end() ? 0 : it->second;
}

bool ShaderLibrary::hasRequiredFunctions() const
{
    for (const char* name : requiredFunctionNames())
        if (function(name) == 0) return false;
    return true;
}

QString ShaderSearch::builtInSourcePath() { return QStringLiteral(":/corvel/gl/Shaders.glsl"); }

namespace {

std::optional<std::string> readUtf8(const QString& path, QString* error = nullptr)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError()) {
        if (error) *error = QStringLiteral("not UTF-8 text");
        return std::nullopt;
    }
    return text.toStdString();
}

}  // namespace

std::optional<QString> findLibraryFile(const ShaderSearch& search)
{
    for (const QString& folder : search.libraryFolders) {
        QDir dir(folder);
        if (!dir.exists()) continue;
        if (dir.exists(QStringLiteral("default.glsl"))) return dir.filePath(QStringLiteral("default.glsl"));
        // Hidden entries are skipped; the listing is in name order.
        const QStringList entries = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& entry : entries)
            if (QFileInfo(entry).suffix() == QLatin1String("glsl")) return dir.filePath(entry);
    }
    return std::nullopt;
}

std::optional<std::string> loadShaderSource(const ShaderSearch& search)
{
    initialiseShaderResource();
    for (const QString& path : search.sourcePaths)
        if (auto text = readUtf8(path)) return text;
    return std::nullopt;
}

ShaderLibrary makeLibrary(GpuDevice& device, const ShaderSearch& search)
{
    if (search.defaultLibrary) {
        if (auto library = search.defaultLibrary(device); library && library->hasRequiredFunctions())
            return std::move(*library);
    }
    if (auto path = findLibraryFile(search)) {
        QString readError;
        auto text = readUtf8(*path, &readError);
        if (!text) throw MetalError(MetalError::Kind::shaderLibraryLoadFailed, (*path + ": " + readError).toStdString());
        std::string error;
        auto library = ShaderLibrary::compile(device, *text, error);
        if (!library) throw MetalError(MetalError::Kind::shaderLibraryLoadFailed, error);
        if (library->hasRequiredFunctions()) return std::move(*library);
    }
    auto source = loadShaderSource(search);
    if (!source) throw MetalError(MetalError::Kind::shaderSourceMissing, shaderSourceName);
    std::string error;
    auto library = ShaderLibrary::compile(device, *source, error);
    if (!library) throw MetalError(MetalError::Kind::shaderCompilationFailed, error);
    if (!library->hasRequiredFunctions())
        throw MetalError(MetalError::Kind::shaderFunctionMissing, ShaderLibrary::requiredFunctionList());
    return std::move(*library);
}

}  // namespace corvel::gl
