// The drawing surface of the GPU path: an OpenGL widget laid over the whole
// terminal view, redrawn only through update(), keeping its last frame
// between paints (partial update). Its drawable is its size times the device
// pixel ratio. It holds the device the renderer draws with and hands each
// paint to the renderer (its delegate, not owned). When its context is about
// to go (the widget moved to another window, or destroyed) it lets the
// device forget the per-context objects; shared objects live on. GUI thread.
#pragma once

#include <QOpenGLWidget>
#include <QPointer>

#include <memory>

namespace corvel::gl {

class GpuDevice;
class MetalTerminalRenderer;

class MetalSurface : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit MetalSurface(QWidget* parent = nullptr);
    ~MetalSurface() override;

    const std::shared_ptr<GpuDevice>& device() const { return device_; }
    void setDevice(std::shared_ptr<GpuDevice> device) { device_ = std::move(device); }
    // The renderer that draws each frame; null for none.
    void setRenderer(MetalTerminalRenderer* renderer) { renderer_ = renderer; }
    MetalTerminalRenderer* renderer() const { return renderer_; }

    // Whether the windowing platform composes OpenGL widgets into its
    // windows. The raster-only platforms (offscreen, minimal, vnc, linuxfb)
    // do not: a window holding one there fails when it is flushed, even
    // where OpenGL contexts can be made (offscreen beside an X display).
    static bool platformCanShow();

    // Size in device pixels.
    QSize drawableSize() const;
    // Frames painted so far.
    int framesPainted() const { return framesPainted_; }

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;

private:
    void releaseContextObjects();

    std::shared_ptr<GpuDevice> device_;
    MetalTerminalRenderer* renderer_ = nullptr;
    int framesPainted_ = 0;
};

}  // namespace corvel::gl
