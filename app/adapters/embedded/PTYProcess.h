// What runs inside an embedded pane and how tmux is found and driven: the
// child environment, the login shell, the tmux client's command line, and
// three short tmux commands (find tmux, ask whether a session exists, kill a
// session). Nothing here opens a pseudo-terminal: the pane's process host
// does that with the LaunchCommand built here.
//
// Stateless helpers; nothing is cached (every lookup looks again). The short
// commands run synchronously on the calling thread (the main thread) through
// ShortCommand, each bounded by the lookup's time limit.
#pragma once

#include "app/adapters/embedded/LaunchCommand.h"
#include "app/persistence/TmuxSessionName.h"
#include "corvel/platform/Dispatch.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tilebay {

// Where tmux is looked for. Tests inject their own, or none() for a system
// without tmux.
struct TmuxLookup {
    // Tried in order; the first executable file wins.
    std::vector<std::string> candidates{"/opt/homebrew/bin/tmux", "/usr/local/bin/tmux", "/usr/bin/tmux"};
    // When no candidate is there: ask the login shell ("command -v tmux").
    bool searchLoginShell = true;
    // The longest any short command (the lookup, a tmux query) may run
    // before it is killed.
    corvel::Nanos timeLimit = 5'000'000'000;

    static TmuxLookup standard() { return {}; }
    static TmuxLookup none() { return {{}, false}; }
};

