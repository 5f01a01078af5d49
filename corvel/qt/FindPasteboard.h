// The find pasteboard: the one search term shared by every terminal view of
// the process, so a term searched in one view is ready in the next (and for
// "find next" without a bar). A process-wide string; GUI thread only.
#pragma once

#include <optional>
#include <string>

namespace corvel::findpasteboard {

// The term last stored; none before the first one.
std::optional<std::string> text();
void setText(const std::string& text);
// Forgets the term (for tests).
void clear();

}  // namespace corvel::findpasteboard
