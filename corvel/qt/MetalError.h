// The error of switching a terminal view to the GPU drawing path: no device
// to draw with, or a renderer that could not be made. The view stays on its
// software path when it is thrown.
#pragma once

#include <stdexcept>

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

private:
    Kind kind_;
};

}  // namespace corvel
