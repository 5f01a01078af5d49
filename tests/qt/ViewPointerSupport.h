// Helpers of the pointer, command and callback tests of the terminal view:
// a real program on a pseudo-terminal whose output the view is fed (and
// whose input is the view's), a recording delegate that also records link
// requests and titles, cell centres, and primary-button events with chosen
// timestamps so click series are counted as a user's would be.
#pragma once

#include "QtTestSupport.h"

#include "corvel/host/LocalProcess.h"
#include "corvel/qt/TerminalView.h"

#include <QApplication>
#include <QMouseEvent>

#include <memory>
#include <string>
#include <vector>

namespace corvel::testing {

struct PointerDelegate : RecordingViewDelegate {
    std::vector<std::string> linkRequests;
    std::vector<std::string> titles;
    int bells = 0;
    void requestOpenLink(TerminalView& source, const std::string& link,
                         const std::map<std::string, std::string>& params) override
    {
        linkRequests.push_back(link);
        TerminalViewDelegate::requestOpenLink(source, link, params);
    }
    void setTerminalTitle(TerminalView&, const std::string& title) override { titles.push_back(title); }
    void bell(TerminalView&) override { ++bells; }
};

// Runs `/bin/sh -c command` on a pseudo-terminal of the view's size: its
// output goes to the view, the view's bytes to it.
class ViewPty : public LocalProcessDelegate, public PointerDelegate {
public:
    static std::shared_ptr<ViewPty> start(TerminalView& view, const std::string& command)
    {
        auto self = std::make_shared<ViewPty>(view);
        view.setTerminalDelegate(self);
        self->process = std::make_unique<LocalProcess>(self);
        self->process->startProcess("/bin/sh", {"-c", command},
                                    std::vector<std::string>{"TERM=xterm-256color", "PATH=/usr/local/bin:/usr/bin:/bin",
                                                             "LANG=C.UTF-8", "HOME=/tmp", "TMUX_TMPDIR=/tmp"});
        return self;
    }
    explicit ViewPty(TerminalView& view) : view(view) {}
    ~ViewPty() override
    {
        if (process && process->running()) process->terminate();
    }

    TerminalView& view;
    std::unique_ptr<LocalProcess> process;
    bool exited = false;

    void dataReceived(std::span<const uint8_t> slice) override { view.feed(slice); }
    void processTerminated(LocalProcess&, std::optional<int32_t>) override { exited = true; }
    WindowSize getWindowSize() override
    {
        return WindowSize{static_cast<unsigned short>(view.getTerminal().rows()),
                       static_cast<unsigned short>(view.getTerminal().cols()), 0, 0};
    }
    void send(TerminalView& source, std::span<const uint8_t> data) override
    {
        PointerDelegate::send(source, data);
        if (process) process->send(data);
    }
};

// The text of screen row `row`, trailing blanks dropped.
inline std::string screenLine(TerminalView& view, int row)
{
    Buffer& buffer = view.getTerminal().displayBuffer();
    return view.getTerminal().translateBufferLineToString(buffer, buffer.yDisp() + row, 0, -1);
}

// Whether some screen row holds `text`.
inline bool screenHas(TerminalView& view, const std::string& text)
{
    for (int row = 0; row < view.getTerminal().rows(); ++row) {
        if (screenLine(view, row).find(text) != std::string::npos) return true;
    }
    return false;
}

// The centre of the cell at column `col`, screen row `row`.
inline QPointF cellCentre(TerminalView& view, int col, int row)
{
    const QSizeF cell = *view.cellDimension();
    return {(col + 0.5) * cell.width(), (row + 0.5) * cell.height()};
}

// One pointer event sent to the view as the window system would deliver it.
inline void pointer(TerminalView& view, QEvent::Type type, QPointF at, Qt::MouseButton button,
                    Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier, uint64_t timestamp = 0)
{
    QMouseEvent event(type, at, view.mapToGlobal(at), button, buttons, modifiers);
    event.setTimestamp(timestamp);
    QApplication::sendEvent(&view, &event);
}

// A click of the primary button: press (or the double-click event) and release.
inline void click(TerminalView& view, QPointF at, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                  uint64_t timestamp = 0, bool doubleClick = false)
{
    pointer(view, doubleClick ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, at, Qt::LeftButton,
            Qt::LeftButton, modifiers, timestamp);
    pointer(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, modifiers, timestamp + 1);
}

}  // namespace corvel::testing