namespace PTYProcess {

using Environment = std::map<std::string, std::string>;

inline constexpr const char* sessionPrefix = TmuxSessionName::cellPrefix;
inline constexpr const char* historyLimit = "20000";
inline constexpr const char* fallbackShell = "/bin/zsh";
inline constexpr const char* lastResortShell = "/bin/sh";

// The application's environment now.
Environment currentEnvironment();
// The current user's shell in the password database, when it names one.
std::optional<std::string> passwordDatabaseShell();

// The environment of every embedded child, as "NAME=value" strings: `base`
// with TERM, COLORTERM and TERM_PROGRAM set, LANG set only where it is
// absent (an empty LANG stays empty), and TMUX and TMUX_PANE removed, so a
// tmux client started from an application that itself runs inside tmux
// does not refuse to start.
std::vector<std::string> environmentArray(const Environment& base);
std::vector<std::string> environmentArray();

// The login shell: SHELL when set and not empty, else the password
// database's shell, else /bin/zsh when it exists, else /bin/sh.
std::string loginShell(const Environment& environment, const std::optional<std::string>& passwordShell);
std::string loginShell();

// The login shell in `currentDirectory`: argument zero "-" and the shell's
// base name, the single argument "-l".
LaunchCommand shellCommand(const std::optional<std::string>& currentDirectory);
// A tmux client that attaches to `sessionName` or creates it (in
// `currentDirectory` when given and not empty), as plain
// "new-session -A -s NAME -c DIR" would under the user's configuration (the
// user's shell, hooks, and the list of configuration errors when there are
// any), with a history of 20000 lines from its first pane on. A session it
// creates gets its status line off, its history limit of 20000 and
// detach-on-destroy on (its end ends its client, which ends the cell, even
// where the configuration has clients move to another session); a session
// it attaches to keeps the options it has (-o sets only what the session
// does not have). tmux looks for a session of exactly the name it would
// give a new one, so a name it keeps (TmuxSessionName::keptByTmux) finds
// only its own session.
//
// tmux gives a pane the history limit of its session when the pane is made,
// and new-session makes the first pane before any option of the session can
// be set; so the server's own history limit is 20000 while new-session runs.
// The client's command list, which tmux runs without any other client's
// command in between except where a command waits:
// - Begin: read the server's value (past the context session's own, see
//   the source) and keep it in savedServerHistory, unless another list in
//   flight kept it already; then set the server's value to 20000.
// - Make: new-session and the session's own options, inside if-shell, where
//   a failure (tmux out of descriptors: "open terminal failed") ends only
//   that inner part. The name and folder reach new-session through the
//   options sessionArgument and folderArgument, as data.
// - End, which runs whether the session was made or not: the step that
//   puts the server back. When a value is kept and the server's is still
//   20000, the kept value becomes the server's; then every option the list
//   used is unset.
// Where lists meet: only the user's after-new-session hooks can wait (a
// run-shell without -b, an if-shell with a shell command), between Make and
// End, and other clients' lists run meanwhile. The list that ends first
// puts the kept value back and unsets it; the others then find nothing kept
// and change nothing. A configuration or plugin that sets the server's
// value meanwhile keeps it (it is no longer 20000). What is still possible,
// and nothing of it sticks beyond the next list's end: a pane such a hook
// makes after its wait gets the server's value of that moment, 20000 while
// another list is between Begin and End, the user's value once one has put
// it back; a client killed while its hook waits leaves the server at 20000
// with the kept value, which the next list that runs puts back; and a
// user's hook on set-option that waits would let other lists in between
// our own steps.
LaunchCommand tmuxCommand(const std::string& tmuxPath, const std::string& sessionName,
                          const std::optional<std::string>& currentDirectory);

// The server options tmuxCommand's list keeps its readings and arguments in;
// each is unset again before the list ends.
inline constexpr const char* savedServerHistory = "@tilebay-server-history";
inline constexpr const char* serverHistoryNow = "@tilebay-server-now";
inline constexpr const char* savedContextHistory = "@tilebay-context-history";
inline constexpr const char* savedContextHasOwn = "@tilebay-context-own";
inline constexpr const char* sessionArgument = "@tilebay-session";
inline constexpr const char* folderArgument = "@tilebay-folder";

// A tmux client that attaches to the existing session of exactly the name
// `sessionName` and ends at once, creating nothing, when there is no such
// session.
LaunchCommand tmuxAttachCommand(const std::string& tmuxPath, const std::string& sessionName,
                                const std::optional<std::string>& currentDirectory);

// A word as tmux's command line must be given it to take it as it stands:
// an argument that ends in ';' ends a tmux command unless a backslash
// stands before that ';' (tmux removes that one backslash); a ';' anywhere
// else, and every other byte, is taken as it is.
std::string tmuxArgument(const std::string& word);

// Whether a process could enter `folder`: a path longer than the system
// takes (PATH_MAX with its terminating zero) cannot be entered, whatever is
// on disk. The client's command line with any folder that can be stays far
// below what tmux takes in one command (16 KB), which it refuses whole.
bool canBeFolder(const std::string& folder);

// The tmux session of a cell: "cwr_" and the cell id.
std::string tmuxSessionName(const std::string& cellId);

// The target that names the session `sessionName` and no other: without the
// leading '=' tmux takes, when no session has exactly that name, one whose
// name begins with it or matches it as a pattern. Every command below names
// its session this way.
std::string tmuxTarget(const std::string& sessionName);

// The first candidate that is an executable file, else what the login shell
// finds on its search path; no value when neither names an executable file
// (or the shell did not answer within the time limit).
std::optional<std::string> tmuxPath(const TmuxLookup& lookup);

// What tmux (at `tmuxPath`) says of the session of exactly this name: it
// lives; it is gone (tmux answered no, with status 1: no such session, or no
// server at all); or unknown (tmux could not be run, did not answer within
// the time limit, or answered otherwise).
enum class TmuxSessionState : unsigned char { lives, gone, unknown };
TmuxSessionState tmuxSessionState(const std::string& tmuxPath, const std::string& name, corvel::Nanos timeLimit);
// Whether tmux (at `tmuxPath`) knows a session of exactly this name.
bool tmuxSessionExists(const std::string& tmuxPath, const std::string& name, corvel::Nanos timeLimit);
// Asks tmux to kill the session of exactly this name; failures are ignored.
void killTmuxSession(const std::string& tmuxPath, const std::string& name, corvel::Nanos timeLimit);
// Has tmux write `text` to the active pane of the session of exactly this
// name, byte for byte, as if typed, whether or not a client is attached:
// through a paste buffer named after the session, which goes with the
// paste. `bracketed`: between the bracketed-paste markers when the program
// in that pane asked for them. True when tmux says it was written.
bool writeToTmuxSession(const std::string& tmuxPath, const std::string& name, const std::string& text,
                        bool bracketed, corvel::Nanos timeLimit);

}  // namespace PTYProcess

}  // namespace tilebay
