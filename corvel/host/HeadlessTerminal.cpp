#include "corvel/host/HeadlessTerminal.h"

#include "corvel/host/PseudoTerminalHelpers.h"
#include "corvel/parser/EscapeSequenceParser.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace corvel {

namespace {

// Pixel size of one cell reported to the child.
constexpr unsigned short kCellPixels = 16;

// A window-size field holds 16 bits; a larger emulator reports the largest
// size that fits rather than a wrapped one.
unsigned short windowField(int value)
{
    return static_cast<unsigned short>(
        std::clamp(value, 0, static_cast<int>(std::numeric_limits<unsigned short>::max())));
}

}  // namespace

HeadlessTerminal::HeadlessTerminal(EndCallback onEnd) : onEnd_(std::move(onEnd)) {}

HeadlessTerminal::~HeadlessTerminal() = default;

void HeadlessTerminal::attach(DispatchQueue* queue, const TerminalOptions& options)
{
    // The emulator first, then the process, both reporting to this object.
    terminal_ = std::make_unique<Terminal>(std::weak_ptr<TerminalDelegate>(weak_from_this()), options);
    process_ = std::make_unique<LocalProcess>(std::weak_ptr<LocalProcessDelegate>(weak_from_this()), queue);
}

void HeadlessTerminal::send(std::span<const uint8_t> data)
{
    process_->send(data);
}

void HeadlessTerminal::send(std::string_view text)
{
    send(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void HeadlessTerminal::changeScrollback(std::optional<int> lines)
{
    // The emulator's own change resizes the normal buffer's history, records
    // the value in its options and dirties the whole screen.
    terminal_->changeScrollback(lines);
}

void HeadlessTerminal::resize(int cols, int rows)
{
    terminal_->resize(cols, rows);
    updateWindowSize();
}

void HeadlessTerminal::sizeChanged(Terminal&)
{
    updateWindowSize();
}

void HeadlessTerminal::updateWindowSize()
{
    const int fd = process_ ? process_->childfd() : -1;
    if (fd >= 0) PseudoTerminalHelpers::setWinSize(fd, PseudoTerminalHelpers::toWinsize(getWindowSize()));
}

void HeadlessTerminal::processTerminated(LocalProcess&, std::optional<int32_t> exitCode)
{
    if (onEnd_) onEnd_(exitCode);
}

void HeadlessTerminal::dataReceived(std::span<const uint8_t> slice)
{
    terminal_->parser().parse(slice);
}

WindowSize HeadlessTerminal::getWindowSize()
{
    return {windowField(terminal_->rows()), windowField(terminal_->cols()), kCellPixels, kCellPixels};
}

void HeadlessTerminal::send(Terminal&, std::span<const uint8_t> data)
{
    send(data);
}

void HeadlessTerminal::sendReply(Terminal&, std::span<const uint8_t> data)
{
    process_->sendReply(data);
}

void HeadlessTerminal::hostCurrentDirectoryUpdated(Terminal& source)
{
    dir_ = source.hostCurrentDirectory;
}

void HeadlessTerminal::createImageFromBitmap(Terminal&, std::vector<uint8_t>& bytes, int width, int height)
{
    if (bytes.size() > maxImageBytes) return;
    while (!images_.empty() && (images_.size() >= maxImages || imageBytes_ + bytes.size() > maxImageBytes)) {
        imageBytes_ -= images_.front().bytes.size();
        images_.pop_front();
    }
    // Copied: the caller may go on using its pixels (an image store keeps
    // them). The copy may be refused (std::bad_alloc, which the emulator's
    // insertion answers for), so only what was stored is counted.
    Image image{bytes, width, height};
    images_.push_back(std::move(image));
    imageBytes_ += images_.back().bytes.size();
}

std::pair<Color, Color> HeadlessTerminal::getColors(Terminal& source)
{
    return {source.foregroundColor(), source.backgroundColor()};
}

}  // namespace corvel
