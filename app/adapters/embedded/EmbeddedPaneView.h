// One embedded pane as the adapter sees it: a terminal view joined to its
// own child process. The adapter starts, types into and ends the child,
// themes and reads the view, and learns of output, of the child's end, of a
// start that made no child and of input the pane held back through four
// callbacks that it sets. The pane view behind it (a local-process terminal
// view) feeds the child's output to its terminal.
// Every pane is also a search target over its own view: the store's search
// of an expanded cell steps through the first pane's matches.
//
// Held input: while no child runs, or while the adapter asks the pane to
// hold its input, what the user types or pastes and what is sent to the
// pane is not written to any child but handed to onHeldInput, each piece
// once, in the order it came; the terminal's mouse and focus reports are
// dropped meanwhile, and its answers to the program go to the child that
// runs (they answer what that child asked). Input that went to a child
// which ended before its terminal took it comes back the same way, marked
// unwritten.
//
// Threads: the GUI thread only; the callbacks are called there.
// Ownership: the adapter owns each pane view; the widget may sit in a layout
// container, which shows it without owning it and hands it back before the
// container is destroyed.
// Lifetime: whoever sets a callback keeps the adapter's rule (see
// EmbeddedAdapter): a callback never destroys or replaces itself or the pane
// while it runs, so an end (or held input, or a failed start) is only noted
// in its callback and handled later.
#pragma once

#include "app/adapters/embedded/LaunchCommand.h"
#include "app/adapters/embedded/SearchTarget.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace corvel {
class TerminalView;
}

namespace tilebay {

// Input a pane held back instead of writing it to a child.
struct HeldInput {
    enum class Kind : unsigned char {
        // What the user typed: a key's bytes as the view encoded them, or
        // committed composition text.
        typed,
        // Text sent to the pane on the user's behalf (a broadcast, a start
        // command), as if typed.
        sent,
        // Pasted text, without the bracketed-paste markers: it goes out
        // between them when the program that takes it asked for them.
        pasted,
    };
    std::string text;
    Kind kind = Kind::typed;
    // Bytes that had gone to the child before it ended and that its
    // terminal never took: they came before whatever the pane held since.
    bool unwritten = false;

    bool operator==(const HeldInput&) const = default;
};

class EmbeddedPaneView : public SearchTarget {
public:
    ~EmbeddedPaneView() override = default;

    // The terminal widget of the pane.
    virtual corvel::TerminalView& terminalView() = 0;
    // Starts the child; does nothing while one runs. A start that makes no
    // child (no pseudo-terminal or process could be made) is told to
    // onStartFailed.
    virtual void startProcess(const LaunchCommand& command) = 0;
    // Starts the child once the view has been laid out where it is shown
    // (at once when it has been already), so that the child's first window
    // size is the pane's; terminate() before then cancels the start.
    virtual void startProcessOnceLaidOut(const LaunchCommand& command) = 0;
    // Hangs up and ends the child; no termination report follows.
    virtual void terminate() = 0;
    // Types `text` into the child as the keyboard would (held as sent text
    // while the pane holds its input).
    virtual void send(const std::string& text) = 0;
    // Pastes `text` into the child as the paste command would (held as a
    // paste while the pane holds its input).
    virtual void pasteText(const std::string& text) = 0;
    // While on, input is held even though a child runs (see above).
    virtual void holdInput(bool on) = 0;
    // The output that the ended child (or what it left holding its
    // terminal) still writes is dropped from now on, until a child is
    // started again: nothing can wipe what the pane's screen shows meanwhile.
    virtual void dropOutputUntilStart() = 0;

    // One search step over the view with default options (case
    // insensitive, literal, not whole words): the match becomes the view's
    // selection, and the view scrolls to it when asked.
    bool findNext(const QString& term, bool scrollToResult) final;
    bool findPrevious(const QString& term, bool scrollToResult) final;
    // Forgets the search and switches its selection off.
    void clearSearch() final;

    // Called after each chunk of child output has been fed to the view.
    std::function<void()> onData;
    // Called when the child ended by itself, with its raw wait status when known.
    std::function<void(std::optional<int32_t> exitCode)> onTerminated;
    // Called when a start made no child.
    std::function<void()> onStartFailed;
    // Called with each piece of input the pane held (see above); it is
    // written nowhere else.
    std::function<void(HeldInput input)> onHeldInput;
};

// Makes the pane views and lays a cell's panes out; the adapter's only way
// to the concrete views.
class EmbeddedPaneKit {
public:
    enum class Axis : unsigned char { horizontal, vertical };

    virtual ~EmbeddedPaneKit() = default;

    // A new pane view of `width` x `height` (its layout resizes it later).
    virtual std::unique_ptr<EmbeddedPaneView> makePane(int width, int height) = 0;
    // The live content of a cell: its pane views in order, side by side
    // (horizontal) or stacked (vertical). The caller takes the widget.
    virtual QWidget* makeLayout(const std::vector<EmbeddedPaneView*>& panes, Axis axis) = 0;
};

}  // namespace tilebay
