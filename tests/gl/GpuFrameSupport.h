// Helpers of the GPU frame tests: a terminal view drawn by the CPU and by
// the GPU path (a real context, llvmpipe under Xvfb), and the pixel
// comparison both are judged by. Waits are for conditions, bounded only
// against hangs.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QWindow>

#include <functional>
#include <string>

#include "corvel/gl/MetalGpuPath.h"
#include "corvel/gl/MetalSurface.h"
#include "corvel/gl/MetalTerminalRenderer.h"
#include "corvel/qt/CaretView.h"
#include "corvel/qt/TerminalView.h"

namespace corvel::gl::testing {

inline bool pumpUntil(const std::function<bool()>& done, int boundMs = 20000)
{
    QDeadlineTimer deadline(boundMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

inline QFont dejaVu(int pixelSize = 14)
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(pixelSize);
    return font;
}

// Pixels whose largest channel difference passes `threshold`.
inline int differingPixels(const QImage& a, const QImage& b, int threshold = 24)
{
    if (a.size() != b.size()) return a.width() * a.height();
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int d = std::max({std::abs(qRed(p[col]) - qRed(q[col])), std::abs(qGreen(p[col]) - qGreen(q[col])),
                                    std::abs(qBlue(p[col]) - qBlue(q[col]))});
            count += d > threshold;
        }
    }
    return count;
}

// The images match when at most 0.5 % of the pixels differ by more than 24
// in a channel.
inline bool matches(const QImage& a, const QImage& b)
{
    return differingPixels(a, b) * 200 <= a.width() * a.height();
}

// The grid part of the view (no scroll bar), in device pixels.
inline QRect gridPixels(TerminalView& view)
{
    const qreal dpr = view.devicePixelRatioF();
    const int width = static_cast<int>(std::lround((view.width() - view.scrollerWidth()) * dpr));
    return QRect(0, 0, width, static_cast<int>(std::lround(view.height() * dpr)));
}

// The view drawn on the CPU, caret included (steady, fully opaque).
inline QImage cpuImage(TerminalView& view)
{
    if (view.caretView()) view.caretView()->disableAnimations();
    QApplication::processEvents();
    return view.grab().toImage().copy(gridPixels(view));
}

// The view drawn by its GPU path, which is switched on for it and off again
// unless `keep`.
inline QImage gpuImage(TerminalView& view, bool keep = false)
{
    if (!view.isUsingMetalRenderer()) view.setUseMetal(true);
    auto* surface = static_cast<MetalSurface*>(view.metalView());
    MetalTerminalRenderer* renderer = metalRendererOf(view);
    const int before = renderer->framesEncoded();
    surface->update();
    pumpUntil([&] { return renderer->framesEncoded() > before && !renderer->frameInFlight(); });
    // The picture is taken in the cursor's on phase, as the CPU caret's.
    if (!renderer->cursorBlinkOn()) renderer->blinkTick();
    QImage image = surface->grabFramebuffer().copy(gridPixels(view));
    if (!keep) view.setUseMetal(false);
    return image;
}

inline bool showAndWait(QWidget& widget)
{
    widget.show();
    return pumpUntil([&] { return widget.windowHandle() && widget.windowHandle()->isExposed(); });
}

inline std::string artifactPath(const std::string& name)
{
    const qreal scale = qApp->devicePixelRatio();
    return "/tmp/corvel-gpu-" + name + (scale > 1 ? "-x2" : "") + ".png";
}

}  // namespace corvel::gl::testing
