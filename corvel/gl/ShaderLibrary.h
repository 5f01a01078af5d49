// The renderer's shader functions and where they come from. A shader source
// holds sections, each opened by a line "//! name" and compiled on its own as
// one stage (names with "_vertex" are vertex stages, names with "_fragment"
// fragment stages); a ShaderLibrary is the set of compiled sections, by name.
// The search tries, in order: a library the application already holds, a
// library file in the given folders, then the shader source files (by default
// the one built into the program as a Qt resource). Every step is injectable
// through ShaderSearch, so each failure can be produced on purpose. GUI
// thread; a library deletes its shaders through its device when it dies.
#pragma once

#include <QString>

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "corvel/gl/GpuDevice.h"

namespace corvel::gl {

class ShaderLibrary {
public:
    explicit ShaderLibrary(GpuDevice& device) : device_(&device) {}
    ~ShaderLibrary();
    ShaderLibrary(ShaderLibrary&& other) noexcept;
    ShaderLibrary& operator=(ShaderLibrary&& other) noexcept;
    ShaderLibrary(const ShaderLibrary&) = delete;
    ShaderLibrary& operator=(const ShaderLibrary&) = delete;

    // The seven functions the renderer needs, in the order they are checked.
    static const std::array<const char*, 7>& requiredFunctionNames();
    // The required names joined by ", ".
    static std::string requiredFunctionList();

    // Compiles every section of `source`; on the first compiler error returns
    // nothing and puts the section's name and the compiler's log in `error`.
    static std::optional<ShaderLibrary> compile(GpuDevice& device, const std::string& source, std::string& error);
    // The sections of a source by name, in source order.
    static std::vector<std::pair<std::string, std::string>> sections(const std::string& source);

    // 0 when the library has no such function.
    GpuHandle function(const std::string& name) const;
    bool hasRequiredFunctions() const;

private:
    void release();

    GpuDevice* device_;
    std::map<std::string, GpuHandle> functions_;
};

struct ShaderSearch {
    // A library the application holds already compiled; none by default.
    std::function<std::optional<ShaderLibrary>(GpuDevice&)> defaultLibrary;
    // Folders searched for a library file: "default.glsl" first, else the
    // first "*.glsl" in the folder's listing; none by default.
    std::vector<QString> libraryFolders;
    // Shader source files; the first one that reads as UTF-8 is used.
    std::vector<QString> sourcePaths{builtInSourcePath()};

    // The source built into the program.
    static QString builtInSourcePath();
};

// The search; throws MetalError (library load failed, source missing,
// compilation failed, function missing).
ShaderLibrary makeLibrary(GpuDevice& device, const ShaderSearch& search);
std::optional<QString> findLibraryFile(const ShaderSearch& search);
std::optional<std::string> loadShaderSource(const ShaderSearch& search);

// The path named when no shader source is found.
inline constexpr const char* shaderSourceName = "corvel/gl/Shaders";

}  // namespace corvel::gl
