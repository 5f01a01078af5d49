// The terminal view's switch between its own (CPU) drawing and the GPU
// renderer. Switching on lays a MetalSurface over the whole view, below the
// caret widget, following the view's size (during a throttled live resize
// the surface keeps its size and last picture until the next frame asked
// for, which takes the view's size and draws it), builds the renderer for it and
// pauses the caret; any error of construction is thrown as MetalError and
// leaves the view as it was. Switching off removes the surface and the
// renderer, resumes the caret and repaints the view. Owned by the view; GUI
// thread.
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

#include "corvel/qt/MetalViewHost.h"
#include "corvel/gl/MetalSurface.h"
#include "corvel/gl/MetalTerminalRenderer.h"

namespace corvel::gl {

using MetalViewHost = qt::MetalViewHost;

class MetalSwitch : public QObject {
    Q_OBJECT
public:
    explicit MetalSwitch(MetalViewHost& host, RendererSetup setup = {});
    ~MetalSwitch() override;

    // Nothing when `enabled` equals the current state. Throws MetalError;
    // the state changes only when nothing was thrown.
    void setUseMetal(bool enabled);
    void updateMetalRenderer(bool enabled);

    bool useMetalRenderer() const { return useMetalRenderer_; }
    MetalSurface* metalView() const { return metalView_.data(); }
    MetalTerminalRenderer* metalRenderer() const { return metalRenderer_.get(); }
    // Asks for a GPU frame when the GPU path is on; a surface left behind
    // the view's size takes it first, which draws the frame.
    void requestFrame();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tearDown();

    MetalViewHost& host_;
    RendererSetup setup_;
    bool useMetalRenderer_ = false;
    QPointer<MetalSurface> metalView_;
    bool surfaceBehind_ = false;  // the view was resized while frames were only queued
    std::unique_ptr<MetalTerminalRenderer> metalRenderer_;
};

}  // namespace corvel::gl
