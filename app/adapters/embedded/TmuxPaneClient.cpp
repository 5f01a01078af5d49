// TmuxPaneClient: starts, ends, attaching again, giving up, and the input
// held meanwhile.
#include "app/adapters/embedded/TmuxPaneClient.h"

#include "app/adapters/embedded/PTYProcess.h"
#include "app/core/AppLog.h"
#include "corvel/qt/TerminalView.h"
#include "corvel/terminal/EscapeSequences.h"

#include <algorithm>

namespace tilebay {

namespace {

// Written into the pane's terminal when its client is left ended. Whatever
// the ended client left behind must not hide the notice: the alternate
// screen is left (the notice goes where the shell's own lines are), a soft
// reset gives plain attributes (nothing concealed), a visible cursor, no
// insert mode, autowrap, no margins and no origin mode, the usual character
// set goes into G0 and G0 into use (the soft reset keeps the sets
// designated), and synchronized output ends. No program runs there to take
// the mouse or focus reports that the client may have switched on, so they
// go off. Then the notice on a line of its own. A client that attaches sets
// its own modes again.
std::string notConnectedText()
{
    return "\x1b[?1049l\x1b[!p\x1b(B\x0f\x1b[?2026l\x1b[?1000l\x1b[?1002l\x1b[?1003l\x1b[?1004l\r\n" +
           std::string(TmuxPaneClient::notConnected) + "\r\n";
}

}  // namespace

TmuxPaneClient::TmuxPaneClient(std::string tmuxPath, std::string sessionName, std::string folder,
                               corvel::Nanos timeLimit, bool sessionExists)
    : tmuxPath_(std::move(tmuxPath)),
      sessionName_(std::move(sessionName)),
      folder_(std::move(folder)),
      timeLimit_(timeLimit),
      made_(sessionExists)
{
}

void TmuxPaneClient::startFirst(EmbeddedPaneView& pane, const LaunchCommand& command, corvel::Nanos now)
{
    start(pane, command, now, true);
}

void TmuxPaneClient::attachAgain(EmbeddedPaneView& pane, corvel::Nanos now)
{
    // An attach cannot make a session that no start has made yet; and once
    // one was made, its end must not be undone by making it again.
    start(pane,
          made_ ? PTYProcess::tmuxAttachCommand(tmuxPath_, sessionName_, folder_)
                : PTYProcess::tmuxCommand(tmuxPath_, sessionName_, folder_),
          now, false);
}

void TmuxPaneClient::start(EmbeddedPaneView& pane, const LaunchCommand& command, corvel::Nanos now,
                           bool onceLaidOut)
{
    startedAt_ = now;
    runs_ = true;
    heard_ = false;
    unheard_ = false;
    pane.holdInput(true);
    // An attach that fails ends the client at once, and a start that makes
    // no child is reported: either comes back through ended().
    if (onceLaidOut) {
        pane.startProcessOnceLaidOut(command);
    } else {
        pane.startProcess(command);
    }
}

TmuxPaneClient::AfterEnd TmuxPaneClient::ended(EmbeddedPaneView& pane, corvel::Nanos now, bool madeNoChild)
{
    runs_ = false;
    heard_ = false;
    pane.holdInput(true);
    const PTYProcess::TmuxSessionState state = PTYProcess::tmuxSessionState(tmuxPath_, sessionName_, timeLimit_);
    if (state == PTYProcess::TmuxSessionState::lives) made_ = true;
    if (state == PTYProcess::TmuxSessionState::gone) {
        if (made_) return {AfterEnd::Next::sessionGone, 0};
        // The client ran but no session came of it: tmux refused its start
        // (and said why in the pane). A start that made no child was
        // reported already.
        if (!madeNoChild)
            logFailure("tmux 클라이언트 시작 실패",
                       sessionName_ + ": its client ended before its session was made; started again");
    }

    quickEnds_ = now - startedAt_ < steadyAttach ? quickEnds_ + 1 : 0;
    if (quickEnds_ > maxQuickReattaches) {
        giveUp(pane);
        return {AfterEnd::Next::leftEnded, 0};
    }
    // A detach attaches again at once; a client that keeps ending at once
    // waits longer each time, so it never spins.
    corvel::Nanos delay = 0;
    if (quickEnds_ > 0) {
        delay = std::min(firstReattachDelay << (quickEnds_ - 1), longestReattachDelay);
        logFailure("tmux 세션 재연결 지연", sessionName_ + ": its client ended at once; attaching again in " +
                                                std::to_string(delay / 1'000'000) + " ms (" +
                                                std::to_string(quickEnds_) + " of " +
                                                std::to_string(maxQuickReattaches) + ")");
    }
    return {AfterEnd::Next::attachAgain, delay};
}

void TmuxPaneClient::giveUp(EmbeddedPaneView& pane)
{
    logFailure("tmux 세션 재연결 중단",
               sessionName_ + ": its client kept ending at once; left ended until input reaches its pane. The "
                              "session lives on, and the cell keeps it until the cell is closed");
    // Typing would otherwise go nowhere unseen: the pane says that it is
    // not connected and how to connect again. What the ended client still
    // writes (tmux tears its terminal down after the client has gone) would
    // wipe that away, so it is dropped.
    leftEnded_ = true;
    attachAsked_ = false;
    pane.dropOutputUntilStart();
    pane.terminalView().feed(std::string_view(notConnectedText()));
}

bool TmuxPaneClient::hold(HeldInput input)
{
    if (input.unwritten) {
        // Everything held now came after it (nothing is held while input
        // goes to a client), after what came back before it.
        if (!input.text.empty())
            held_.insert(held_.begin() + static_cast<std::ptrdiff_t>(unwrittenAtFront_++), std::move(input));
        return runs_ && heard_;
    }
    if (leftEnded_ && !attachAsked_) {
        attachAsked_ = true;
        // A key typed at the notice asks for the connection, not for the
        // session's program.
        if (input.kind != HeldInput::Kind::typed && !input.text.empty()) held_.push_back(std::move(input));
        return true;
    }
    if (!input.text.empty()) held_.push_back(std::move(input));
    // Otherwise it waits for a client to write, unless one has.
    return runs_ && heard_;
}

bool TmuxPaneClient::attachRequested()
{
    if (!leftEnded_ || !attachAsked_) return false;
    leftEnded_ = false;
    attachAsked_ = false;
    quickEnds_ = 0;
    return true;
}

void TmuxPaneClient::heardFrom(EmbeddedPaneView& pane)
{
    // What an ended client still writes tells nothing of the next one.
    if (!runs_ || unheard_) return;
    if (!heard_ && !made_) {
        // A client whose start failed inside tmux writes too (tmux's
        // error) and ends: it counts as heard from only once its session
        // is there. Asked once per client.
        if (PTYProcess::tmuxSessionState(tmuxPath_, sessionName_, timeLimit_) ==
            PTYProcess::TmuxSessionState::gone) {
            unheard_ = true;
            return;
        }
        made_ = true;
    }
    heard_ = true;
    handOnHeld(pane);
}

void TmuxPaneClient::handOnHeld(EmbeddedPaneView& pane)
{
    if (!runs_ || !heard_) return;
    // Typed and sent text that follow each other go as one write; each
    // paste goes alone, to be bracketed as the session's program asked.
    size_t done = 0;
    while (done < held_.size()) {
        std::string text;
        const bool paste = held_[done].kind == HeldInput::Kind::pasted;
        size_t next = done;
        if (paste) {
            text = corvel::EscapeSequences::withoutPasteEnd(held_[next++].text);
        } else {
            while (next < held_.size() && held_[next].kind != HeldInput::Kind::pasted) text += held_[next++].text;
        }
        if (!text.empty() && !PTYProcess::writeToTmuxSession(tmuxPath_, sessionName_, text, paste, timeLimit_))
            break;
        done = next;
    }
    std::vector<HeldInput> rest(held_.begin() + static_cast<std::ptrdiff_t>(done), held_.end());
    held_.clear();
    unwrittenAtFront_ = 0;
    pane.holdInput(false);
    if (rest.empty()) return;
    // tmux did not take it: the client that runs and has written gets it,
    // as typed and pasted input would have reached it. What finds no child
    // after all is held again.
    logFailure("tmux 세션 입력 전달 실패",
               sessionName_ + ": tmux did not take the input held for the session; it goes to the attached client");
    for (const HeldInput& each : rest) {
        if (each.kind == HeldInput::Kind::pasted) {
            pane.pasteText(each.text);
        } else {
            pane.send(each.text);
        }
    }
}

void TmuxPaneClient::sendToSession(EmbeddedPaneView& pane, const std::string& text)
{
    // Waiting for a client, or behind held input: held as typed would be.
    if (!runs_ || !heard_ || !held_.empty()) {
        pane.send(text);
        return;
    }
    // Handed on as held input is (to the client when tmux refuses it).
    held_.push_back({text, HeldInput::Kind::sent});
    handOnHeld(pane);
}

}  // namespace tilebay
