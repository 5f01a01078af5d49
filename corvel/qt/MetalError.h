// The error of switching a terminal view to the GPU drawing path: no device
// to draw with, or a renderer that could not be made. The view stays on its
// software path when it is thrown. The renderer's set-up errors derive from
// it, so one catch takes both.
#pragma once

#include <stdexcept>
#include <string>

namespace corvel {

class MetalError : public std::runtime_error {
public:
    enum class Kind { deviceUnavailable, rendererUnavailable };

    explicit MetalError(Kind kind)
        : std::runtime_error(kind == Kind::deviceUnavailable ? "no GPU device is available"
                                                             : "the GPU renderer could not be created"),
          kind_(kind)
    {
    }
    Kind kind() const { return kind_; }

    static MetalError deviceUnavailable() { return MetalError(Kind::deviceUnavailable); }

protected:
    // For the renderer's own errors, which carry their own text.
    MetalError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

private:
    Kind kind_;
};

}  // namespace corvel
