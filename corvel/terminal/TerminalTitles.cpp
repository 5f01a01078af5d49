// Cursor visibility and the window and icon titles, as the host hears of them.
#include "corvel/terminal/Terminal.h"

namespace corvel {

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
    terminalTitle = text;
    withDelegate([&](TerminalDelegate& d) { d.setTerminalTitle(*this, text); });
}

void Terminal::setIconTitle(const std::string& text)
{
    iconTitle = text;
    withDelegate([&](TerminalDelegate& d) { d.setTerminalIconTitle(*this, text); });
}

}  // namespace corvel
