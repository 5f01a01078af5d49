// A terminal joined to a child process without any view: the child's output
// is parsed straight into the emulator's screen, the emulator's replies go
// back to the child, and the owner learns of the child's end through a
// callback. The owner starts the child itself, through process().
//
// The emulator and the process hold this object weakly as their delegate, so
// it lives behind a shared_ptr and is made by create(). It owns both of them;
// destroying it hangs up the child, which the process host still reaps.
//
// Everything runs on the process's delivery queue (the main queue unless
// another was given): output is parsed there, `onEnd` is called there, and the
// owner reads the emulator and calls the operations below there too.
#pragma once

#include "corvel/host/LocalProcess.h"
#include "corvel/host/LocalProcessDelegate.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalDelegate.h"
#include "corvel/terminal/TerminalOptions.h"
#include "corvel/platform/Dispatch.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvel {

class HeadlessTerminal : public TerminalDelegate,
                         public LocalProcessDelegate,
                         public std::enable_shared_from_this<HeadlessTerminal> {
public:
    // Called when the child ends, with its raw wait status (an exit with code
    // 3 arrives as 768).
    using EndCallback = std::function<void(std::optional<int32_t> exitCode)>;

    // A bitmap the emulator decoded: RGBA pixels, rows from the top.
    struct Image {
        std::vector<uint8_t> bytes;
        int width = 0;
        int height = 0;
    };

    // Nothing draws the decoded images, so only the newest are kept: at most
    // this many, holding at most this many bytes together. An image larger
    // than the byte limit on its own is not kept at all, nor is one whose
    // copy finds no room (the std::bad_alloc goes on to the emulator).
    static constexpr size_t maxImages = 64;
    static constexpr size_t maxImageBytes = 64u << 20;

    // Makes the emulator (with `options`, this object as its delegate) and
    // then the process (delivering on `queue`, null meaning the main queue).
    // A subclass that overrides callbacks is made with create<Subclass>(...),
    // the extra arguments going to its constructor after the end callback.
    template <class T = HeadlessTerminal, class... Extra>
    static std::shared_ptr<T> create(DispatchQueue* queue, const TerminalOptions& options, EndCallback onEnd,
                                     Extra&&... extra)
    {
        std::shared_ptr<T> made(new T(std::move(onEnd), std::forward<Extra>(extra)...));
        made->attach(queue, options);
        return made;
    }

    ~HeadlessTerminal() override;
    HeadlessTerminal(const HeadlessTerminal&) = delete;
    HeadlessTerminal& operator=(const HeadlessTerminal&) = delete;

    Terminal& terminal() { return *terminal_; }
    const Terminal& terminal() const { return *terminal_; }
    LocalProcess& process() { return *process_; }
    const LocalProcess& process() const { return *process_; }

    // The last working directory the child reported; absent until it does.
    const std::optional<std::string>& dir() const { return dir_; }
    // The kept images, oldest first, and the bytes they hold together.
    const std::deque<Image>& images() const { return images_; }
    size_t imageBytes() const { return imageBytes_; }

    // Bytes for the child, dropped while no child runs.
    void send(std::span<const uint8_t> data);
    void send(std::string_view text);

    // The normal screen's scrollback in lines (absent: none).
    void changeScrollback(std::optional<int> lines);

    // Resizes the emulator and then the pseudo-terminal's window to the size
    // the emulator took (it keeps at least 2 columns and 1 row), so that the
    // child's redraw after its SIGWINCH lands on a screen of the new size.
    void resize(int cols, int rows);

    // ---- LocalProcessDelegate ----

    void processTerminated(LocalProcess& source, std::optional<int32_t> exitCode) override;
    // Straight into the parser: none of the feed's own bookkeeping runs.
    void dataReceived(std::span<const uint8_t> slice) override;
    // The emulator's size in cells, 16 x 16 pixels for a cell's pixel size.
    WindowSize getWindowSize() override;

    // ---- TerminalDelegate ----

    void send(Terminal& source, std::span<const uint8_t> data) override;
    // Dropped while the child leaves too much unread (LocalProcess::sendReply).
    void sendReply(Terminal& source, std::span<const uint8_t> data) override;
    void hostCurrentDirectoryUpdated(Terminal& source) override;
    void createImageFromBitmap(Terminal& source, std::vector<uint8_t>& bytes, int width, int height) override;
    std::pair<Color, Color> getColors(Terminal& source) override;
    // The emulator changed its own size (DECCOLM): the pseudo-terminal's
    // window follows, so the child sees the size it draws on.
    void sizeChanged(Terminal& source) override;

protected:
    explicit HeadlessTerminal(EndCallback onEnd);

private:
    void attach(DispatchQueue* queue, const TerminalOptions& options);
    // Gives the pseudo-terminal's window the emulator's size.
    void updateWindowSize();

    // Declared before the process so that it is destroyed after it: the
    // process must not outlive the emulator its deliveries reach.
    std::unique_ptr<Terminal> terminal_;
    std::unique_ptr<LocalProcess> process_;
    EndCallback onEnd_;
    std::optional<std::string> dir_;
    std::deque<Image> images_;
    size_t imageBytes_ = 0;
};

}  // namespace corvel
