// The interface through which a terminal view reports to its owner: size
// changes, titles, the current directory, bytes for the program (what the
// user types or pastes, the mouse and focus reports, and the terminal's
// answers), scrolling,
// links to open, the bell, clipboard writes, OSC 1337 content and the rows
// just redrawn. The view holds its delegate weakly (std::weak_ptr) and skips
// every report while none is attached. Main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

namespace corvel {

class TerminalView;

class TerminalViewDelegate {
public:
    virtual ~TerminalViewDelegate() = default;

    virtual void sizeChanged(TerminalView& source, int newCols, int newRows) = 0;
    virtual void setTerminalTitle(TerminalView& source, const std::string& title) = 0;
    virtual void hostCurrentDirectoryUpdate(TerminalView& source, const std::optional<std::string>& directory) = 0;
    // Bytes for the program that the user's actions make: keys, typed and
    // pasted text.
    virtual void send(TerminalView& source, std::span<const uint8_t> data) = 0;
    // A mouse or focus report the terminal encoded for the program.
    // Default: send().
    virtual void sendReport(TerminalView& source, std::span<const uint8_t> data);
    // The terminal's answer to a request of the program; may be dropped
    // while the program leaves too much unread. Default: send().
    virtual void sendReply(TerminalView& source, std::span<const uint8_t> data);
    // The scroll position, 0 (top) to 1 (bottom).
    virtual void scrolled(TerminalView& source, double position) = 0;
    // Default: the view's openLink, which opens only web and mail links and
    // local files that are not executable.
    virtual void requestOpenLink(TerminalView& source, const std::string& link,
                                 const std::map<std::string, std::string>& params);
    // Default: the system beep.
    virtual void bell(TerminalView& source);
    virtual void clipboardCopy(TerminalView& source, std::span<const uint8_t> content) = 0;
    virtual void iTermContent(TerminalView&, std::span<const uint8_t>) {}
    virtual void rangeChanged(TerminalView&, int /*startY*/, int /*endY*/) {}
};

}  // namespace corvel
