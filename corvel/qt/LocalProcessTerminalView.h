// A terminal view that runs its own child program on a pseudo-terminal: the
// child's output is fed to the view, the view's input (keys, pastes, the
// emulator's replies) is written to the child, size changes reach the
// pseudo-terminal, and the title, current directory and end of the child go
// to a LocalProcessTerminalViewDelegate.
//
// The view is its own TerminalViewDelegate and its process's
// LocalProcessDelegate through two small forwarders it owns (both held
// weakly by their callers and cut off in the destructor), so every callback
// lands on a virtual member here that a subclass may override. The process
// delivers on the main queue. GUI thread only.
#pragma once

#include "corvel/host/LocalProcess.h"
#include "corvel/host/LocalProcessDelegate.h"
#include "corvel/qt/TerminalView.h"

#include <sys/ioctl.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvel {

class LocalProcessTerminalView;

class LocalProcessTerminalViewDelegate {
public:
    virtual ~LocalProcessTerminalViewDelegate() = default;
    virtual void sizeChanged(LocalProcessTerminalView& source, int newCols, int newRows) = 0;
    virtual void setTerminalTitle(LocalProcessTerminalView& source, const std::string& title) = 0;
    virtual void hostCurrentDirectoryUpdate(LocalProcessTerminalView& source,
                                            const std::optional<std::string>& directory) = 0;
    // The child ended; the raw wait status as the process host reports it.
    virtual void processTerminated(LocalProcessTerminalView& source, std::optional<int32_t> exitCode) = 0;
};

class LocalProcessTerminalView : public TerminalView {
    Q_OBJECT
public:
    explicit LocalProcessTerminalView(QWidget* parent = nullptr);
    explicit LocalProcessTerminalView(const QRect& frame, QWidget* parent = nullptr);
    ~LocalProcessTerminalView() override;

    LocalProcess& process() { return *process_; }
    void setProcess(std::unique_ptr<LocalProcess> process) { process_ = std::move(process); }
    std::shared_ptr<LocalProcessTerminalViewDelegate> processDelegate() const { return processDelegate_.lock(); }
    void setProcessDelegate(std::weak_ptr<LocalProcessTerminalViewDelegate> delegate)
    {
        processDelegate_ = std::move(delegate);
    }

    // Starts the child unless one runs; the arguments go to LocalProcess
    // unchanged. True when this call started a child.
    virtual bool startProcess(const std::string& executable, const std::vector<std::string>& args = {},
                              const std::optional<std::vector<std::string>>& environment = std::nullopt,
                              const std::optional<std::string>& execName = std::nullopt,
                              const std::optional<std::string>& currentDirectory = std::nullopt);
    // Hangs up the child; no end report follows.
    virtual void terminate();
    virtual void setHostLogging(std::optional<std::string> directory);

    // ---- as its own view delegate ----

    using TerminalView::send;
    using TerminalView::sendReply;
    using TerminalView::sizeChanged;
    // While a child runs: the new window size to the pseudo-terminal, then the delegate.
    virtual void sizeChanged(TerminalView& source, int newCols, int newRows);
    virtual void setTerminalTitle(TerminalView& source, const std::string& title);
    virtual void hostCurrentDirectoryUpdate(TerminalView& source, const std::optional<std::string>& directory);
    // The view's bytes to the child (dropped unless it runs).
    virtual void send(TerminalView& source, std::span<const uint8_t> data);
    // The terminal's mouse and focus reports to the child, as send() does
    // (never handed back unwritten).
    virtual void sendReport(TerminalView& source, std::span<const uint8_t> data);
    // The terminal's answers to the child, dropped while it leaves too much
    // unread (LocalProcess::sendReply).
    virtual void sendReply(TerminalView& source, std::span<const uint8_t> data);
    virtual void scrolled(TerminalView& source, double position);
    virtual void rangeChanged(TerminalView& source, int startY, int endY);
    // Valid UTF-8 replaces the clipboard's text; anything else leaves it alone.
    virtual void clipboardCopy(TerminalView& source, std::span<const uint8_t> content);

    // ---- as its process's delegate ----

    virtual void processTerminated(LocalProcess& source, std::optional<int32_t> exitCode);
    virtual void dataReceived(std::span<const uint8_t> slice);
    // Typed or pasted bytes the child never took (it hung up first); the
    // view itself lets them go.
    virtual void inputNotWritten(std::span<const uint8_t> bytes);
    // Rows and columns of the grid; the pixel fields give the text area in
    // device pixels (as the window-size report does), at most 65535.
    virtual WindowSize getWindowSize();

private:
    class ViewForwarder;
    class ProcessForwarder;

    void connectSelf();

    std::shared_ptr<ViewForwarder> viewForwarder_;
    std::shared_ptr<ProcessForwarder> processForwarder_;
    std::unique_ptr<LocalProcess> process_;
    std::weak_ptr<LocalProcessTerminalViewDelegate> processDelegate_;
};

}  // namespace corvel
