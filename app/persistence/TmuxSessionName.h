// The tmux session names of embedded cells ("cwr_" and the cell id), and
// which names tmux keeps exactly as they are given on its command line. A
// session is found again only by the name it was made with, so a cell id whose
// session name tmux would change cannot keep its session: the layout reader
// gives such a cell a fresh id.
//
// What tmux does to a name, as tmux 3.3 does it: it expands the name as a
// format first ("##" becomes "#", "#S" the current session's name, "#{...}"
// and "#(...)" are expanded), then turns every '.' and ':' into '_' and writes
// control characters, backslashes, ill-formed UTF-8 and characters that are
// not printable (unassigned ones, line and paragraph separators) as escapes,
// as well as a '$' before a letter, '_' or '{'. Its command line also takes a
// final ';' of an argument as the end of a command. Everything else is kept.
//
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace tilebay::TmuxSessionName {

inline constexpr const char* cellPrefix = "cwr_";

// The session of a cell: "cwr_" and the cell id.
std::string ofCell(std::string_view cellId);

// Whether tmux gives a session made with this name on its command line
// exactly this name. An empty name is never kept (tmux refuses it).
bool keptByTmux(std::string_view name);

// Whether tmux keeps the session name of this cell id: then every tmux
// command that names the session finds it.
bool fitsCellId(std::string_view cellId);

}  // namespace tilebay::TmuxSessionName
