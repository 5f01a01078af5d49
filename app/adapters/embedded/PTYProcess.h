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
// `currentDirectory` when given and not empty, passed to tmux as
// tmuxFolderArgument), as plain "new-session -A -s NAME -c DIR" would under
// the user's configuration (the user's shell, hooks, and the list of
// configuration errors when there are any), with a history of 20000 lines
// from its first pane on. A session it creates gets its status line off and
// its history limit of 20000; a session it attaches to keeps its options
// (-o sets only what the session does not have). tmux looks for a session
// of exactly the name it would give a new one, so a name it keeps
// (TmuxSessionName::keptByTmux) finds only its own session.
//
// tmux gives a pane the history limit of its session when the pane is made,
// and new-session makes the first pane before any option of the session can
// be set; so the server's own history limit is 20000 while new-session (and
// the user's after-new-session hooks) run, and then exactly what it was
// before. All of it is one command list, which tmux runs through without
// any other client's command in between: a configuration that is still
// loading (a run-shell line lets other clients in) or another client making
// a session at the same moment sees the server's value as the user left
// it, and a value a configuration sets later stays. The folder goes with
// new-session itself: a command given none while the configuration loads
// would take the folder of the client that started the server. (An
// after-new-session hook of the user's that waits for a shell command lets
// other clients in while it waits, who see the 20000: a session made
// meanwhile has it too, another cell's client may put it back as the
// server's value, and a client ended during the wait leaves it there.)
LaunchCommand tmuxCommand(const std::string& tmuxPath, const std::string& sessionName,
                          const std::optional<std::string>& currentDirectory);

// The server options that tmuxCommand's list keeps its readings in; each is
// unset again before the list ends.
inline constexpr const char* savedServerHistory = "@tilebay-server-history";
inline constexpr const char* savedContextHistory = "@tilebay-context-history";
inline constexpr const char* savedContextHasOwn = "@tilebay-context-own";

// A tmux client that attaches to the existing session of exactly the name
// `sessionName` and ends at once, creating nothing, when there is no such
// session.
LaunchCommand tmuxAttachCommand(const std::string& tmuxPath, const std::string& sessionName,
                                const std::optional<std::string>& currentDirectory);

// The folder as tmux's "-c" must be given it to start the pane in exactly
// that folder. tmux expands the value as a format: "##" becomes '#'; '#'
// before '(', '{' or a letter of its aliases is an expansion (a folder named
// "x#(cmd)" would run cmd), before ',' or '}' it is dropped, and any other
// '#' stays; but a run of '#' of any length right before '[' (which marks a
// style) is copied as it stands, and never halved. So every '#' is doubled
// except those of a run right before '['. An argument that ends in ';' ends
// a tmux command unless a backslash stands before that ';' (tmux removes
// that one backslash); a ';' anywhere else is taken as it is.
std::string tmuxFolderArgument(const std::string& folder);

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
