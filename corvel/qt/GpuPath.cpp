// The registered GPU path factory and the live-resize throttle.
#include "corvel/qt/GpuPath.h"

#include <cstdlib>
#include <string_view>

namespace corvel::qt {

namespace {

GpuPathFactory& factory()
{
    static GpuPathFactory registered;
    return registered;
}

}  // namespace

void registerGpuPathFactory(GpuPathFactory f) { factory() = std::move(f); }

std::unique_ptr<GpuPath> makeGpuPath(TerminalView& view)
{
    return factory() ? factory()(view) : nullptr;
}

bool liveResizeThrottleFrom(const char* value)
{
    if (!value) return true;
    const std::string_view text(value);
    return text != "0" && text != "false" && text != "FALSE";
}

bool liveResizeThrottle()
{
    static const bool enabled = liveResizeThrottleFrom(std::getenv("CORVEL_METAL_LIVE_RESIZE_THROTTLE"));
    return enabled;
}

}  // namespace corvel::qt
