// The three AppleScript programs sent to iTerm2 (list every session, activate
// one, type a line into one), the reading of the listing's result, and their
// runs through osascript.
//
// Threads: every run happens on one process-wide serial queue, made on first
// use, in the order queued and never two at a time; activations and texts
// queued behind a slow listing wait for it. snapshot() hands its result to the
// main queue (corvel::DispatchQueue::main()). The script builders and the
// parser are pure and may be called from any thread.
//
// Session ids and texts are both written into the scripts as AppleScript
// string literals with backslashes and double quotes escaped, so neither a
// text nor an id (which may come from a dropped payload or an edited layout
// file) can end the literal and add script of its own.
#pragma once

#include "app/adapters/iterm2/ITerm2SessionSnapshot.h"

#include "corvel/platform/Dispatch.h"

#include <QString>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tilebay::ITerm2AppleScript {

// The listing's separators: between the fields of a session and after each session.
inline constexpr char kFieldSeparator = '\x1f';
inline constexpr char kRecordSeparator = '\x1e';

// Every session's id, name and contents, each session ended by U+001E.
std::string listingScript();
// Brings iTerm2 to the front and selects the session's window, tab and session.
std::string activationScript(std::string_view guid);
// Types `text` into the session as one line (iTerm2's `write text` ends it).
std::string sendTextScript(std::string_view guid, std::string_view text);

// `text` with every backslash doubled, then every double quote preceded by a backslash.
std::string escaped(std::string_view text);

// The sessions of a listing result: records split at U+001E (empty ones
// skipped), fields at U+001F; records with fewer than three fields are
// skipped and fields after the third ignored.
std::vector<ITerm2SessionSnapshot> parseListing(std::string_view result);

// Runs the listing on the queue; `done` gets the sessions on the main queue,
// an empty list on any failure.
void snapshot(std::function<void(std::vector<ITerm2SessionSnapshot>)> done);
// Queue the activation and the text for the session; they return at once.
void activate(const QString& guid);
void sendText(const QString& guid, const QString& text);

// How long one osascript run may take before it is killed (120 s by default).
void setTimeLimit(corvel::Nanos limit);
corvel::Nanos timeLimit();

}  // namespace tilebay::ITerm2AppleScript
