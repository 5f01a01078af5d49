// Helpers of the GPU tests: a terminal view drawn by the CPU and by the GPU
// path (a real context, llvmpipe under Xvfb), the pixel comparison both are
// judged by, and a stand-in view for the GPU switch. Waits are for
// conditions, bounded only against hangs. Main thread only.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

#include "corvel/gl/MetalGpuPath.h"
#include "corvel/gl/MetalSurface.h"
#include "corvel/gl/MetalTerminalRenderer.h"
#include "corvel/gl/MetalViewHost.h"
#include "corvel/qt/CaretView.h"
#include "corvel/qt/TerminalView.h"
#include "tests/qt/PixelProbe.h"

namespace corvel::gl::testing {

// Processes events until `done` holds; the bound only guards against a hang.
inline bool pumpUntil(const std::function<bool()>& done, int boundMs = 120000)
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

// The largest difference of one channel between two colours.
inline int channelDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
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
        for (int col = 0; col < x.width(); ++col) count += channelDistance(p[col], q[col]) > threshold;
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

// Keeps a frame for a look, when pictures are asked for (see saveRender).
inline void saveFrame(const QImage& image, const std::string& name)
{
    const qreal scale = qApp->devicePixelRatio();
    qt::test::saveRender(image, QString::fromStdString("gpu-" + name + (scale > 1 ? "-x2" : "") + ".png"));
}

// A terminal view as far as the GPU switch sees it: a widget that paints its
// background, with a caret child; counts the caret's suspensions.
class StandInView : public QWidget, public MetalViewHost {
public:
    explicit StandInView(QWidget* parent = nullptr) : QWidget(parent)
    {
        caret = new QWidget(this);
        caret->setGeometry(10, 10, 8, 16);
        resize(200, 120);
    }
    QWidget* terminalWidget() override { return this; }
    QWidget* caretWidget() override { return caret; }
    void suspendCaretForMetal() override
    {
        caret->hide();
        ++suspended;
    }
    void resumeCaretAfterMetal() override
    {
        caret->show();
        ++resumed;
    }
    QColor metalBackgroundColor() override { return background; }
    bool throttlesMetalFrames() const override { return false; }

    QWidget* caret;
    QColor background{30, 60, 90};
    int suspended = 0;
    int resumed = 0;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), background); }
};

}  // namespace corvel::gl::testing
