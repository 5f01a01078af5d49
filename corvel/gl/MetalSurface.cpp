// The GPU path's drawing widget.
#include "corvel/gl/MetalSurface.h"

#include <QGuiApplication>
#include <QOpenGLContext>

#include "corvel/gl/GpuDevice.h"
#include "corvel/gl/MetalTerminalRenderer.h"

namespace corvel::gl {

MetalSurface::MetalSurface(QWidget* parent) : QOpenGLWidget(parent)
{
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    setFormat(format);
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
}

MetalSurface::~MetalSurface()
{
    // Done here, while the device is still held: the base class destroys the
    // context only after this object's members are gone.
    releaseContextObjects();
    if (QOpenGLContext* c = context()) disconnect(c, nullptr, this, nullptr);
}

bool MetalSurface::platformCanShow()
{
    static const QStringList rasterOnly = {QStringLiteral("offscreen"), QStringLiteral("minimal"),
                                           QStringLiteral("vnc"), QStringLiteral("linuxfb")};
    return !rasterOnly.contains(QGuiApplication::platformName());
}

QSize MetalSurface::drawableSize() const
{
    const qreal ratio = devicePixelRatioF();
    return QSize(qRound(width() * ratio), qRound(height() * ratio));
}

void MetalSurface::initializeGL()
{
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &MetalSurface::releaseContextObjects,
            Qt::UniqueConnection);
}

void MetalSurface::resizeGL(int, int)
{
    if (renderer_) renderer_->drawableSizeWillChange(drawableSize());
}

void MetalSurface::paintGL()
{
    ++framesPainted_;
    if (renderer_) renderer_->draw(*this);
}

void MetalSurface::releaseContextObjects()
{
    if (!device_ || !context()) return;
    makeCurrent();
    device_->releaseContextObjects();
    doneCurrent();
}

}  // namespace corvel::gl
