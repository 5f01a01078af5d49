// The tmux client of one embedded pane and its life there: its starts, its
// ends, the delays before it attaches again, giving up, and the input the
// pane holds meanwhile. The embedded adapter owns one per tmux pane, beside
// the pane, and schedules what this decides (the delayed attach, the end of
// the pane when the session is gone).
//
// The rule:
// - A client that ends while its session lives attaches to it again: at
//   once when it had stayed attached steadyAttach or longer, else after a
//   delay that starts at firstReattachDelay and doubles with each further
//   end at once, up to longestReattachDelay. After maxQuickReattaches such
//   ends in a row, the next one leaves it ended: the pane says so in its
//   terminal (notConnected, over whatever the client left there; what it
//   still writes is dropped), and the first input then attaches it again,
//   its ends counted afresh. A start that made no child counts as an end.
// - Only the end of a session that existed ends the pane: one tmux said
//   lives, when the pane was made, when a client ended, or when a client
//   first wrote to the pane. While the session has not been made (the first
//   start made no child, or tmux refused it and the client wrote only
//   tmux's error), a client started again makes it as the first one would;
//   once it has, it attaches.
// - The pane holds its input (keys, composed text, sent text and pastes)
//   from the moment a client is started or ends until that client has
//   written to the pane (it has then taken the terminal) and everything
//   held before has been handed on; then input goes to the client again.
//   Held input is handed on in the order it came, each piece once, through
//   tmux itself (writeToTmuxSession), not through the client: a client may
//   end at any moment, while tmux takes the input whether one is attached
//   or not. Pastes go bracketed when the program in the session asked for
//   it. The one exception: a key typed into a pane left ended asks for the
//   connection and is not handed on (text sent or pasted there is).
//   Input that went to a client which ended before its terminal took it
//   comes back (unwritten) and goes ahead of everything held after it.
// - While tmux cannot say whether the session lives, it counts as living.
//
// Threads: the GUI thread only. The tmux commands run synchronously, each
// within the lookup's time limit. Ownership: the adapter owns it; the pane
// view is passed to each call and never kept.
#pragma once

#include "app/adapters/embedded/EmbeddedPaneView.h"
#include "app/adapters/embedded/LaunchCommand.h"
#include "corvel/platform/Dispatch.h"

#include <string>
#include <string_view>
#include <vector>

namespace tilebay {

class TmuxPaneClient {
public:
    // A client that ends sooner than this after it was started ended "at
    // once"; one that stayed longer starts the count of such ends afresh.
    static constexpr corvel::Nanos steadyAttach = 5'000'000'000;
    // The delay before attaching again after the first end at once,
    // doubled with each further one up to the longest.
    static constexpr corvel::Nanos firstReattachDelay = 250'000'000;
    static constexpr corvel::Nanos longestReattachDelay = 8'000'000'000;
    // Ends at once in a row that are still attached again; a client that
    // ends at once once more is left ended.
    static constexpr int maxQuickReattaches = 6;
    // The line a pane's terminal shows when its client is left ended.
    static constexpr std::string_view notConnected =
        "[tmux 세션에 연결되지 않았습니다. 아무 키나 누르면 다시 연결합니다.]";

    // What follows the end of a client.
    struct AfterEnd {
        enum class Next : unsigned char {
            // The session is gone: so is the pane's reason to be.
            sessionGone,
            // Attach again after `delay`.
            attachAgain,
            // Left ended: the pane says so (the caller gives it its theme
            // again, as the client may have changed its colours).
            leftEnded,
        };
        Next next = Next::attachAgain;
        corvel::Nanos delay = 0;
    };

    // `sessionExists`: tmux said the session lives when the pane was made.
    TmuxPaneClient(std::string tmuxPath, std::string sessionName, std::string folder, corvel::Nanos timeLimit,
                   bool sessionExists);

    // The pane's first client, started by `command` once the pane is laid
    // out, at `now` on the adapter's clock.
    void startFirst(EmbeddedPaneView& pane, const LaunchCommand& command, corvel::Nanos now);
    // A client that attaches to the session again (or makes it, while it
    // has not been made).
    void attachAgain(EmbeddedPaneView& pane, corvel::Nanos now);
    // The client ended by itself, or its start made no child
    // (`madeNoChild`): what next.
    AfterEnd ended(EmbeddedPaneView& pane, corvel::Nanos now, bool madeNoChild = false);

    // Input the pane held, in the order it came. Input into a client left
    // ended asks it to attach again, which the caller does on a later turn
    // through attachRequested(). True when a later turn has work (that
    // attach, or handing on to a client that has written already); while
    // the pane waits for a client, held input needs none.
    bool hold(HeldInput input);
    // Takes back a request made through hold(): true when the client was
    // left ended and now attaches again, its ends counted afresh.
    bool attachRequested();
    // The pane's client wrote: it has taken the terminal, and what was held
    // goes on. While the session has not been made, only once tmux says it
    // is there: a client whose start tmux refused writes the reason.
    void heardFrom(EmbeddedPaneView& pane);
    // Hands held input on when a client runs and has written.
    void handOnHeld(EmbeddedPaneView& pane);
    // Text sent on the user's behalf (the start command): through tmux, as
    // held input goes, so that it reaches the session's program whatever
    // the client shows over it (the list of configuration errors a new
    // session opens with takes typed keys); held, like any input, while
    // the pane holds its input or more is held.
    void sendToSession(EmbeddedPaneView& pane, const std::string& text);

    // A client was started and its end has not been handled yet.
    bool runs() const { return runs_; }
    bool leftEnded() const { return leftEnded_; }
    const std::string& sessionName() const { return sessionName_; }

private:
    void start(EmbeddedPaneView& pane, const LaunchCommand& command, corvel::Nanos now, bool onceLaidOut);
    void giveUp(EmbeddedPaneView& pane);

    std::string tmuxPath_;
    std::string sessionName_;
    std::string folder_;
    corvel::Nanos timeLimit_;
    // When the client was last started.
    corvel::Nanos startedAt_ = 0;
    // Ends at once in a row.
    int quickEnds_ = 0;
    // Left ended after too many ends at once; no client runs and no attach
    // is queued until input asks for one.
    bool leftEnded_ = false;
    // Input asked the client left ended to attach again.
    bool attachAsked_ = false;
    // A client was started and its end has not been handled yet.
    bool runs_ = false;
    // That client has written to the pane (and its session was there).
    bool heard_ = false;
    // That client wrote while its session had not been made: what it
    // writes does not count.
    bool unheard_ = false;
    // The session is known to have existed.
    bool made_ = false;
    // Input held and not yet handed on, in order.
    std::vector<HeldInput> held_;
    // How many pieces at the front of held_ came back unwritten.
    size_t unwrittenAtFront_ = 0;
};

}  // namespace tilebay
