// Switching a terminal view's GPU path on and off.
#include "corvel/gl/MetalSwitch.h"

#include <QEvent>
#include <QWidget>

#include "corvel/gl/MetalError.h"
#include "corvel/gl/MetalViewHost.h"

namespace corvel::gl {

MetalSwitch::MetalSwitch(MetalViewHost& host, RendererSetup setup) : host_(host), setup_(std::move(setup)) {}

MetalSwitch::~MetalSwitch() { tearDown(); }

void MetalSwitch::setUseMetal(bool enabled)
{
    if (enabled == useMetalRenderer_) return;
    updateMetalRenderer(enabled);
    useMetalRenderer_ = enabled;
}

void MetalSwitch::updateMetalRenderer(bool enabled)
{
    QWidget* view = host_.terminalWidget();
    if (!enabled) {
        if (!metalView_ && !metalRenderer_) return;
        tearDown();
        host_.resumeCaretAfterMetal();
        if (view) view->update();
        return;
    }
    if (metalView_) return;

    std::shared_ptr<GpuDevice> device = setup_.makeDevice ? setup_.makeDevice() : nullptr;
    if (!device) throw MetalError(MetalError::Kind::deviceUnavailable);
    auto surface = std::make_unique<MetalSurface>(view);
    if (view) surface->setGeometry(view->rect());
    surface->setDevice(std::move(device));
    auto renderer = std::make_unique<MetalTerminalRenderer>(surface.get(), &host_, setup_);
    surface->setRenderer(renderer.get());

    if (QWidget* caret = host_.caretWidget(); caret && caret->parentWidget() == view) {
        surface->stackUnder(caret);
    } else {
        surface->lower();
    }
    host_.suspendCaretForMetal();
    if (view) view->installEventFilter(this);
    metalRenderer_ = std::move(renderer);
    metalView_ = surface.release();
    metalView_->show();
    metalView_->update();
}

void MetalSwitch::tearDown()
{
    if (QWidget* view = host_.terminalWidget()) view->removeEventFilter(this);
    // The renderer goes first, while the surface still holds the device.
    metalRenderer_.reset();
    delete metalView_.data();
    metalView_.clear();
    surfaceBehind_ = false;
}

void MetalSwitch::requestFrame()
{
    if (!metalView_) return;
    if (surfaceBehind_) {
        surfaceBehind_ = false;
        // A shown OpenGL widget draws a frame itself when it is resized.
        const int painted = metalView_->framesPainted();
        metalView_->setGeometry(host_.terminalWidget()->rect());
        if (metalView_->framesPainted() != painted) return;
    }
    metalView_->update();
}

bool MetalSwitch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && metalView_ && watched == host_.terminalWidget()) {
        // Resized, an OpenGL widget draws a frame at once. During a throttled
        // live resize the surface keeps its size and its last picture
        // instead, until the frame the view queued.
        surfaceBehind_ = host_.throttlesMetalFrames();
        if (!surfaceBehind_) metalView_->setGeometry(host_.terminalWidget()->rect());
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace corvel::gl
