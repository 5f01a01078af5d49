// TerminalView as the terminal's host: program output fed to the parser with
// one coalesced redraw per frame, the viewport moved through the scrollback
// with the scroll bar kept in step, bytes sent to the program through the
// view delegate, the selection read as text, and the small parsers of link
// payloads and control keys. GUI thread only.
#include "corvel/parser/EscapeSequenceParser.h"
#include "corvel/qt/TerminalView.h"

#include "corvel/terminal/EscapeSequences.h"

#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace corvel {

namespace {

using EscapeSequences::Bytes;

// The highest top row of `buffer`: its lines less one screen, at least 0.
int maxScroll(const Buffer& buffer)
{
    const int64_t max = buffer.lines().count() - buffer.rows();
    return static_cast<int>(std::clamp<int64_t>(max, 0, std::numeric_limits<int>::max()));
}

std::vector<std::string_view> split(std::string_view text, char separator, bool keepEmpty)
{
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (true) {
        const size_t at = text.find(separator, start);
        const std::string_view piece = text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start);
        if (keepEmpty || !piece.empty()) pieces.push_back(piece);
        if (at == std::string_view::npos) break;
        start = at + 1;
    }
    return pieces;
}

}  // namespace

// ---- feeding ----

void TerminalView::feed(std::span<const uint8_t> byteArray)
{
    search_->invalidate();
    if (allowMouseReporting) selection_->setActive(false);
    // Restored after (whatever the parse ends with), so a feed nested in
    // another's parse leaves the outer one its ratio.
    struct ScaleScope {
        std::optional<double>& scale;
        std::optional<double> outer;
        ~ScaleScope() { scale = outer; }
    } scope{feedScale_, std::exchange(feedScale_, devicePixelRatioF())};
    terminal_->parser().parse(byteArray);
    queuePendingDisplay();
}

