#include "corvel/terminal/TerminalDelegate.h"

namespace corvel {

// The defaults that do nothing or answer a constant. The colour defaults,
// which write the terminal's own properties, live with the rest of the
// terminal's hook-ups in EscapeSequenceParserDispatch.cpp.

TerminalDelegate::~TerminalDelegate() = default;

void TerminalDelegate::showCursor(Terminal&) {}
void TerminalDelegate::hideCursor(Terminal&) {}
void TerminalDelegate::setTerminalTitle(Terminal&, const std::string&) {}
void TerminalDelegate::setTerminalIconTitle(Terminal&, const std::string&) {}

std::optional<std::vector<uint8_t>> TerminalDelegate::windowCommand(Terminal&, const WindowManipulationCommand&)
{
    return std::nullopt;
}

void TerminalDelegate::sendReply(Terminal& source, std::span<const uint8_t> data)
{
    send(source, data);
}

void TerminalDelegate::sizeChanged(Terminal&) {}
void TerminalDelegate::scrolled(Terminal&, int) {}
void TerminalDelegate::linefeed(Terminal&) {}
void TerminalDelegate::bufferActivated(Terminal&) {}
void TerminalDelegate::synchronizedOutputChanged(Terminal&, bool) {}
void TerminalDelegate::bell(Terminal&) {}
void TerminalDelegate::selectionChanged(Terminal&) {}
bool TerminalDelegate::isProcessTrusted(Terminal&) { return true; }
std::optional<TerminalDelegate::CellSize> TerminalDelegate::cellSizeInPixels(Terminal&) { return std::nullopt; }
void TerminalDelegate::mouseModeChanged(Terminal&) {}
void TerminalDelegate::cursorStyleChanged(Terminal&, CursorStyle) {}
void TerminalDelegate::hostCurrentDirectoryUpdated(Terminal&) {}
void TerminalDelegate::hostCurrentDocumentUpdated(Terminal&) {}
void TerminalDelegate::colorChanged(Terminal&, std::optional<int>) {}
void TerminalDelegate::iTermContent(Terminal&, std::span<const uint8_t>) {}
void TerminalDelegate::clipboardCopy(Terminal&, std::span<const uint8_t>) {}
void TerminalDelegate::notify(Terminal&, const std::string&, const std::string&) {}
void TerminalDelegate::progressReport(Terminal&, const ProgressReport&) {}
void TerminalDelegate::createImageFromBitmap(Terminal&, std::vector<uint8_t>&, int, int) {}
void TerminalDelegate::createImage(Terminal&, std::span<const uint8_t>, ImageSizeRequest, ImageSizeRequest, bool) {}

}  // namespace corvel
