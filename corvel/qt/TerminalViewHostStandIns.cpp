// STAND-INS: plain bodies of the view's host operations (feeding, scrolling,
// sending, the selection's text, link payloads, pastes) that the pointer and
// command code calls. The host and keyboard share of the view defines these
// same functions with the same signatures; when it is merged, delete this
// file and the declarations stay. GUI thread only.
#include "corvel/qt/TerminalView.h"

#include "corvel/terminal/EscapeSequences.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace corvel {

namespace {

int maxScroll(const Buffer& buffer)
{
    const int64_t max = buffer.lines().count() - buffer.rows();
    return static_cast<int>(std::clamp<int64_t>(max, 0, std::numeric_limits<int>::max()));
}

}  // namespace

void TerminalView::feed(std::span<const uint8_t> byteArray)
{
    search_->invalidate();
    if (allowMouseReporting) selection_->setActive(false);
    terminal_->parser().parse(byteArray);
    queuePendingDisplay();
}

void TerminalView::feed(std::string_view text)
{
    feed(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void TerminalView::scrollTo(int row, bool)
{
    Buffer& display = terminal_->displayBuffer();
    row = std::clamp(row, 0, maxScroll(display));
    if (row == display.yDisp()) return;
    terminal_->buffer().setYDisp(row);
    if (Buffer* snapshot = terminal_->synchronizedOutputBuffer()) snapshot->setYDisp(row);
    terminal_->updateRange(0, false);
    terminal_->updateRange(terminal_->rows(), false);
    updateDisplay();
    if (auto delegate = terminalDelegate_.lock()) delegate->scrolled(*this, scrollPosition());
    updateScroller();
    update();
}

void TerminalView::scrollToPosition(double position)
{
    const int max = maxScroll(terminal_->displayBuffer());
    const double wanted = std::isfinite(position) ? std::floor(position * max) : 0.0;
    scrollTo(static_cast<int>(std::clamp(wanted, 0.0, double(max))), true);
}

void TerminalView::scrollUp(int lines)
{
    scrollTo(std::max(terminal_->displayBuffer().yDisp() - std::max(lines, 0), 0), true);
}

void TerminalView::scrollDown(int lines)
{
    Buffer& display = terminal_->displayBuffer();
    const int64_t target = int64_t(display.yDisp()) + std::max(lines, 0);
    scrollTo(static_cast<int>(std::clamp<int64_t>(target, 0, maxScroll(display))), true);
}

void TerminalView::pageUp()
{
    scrollUp(terminal_->rows());
}

void TerminalView::pageDown()
{
    scrollDown(terminal_->rows());
}

void TerminalView::ensureCaretIsVisible()
{
    Buffer& display = terminal_->displayBuffer();
    const int64_t cursorLine = int64_t(display.y()) + display.yBase();
    if (cursorLine < display.yDisp() || cursorLine >= int64_t(display.yDisp()) + display.rows())
        scrollTo(display.yBase(), true);
}

void TerminalView::send(std::span<const uint8_t> data)
{
    ensureCaretIsVisible();
    if (auto delegate = terminalDelegate_.lock()) delegate->send(*this, data);
}

void TerminalView::send(std::string_view txt)
{
    send(std::span(reinterpret_cast<const uint8_t*>(txt.data()), txt.size()));
}

bool TerminalView::selectionActive() const
{
    return selection_->active();
}

std::optional<std::string> TerminalView::getSelection()
{
    if (!selection_->active()) return std::nullopt;
    Position start = selection_->start();
    Position end = selection_->end();
    if (end.row < start.row || (end.row == start.row && end.col <= start.col)) std::swap(start, end);
    if (end.col >= terminal_->cols() - 1) end.col = terminal_->cols();
    return terminal_->getDisplayText(start, end);
}

void TerminalView::selectAll()
{
    selection_->selectAll();
}

void TerminalView::selectNone()
{
    if (!selection_->active()) return;
    selection_->setActive(false);
    selection_->setSelectionMode(SelectionMode::character);
}

std::optional<std::pair<std::string, std::map<std::string, std::string>>>
TerminalView::urlAndParamsFrom(std::string_view payload)
{
    const size_t semicolon = payload.find(';');
    if (semicolon == std::string_view::npos) return std::nullopt;
    std::map<std::string, std::string> params;
    std::string_view rest = payload.substr(0, semicolon);
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const std::string_view piece = rest.substr(0, colon);
        const size_t equals = piece.find('=');
        if (equals != std::string_view::npos && equals > 0 && equals + 1 < piece.size() &&
            piece.find('=', equals + 1) == std::string_view::npos) {
            params[std::string(piece.substr(0, equals))] = std::string(piece.substr(equals + 1));
        }
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return std::pair(std::string(payload.substr(semicolon + 1)), std::move(params));
}

void TerminalView::insertText(const std::string& text, bool isPaste)
{
    const bool bracketed = isPaste && terminal_->bracketedPasteMode;
    if (bracketed) send(std::span<const uint8_t>(EscapeSequences::bracketedPasteStart()));
    send(std::string_view(text));
    if (bracketed) send(std::span<const uint8_t>(EscapeSequences::bracketedPasteEnd()));
}

}  // namespace corvel