void TerminalView::feed(std::string_view text)
{
    feed(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

// ---- scrolling ----

void TerminalView::scrollTo(int row, bool notifyAccessibility)
{
    Buffer& display = terminal_->displayBuffer();
    // Nothing lies above the alternate screen's first row: the only place
    // to look at there is the screen itself.
    row = terminal_->isDisplayBufferAlternate() ? display.yBase() : std::clamp(row, 0, maxScroll(display));
    if (row == display.yDisp()) return;
    terminal_->buffer().setYDisp(row);
    if (Buffer* snapshot = terminal_->synchronizedOutputBuffer()) snapshot->setYDisp(row);
    terminal_->updateRange(0, false);
    terminal_->updateRange(terminal_->rows(), false);
    // Drawn now; a redraw task already queued stays the only one queued.
    const bool pending = pendingDisplay_;
    updateDisplay(notifyAccessibility);
    pendingDisplay_ = pending;
    if (auto delegate = terminalDelegate_.lock()) delegate->scrolled(*this, scrollPosition());
    updateScroller();
    update();
}

void TerminalView::scrollToPosition(double position)
{
    Buffer& display = terminal_->displayBuffer();
    const int max = maxScroll(display);
    const double wanted = std::isfinite(position) ? std::floor(position * max) : 0.0;
    const int row = static_cast<int>(std::clamp(wanted, 0.0, double(max)));
    if (row != display.yDisp()) scrollTo(row, true);
}

void TerminalView::scrollUp(int lines)
{
    const int yDisp = terminal_->displayBuffer().yDisp();
    scrollTo(std::max(yDisp - std::max(lines, 0), 0), true);
}

void TerminalView::scrollDown(int lines)
{
    Buffer& display = terminal_->displayBuffer();
    const int64_t target = int64_t(display.yDisp()) + std::max(lines, 0);
    scrollTo(static_cast<int>(std::clamp<int64_t>(target, 0, maxScroll(display))), true);
}

void TerminalView::pageUp()
{
    if (terminal_->isDisplayBufferAlternate()) {
        send(EscapeSequences::cmdPageUp);
        return;
    }
    scrollUp(terminal_->rows());
}

void TerminalView::pageDown()
{
    if (terminal_->isDisplayBufferAlternate()) {
        send(EscapeSequences::cmdPageDown);
        return;
    }
    scrollDown(terminal_->rows());
}

void TerminalView::changeScrollback(std::optional<int> lines)
{
    // The terminal's own change: besides the history size, the option and the
    // dirty rows, it keeps the frozen copy of synchronized output and the
    // rows of image placements in step with the lines a smaller history drops.
    terminal_->changeScrollback(lines);
    updateScroller();
    if (auto delegate = terminalDelegate_.lock()) delegate->scrolled(*this, scrollPosition());
    queuePendingDisplay();
}

void TerminalView::ensureCaretIsVisible()
{
    Buffer& display = terminal_->displayBuffer();
    const int64_t cursorLine = int64_t(display.y()) + display.yBase();
    if (cursorLine < display.yDisp() || cursorLine >= int64_t(display.yDisp()) + display.rows())
        scrollTo(display.yBase(), true);
}

// ---- sending ----

void TerminalView::send(std::span<const uint8_t> data)
{
    ensureCaretIsVisible();
    if (auto delegate = terminalDelegate_.lock()) delegate->send(*this, data);
}

void TerminalView::send(std::string_view txt)
{
    send(std::span(reinterpret_cast<const uint8_t*>(txt.data()), txt.size()));
}

void TerminalView::sendKeyUp()
{
    send(terminal_->applicationCursor ? Bytes(EscapeSequences::moveUpApp) : Bytes(EscapeSequences::moveUpNormal));
}

void TerminalView::sendKeyDown()
{
    send(terminal_->applicationCursor ? Bytes(EscapeSequences::moveDownApp)
                                      : Bytes(EscapeSequences::moveDownNormal));
}

void TerminalView::sendKeyLeft()
{
    send(terminal_->applicationCursor ? Bytes(EscapeSequences::moveLeftApp)
                                      : Bytes(EscapeSequences::moveLeftNormal));
}

void TerminalView::sendKeyRight()
{
    send(terminal_->applicationCursor ? Bytes(EscapeSequences::moveRightApp)
                                      : Bytes(EscapeSequences::moveRightNormal));
}

// ---- selection ----

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
    // The end column is exclusive, except that a selection reaching the last
    // column takes it, as the highlight does.
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

// ---- payloads and keys ----

std::optional<std::pair<std::string, std::map<std::string, std::string>>>
TerminalView::urlAndParamsFrom(std::string_view payload)
{
    const size_t semicolon = payload.find(';');
    if (semicolon == std::string_view::npos) return std::nullopt;
    // The URI may hold ';' itself: it is everything after the parameters.
    std::string uri(payload.substr(semicolon + 1));
    std::map<std::string, std::string> params;
    for (std::string_view piece : split(payload.substr(0, semicolon), ':', false)) {
        const auto parts = split(piece, '=', false);
        if (parts.size() == 2) params[std::string(parts[0])] = std::string(parts[1]);
    }
    return std::pair(std::move(uri), std::move(params));
}

std::vector<uint8_t> TerminalView::applyControlToEventCharacters(std::string_view characters)
{
    if (characters.size() != 1) return {};
    const auto c = static_cast<uint8_t>(characters[0]);
    if (c >= 'A' && c <= 'Z') return {uint8_t(c - 64)};
    if (c >= 'a' && c <= 'z') return {uint8_t(c - 96)};
    switch (c) {
    case '\\': return {28};
    case '_': return {31};
    case ']': return {29};
    case '[': return {27};
    case '^':
    case '6': return {30};
    case ' ': return {0};
    default: return {};
    }
}

// ---- host callbacks ----

void TerminalView::synchronizedOutputChanged(Terminal&, bool)
{
    updateScroller();
    queuePendingDisplay();
}

void TerminalView::hostCurrentDirectoryUpdated(Terminal&)
{
    if (auto delegate = terminalDelegate_.lock())
        delegate->hostCurrentDirectoryUpdate(*this, terminal_->hostCurrentDirectory);
}

}  // namespace corvel
