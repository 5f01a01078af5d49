// The GPU path of TerminalView: the switch forwarded to the registered GPU
// path, the caret's pause while the renderer draws the cursor, the rows
// marked for the renderer's next frame, and the frames queued instead of
// asked for during a throttled live resize. GUI thread only.
#include "corvel/qt/TerminalView.h"

#include "corvel/qt/CaretView.h"
#include "corvel/qt/MetalError.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

namespace corvel {

bool TerminalView::isUsingMetalRenderer() const { return gpuPath_ && gpuPath_->useMetalRenderer(); }

void TerminalView::setUseMetal(bool enabled)
{
    if (enabled == isUsingMetalRenderer()) return;
    // Without a GPU library in the process there is no device to switch to,
    // and the view goes on drawing in software.
    if (!gpuPath_) {
        if (enabled) throw MetalError::deviceUnavailable();
        return;
    }
    gpuPath_->setUseMetal(enabled);
    if (enabled) markAllMetalRowsDirty();
}

void TerminalView::updateMetalRenderer(bool enabled)
{
    if (!gpuPath_) {
        if (enabled) throw MetalError::deviceUnavailable();
        return;
    }
    gpuPath_->updateMetalRenderer(enabled);
}

QWidget* TerminalView::metalView() const { return gpuPath_ ? gpuPath_->metalView() : nullptr; }

qt::MetalRendererBase* TerminalView::metalRenderer() const { return gpuPath_ ? gpuPath_->metalRenderer() : nullptr; }

bool TerminalView::throttlesMetalFrames() const { return inLiveResize_ && metalView() && qt::liveResizeThrottle(); }

void TerminalView::requestMetalFrame()
{
    if (!gpuPath_) return;
    // A live resize sends size changes, repaints and caret moves many times
    // a frame; with the throttle on they share one queued frame.
    if (throttlesMetalFrames()) {
        queueMetalDisplay();
    } else {
        gpuPath_->requestFrame();
    }
}

void TerminalView::queueMetalDisplay()
{
    if (!metalView() || pendingMetalDisplay_) return;
    pendingMetalDisplay_ = true;
    constexpr Nanos kFrame = 16'670'000;
    DispatchQueue::main().asyncAfter(kFrame, [view = QPointer<TerminalView>(this)] {
        if (!view) return;
        view->pendingMetalDisplay_ = false;
        if (view->gpuPath_) view->gpuPath_->requestFrame();
    });
}

void TerminalView::markMetalRowsDirty(int64_t first, int64_t last)
{
    if (last < first) return;
    if (metalDirtyRange) {
        first = std::min(first, metalDirtyRange->first);
        last = std::max(last, metalDirtyRange->second);
    }
    metalDirtyRange = std::pair(first, last);
}

void TerminalView::markAllMetalRowsDirty()
{
    if (!terminal_) return;
    const Buffer& buffer = terminal_->displayBuffer();
    const int64_t lines = buffer.lines().count();
    if (lines < 1) return;
    markMetalRowsDirty(buffer.yDisp(), std::min<int64_t>(buffer.yDisp() + buffer.rows() - 1, lines - 1));
    requestMetalFrame();
}

void TerminalView::metalRowsUpdated(int64_t first, int64_t last)
{
    const Buffer& buffer = terminal_->displayBuffer();
    const int64_t lines = buffer.lines().count();
    if (lines < 1) return;
    if (first < 0 || last < first || last >= buffer.rows()) {
        markAllMetalRowsDirty();
        return;
    }
    markMetalRowsDirty(first + buffer.yDisp(), std::min<int64_t>(last + buffer.yDisp(), lines - 1));
}

void TerminalView::paintEventForMetal(const QRect& rect)
{
    if (!cellDimension_ || !terminal_) return;
    const double cellHeight = cellDimension_->height();
    const int64_t first = std::max<int64_t>(0, static_cast<int64_t>(std::floor(rect.top() / cellHeight)));
    const int64_t last = static_cast<int64_t>(std::ceil((rect.top() + rect.height()) / cellHeight)) - 1;
    metalRowsUpdated(first, std::min<int64_t>(last, terminal_->rows() - 1));
    requestMetalFrame();
}

QWidget* TerminalView::caretWidget() { return caretView_; }

void TerminalView::suspendCaretForMetal()
{
    caretSuspended_ = true;
    if (!caretView_) return;
    caretView_->disableAnimations();
    caretView_->hide();
}

void TerminalView::resumeCaretAfterMetal()
{
    caretSuspended_ = false;
    if (!caretView_) return;
    refreshCaret();
    updateCursorPosition();
    caretView_->updateView();
}

QColor TerminalView::metalBackgroundColor() { return nativeBg_.value_or(DeviceColor{}).toQColor(); }

}  // namespace corvel
