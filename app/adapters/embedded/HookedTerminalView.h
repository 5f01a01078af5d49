// The view of one embedded pane: a local-process terminal view that tells the
// adapter about every chunk of output after feeding it, reports the end of
// its child through an EmbeddedSessionDelegate it owns and a start that
// made no child through onStartFailed, can hold a start back until it has
// been laid out, types through the view's own send path, holds input back
// (see EmbeddedPaneView) while no child runs or while asked to, drops what
// an ended child still writes once asked to until the next start, and draws
// the input method's composition itself: the composing text sits in a small
// label over the caret until it is committed or given up.
//
// Laid out: the view has been shown in a window. Qt has given it its size
// there by the time it is shown (pending resizes are delivered before the
// show), so a start held back until then gives the child that size from
// its first moment.
//
// Qt gives the input method's state in one event: a committed string, then
// the new composing string. A commit goes out as typed text (once); an
// event that neither commits nor composes while something was composing
// means the composition was given up (the user erased it), so nothing is
// sent. unmarkText() commits what was composed, for callers that end a
// composition themselves.
//
// GUI thread only. Ownership: the adapter owns the view through the
// EmbeddedPaneView interface, and nothing else does; containers only show the
// widget (see TermContainerView) and hand it back before they are destroyed,
// so the child, the emulator and the scrollback live as long as the pane.
// The end of the child reaches onTerminated through the session delegate,
// which the view keeps and cuts off when it goes.
#pragma once

#include "app/adapters/embedded/EmbeddedPaneView.h"
#include "app/adapters/embedded/EmbeddedSessionDelegate.h"
#include "corvel/qt/LocalProcessTerminalView.h"

#include <QRect>
#include <QString>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QLabel;

namespace tilebay {

class HookedTerminalView final : public corvel::LocalProcessTerminalView, public EmbeddedPaneView {
    Q_OBJECT
public:
    explicit HookedTerminalView(const QRect& frame, QWidget* parent = nullptr);
    ~HookedTerminalView() override;

    // ---- EmbeddedPaneView ----

    corvel::TerminalView& terminalView() override { return *this; }
    // Starting a child ends dropOutputUntilStart and any start held back; a
    // start that makes no child (not one while a child runs) is told to
    // onStartFailed.
    bool startProcess(const std::string& executable, const std::vector<std::string>& args = {},
                      const std::optional<std::vector<std::string>>& environment = std::nullopt,
                      const std::optional<std::string>& execName = std::nullopt,
                      const std::optional<std::string>& currentDirectory = std::nullopt) override;
    void startProcess(const LaunchCommand& command) override;
    void startProcessOnceLaidOut(const LaunchCommand& command) override;
    // A start still held back until the view is laid out.
    bool startPending() const { return pendingStart_.has_value(); }
    void terminate() override;
    using LocalProcessTerminalView::send;
    // As typed: through the view (which brings the caret into view) to the
    // child; while input is held, onHeldInput gets it as sent text.
    void send(const std::string& text) override;
    // As pasted (bracketed when the child asked for it); while input is
    // held, onHeldInput gets it as a paste.
    void pasteText(const std::string& text) override;
    void holdInput(bool on) override { holdingInput_ = on; }
    // Input goes to onHeldInput instead of a child.
    bool holdsInput() { return holdingInput_ || !process().running(); }
    void dropOutputUntilStart() override { droppingOutput_ = true; }
    // Bytes of output dropped since the view was made (for tests).
    size_t droppedOutput() const { return droppedOutput_; }

    // ---- clipboard ----

    // The clipboard's text to the child; while input is held, onHeldInput
    // gets it as a paste.
    void paste() override;

    // ---- as its own view delegate ----

    // What the user typed, to the child; while input is held, or when the
    // child's terminal takes nothing more, onHeldInput gets it as typed.
    void send(corvel::TerminalView& source, std::span<const uint8_t> data) override;
    // Mouse and focus reports, to the child; dropped while input is held.
    void sendReport(corvel::TerminalView& source, std::span<const uint8_t> data) override;

    // ---- process output ----

    // Feeds the chunk, then tells onData; drops it (and tells nothing) after
    // dropOutputUntilStart until the next start.
    void dataReceived(std::span<const uint8_t> slice) override;
    // Input the ended child never took goes to onHeldInput, marked unwritten.
    void inputNotWritten(std::span<const uint8_t> bytes) override;

    // ---- input method ----

    using LocalProcessTerminalView::insertText;
    // Committed text: the composition is over before the text is sent.
    void insertText(const std::string& text) override;
    // Shows `text` over the caret; an empty text hides the label.
    void setMarkedText(const std::string& text) override;
    // Sends what was composed (if anything), then hides the label.
    void unmarkText() override;
    bool hasMarkedText() const override { return !imeMarked_.isEmpty(); }
    // From 0 over the composing text in UTF-16 units; notFound when none.
    corvel::TextRange markedRange() override;
    const QString& markedText() const { return imeMarked_; }
    // The composition label, once made (null before the first composition).
    QLabel* imeOverlay() const { return imeOverlay_; }

    const std::shared_ptr<EmbeddedSessionDelegate>& sessionDelegate() const { return sessionDelegate_; }

protected:
    void inputMethodEvent(QInputMethodEvent* event) override;
    // Runs a start held back until now.
    void showEvent(QShowEvent* event) override;

private:
    void hold(HeldInput input);
    void showOverlay();
    void hideOverlay();
    QLabel& overlay();

    QString imeMarked_;
    QLabel* imeOverlay_ = nullptr;
    bool droppingOutput_ = false;
    bool holdingInput_ = false;
    std::optional<LaunchCommand> pendingStart_;
    size_t droppedOutput_ = 0;
    // The view holds it weakly; this keeps it.
    std::shared_ptr<EmbeddedSessionDelegate> sessionDelegate_;
};

}  // namespace tilebay
