// The renderer's error type: thrown only while a renderer is being set up,
// never during a frame. Each value has a fixed description; the cases with a
// payload append it to their fixed text. A view-level MetalError: "no device"
// stays that kind, every other case is a renderer that could not be made.
#pragma once

#include <string>

#include "corvel/qt/MetalError.h"

namespace corvel::gl {

class MetalError : public corvel::MetalError {
public:
    enum class Kind {
        shaderLibraryLoadFailed,
        shaderFunctionMissing,
        shaderSourceMissing,
        shaderCompilationFailed,
        pipelineCreationFailed,
        metalKitUnavailable,
        deviceUnavailable,
        commandQueueUnavailable,
        atlasUnavailable,
        shaderLibraryMissing,
        samplerUnavailable,
    };

    explicit MetalError(Kind kind, std::string payload = {});

    Kind kind() const { return kind_; }
    const std::string& payload() const { return payload_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    Kind kind_;
    std::string payload_;
    std::string description_;
};

}  // namespace corvel::gl
