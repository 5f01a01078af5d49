// The host callbacks of TerminalView that answer the program's queries and
// reports: window requests (the text area and cell size in device pixels are
// answered here; every other request gets no reply from the view, so the
// terminal answers the character-size queries itself), the cell size,
// progress reports for the progress strip with their 15-second expiry, the
// bell, the title and OSC 1337 content handed to the view delegate, and the
// ring debug overlay.
//
// GUI thread, except that progressReport may be called from any thread and
// then posts the report to the view's thread.
#include "corvel/qt/TerminalView.h"

#include "corvel/qt/TerminalDebugView.h"
#include "corvel/qt/TerminalProgressBarView.h"

#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QWindow>

#include <cmath>
#include <cstdio>
#include <string>

namespace corvel {

std::optional<std::vector<uint8_t>> TerminalView::windowCommand(Terminal&, const WindowManipulationCommand& command)
{
    using Kind = WindowManipulationCommand::Kind;
    if (!terminal_) return std::nullopt;
    const QSizeF cell = cellDimension_.value_or(QSizeF(0, 0));
    const double scale = devicePixelRatioF() > 0 ? devicePixelRatioF() : 1.0;
    auto reply = [this](const std::string& body) {
        const auto csi = terminal_->cc.csi();
        std::vector<uint8_t> bytes(csi.begin(), csi.end());
        bytes.insert(bytes.end(), body.begin(), body.end());
        return bytes;
    };
    switch (command.kind) {
    case Kind::resizeWindowTo:
        std::printf("Request to resize to %dx%d\n", command.width, command.height);
        std::fflush(stdout);
        return std::nullopt;
    case Kind::reportTextAreaPixelDimension: {
        const auto height = std::llround(cell.height() * scale * terminal_->rows());
        const auto width = std::llround(cell.width() * scale * terminal_->cols());
        return reply("4;" + std::to_string(height) + ";" + std::to_string(width) + "t");
    }
    case Kind::reportCellSizeInPixels: {
        const auto height = static_cast<long long>(cell.height() * scale);
        const auto width = static_cast<long long>(cell.width() * scale);
        return reply("6;" + std::to_string(height) + ";" + std::to_string(width) + "t");
    }
    default:
        return std::nullopt;
    }
}

std::optional<TerminalDelegate::CellSize> TerminalView::cellSizeInPixels(Terminal&)
{
    // The window's scale; a view not yet in a window counts 1.
    const QWindow* handle = window()->windowHandle();
    const double scale = handle ? handle->devicePixelRatio() : 1.0;
    const QSizeF cell = cellDimension_.value_or(QSizeF(0, 0));
    return TerminalDelegate::CellSize{static_cast<int>(cell.width() * scale), static_cast<int>(cell.height() * scale)};
}

void TerminalView::setTerminalTitle(Terminal&, const std::string& title)
{
    if (auto delegate = terminalDelegate_.lock()) delegate->setTerminalTitle(*this, title);
}

void TerminalView::bell(Terminal&)
{
    if (auto delegate = terminalDelegate_.lock()) delegate->bell(*this);
}

void TerminalView::iTermContent(Terminal&, std::span<const uint8_t> content)
{
    if (auto delegate = terminalDelegate_.lock()) delegate->iTermContent(*this, content);
}

// ---- progress reports ----

void TerminalView::progressReport(Terminal&, const ProgressReport& report)
{
    if (QThread::currentThread() == thread()) {
        handleProgressReport(report);
        return;
    }
    // The view is the context: the call is dropped if the view is gone.
    QMetaObject::invokeMethod(this, [this, report] { handleProgressReport(report); }, Qt::QueuedConnection);
}

void TerminalView::handleProgressReport(const ProgressReport& report)
{
    switch (report.state) {
    case ProgressReportState::remove:
        clearProgressReport();
        return;
    case ProgressReportState::set: {
        const uint8_t value = report.progress.value_or(0);
        lastProgressValue_ = value;
        progressBarView_->apply(ProgressReportState::set, value);
        break;
    }
    case ProgressReportState::error:
        if (report.progress) lastProgressValue_ = report.progress;
        progressBarView_->apply(ProgressReportState::error, lastProgressValue_);
        break;
    case ProgressReportState::indeterminate:
        progressBarView_->apply(ProgressReportState::indeterminate, std::nullopt);
        break;
    case ProgressReportState::pause: {
        const uint8_t value = report.progress.value_or(lastProgressValue_.value_or(100));
        lastProgressValue_ = value;
        progressBarView_->apply(ProgressReportState::pause, value);
        break;
    }
    }
    resetProgressReportTimer();
}

void TerminalView::clearProgressReport()
{
    if (progressReportTimer_) progressReportTimer_->cancel();
    progressReportTimer_.reset();
    lastProgressValue_.reset();
    progressBarView_->apply(ProgressReportState::remove, std::nullopt);
}

void TerminalView::resetProgressReportTimer()
{
    if (progressReportTimer_) progressReportTimer_->cancel();
    // A program that stops reporting loses its bar this long after its last report.
    progressReportTimer_ = std::make_shared<DispatchWorkItem>([view = QPointer<TerminalView>(this)] {
        if (view) view->clearProgressReport();
    });
    DispatchQueue& queue = progressTimerQueue ? *progressTimerQueue : DispatchQueue::main();
    queue.asyncAfter(progressReportTimeout, progressReportTimer_);
}

// ---- debug overlay ----

TerminalDebugView& TerminalView::attachDebugView()
{
    if (!debug_) {
        debug_ = new TerminalDebugView(*terminal_, this);
        debug_->setGeometry(rect());
        debug_->show();
        debug_->raise();
    }
    debug_->refresh();
    return *debug_;
}

}  // namespace corvel
