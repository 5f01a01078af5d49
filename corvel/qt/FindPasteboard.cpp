// The process-wide find term.
#include "corvel/qt/FindPasteboard.h"

namespace corvel::findpasteboard {

namespace {

std::optional<std::string>& storage()
{
    static std::optional<std::string> term;
    return term;
}

}  // namespace

std::optional<std::string> text() { return storage(); }
void setText(const std::string& text) { storage() = text; }
void clear() { storage().reset(); }

}  // namespace corvel::findpasteboard
