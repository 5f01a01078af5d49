// Cursor visibility and the window and icon titles, as the host hears of them.
// A title is kept to maxTitleBytes, cut on a character boundary, so neither
// the titles nor their stacks can hold on to a program's runaway output.
#include "corvel/terminal/Terminal.h"

namespace corvel {

namespace {

// The text cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::string capTitle(const std::string& text, size_t limit)
{
    if (text.size() <= limit) return text;
    size_t cut = limit;
    while (cut > 0 && (static_cast<uint8_t>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

}  // namespace

void Terminal::showCursor()
{
    if (!cursorHidden) return;
    cursorHidden = false;
    withDelegate([&](TerminalDelegate& d) { d.showCursor(*this); });
}

void Terminal::hideCursor()
{
    if (cursorHidden) return;
    cursorHidden = true;
    withDelegate([&](TerminalDelegate& d) { d.hideCursor(*this); });
}

void Terminal::setTitle(const std::string& text)
{
    terminalTitle = capTitle(text, maxTitleBytes);
    withDelegate([&](TerminalDelegate& d) { d.setTerminalTitle(*this, terminalTitle); });
}

void Terminal::setIconTitle(const std::string& text)
{
    iconTitle = capTitle(text, maxTitleBytes);
    withDelegate([&](TerminalDelegate& d) { d.setTerminalIconTitle(*this, iconTitle); });
}

}  // namespace corvel
