// The registered GPU path factory.
#include "corvel/qt/GpuPath.h"

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

}  // namespace corvel::qt
