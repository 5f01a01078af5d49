// One embedded pane as the adapter sees it: a terminal view joined to its
// own child process. The adapter starts, types into and ends the child,
// themes and reads the view, and learns of output, of the child's end and of
// input that found no child through three callbacks that it sets. The pane
// view behind it (a local-process terminal view) feeds the child's output to
// its terminal.
// Every pane is also a search target over its own view: the store's search
// of an expanded cell steps through the first pane's matches.
//
// Threads: the GUI thread only; the callbacks are called there.
// Ownership: the adapter owns each pane view; the widget may sit in a layout
// container, which shows it without owning it and hands it back before the
// container is destroyed.
// Lifetime: whoever sets a callback keeps the adapter's rule (see
// EmbeddedAdapter): a callback never destroys or replaces itself or the pane
// while it runs, so an end (or input without a child) is only noted in its
// callback and handled later.
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

// Text the user sent to a pane (a broadcast, a paste) while no child ran
// there, to be handed on once one does.
struct UnsentText {
    std::string text;
    // Goes out as a paste (between the bracketed-paste markers when the
    // program then running asked for them); else as typed.
    bool paste = false;
};

class EmbeddedPaneView : public SearchTarget {
public:
    ~EmbeddedPaneView() override = default;

    // The terminal widget of the pane.
    virtual corvel::TerminalView& terminalView() = 0;
    // Starts the child; does nothing while one runs.
    virtual void startProcess(const LaunchCommand& command) = 0;
    // Hangs up and ends the child; no termination report follows.
    virtual void terminate() = 0;
    // Types `text` into the child as the keyboard would.
    virtual void send(const std::string& text) = 0;
    // Pastes `text` into the child as the paste command would.
    virtual void pasteText(const std::string& text) = 0;
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
    // Called when the view had input for its child (typed keys, composed
    // text, a paste, text sent to it, the terminal's mouse or focus
    // reports) while no child runs; that input is not written anywhere. A
    // paste or sent text comes along, keys and reports do not.
    std::function<void(std::optional<UnsentText> text)> onInputWithoutChild;
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
