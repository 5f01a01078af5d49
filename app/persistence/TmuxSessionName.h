// The tmux session names of embedded cells ("cwr_" and the cell id), and
// which names surely reach tmux exactly as they are given on its command
// line. A session is found again only by the name it was made with, so a
// cell id whose session name tmux might change (or refuse) cannot keep its
// session: the layout reader gives such a cell a fresh id.
//
// What tmux 3.3 does to a name: it expands the name as a format first ("##"
// becomes "#", "#S" the current session's name, "#{...}" and "#(...)" are
// expanded), then turns every '.' and ':' into '_' and writes control
// characters, backslashes, ill-formed UTF-8 and characters it cannot print
// as escapes, as well as a '$' before a letter, '_' or '{'. Its command line
// also takes a final ';' of an argument as the end of a command, and it
// refuses a command line of more than about 16 KB. Which characters beyond
// ASCII it can print depends on the Unicode tables of the C library it was
// built with, which may be older or newer than ours: so only printable ASCII
// is ever taken as sure, and a name is kept short.
//
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tilebay::TmuxSessionName {

inline constexpr const char* cellPrefix = "cwr_";
// The longest cell id kept: its session name, a folder of the longest path
// the system allows and the rest of the client's command line stay far
// below what tmux takes in one command.
inline constexpr size_t maxCellIdBytes = 256;

// The session of a cell: "cwr_" and the cell id.
std::string ofCell(std::string_view cellId);

// Whether any tmux gives a session made with this name on its command line
// exactly this name: printable ASCII only, none of the characters or
// sequences tmux changes. An empty name is never kept (tmux refuses it).
bool keptByTmux(std::string_view name);

// Whether the session name of this cell id surely reaches tmux unchanged and
// whole: then every tmux command that names the session finds it.
bool fitsCellId(std::string_view cellId);

}  // namespace tilebay::TmuxSessionName
