// Registration of the GPU path with the terminal view.
#include "corvel/gl/MetalGpuPath.h"

#include "corvel/qt/TerminalView.h"

namespace corvel::gl {

void registerMetalGpuPath(RendererSetup setup)
{
    qt::registerGpuPathFactory([setup = std::move(setup)](TerminalView& view) -> std::unique_ptr<qt::GpuPath> {
        return std::make_unique<MetalGpuPath>(static_cast<qt::MetalViewHost&>(view), setup);
    });
}

MetalTerminalRenderer* metalRendererOf(const TerminalView& view)
{
    return dynamic_cast<MetalTerminalRenderer*>(view.metalRenderer());
}

}  // namespace corvel::gl
