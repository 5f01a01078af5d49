// The terminal view's GPU path as this library provides it: the view's
// MetalSwitch behind the view-side hook, and the registration that makes
// every terminal view built afterwards own one. GUI thread.
#pragma once

#include "corvel/gl/MetalSwitch.h"
#include "corvel/qt/GpuPath.h"

namespace corvel {
class TerminalView;
}

namespace corvel::gl {

class MetalGpuPath final : public qt::GpuPath {
public:
    explicit MetalGpuPath(MetalViewHost& host, RendererSetup setup = {}) : switch_(host, std::move(setup)) {}

    void setUseMetal(bool enabled) override { switch_.setUseMetal(enabled); }
    void updateMetalRenderer(bool enabled) override { switch_.updateMetalRenderer(enabled); }
    bool useMetalRenderer() const override { return switch_.useMetalRenderer(); }
    QWidget* metalView() const override { return switch_.metalView(); }
    qt::MetalRendererBase* metalRenderer() const override { return switch_.metalRenderer(); }
    void requestFrame() override { switch_.requestFrame(); }

    MetalSwitch& metalSwitch() { return switch_; }

private:
    MetalSwitch switch_;
};

// Registers the factory with the view library (done by
// prepareOpenGlApplication; a test may register its own setup).
void registerMetalGpuPath(RendererSetup setup = {});

// The renderer of a view whose GPU path is on; null otherwise.
MetalTerminalRenderer* metalRendererOf(const TerminalView& view);

}  // namespace corvel::gl
