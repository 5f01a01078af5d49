// A real program on a pseudo-terminal of a terminal view's size, for the view
// and GPU tests: `/bin/sh -c command` runs with a fixed small environment, its
// output is fed to the view and the view's bytes (typing and the terminal's
// replies) are written back to it. The view holds the object as its delegate
// and the process holds it weakly; a test keeps the shared_ptr that start()
// returns, and dropping it ends a program that is still running. Main thread
// only: output arrives on the main queue. Also: finding the border a split
// multiplexer or editor draws.
#pragma once

#include "tests/qt/QtTestSupport.h"

#include "corvel/host/LocalProcess.h"
#include "corvel/qt/TerminalView.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvel::testing {

// Where the program's output is fed: through the view, which also drops a
// stale search, ends a selection while mouse reporting is on and schedules a
// redraw; or straight into the view's terminal.
enum class PtyFeed { view, terminal };

// `Delegate` is the view delegate the object also is (a recording one by
// default), so a test reads what the view reported from the same object.
template <class Delegate = RecordingViewDelegate>
class ViewPty : public LocalProcessDelegate, public Delegate {
public:
    static std::shared_ptr<ViewPty> start(TerminalView& view, const std::string& command,
                                          PtyFeed feed = PtyFeed::terminal)
    {
        auto self = std::make_shared<ViewPty>(view, feed);
        view.setTerminalDelegate(self);
        self->process = std::make_unique<LocalProcess>(self);
        self->process->startProcess("/bin/sh", {"-c", command},
                                    std::vector<std::string>{"TERM=xterm-256color", "PATH=/usr/local/bin:/usr/bin:/bin",
                                                             "LANG=C.UTF-8", "HOME=/tmp", "TMUX_TMPDIR=/tmp"});
        return self;
    }
    ViewPty(TerminalView& view, PtyFeed feed) : view(view), feed(feed) {}
    ~ViewPty() override
    {
        if (process && process->running()) process->terminate();
    }

    TerminalView& view;
    const PtyFeed feed;
    std::unique_ptr<LocalProcess> process;
    bool exited = false;

    void dataReceived(std::span<const uint8_t> slice) override
    {
        if (feed == PtyFeed::view) {
            view.feed(slice);
        } else {
            view.getTerminal().feed(slice);
        }
    }
    void processTerminated(LocalProcess&, std::optional<int32_t>) override { exited = true; }
    WindowSize getWindowSize() override
    {
        return WindowSize{static_cast<unsigned short>(view.getTerminal().rows()),
                          static_cast<unsigned short>(view.getTerminal().cols()), 0, 0};
    }
    void send(TerminalView& source, std::span<const uint8_t> data) override
    {
        Delegate::send(source, data);
        if (process) process->send(data);
    }
};

// The column (neither the first nor the last) holding `code` on every row of
// 0...lastRow: the border between two panes a split program draws.
inline std::optional<int> borderColumn(Terminal& terminal, int32_t code, int lastRow)
{
    for (int col = 1; col < terminal.cols() - 1; ++col) {
        bool whole = true;
        for (int row = 0; row <= lastRow && whole; ++row) {
            const auto cell = terminal.getCharData(col, row);
            whole = cell && cell->code == code;
        }
        if (whole) return col;
    }
    return std::nullopt;
}

}  // namespace corvel::testing
