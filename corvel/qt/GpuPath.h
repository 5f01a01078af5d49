// The terminal view's hook into the GPU drawing path, which lives in a
// library above the view. That library registers a factory at process set-up
// (before the QApplication is made); a view built after that makes its GPU
// path once its caret exists and forwards its GPU switch to it. Without a
// registered factory a view has no GPU path and switching on throws
// MetalError (no device). The factory is set once at start-up, before any
// view exists; the live-resize throttle is read from the environment once.
// GUI thread.
#pragma once

#include <functional>
#include <memory>

class QWidget;

namespace corvel {
class TerminalView;
}

namespace corvel::qt {

// The renderer as the view holds it; the GPU library knows the real type.
class MetalRendererBase {
public:
    virtual ~MetalRendererBase() = default;
};

class GpuPath {
public:
    virtual ~GpuPath() = default;
    // Throws MetalError; the state changes only when nothing was thrown.
    virtual void setUseMetal(bool enabled) = 0;
    virtual void updateMetalRenderer(bool enabled) = 0;
    virtual bool useMetalRenderer() const = 0;
    // The drawing surface laid over the view; null while the path is off.
    virtual QWidget* metalView() const = 0;
    virtual MetalRendererBase* metalRenderer() const = 0;
    // Asks for a frame when the path is on.
    virtual void requestFrame() = 0;
};

using GpuPathFactory = std::function<std::unique_ptr<GpuPath>(TerminalView& view)>;

void registerGpuPathFactory(GpuPathFactory factory);

// Whether a view on the GPU path only queues a frame for each size change
// during a live resize (rather than asking for one at once), from the
// environment variable CORVEL_METAL_LIVE_RESIZE_THROTTLE: absent means on,
// "0", "false" or "FALSE" off, any other value on. Read once per process.
bool liveResizeThrottle();
// The same rule for a value of the variable (null when it is absent).
bool liveResizeThrottleFrom(const char* value);
// Null when none is registered.
std::unique_ptr<GpuPath> makeGpuPath(TerminalView& view);

}  // namespace corvel::qt
